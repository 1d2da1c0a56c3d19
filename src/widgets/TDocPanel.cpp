#include "widgets/TDocPanel.h"

#include "core/TExceptionHook.h"
#include "widgets/ENotDocked.h"
#include "widgets/TDocForm.h"
#include "widgets/TDocSite.h"

#include <QFontInfo>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QRubberBand>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

namespace {

// An arrow pointing at a bar along the side the drop would dock to.
QCursor dockCursor(TDocPanel::TAlign side)
{
    QRect bar;
    QPolygon arrow;
    switch (side) {
    case TDocPanel::alTop:
        bar = QRect(2, 2, 27, 6);
        arrow << QPoint(16, 10) << QPoint(8, 19) << QPoint(24, 19);
        break;
    case TDocPanel::alBottom:
        bar = QRect(2, 23, 27, 6);
        arrow << QPoint(16, 21) << QPoint(8, 12) << QPoint(24, 12);
        break;
    case TDocPanel::alLeft:
        bar = QRect(2, 2, 6, 27);
        arrow << QPoint(10, 16) << QPoint(19, 8) << QPoint(19, 24);
        break;
    case TDocPanel::alRight:
        bar = QRect(23, 2, 6, 27);
        arrow << QPoint(21, 16) << QPoint(12, 8) << QPoint(12, 24);
        break;
    default:
        return QCursor(Qt::ArrowCursor);
    }
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(Qt::white);
    p.setBrush(Qt::black);
    p.drawRect(bar);
    p.drawPolygon(arrow);
    p.end();
    return QCursor(pixmap, 16, 16);
}

} // namespace

TDocPanel::TDocPanel(QWidget* parent) : QFrame(parent)
{
    setAutoFillBackground(true);
    m_titleFont = font();
    // The owner sets the design properties right after construction; the design stage
    // is over at the latest when control returns to the event loop.
    QTimer::singleShot(0, this, [this] { TExceptionHook::Run([this] { Loaded(); }); });
    relayoutSite();
}

TDocPanel::~TDocPanel()
{
    hideOutline();
    // While floating the window is our parent and is deleting us; compare plain widget
    // pointers, since the window is no longer a TDocForm at this point.
    if (parentWidget() != m_formWidget && m_form) {
        delete m_form;
    }
}

void TDocPanel::Loaded()
{
    if (!m_loading) {
        return;
    }
    m_loading = false;
    if (!m_docked) {
        relayoutSite();
        undock(QRect(mapToGlobal(QPoint(0, 0)), size()), true);
    }
}

bool TDocPanel::isSide(TAlign side)
{
    return side == alTop || side == alBottom || side == alLeft || side == alRight;
}

bool TDocPanel::isHorizontal(TAlign side)
{
    return side == alTop || side == alBottom;
}

TDocPanel::TDockingSide TDocPanel::sideFlag(TAlign side)
{
    switch (side) {
    case alBottom:
        return dsBottom;
    case alLeft:
        return dsLeft;
    case alRight:
        return dsRight;
    default:
        return dsTop;
    }
}

TDocPanel::TAlign TDocPanel::DockTest(const QRect& rect, const QRect& site, int threshold, TDockingSides sides)
{
    const int rl = rect.x();
    const int rt = rect.y();
    const int rr = rect.x() + rect.width();
    const int rb = rect.y() + rect.height();
    const int sl = site.x();
    const int st = site.y();
    const int sr = site.x() + site.width();
    const int sb = site.y() + site.height();
    const auto within = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
    const auto meetsBand = [threshold](int lo, int hi, int edge) {
        return lo <= edge + threshold && hi >= edge - threshold;
    };
    const bool alongWidth = within(rl, sl, sr) || within(rr, sl, sr);
    const bool alongHeight = within(rt, st, sb) || within(rb, st, sb);
    if ((sides & dsTop) && alongWidth && meetsBand(rt, rb, st)) {
        return alTop;
    }
    if ((sides & dsBottom) && alongWidth && meetsBand(rt, rb, sb)) {
        return alBottom;
    }
    if ((sides & dsLeft) && alongHeight && meetsBand(rl, rr, sl)) {
        return alLeft;
    }
    if ((sides & dsRight) && alongHeight && meetsBand(rl, rr, sr)) {
        return alRight;
    }
    return alNone;
}

