#include "app/frmmain.h"

#include <QTest>

class TestFrmmain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensWithTitleAndFixedClientArea();
};

void TestFrmmain::opensWithTitleAndFixedClientArea()
{
    frmmain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Inventaire TIRVANO"));
    QCOMPARE(window.centralWidget()->size(), QSize(323, 248));
    const QSize before = window.size();
    window.resize(before * 2);
    QCOMPARE(window.size(), before);
}

QTEST_MAIN(TestFrmmain)
#include "tst_frmmain.moc"
