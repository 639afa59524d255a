#include <QTest>
class ReceivingDlgTest : public QObject { Q_OBJECT };
QTEST_MAIN(ReceivingDlgTest)
#include "ReceivingDlgTest.moc"