QList<QWidget*> TDocPanel::buttons(bool visibleOnly) const
{
    QList<QWidget*> list;
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow() || (visibleOnly && w->isHidden())) {
            continue;
        }
        list.append(w);
    }
    return list;
}

int TDocPanel::bevelTotal() const
{
    return (m_bevelOuter != bvNone ? m_bevelWidth : 0) + (m_bevelInner != bvNone ? m_bevelWidth : 0);
}

int TDocPanel::thickness() const
{
    return isSide(m_align) && !isHorizontal(m_align) ? width() : height();
}

TDocForm* TDocPanel::DocForm() const
{
    return m_form;
}

int TDocPanel::Left() const
{
    return m_floating && m_form ? m_form->x() : x();
}

int TDocPanel::Top() const
{
    return m_floating && m_form ? m_form->y() : y();
}

int TDocPanel::CaptionHeight() const
{
    if (m_captionType != ctCustom) {
        return 0;
    }
    const int pixels = m_titleFont.pixelSize() > 0 ? m_titleFont.pixelSize() : QFontInfo(m_titleFont).pixelSize();
    return std::abs(pixels) * 15 / 10;
}

QWidget* TDocPanel::dockSite() const
{
    return m_floating ? m_state.site.data() : parentWidget();
}

QRect TDocPanel::siteRect() const
{
    const QWidget* site = dockSite();
    return site ? QRect(site->mapToGlobal(QPoint(0, 0)), site->size()) : QRect();
}

QRect TDocPanel::barRect() const
{
    return QRect(mapToGlobal(QPoint(0, 0)), size());
}

QRect TDocPanel::floatTestRect(const QRect& clientRect) const
{
    if (m_dockFrame == dfOuter && m_form) {
        const QRect frame = m_form->frameGeometry();
        const QRect client = m_form->geometry();
        return clientRect.adjusted(frame.left() - client.left(), frame.top() - client.top(),
                                   frame.right() - client.right(), frame.bottom() - client.bottom());
    }
    return clientRect.adjusted(0, CaptionHeight(), 0, 0);
}

QRect TDocPanel::sideStrip(TAlign side, int thick) const
{
    const QRect site = siteRect();
    switch (side) {
    case alTop:
        return QRect(site.left(), site.top(), site.width(), thick);
    case alBottom:
        return QRect(site.left(), site.top() + site.height() - thick, site.width(), thick);
    case alLeft:
        return QRect(site.left(), site.top(), thick, site.height());
    case alRight:
        return QRect(site.left() + site.width() - thick, site.top(), thick, site.height());
    default:
        return QRect();
    }
}

void TDocPanel::fire(const TNotifyEvent& event)
{
    if (event) {
        event(this);
    }
}

// ---- properties

void TDocPanel::SetAutoWrap(bool on)
{
    m_autoWrap = on;
    wrapDocked();
}

void TDocPanel::SetAlign(TAlign side)
{
    if (m_floating) {
        throw ENotDocked();
    }
    if (side != m_align) {
        changeSide(side);
    }
}

void TDocPanel::SetArrangement(TArrangement arrangement)
{
    m_arrangement = arrangement;
    if (m_floating) {
        layoutFloating();
    } else {
        wrapDocked();
    }
}

void TDocPanel::SetAutoHide(bool on)
{
    m_autoHide = on;
    if (m_form) {
        m_form->ApplyStyle();
    }
}

void TDocPanel::SetDropDown(bool on)
{
    m_dropDown = on;
    if (m_form) {
        m_form->ApplyStyle();
    }
}

void TDocPanel::SetCaptionType(TCaptionType type)
{
    m_captionType = type;
    if (m_form) {
        m_form->ApplyStyle();
        fitForm();
    }
}

void TDocPanel::SetDocked(bool docked)
{
    if (m_loading) {
        m_docked = docked;
        return;
    }
    if (docked == m_docked) {
        return;
    }
    if (docked) {
        dock(m_state.side, false);
    } else {
        // Floats in place; the dock test is for drops, or a bar at its edge would dock right back.
        undock(QRect(), false);
    }
}

void TDocPanel::SetDockingMethod(TDockingMethod method)
{
    m_dockingMethod = method;
    if ((method == dmDrag || method == dmBoth) && !m_dockingSides) {
        m_dockingSides = TDockingSides(dsTop) | dsBottom;
    }
}

