#pragma once

#include <QFlags>
#include <QFont>
#include <QFrame>
#include <QIcon>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QRect>
#include <functional>
#include <memory>

class QRubberBand;
class TDocForm;

// A panel of tool buttons that is either docked along one side of its parent (the dock
// site) or floats in a small window of its own (TDocForm). The user moves it between the
// two states with the mouse. Every direct child widget counts as one of its buttons.
class TDocPanel : public QFrame {
    Q_OBJECT
public:
    enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
    enum TArrangement { amAuto, amWidth, amNone };
    enum TCaptionType { ctCustom, ctWindows, ctNot3x, ctSmall, ctNone };
    enum TDockFrame { dfInner, dfOuter };
    enum TDockingMethod { dmDblClick, dmDrag, dmNone, dmBoth };
    enum TDockingSide { dsTop = 0x1, dsLeft = 0x2, dsRight = 0x4, dsBottom = 0x8 };
    Q_DECLARE_FLAGS(TDockingSides, TDockingSide)
    enum TFloatBorder { fbSingle, fbSizeable };
    enum TBevel { bvNone, bvLowered, bvRaised };

    using TNotifyEvent = std::function<void(TDocPanel* sender)>;

    explicit TDocPanel(QWidget* parent = nullptr);
    ~TDocPanel() override;

    // Ends the design stage. Until then Docked only records the wish; here a bar set to
    // float is undocked with the drop place taken from where it lies in its parent's
    // layout, and the dock test that follows may dock it again at once. Runs by itself
    // from the event loop if the owner does not call it; calling it twice does nothing.
    void Loaded();

    bool AutoWrap() const { return m_autoWrap; }
    void SetAutoWrap(bool on);
    TAlign Align() const { return m_align; }
    // Changes the docked side; throws ENotDocked while floating.
    void SetAlign(TAlign side);
    TArrangement Arrangement() const { return m_arrangement; }
    void SetArrangement(TArrangement arrangement);
    bool AutoHide() const { return m_autoHide; }
    void SetAutoHide(bool on);
    bool DropDown() const { return m_dropDown; }
    void SetDropDown(bool on);
    TCaptionType CaptionType() const { return m_captionType; }
    void SetCaptionType(TCaptionType type);
    bool Docked() const { return m_docked; }
    void SetDocked(bool docked);
    // Whether the panel lives in its floating window now (Docked may still be a design wish).
    bool Floating() const { return m_floating; }
    TDockFrame DockFrame() const { return m_dockFrame; }
    void SetDockFrame(TDockFrame frame) { m_dockFrame = frame; }
    TDockingMethod DockingMethod() const { return m_dockingMethod; }
    void SetDockingMethod(TDockingMethod method);
    TDockingSides DockingSides() const { return m_dockingSides; }
    // Throws ENotDocked while floating.
    void SetDockingSides(TDockingSides sides);
    TFloatBorder FloatBorder() const { return m_floatBorder; }
    void SetFloatBorder(TFloatBorder border);
    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    // Names of an optional store for the bar's state; the program keeps none.
    QString IniFile() const { return m_iniFile; }
    void SetIniFile(const QString& name);
    QString RegistryKey() const { return m_registryKey; }
    void SetRegistryKey(const QString& key);
    int MaxWidth() const { return m_maxWidth; }
    void SetMaxWidth(int width);
    bool MaxWidthRestore() const { return m_maxWidthRestore; }
    void SetMaxWidthRestore(bool on) { m_maxWidthRestore = on; }
    bool NotificationCursor() const { return m_notificationCursor; }
    void SetNotificationCursor(bool on) { m_notificationCursor = on; }
    int Threshhold() const { return m_threshhold; }
    void SetThreshhold(int pixels) { m_threshhold = pixels; }
    QString Title() const { return m_title; }
    void SetTitle(const QString& title);
    QFont TitleFont() const { return m_titleFont; }
    void SetTitleFont(const QFont& font);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    bool StayOnTop() const { return m_stayOnTop; }
    void SetStayOnTop(bool on);

    TBevel BevelInner() const { return m_bevelInner; }
    void SetBevelInner(TBevel bevel);
    TBevel BevelOuter() const { return m_bevelOuter; }
    void SetBevelOuter(TBevel bevel);
    int BevelWidth() const { return m_bevelWidth; }
    void SetBevelWidth(int width);

    // The panel's position while docked, the floating window's while floating.
    int Left() const;
    int Top() const;

