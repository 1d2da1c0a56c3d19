#include "widgets/ENotDocked.h"
#include "widgets/TDocForm.h"
#include "widgets/TDocPanel.h"
#include "widgets/TDocSite.h"

#include <QToolButton>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(TDocPanel::TAlign)
Q_DECLARE_METATYPE(TDocPanel::TArrangement)
Q_DECLARE_METATYPE(TDocPanel::TCaptionType)
Q_DECLARE_METATYPE(TDocPanel::TDockingSides)

namespace {

const int buttonLefts[9] = {1, 41, 80, 130, 170, 210, 260, 300, 340};

// The main window's arrangement: a site filling the window, a client below the bar,
// and the bar with its nine command buttons in the program's design settings.
struct Frame {
    std::unique_ptr<TDocSite> site;
    QWidget* client = nullptr;
    TDocPanel* panel = nullptr;
    QList<QToolButton*> buttons;
    int dockChanged = 0;
    int visibleChanged = 0;
    int popUps = 0;
    int dropDowns = 0;

    explicit Frame(int width = 640, int height = 400, bool load = true)
    {
        site = std::make_unique<TDocSite>();
        site->setGeometry(50, 60, width, height);
        client = new QWidget;
        site->SetClient(client);
        panel = new TDocPanel(site.get());
        panel->setObjectName("DocPanel");
        panel->SetDocked(false);
        panel->SetDockingMethod(TDocPanel::dmDrag);
        panel->SetAutoWrap(false);
        panel->SetAutoHide(false);
        panel->SetDropDown(true);
        panel->SetCaptionType(TDocPanel::ctWindows);
        panel->SetNotificationCursor(false);
        panel->SetTitle("Mailvane Buttons");
        QFont titleFont("MS Sans Serif");
        titleFont.setPixelSize(13);
        panel->SetTitleFont(titleFont);
        panel->resize(551, 42);
        panel->SetBevelInner(TDocPanel::bvLowered);
        panel->SetBevelOuter(TDocPanel::bvNone);
        for (int left : buttonLefts) {
            auto* button = new QToolButton(panel);
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setGeometry(left, 1, 40, 40);
            buttons.append(button);
        }
        panel->OnDockChanged = [this](TDocPanel*) { ++dockChanged; };
        panel->OnVisibleChanged = [this](TDocPanel*) { ++visibleChanged; };
        panel->OnPopUp = [this](TDocPanel*) { ++popUps; };
        panel->OnDropDown = [this](TDocPanel*) { ++dropDowns; };
        site->show();
        if (load) {
            panel->Loaded();
        }
    }

    QRect siteRect() const { return QRect(site->mapToGlobal(QPoint(0, 0)), site->size()); }
    QPoint onBar() const { return panel->mapToGlobal(QPoint(125, 20)); }

    // Drags the docked bar from a free spot on it to a point of the site.
    void dragTo(const QPoint& sitePoint)
    {
        const QPoint target = site->mapToGlobal(sitePoint);
        panel->BeginDrag(onBar());
        panel->DragTo((onBar() + target) / 2);
        panel->DragTo(target);
        panel->EndDrag(target);
    }
};

} // namespace

class tst_DocPanel : public QObject {
    Q_OBJECT

private slots:
    void dockTest_data();
    void dockTest();
    void startsDockedAtTop();
    void dragAwayFloats();
    void dragWithMouseFloats();
    void dropOnSides_data();
    void dropOnSides();
    void floatingLayout_data();
    void floatingLayout();
    void dockingRestoresState();
    void closeControl_data();
    void closeControl();
    void sideChangeSwaps();
    void dockingSidesRules();
    void floatingMoveOntoEdgeDocks();
    void visibleInBothStates();
    void dockedWrap();
};