void TDocPanel::SetDockingSides(TDockingSides sides)
{
    if (m_floating) {
        throw ENotDocked();
    }
    m_dockingSides = sides;
    if (!sides) {
        m_dockingMethod = dmDblClick;
        return;
    }
    if (isSide(m_align) && !(sides & sideFlag(m_align))) {
        for (TAlign side : {alTop, alBottom, alLeft, alRight}) {
            if (sides & sideFlag(side)) {
                changeSide(side);
                break;
            }
        }
    }
}

void TDocPanel::SetFloatBorder(TFloatBorder border)
{
    m_floatBorder = border;
    fitForm();
}

void TDocPanel::SetIcon(const QIcon& icon)
{
    m_icon = icon;
    if (m_form) {
        m_form->ApplyStyle();
    }
}

void TDocPanel::SetIniFile(const QString& name)
{
    m_iniFile = name;
    if (!name.isEmpty()) {
        m_registryKey.clear();
    }
}

void TDocPanel::SetRegistryKey(const QString& key)
{
    m_registryKey = key;
    if (!key.isEmpty()) {
        m_iniFile.clear();
    }
}

void TDocPanel::SetMaxWidth(int width)
{
    m_maxWidth = width;
    layoutFloating();
}

void TDocPanel::SetTitle(const QString& title)
{
    m_title = title;
    if (m_form) {
        m_form->ApplyStyle();
    }
}

void TDocPanel::SetTitleFont(const QFont& font)
{
    m_titleFont = font;
    if (m_form) {
        m_form->ApplyStyle();
        fitForm();
    }
}

void TDocPanel::SetVisible(bool visible)
{
    if (visible == m_visible) {
        return;
    }
    m_visible = visible;
    if (m_floating) {
        if (m_form) {
            m_form->setVisible(visible);
        }
    } else {
        QFrame::setVisible(visible);
        relayoutSite();
    }
    fire(OnVisibleChanged);
}

void TDocPanel::SetStayOnTop(bool on)
{
    m_stayOnTop = on;
    if (m_form) {
        m_form->ApplyStyle();
    }
}

void TDocPanel::SetBevelInner(TBevel bevel)
{
    m_bevelInner = bevel;
    wrapDocked();
    update();
}

void TDocPanel::SetBevelOuter(TBevel bevel)
{
    m_bevelOuter = bevel;
    wrapDocked();
    update();
}

void TDocPanel::SetBevelWidth(int width)
{
    m_bevelWidth = qMax(1, width);
    wrapDocked();
    update();
}

// ---- docking and floating

void TDocPanel::undock(const QRect& drop, bool dropped)
{
    QWidget* site = parentWidget();
    if (m_floating || !site) {
        return;
    }
    hideOutline();
    const QRect place = drop.isNull() ? barRect() : drop;

    m_state.side = m_align;
    m_state.geometry = geometry();
    m_state.thickness = thickness();
    m_state.bevelInner = m_bevelInner;
    m_state.bevelOuter = m_bevelOuter;
    m_state.ownFont = testAttribute(Qt::WA_SetFont);
    m_state.maxWidth = m_maxWidth;
    m_state.site = site;
    m_state.buttons.clear();
    for (QWidget* button : buttons(false)) {
        m_state.buttons.append(qMakePair(QPointer<QWidget>(button), button->pos()));
    }

    // Keep the font the bar showed when docked.
    QFont shown = font();
    shown.setResolveMask(QFont::AllPropertiesResolved);
    setFont(shown);
    m_align = alNone;
    if (!m_form) {
        m_form = new TDocForm(this, site->window());
        m_formWidget = m_form;
    }
    m_form->ApplyStyle();
    m_floating = true;
    m_docked = false;
    m_rolledUp = false;
    m_bevelInner = bvNone;
    m_bevelOuter = bvNone;
    setParent(m_form);
    move(0, CaptionHeight());
    QFrame::setVisible(true);
    relayoutSite();
    layoutFloating();

    // Put the panel where it was dropped, with the whole window kept on the screen.
    QRect client(place.topLeft() - QPoint(0, CaptionHeight()), m_form->size());
    const QScreen* screen = QGuiApplication::screenAt(place.center());
    if (!screen) {
        screen = site->screen();
    }
    if (screen) {
        const QRect area = screen->geometry();
        if (client.right() > area.right()) {
            client.moveRight(area.right());
        }
        if (client.bottom() > area.bottom()) {
            client.moveBottom(area.bottom());
        }
        if (client.left() < area.left()) {
            client.moveLeft(area.left());
        }
        if (client.top() < area.top()) {
            client.moveTop(area.top());
        }
    }
    m_form->setGeometry(client);

    if (dropped) {
        const TAlign side = DockTest(floatTestRect(client), siteRect(), m_threshhold, m_dockingSides);
        if (side != alNone) {
            fire(OnDockChanged);
            dock(side, true);
            return;
        }
    }
    if (m_visible) {
        m_form->show();
    }
    fire(OnDockChanged);
}

