#include "widgets/TTrayIcon.h"

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

class tst_TrayIcon : public QObject {
    Q_OBJECT
private slots:
    void toolTipCut_data();
    void toolTipCut();
    void activeFollowsChanges();
    void clicksReachCallbacks();
};

void tst_TrayIcon::toolTipCut_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("kept");
    QTest::newRow("70") << 70 << 62;
    QTest::newRow("63") << 63 << 62;
    QTest::newRow("62") << 62 << 62;
    QTest::newRow("short") << 16 << 16;
    QTest::newRow("empty") << 0 << 0;
}

void tst_TrayIcon::toolTipCut()
{
    QFETCH(int, length);
    QFETCH(int, kept);
    QString text;
    for (int i = 0; i < length; ++i) {
        text += QChar(u'a' + i % 26);
    }
    TTrayIcon tray;
    tray.SetActive(true);
    tray.SetToolTip(text);
    QCOMPARE(tray.ToolTip(), text.left(kept));
    QCOMPARE(tray.SystemTrayIcon()->toolTip(), text.left(kept));
}

void tst_TrayIcon::activeFollowsChanges()
{
    auto tray = std::make_unique<TTrayIcon>();
    QVERIFY(!tray->Active());
    QVERIFY(!tray->SystemTrayIcon()->isVisible());
    QPixmap pm(16, 16);
    pm.fill(Qt::blue);
    tray->SetIcon(QIcon(pm));
    tray->SetActive(true);
    QVERIFY(tray->SystemTrayIcon()->isVisible());
    QVERIFY(!tray->SystemTrayIcon()->icon().isNull());
    // Setting the same value again neither adds nor removes anything.
    tray->SystemTrayIcon()->hide();
    tray->SetActive(true);
    QVERIFY(!tray->SystemTrayIcon()->isVisible());
    tray->SetActive(false);
    tray->SetActive(true);
    QVERIFY(tray->SystemTrayIcon()->isVisible());
    tray.reset();
}

void tst_TrayIcon::clicksReachCallbacks()
{
    TTrayIcon tray;
    QStringList calls;
    tray.OnClick = [&] { calls << "click"; };
    tray.OnDblClick = [&] { calls << "dbl"; };
    QMenu menu;
    menu.addAction("離開");
    tray.SetPopupMenu(&menu);
    bool menuWasUp = false;
    tray.OnRightClick = [&](const QPoint& pos) {
        calls << "right";
        QCOMPARE(pos, QCursor::pos());
    };

    emit tray.SystemTrayIcon()->activated(QSystemTrayIcon::Trigger);
    emit tray.SystemTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(calls, QStringList({"click", "dbl"}));

    // The menu comes first and blocks; the right-click event follows once it closes.
    QTimer::singleShot(50, &menu, [&] {
        menuWasUp = menu.isVisible() && calls.size() == 2;
        menu.close();
    });
    emit tray.SystemTrayIcon()->activated(QSystemTrayIcon::Context);
    QVERIFY(menuWasUp);
    QCOMPARE(calls, QStringList({"click", "dbl", "right"}));

    tray.SetPopupMenu(nullptr);
    emit tray.SystemTrayIcon()->activated(QSystemTrayIcon::Context);
    QCOMPARE(calls.size(), 4);
}

QTEST_MAIN(tst_TrayIcon)
#include "tst_TrayIcon.moc"