void tst_DocPanel::dockTest_data()
{
    QTest::addColumn<QRect>("rect");
    QTest::addColumn<TDocPanel::TDockingSides>("sides");
    QTest::addColumn<TDocPanel::TAlign>("expected");

    // Site: left 100, top 100, right 700, bottom 500; threshold 5.
    const TDocPanel::TDockingSides topBottom = TDocPanel::TDockingSides(TDocPanel::dsTop) | TDocPanel::dsBottom;
    const TDocPanel::TDockingSides all = topBottom | TDocPanel::dsLeft | TDocPanel::dsRight;
    QTest::newRow("top edge 5 below") << QRect(200, 105, 60, 30) << topBottom << TDocPanel::alTop;
    QTest::newRow("top edge 6 below") << QRect(200, 106, 60, 30) << topBottom << TDocPanel::alNone;
    QTest::newRow("wholly above the band") << QRect(200, 50, 60, 40) << topBottom << TDocPanel::alNone;
    QTest::newRow("reaching into the band from above") << QRect(200, 50, 60, 47) << topBottom << TDocPanel::alTop;
    QTest::newRow("only right edge within") << QRect(60, 100, 60, 30) << topBottom << TDocPanel::alTop;
    QTest::newRow("both edges outside the width") << QRect(90, 100, 620, 30) << topBottom << TDocPanel::alNone;
    QTest::newRow("beside the site") << QRect(720, 100, 60, 30) << topBottom << TDocPanel::alNone;
    QTest::newRow("bottom band") << QRect(200, 470, 60, 34) << topBottom << TDocPanel::alBottom;
    QTest::newRow("left edge, left not allowed") << QRect(98, 250, 40, 40) << topBottom << TDocPanel::alNone;
    QTest::newRow("left edge, left allowed") << QRect(98, 250, 40, 40) << all << TDocPanel::alLeft;
    QTest::newRow("right edge") << QRect(660, 250, 44, 40) << all << TDocPanel::alRight;
    QTest::newRow("corner prefers top") << QRect(98, 98, 40, 40) << all << TDocPanel::alTop;
    QTest::newRow("corner, top not allowed")
        << QRect(98, 98, 40, 40) << (TDocPanel::TDockingSides(TDocPanel::dsLeft) | TDocPanel::dsBottom)
        << TDocPanel::alLeft;
    QTest::newRow("no sides allowed") << QRect(200, 100, 60, 30) << TDocPanel::TDockingSides() << TDocPanel::alNone;
}

void tst_DocPanel::dockTest()
{
    QFETCH(QRect, rect);
    QFETCH(TDocPanel::TDockingSides, sides);
    QFETCH(TDocPanel::TAlign, expected);
    QCOMPARE(TDocPanel::DockTest(rect, QRect(100, 100, 600, 400), 5, sides), expected);
}

void tst_DocPanel::startsDockedAtTop()
{
    Frame f;
    QVERIFY(f.panel->Docked());
    QVERIFY(!f.panel->Floating());
    QCOMPARE(f.panel->Align(), TDocPanel::alTop);
    QCOMPARE(f.panel->parentWidget(), f.site.get());
    QCOMPARE(f.panel->geometry(), QRect(0, 0, 640, 42));
    QCOMPARE(f.client->geometry(), QRect(0, 42, 640, 358));
    // It went through floating without ever showing the window.
    QVERIFY(f.panel->DocForm() == nullptr || !f.panel->DocForm()->isVisible());
    QCOMPARE(f.buttons[3]->pos(), QPoint(130, 1));
    QCOMPARE(f.panel->BevelInner(), TDocPanel::bvLowered);
}

void tst_DocPanel::dragAwayFloats()
{
    Frame f;
    f.dockChanged = 0;
    f.dragTo(QPoint(300, 200));
    QVERIFY(f.panel->Floating());
    QVERIFY(!f.panel->Docked());
    QCOMPARE(f.dockChanged, 1);
    TDocForm* form = f.panel->DocForm();
    QVERIFY(form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->windowTitle(), QString("Mailvane Buttons"));
    QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(form->windowType(), Qt::Tool);
    QCOMPARE(f.panel->parentWidget(), form);
    // The site's client took the whole area back.
    QCOMPARE(f.client->geometry(), QRect(0, 0, 640, 400));
    // Floating removes the bevels.
    QCOMPARE(f.panel->BevelInner(), TDocPanel::bvNone);
}

void tst_DocPanel::dragWithMouseFloats()
{
    Frame f;
    QVERIFY(QTest::qWaitForWindowExposed(f.site.get()));
    const QPoint start(125, 20);
    const QPoint end = f.panel->mapFromGlobal(f.site->mapToGlobal(QPoint(320, 250)));
    QTest::mousePress(f.panel, Qt::LeftButton, {}, start);
    QVERIFY(f.panel->Dragging());
    QTest::mouseMove(f.panel, end);
    QVERIFY(!f.panel->DragOutline().isEmpty());
    QTest::mouseRelease(f.panel, Qt::LeftButton, {}, end);
    QVERIFY(!f.panel->Dragging());
    QVERIFY(f.panel->Floating());
}

void tst_DocPanel::dropOnSides_data()
{
    QTest::addColumn<QPoint>("target");
    QTest::addColumn<bool>("floating");
    QTest::addColumn<TDocPanel::TAlign>("side");

    QTest::newRow("left edge, not allowed") << QPoint(2, 200) << true << TDocPanel::alNone;
    QTest::newRow("right edge, not allowed") << QPoint(637, 200) << true << TDocPanel::alNone;
    QTest::newRow("bottom edge") << QPoint(300, 398) << false << TDocPanel::alBottom;
    QTest::newRow("back onto the top") << QPoint(300, 10) << false << TDocPanel::alTop;
}