    TNotifyEvent OnDockChanged;
    TNotifyEvent OnVisibleChanged;
    TNotifyEvent OnPopUp;
    TNotifyEvent OnDropDown;

    // The floating window (null until the bar first floats) and whether it is rolled up.
    TDocForm* DocForm() const;
    bool RolledUp() const { return m_rolledUp; }
    // Height of the floating window's own caption strip (0 unless ctCustom).
    int CaptionHeight() const;

    // The side a rectangle docks to, or alNone. Both rectangles in screen coordinates;
    // their right and bottom edges are exclusive (left + width, top + height).
    static TAlign DockTest(const QRect& rect, const QRect& site, int threshold, TDockingSides sides);

    // Dragging the docked bar, in screen coordinates; the mouse handlers drive these.
    void BeginDrag(const QPoint& globalPos);
    void DragTo(const QPoint& globalPos);
    void EndDrag(const QPoint& globalPos);
    bool Dragging() const { return m_dragging; }
    QRect DragOutline() const { return m_outline; }

    // What the floating window reports: its close control, a completed move, a width
    // changed by the user, a double-click and a drag on its own caption strip.
    void CloseControl();
    void FloatingMoved();
    void FloatingResized(int clientWidth);
    void FloatingCaptionDblClick();
    void BeginFormDrag(const QPoint& globalPos);
    void FormDragTo(const QPoint& globalPos);
    void EndFormDrag(const QPoint& globalPos);
    bool FormDragging() const { return m_formDragging; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct DockedState {
        TAlign side = alTop;
        QRect geometry;
        int thickness = 0;
        TBevel bevelInner = bvNone;
        TBevel bevelOuter = bvRaised;
        bool ownFont = false;
        int maxWidth = -1;
        QList<QPair<QPointer<QWidget>, QPoint>> buttons;
        QPointer<QWidget> site;
    };

    static bool isSide(TAlign side);
    static bool isHorizontal(TAlign side);
    static TDockingSide sideFlag(TAlign side);

    QList<QWidget*> buttons(bool visibleOnly) const;
    int bevelTotal() const;
    int thickness() const;
    QWidget* dockSite() const;
    QRect siteRect() const;
    QRect barRect() const;
    // The rectangle of the floating window that the dock test looks at, for a window
    // whose client area is at clientRect.
    QRect floatTestRect(const QRect& clientRect) const;
    QRect sideStrip(TAlign side, int thick) const;

    void undock(const QRect& drop, bool dropped);
    void dock(TAlign side, bool dropped);
    void changeSide(TAlign side);
    void layoutFloating();
    void fitForm();
    void wrapDocked();
    void relayoutSite();
    void setRolledUp(bool up);
    void showOutline(const QRect& rect, TAlign side);
    void hideOutline();
    void fire(const TNotifyEvent& event);

    bool m_loading = true;
    bool m_autoWrap = false;
    TAlign m_align = alTop;
    TArrangement m_arrangement = amAuto;
    bool m_autoHide = true;
    bool m_dropDown = false;
    TCaptionType m_captionType = ctCustom;
    bool m_docked = true;
    bool m_floating = false;
    TDockFrame m_dockFrame = dfInner;
    TDockingMethod m_dockingMethod = dmDblClick;
    TDockingSides m_dockingSides = TDockingSides(dsTop) | dsBottom;
    TFloatBorder m_floatBorder = fbSingle;
    QIcon m_icon;
    QString m_iniFile;
    QString m_registryKey;
    int m_maxWidth = -1;
    bool m_maxWidthRestore = true;
    bool m_notificationCursor = true;
    int m_threshhold = 5;
    QString m_title;
    QFont m_titleFont;
    bool m_visible = true;
    bool m_stayOnTop = true;
    TBevel m_bevelInner = bvNone;
    TBevel m_bevelOuter = bvRaised;
    int m_bevelWidth = 1;

    DockedState m_state;
    QPointer<TDocForm> m_form;
    QWidget* m_formWidget = nullptr;
    bool m_rolledUp = false;
    bool m_wrapping = false;
    bool m_fitting = false;

    bool m_dragging = false;
    bool m_formDragging = false;
    QPoint m_dragStart;
    QRect m_dragSquare;
    QRect m_formDragRect;
    QRect m_outline;
    bool m_overrideCursor = false;
    std::unique_ptr<QRubberBand> m_band;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TDocPanel::TDockingSides)
