#include <QTest>
class SendingDlgTest : public QObject { Q_OBJECT };
QTEST_MAIN(SendingDlgTest)
#include "SendingDlgTest.moc"