void TDocPanel::dock(TAlign side, bool dropped)
{
    QWidget* site = m_state.site;
    if (!m_floating || !site) {
        return;
    }
    hideOutline();
    if (m_form) {
        m_form->hide();
    }
    m_rolledUp = false;
    m_floating = false;
    m_docked = true;
    setParent(site);
    m_bevelInner = m_state.bevelInner;
    m_bevelOuter = m_state.bevelOuter;
    if (!m_state.ownFont) {
        setFont(QFont());
    }
    for (const auto& entry : m_state.buttons) {
        if (entry.first) {
            entry.first->move(entry.second);
        }
    }
    m_wrapping = true;
    if (dropped) {
        // Only side and thickness come back; the site gives the place and length.
        resize(m_state.geometry.size());
    } else {
        setGeometry(m_state.geometry);
    }
    m_wrapping = false;
    m_align = m_state.side;
    if (isSide(side) && side != m_align) {
        changeSide(side);
    }
    if (m_maxWidthRestore) {
        m_maxWidth = m_state.maxWidth;
    }
    QFrame::setVisible(m_visible);
    wrapDocked();
    relayoutSite();
    fire(OnDockChanged);
}

void TDocPanel::changeSide(TAlign side)
{
    const TAlign old = m_align;
    m_align = side;
    if (isSide(old) && isSide(side) && isHorizontal(old) != isHorizontal(side)) {
        m_wrapping = true;
        resize(height(), width());
        for (QWidget* button : buttons(false)) {
            button->move(button->y(), button->x());
        }
        m_wrapping = false;
    }
    wrapDocked();
    relayoutSite();
}

void TDocPanel::layoutFloating()
{
    if (!m_floating) {
        return;
    }
    if (m_maxWidth < 0) {
        m_maxWidth =
            isSide(m_state.side) && !isHorizontal(m_state.side) ? m_state.geometry.height() : m_state.geometry.width();
    }
    const auto dockedPos = [this](QWidget* button) {
        for (const auto& entry : m_state.buttons) {
            if (entry.first == button) {
                return entry.second;
            }
        }
        return button->pos();
    };

    const QList<QWidget*> shown = buttons(true);
    switch (m_arrangement) {
    case amAuto: {
        int x = 0;
        int y = 0;
        int lowest = 0;
        bool rowEmpty = true;
        bool breakNext = false;
        for (QWidget* button : shown) {
            if (!rowEmpty && (breakNext || x + button->width() > m_maxWidth)) {
                x = 0;
                y = lowest;
            }
            button->move(x, y);
            lowest = qMax(lowest, y + button->height());
            breakNext = x + button->width() > m_maxWidth;
            x += button->width();
            rowEmpty = false;
        }
        break;
    }
    case amWidth: {
        int shift = 0;
        int drop = 0;
        bool rowEmpty = true;
        for (QWidget* button : shown) {
            const QPoint docked = dockedPos(button);
            int x = docked.x() - shift;
            if (!rowEmpty && x + button->width() > m_maxWidth) {
                shift = docked.x();
                drop += m_state.thickness;
                x = 0;
            }
            button->move(x, docked.y() + drop);
            rowEmpty = false;
        }
        break;
    }
    case amNone:
        for (QWidget* button : shown) {
            button->move(dockedPos(button));
        }
        break;
    }

    QSize size;
    if (shown.isEmpty()) {
        const int bevels =
            (m_state.bevelOuter != bvNone ? m_bevelWidth : 0) + (m_state.bevelInner != bvNone ? m_bevelWidth : 0);
        size = m_state.geometry.size() - QSize(2 * bevels, 2 * bevels);
    } else {
        QRect bound;
        for (QWidget* button : shown) {
            bound |= button->geometry();
        }
        size = QSize(bound.x() + bound.width(), bound.y() + bound.height());
    }
    m_fitting = true;
    resize(size.expandedTo(QSize(1, 1)));
    m_fitting = false;
    fitForm();
    m_maxWidth = width();
}

