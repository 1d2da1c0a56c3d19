#include "widgets/TDocForm.h"

#include "core/TExceptionHook.h"
#include "widgets/TDocPanel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

TDocForm::TDocForm(TDocPanel* panel, QWidget* owner) : QWidget(owner, Qt::Tool), m_panel(panel)
{
    setObjectName(QStringLiteral("DocForm"));
    setAutoFillBackground(true);
    setMinimumSize(5, 0);
    m_moveSettle.setSingleShot(true);
    m_moveSettle.setInterval(250);
    connect(&m_moveSettle, &QTimer::timeout, this, [this] {
        TExceptionHook::Run([this] {
            if (m_panel && isVisible()) {
                m_panel->FloatingMoved();
            }
        });
    });
    // The session is ending: let the window close like any other.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { m_shuttingDown = true; });
    ApplyStyle();
}

void TDocForm::ApplyStyle()
{
    if (!m_panel) {
        return;
    }
    Qt::WindowFlags flags = Qt::Tool;
    switch (m_panel->CaptionType()) {
    case TDocPanel::ctCustom:
    case TDocPanel::ctNone:
        flags |= Qt::FramelessWindowHint;
        break;
    case TDocPanel::ctWindows:
    case TDocPanel::ctNot3x:
    case TDocPanel::ctSmall:
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        // Without a job for the close box there is no system menu at all.
        if (m_panel->AutoHide() || m_panel->DropDown()) {
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
        break;
    }
    if (m_panel->StayOnTop()) {
        flags |= Qt::WindowStaysOnTopHint;
    }
    if (flags != windowFlags()) {
        const bool wasVisible = isVisible();
        setWindowFlags(flags);
        if (wasVisible) {
            show();
        }
    }
    setWindowTitle(m_panel->Title());
    setWindowIcon(m_panel->Icon());
    update();
}

void TDocForm::FitClient(const QSize& size)
{
    m_fitting = true;
    if (m_panel && m_panel->FloatBorder() == TDocPanel::fbSizeable) {
        setMinimumSize(5, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(size);
    } else {
        setFixedSize(size);
    }
    m_fitting = false;
}

QRect TDocForm::CaptionButtonRect() const
{
    const int strip = m_panel ? m_panel->CaptionHeight() : 0;
    if (strip <= 0 || !(m_panel->AutoHide() || m_panel->DropDown())) {
        return QRect();
    }
    return QRect(width() - strip, 0, strip, strip);
}

bool TDocForm::FormCloseQuery() const
{
    return m_shuttingDown || QCoreApplication::closingDown();
}

bool TDocForm::inStrip(const QPoint& pos) const
{
    const int strip = m_panel ? m_panel->CaptionHeight() : 0;
    return pos.y() >= 0 && pos.y() < strip;
}

void TDocForm::paintEvent(QPaintEvent*)
{
    const int strip = m_panel ? m_panel->CaptionHeight() : 0;
    if (strip <= 0) {
        return;
    }
    QPainter p(this);
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const QRect bar(0, 0, width(), strip);
    p.fillRect(bar,
               isActiveWindow() ? palette().color(group, QPalette::Highlight) : palette().color(group, QPalette::Mid));
    p.setPen(palette().color(group, QPalette::HighlightedText));
    p.setFont(m_panel->TitleFont());
    p.drawText(QRect(2, 2, width() - 2 - strip, strip - 2), Qt::AlignLeft | Qt::AlignTop, m_panel->Title());

    const QRect button = CaptionButtonRect();
    if (button.isNull()) {
        return;
    }
    QStyleOption option;
    option.initFrom(this);
    option.rect = button;
    option.state |= QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &p, this);
    if (m_panel->DropDown()) {
        option.rect = button.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &option, &p, this);
    } else {
        const QRect cross = button.adjusted(4, 4, -5, -5);
        p.setPen(QPen(palette().color(QPalette::ButtonText), 2));
        p.drawLine(cross.topLeft(), cross.bottomRight());
        p.drawLine(cross.topRight(), cross.bottomLeft());
    }
}

void TDocForm::mousePressEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (!m_panel || event->button() != Qt::LeftButton || !inStrip(event->position().toPoint())) {
            return;
        }
        if (!CaptionButtonRect().contains(event->position().toPoint())) {
            m_panel->BeginFormDrag(event->globalPosition().toPoint());
        }
    });
}

void TDocForm::mouseMoveEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (m_panel && m_panel->FormDragging()) {
            m_panel->FormDragTo(event->globalPosition().toPoint());
        }
    });
}

void TDocForm::mouseReleaseEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        if (!m_panel || event->button() != Qt::LeftButton) {
            return;
        }
        if (m_panel->FormDragging()) {
            m_panel->EndFormDrag(event->globalPosition().toPoint());
        } else if (CaptionButtonRect().contains(event->position().toPoint())) {
            m_panel->CloseControl();
        }
    });
}

void TDocForm::mouseDoubleClickEvent(QMouseEvent* event)
{
    TExceptionHook::Run([&] {
        const QPoint pos = event->position().toPoint();
        if (m_panel && event->button() == Qt::LeftButton && inStrip(pos) && !CaptionButtonRect().contains(pos)) {
            m_panel->FloatingCaptionDblClick();
        }
    });
}

void TDocForm::closeEvent(QCloseEvent* event)
{
    if (FormCloseQuery() || !m_panel) {
        event->accept();
        return;
    }
    event->ignore();
    TExceptionHook::Run([this] { m_panel->CloseControl(); });
}

void TDocForm::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (!m_fitting && isVisible() && m_panel && !m_panel->FormDragging()) {
        m_moveSettle.start();
    }
}

void TDocForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!m_fitting && isVisible() && m_panel && m_panel->FloatBorder() == TDocPanel::fbSizeable &&
        event->size().width() != event->oldSize().width()) {
        TExceptionHook::Run([this] { m_panel->FloatingResized(width()); });
    }
}

void TDocForm::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        update();
    }
}