void tst_DocPanel::dropOnSides()
{
    QFETCH(QPoint, target);
    QFETCH(bool, floating);
    QFETCH(TDocPanel::TAlign, side);

    Frame f;
    f.dragTo(target);
    QCOMPARE(f.panel->Floating(), floating);
    if (floating) {
        QVERIFY(f.panel->DocForm()->isVisible());
        return;
    }
    QCOMPARE(f.panel->Align(), side);
    const int top = side == TDocPanel::alBottom ? 400 - 42 : 0;
    QCOMPARE(f.panel->geometry(), QRect(0, top, 640, 42));
}

void tst_DocPanel::floatingLayout_data()
{
    QTest::addColumn<TDocPanel::TArrangement>("arrangement");
    QTest::addColumn<int>("maxWidth");
    QTest::addColumn<QList<QPoint>>("positions");
    QTest::addColumn<QSize>("size");

    QTest::newRow("amAuto 120: three rows of three")
        << TDocPanel::amAuto << 120
        << QList<QPoint>{{0, 0}, {40, 0}, {80, 0}, {0, 40}, {40, 40}, {80, 40}, {0, 80}, {40, 80}, {80, 80}}
        << QSize(120, 120);
    QTest::newRow("amAuto 100: two per row")
        << TDocPanel::amAuto << 100
        << QList<QPoint>{{0, 0}, {40, 0}, {0, 40}, {40, 40}, {0, 80}, {40, 80}, {0, 120}, {40, 120}, {0, 160}}
        << QSize(80, 200);
    QTest::newRow("amAuto docked length: one row")
        << TDocPanel::amAuto << -1
        << QList<QPoint>{{0, 0}, {40, 0}, {80, 0}, {120, 0}, {160, 0}, {200, 0}, {240, 0}, {280, 0}, {320, 0}}
        << QSize(360, 40);
    QTest::newRow("amAuto narrower than a button: one per row")
        << TDocPanel::amAuto << 30
        << QList<QPoint>{{0, 0}, {0, 40}, {0, 80}, {0, 120}, {0, 160}, {0, 200}, {0, 240}, {0, 280}, {0, 320}}
        << QSize(40, 360);
    QTest::newRow("amWidth 200: docked rows broken")
        << TDocPanel::amWidth << 200
        << QList<QPoint>{{1, 1}, {41, 1}, {80, 1}, {130, 1}, {0, 43}, {40, 43}, {90, 43}, {130, 43}, {0, 85}}
        << QSize(170, 125);
    QTest::newRow("amNone keeps docked places")
        << TDocPanel::amNone << 200
        << QList<QPoint>{{1, 1}, {41, 1}, {80, 1}, {130, 1}, {170, 1}, {210, 1}, {260, 1}, {300, 1}, {340, 1}}
        << QSize(380, 41);
}

void tst_DocPanel::floatingLayout()
{
    QFETCH(TDocPanel::TArrangement, arrangement);
    QFETCH(int, maxWidth);
    QFETCH(QList<QPoint>, positions);
    QFETCH(QSize, size);

    Frame f;
    f.panel->SetArrangement(arrangement);
    f.panel->SetMaxWidth(maxWidth);
    f.panel->SetDocked(false);
    QVERIFY(f.panel->Floating());
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(f.buttons[i]->pos(), positions[i]);
    }
    QCOMPARE(f.panel->size(), size);
    QCOMPARE(f.panel->DocForm()->size(), size);
    QCOMPARE(f.panel->MaxWidth(), size.width());

    // Changing the width limit while floating lays the buttons out again.
    f.panel->SetArrangement(TDocPanel::amAuto);
    f.panel->SetMaxWidth(120);
    QCOMPARE(f.panel->size(), QSize(120, 120));
    QCOMPARE(f.buttons[8]->pos(), QPoint(80, 80));
}

