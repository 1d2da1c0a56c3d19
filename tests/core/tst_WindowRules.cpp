#include "core/TFirstGeometry.h"
#include "core/TPlatformRules.h"

#include <QtTest>

// First window sizes and what each window system lets a program do.
class tst_WindowRules : public QObject {
    Q_OBJECT
private slots:
    void mainWindow_data();
    void mainWindow();
    void columns_data();
    void columns();
    void platform_data();
    void platform();
};

void tst_WindowRules::mainWindow_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("full HD, task bar at the bottom") << QRect(0, 0, 1920, 1040) << QRect(320, 173, 1280, 693);
    QTest::newRow("second screen to the right") << QRect(1920, 0, 2560, 1400) << QRect(2347, 233, 1706, 933);
    QTest::newRow("small screen: the old size") << QRect(0, 0, 800, 600) << QRect(80, 60, 640, 480);
    QTest::newRow("tiny screen: the whole screen") << QRect(0, 0, 600, 400) << QRect(0, 0, 600, 400);
    QTest::newRow("no screen known") << QRect() << QRect(0, 0, 640, 480);
}

void tst_WindowRules::mainWindow()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    const QRect r = TFirstGeometry::MainWindow(available);
    QCOMPARE(r, expected);
    if (!available.isEmpty()) {
        QVERIFY(available.contains(r));
    }
}

void tst_WindowRules::columns_data()
{
    QTest::addColumn<QList<int>>("wanted");
    QTest::addColumn<int>("room");
    QTest::addColumn<QList<int>>("expected");
    const QList<int> wanted{16, 40, 50, 220, 260, 300};
    QTest::newRow("fits") << wanted << 1000 << wanted;
    QTest::newRow("exactly fits") << wanted << 892 << wanted;
    QTest::newRow("no limit") << wanted << 0 << wanted;
    QTest::newRow("one pixel short: the widest loses it") << wanted << 891 << QList<int>{16, 40, 50, 220, 260, 299};
    QTest::newRow("wide ones cut to a common cap") << wanted << 600 << QList<int>{16, 40, 50, 162, 162, 162};
    QTest::newRow("room for nothing: the least column") << wanted << 50 << QList<int>{16, 40, 40, 40, 40, 40};
}

void tst_WindowRules::columns()
{
    QFETCH(QList<int>, wanted);
    QFETCH(int, room);
    QFETCH(QList<int>, expected);
    const QList<int> widths = TFirstGeometry::Columns(wanted, room);
    QCOMPARE(widths, expected);
    int total = 0;
    for (int w : widths) {
        total += w + 1;
    }
    if (room > 0 && widths.last() > TFirstGeometry::MinColumn) {
        QVERIFY(total <= room);
    }
}

void tst_WindowRules::platform_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("wayland");
    QTest::newRow("xcb") << QStringLiteral("xcb") << false;
    QTest::newRow("wayland") << QStringLiteral("wayland") << true;
    QTest::newRow("wayland-egl") << QStringLiteral("wayland-egl") << true;
    QTest::newRow("offscreen") << QStringLiteral("offscreen") << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_WindowRules::platform()
{
    QFETCH(QString, name);
    QFETCH(bool, wayland);
    QCOMPARE(TPlatformRules::IsWayland(name), wayland);
    QCOMPARE(TPlatformRules::PositionsHonoured(name), !wayland);
    QCOMPARE(TPlatformRules::ForeignWindowsVisible(name), !wayland);
}

QTEST_GUILESS_MAIN(tst_WindowRules)
#include "tst_WindowRules.moc"