void TDocPanel::fitForm()
{
    if (!m_form || !m_floating) {
        return;
    }
    move(0, CaptionHeight());
    m_form->FitClient(QSize(width(), m_rolledUp ? CaptionHeight() : height() + CaptionHeight()));
}

void TDocPanel::wrapDocked()
{
    if (m_floating || !m_autoWrap || m_arrangement == amNone || !isSide(m_align) || m_wrapping) {
        return;
    }
    const QList<QWidget*> shown = buttons(true);
    if (shown.isEmpty()) {
        return;
    }
    m_wrapping = true;
    const bool horizontal = isHorizontal(m_align);
    const int bevel = bevelTotal();
    const int length = (horizontal ? width() : height()) - 2 * bevel;
    int along = 0;
    int across = 0;
    int extent = 0;
    bool rowEmpty = true;
    bool breakNext = false;
    for (QWidget* button : shown) {
        const int ownLength = horizontal ? button->width() : button->height();
        const int ownThickness = horizontal ? button->height() : button->width();
        if (!rowEmpty && (breakNext || along + ownLength > length)) {
            along = 0;
            across = extent;
        }
        button->move(horizontal ? QPoint(bevel + along, bevel + across) : QPoint(bevel + across, bevel + along));
        extent = qMax(extent, across + ownThickness);
        breakNext = along + ownLength > length;
        along += ownLength;
        rowEmpty = false;
    }
    const int thick = extent + 2 * bevel;
    if (horizontal) {
        resize(width(), thick);
    } else {
        resize(thick, height());
    }
    m_wrapping = false;
    relayoutSite();
}

void TDocPanel::relayoutSite()
{
    QWidget* site = dockSite();
    if (auto* docSite = qobject_cast<TDocSite*>(site)) {
        docSite->Relayout();
        return;
    }
    // Any other parent: the panel places itself along its side.
    if (!site || m_floating) {
        return;
    }
    switch (m_align) {
    case alTop:
        setGeometry(0, 0, site->width(), height());
        break;
    case alBottom:
        setGeometry(0, site->height() - height(), site->width(), height());
        break;
    case alLeft:
        setGeometry(0, 0, width(), site->height());
        break;
    case alRight:
        setGeometry(site->width() - width(), 0, width(), site->height());
        break;
    case alClient:
        setGeometry(site->rect());
        break;
    case alNone:
        break;
    }
}

void TDocPanel::setRolledUp(bool up)
{
    m_rolledUp = up;
    QFrame::setVisible(!up);
    fitForm();
    fire(up ? OnPopUp : OnDropDown);
}

// ---- what the floating window reports

void TDocPanel::CloseControl()
{
    if (!m_floating) {
        return;
    }
    if (m_autoHide) {
        SetVisible(false);
    } else if (m_dropDown) {
        setRolledUp(!m_rolledUp);
    }
}

void TDocPanel::FloatingMoved()
{
    if (!m_floating || !m_form || !m_form->isVisible()) {
        return;
    }
    const TAlign side = DockTest(floatTestRect(m_form->geometry()), siteRect(), m_threshhold, m_dockingSides);
    if (side != alNone) {
        dock(side, true);
    }
}

void TDocPanel::FloatingResized(int clientWidth)
{
    if (!m_floating || m_rolledUp || m_fitting) {
        return;
    }
    m_maxWidth = clientWidth;
    layoutFloating();
}

void TDocPanel::FloatingCaptionDblClick()
{
    if (m_floating && (m_dockingMethod == dmDblClick || m_dockingMethod == dmBoth)) {
        dock(m_state.side, false);
    }
}

void TDocPanel::BeginFormDrag(const QPoint& globalPos)
{
    if (!m_floating || !m_form) {
        return;
    }
    m_formDragging = true;
    m_dragStart = globalPos;
    m_formDragRect = m_form->frameGeometry();
    showOutline(m_formDragRect, alNone);
}

void TDocPanel::FormDragTo(const QPoint& globalPos)
{
    if (!m_formDragging) {
        return;
    }
    const QPoint delta = globalPos - m_dragStart;
    TAlign side = alNone;
    if (m_dockingMethod == dmDrag || m_dockingMethod == dmBoth) {
        side = DockTest(floatTestRect(m_form->geometry().translated(delta)), siteRect(), m_threshhold, m_dockingSides);
    }
    showOutline(side != alNone ? sideStrip(side, m_state.thickness) : m_formDragRect.translated(delta), side);
}