void tst_DocPanel::dockingRestoresState()
{
    Frame f;
    f.panel->SetMaxWidth(120);
    f.dragTo(QPoint(300, 200));
    QVERIFY(f.panel->Floating());
    QCOMPARE(f.panel->size(), QSize(120, 120));
    f.buttons[4]->hide();
    f.panel->SetMaxWidth(500);

    f.dockChanged = 0;
    f.panel->SetDocked(true);
    QVERIFY(!f.panel->Floating());
    QCOMPARE(f.dockChanged, 1);
    QVERIFY(!f.panel->DocForm()->isVisible());
    QCOMPARE(f.panel->geometry(), QRect(0, 0, 640, 42));
    QCOMPARE(f.panel->BevelInner(), TDocPanel::bvLowered);
    QCOMPARE(f.panel->MaxWidth(), 120);
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(f.buttons[i]->pos(), QPoint(buttonLefts[i], 1));
    }
    QCOMPARE(f.client->geometry().top(), 42);
}

void tst_DocPanel::closeControl_data()
{
    QTest::addColumn<TDocPanel::TCaptionType>("caption");
    QTest::addColumn<bool>("autoHide");
    QTest::addColumn<bool>("useButton");
    QTest::addColumn<int>("rolledHeight");

    QTest::newRow("system caption rolls up") << TDocPanel::ctWindows << false << false << 0;
    QTest::newRow("custom caption, its arrow button") << TDocPanel::ctCustom << false << true << 19;
    QTest::newRow("system caption, AutoHide hides") << TDocPanel::ctWindows << true << false << -1;
    QTest::newRow("custom caption, cross button hides") << TDocPanel::ctCustom << true << true << -1;
}

void tst_DocPanel::closeControl()
{
    QFETCH(TDocPanel::TCaptionType, caption);
    QFETCH(bool, autoHide);
    QFETCH(bool, useButton);
    QFETCH(int, rolledHeight);

    Frame f;
    f.panel->SetCaptionType(caption);
    f.panel->SetAutoHide(autoHide);
    f.dragTo(QPoint(300, 200));
    TDocForm* form = f.panel->DocForm();
    QVERIFY(form->isVisible());
    const int strip = f.panel->CaptionHeight();
    QCOMPARE(form->size(), QSize(360, 40 + strip));
    const auto pressClose = [&] {
        if (useButton) {
            QTest::mouseClick(form, Qt::LeftButton, {}, form->CaptionButtonRect().center());
        } else {
            QVERIFY(!form->close());
        }
    };

    pressClose();
    if (autoHide) {
        QVERIFY(!f.panel->Visible());
        QVERIFY(!form->isVisible());
        QCOMPARE(f.visibleChanged, 1);
        QCOMPARE(f.popUps, 0);
        f.panel->SetVisible(true);
        QVERIFY(form->isVisible());
        return;
    }
    QVERIFY(f.panel->RolledUp());
    QCOMPARE(f.popUps, 1);
    QCOMPARE(f.dropDowns, 0);
    QVERIFY(form->isVisible());
    QVERIFY(f.panel->isHidden());
    QCOMPARE(form->height(), rolledHeight);

    pressClose();
    QVERIFY(!f.panel->RolledUp());
    QCOMPARE(f.popUps, 1);
    QCOMPARE(f.dropDowns, 1);
    QVERIFY(!f.panel->isHidden());
    QCOMPARE(form->size(), QSize(360, 40 + strip));
    QVERIFY(f.panel->Floating());
}

void tst_DocPanel::sideChangeSwaps()
{
    Frame f;
    f.panel->SetDockingSides(TDocPanel::TDockingSides(TDocPanel::dsTop) | TDocPanel::dsBottom | TDocPanel::dsLeft |
                             TDocPanel::dsRight);
    f.panel->SetAlign(TDocPanel::alLeft);
    QCOMPARE(f.panel->geometry(), QRect(0, 0, 42, 400));
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(f.buttons[i]->pos(), QPoint(1, buttonLefts[i]));
    }
    QCOMPARE(f.client->geometry(), QRect(42, 0, 598, 400));

    // Between two vertical sides nothing turns.
    f.panel->SetAlign(TDocPanel::alRight);
    QCOMPARE(f.panel->geometry(), QRect(598, 0, 42, 400));
    QCOMPARE(f.buttons[5]->pos(), QPoint(1, 210));

    f.panel->SetAlign(TDocPanel::alBottom);
    QCOMPARE(f.panel->geometry(), QRect(0, 358, 640, 42));
    QCOMPARE(f.buttons[5]->pos(), QPoint(210, 1));

    // A drop on the left edge now docks there, turning the bar.
    f.panel->SetAlign(TDocPanel::alTop);
    f.dragTo(QPoint(2, 200));
    QVERIFY(!f.panel->Floating());
    QCOMPARE(f.panel->Align(), TDocPanel::alLeft);
    QCOMPARE(f.panel->width(), 42);
    QCOMPARE(f.buttons[2]->pos(), QPoint(1, 80));
}

