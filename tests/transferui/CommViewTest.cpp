#include <QTest>
class CommViewTest : public QObject { Q_OBJECT };
QTEST_MAIN(CommViewTest)
#include "CommViewTest.moc"