void TDocPanel::EndFormDrag(const QPoint& globalPos)
{
    if (!m_formDragging) {
        return;
    }
    m_formDragging = false;
    hideOutline();
    m_form->move(m_form->pos() + (globalPos - m_dragStart));
    FloatingMoved();
}

// ---- dragging the docked bar

void TDocPanel::BeginDrag(const QPoint& globalPos)
{
    if (m_floating || m_loading || !(m_dockingMethod == dmDrag || m_dockingMethod == dmBoth)) {
        return;
    }
    m_dragging = true;
    m_dragStart = globalPos;
    // A square of the bar's thickness lying on the bar, centred on the mouse along it.
    const int thick = thickness();
    const QRect bar = barRect();
    if (isSide(m_align) && !isHorizontal(m_align)) {
        m_dragSquare = QRect(bar.left(), globalPos.y() - thick / 2, thick, thick);
    } else {
        m_dragSquare = QRect(globalPos.x() - thick / 2, bar.top(), thick, thick);
    }
    DragTo(globalPos);
}

void TDocPanel::DragTo(const QPoint& globalPos)
{
    if (!m_dragging) {
        return;
    }
    const QRect free = m_dragSquare.translated(globalPos - m_dragStart);
    const TAlign side = DockTest(free, siteRect(), m_threshhold, m_dockingSides);
    QRect outline = free;
    if (side == m_align) {
        outline = barRect();
    } else if (side != alNone) {
        outline = sideStrip(side, thickness());
    }
    showOutline(outline, side);
}

void TDocPanel::EndDrag(const QPoint& globalPos)
{
    if (!m_dragging) {
        return;
    }
    m_dragging = false;
    hideOutline();
    const QRect free = m_dragSquare.translated(globalPos - m_dragStart);
    const TAlign side = DockTest(free, siteRect(), m_threshhold, m_dockingSides);
    if (side == alNone) {
        undock(free, true);
    } else if (side != m_align) {
        changeSide(side);
    }
}

void TDocPanel::showOutline(const QRect& rect, TAlign side)
{
    if (!m_band) {
        m_band = std::make_unique<QRubberBand>(QRubberBand::Rectangle);
    }
    m_outline = rect;
    m_band->setGeometry(rect);
    m_band->show();
    if (m_notificationCursor) {
        if (m_overrideCursor) {
            QGuiApplication::changeOverrideCursor(dockCursor(side));
        } else {
            QGuiApplication::setOverrideCursor(dockCursor(side));
            m_overrideCursor = true;
        }
    }
}

void TDocPanel::hideOutline()
{
    if (m_band) {
        m_band->hide();
    }
    if (m_overrideCursor) {
        QGuiApplication::restoreOverrideCursor();
        m_overrideCursor = false;
    }
}

// ---- events

void TDocPanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    QRect r = rect();
    const auto bevel = [&](TBevel kind) {
        if (kind == bvNone) {
            return;
        }
        const QColor light = palette().color(kind == bvRaised ? QPalette::Light : QPalette::Dark);
        const QColor dark = palette().color(kind == bvRaised ? QPalette::Dark : QPalette::Light);
        for (int i = 0; i < m_bevelWidth; ++i) {
            p.setPen(light);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(dark);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            r.adjust(1, 1, -1, -1);
        }
    };
    bevel(m_bevelOuter);
    bevel(m_bevelInner);
}

void TDocPanel::mousePressEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (event->button() == Qt::LeftButton) {
            BeginDrag(event->globalPosition().toPoint());
        }
    });
}

void TDocPanel::mouseMoveEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] { DragTo(event->globalPosition().toPoint()); });
}

void TDocPanel::mouseReleaseEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (event->button() == Qt::LeftButton) {
            EndDrag(event->globalPosition().toPoint());
        }
    });
}

void TDocPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (event->button() != Qt::LeftButton || m_floating ||
            !(m_dockingMethod == dmDblClick || m_dockingMethod == dmBoth)) {
            return;
        }
        m_dragging = false;
        hideOutline();
        SetDocked(false);
    });
}

void TDocPanel::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (!m_floating) {
        wrapDocked();
    }
}