void tst_DocPanel::dockingSidesRules()
{
    Frame f;
    f.panel->SetAlign(TDocPanel::alBottom);
    // The current side leaving the set moves the bar to the first allowed side.
    f.panel->SetDockingSides(TDocPanel::TDockingSides(TDocPanel::dsRight) | TDocPanel::dsLeft);
    QCOMPARE(f.panel->Align(), TDocPanel::alLeft);
    QCOMPARE(f.panel->width(), 42);

    f.panel->SetDockingSides({});
    QCOMPARE(f.panel->DockingMethod(), TDocPanel::dmDblClick);
    f.panel->SetDockingMethod(TDocPanel::dmBoth);
    QCOMPARE(f.panel->DockingSides(), TDocPanel::TDockingSides(TDocPanel::dsTop) | TDocPanel::dsBottom);
    QCOMPARE(f.panel->Align(), TDocPanel::alLeft);

    f.panel->SetDocked(false);
    QVERIFY(f.panel->Floating());
    try {
        f.panel->SetDockingSides(TDocPanel::dsTop);
        QFAIL("changing the sides of a floating bar must fail");
    } catch (const ENotDocked& e) {
        QCOMPARE(e.message(), QString("The Panel must be docked to change this property"));
    }
    QCOMPARE(f.panel->DockingSides(), TDocPanel::TDockingSides(TDocPanel::dsTop) | TDocPanel::dsBottom);
    QVERIFY_THROWS_EXCEPTION(ENotDocked, f.panel->SetAlign(TDocPanel::alTop));
}

void tst_DocPanel::floatingMoveOntoEdgeDocks()
{
    Frame f;
    f.dragTo(QPoint(300, 200));
    TDocForm* form = f.panel->DocForm();
    QVERIFY(form->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(form));

    // The test looks at the client area (the panel), not at the frame that move() places.
    const QRect site = f.siteRect();
    const int frameTop = form->geometry().top() - form->frameGeometry().top();
    QSignalSpy settled(&form->MoveSettle(), &QTimer::timeout);
    form->move(site.left() + 100, site.top() + 6 - frameTop);
    QVERIFY(settled.wait());
    QVERIFY(f.panel->Floating());

    form->move(site.left() + 100, site.top() + 5 - frameTop);
    QTRY_VERIFY(!f.panel->Floating());
    QCOMPARE(f.panel->Align(), TDocPanel::alTop);
    QCOMPARE(f.panel->geometry(), QRect(0, 0, 640, 42));
    QVERIFY(!form->isVisible());
}

void tst_DocPanel::visibleInBothStates()
{
    Frame f;
    f.panel->SetVisible(false);
    QCOMPARE(f.visibleChanged, 1);
    QVERIFY(f.panel->isHidden());
    QCOMPARE(f.client->geometry(), QRect(0, 0, 640, 400));
    f.panel->SetVisible(false);
    QCOMPARE(f.visibleChanged, 1);

    // Undocking a hidden bar keeps its window hidden until the bar is shown.
    f.panel->SetDocked(false);
    QVERIFY(f.panel->Floating());
    QVERIFY(!f.panel->DocForm()->isVisible());
    f.panel->SetVisible(true);
    QVERIFY(f.panel->DocForm()->isVisible());
    QCOMPARE(f.visibleChanged, 2);

    f.panel->SetDocked(true);
    QVERIFY(!f.panel->isHidden());
    QVERIFY(!f.panel->DocForm()->isVisible());
}

void tst_DocPanel::dockedWrap()
{
    Frame f(200, 300);
    QCOMPARE(f.panel->height(), 42);
    f.panel->SetAutoWrap(true);
    // 198 pixels inside the bevels hold four 40-pixel buttons a row: 4 + 4 + 1.
    QCOMPARE(f.buttons[3]->pos(), QPoint(121, 1));
    QCOMPARE(f.buttons[4]->pos(), QPoint(1, 41));
    QCOMPARE(f.buttons[8]->pos(), QPoint(1, 81));
    QCOMPARE(f.panel->height(), 122);
    QCOMPARE(f.client->geometry().top(), 122);

    // 298 pixels: seven a row.
    f.site->resize(300, 300);
    QCOMPARE(f.panel->height(), 82);
    QCOMPARE(f.buttons[7]->pos(), QPoint(1, 41));
    QCOMPARE(f.buttons[8]->pos(), QPoint(41, 41));

    // amNone leaves the buttons where they are.
    f.panel->SetArrangement(TDocPanel::amNone);
    f.site->resize(200, 300);
    QCOMPARE(f.panel->height(), 82);
}

QTEST_MAIN(tst_DocPanel)
#include "tst_DocPanel.moc"
