#include "widgets/TTrayIcon.h"

#include "core/TExceptionHook.h"

#include <QCursor>
#include <QMenu>

TTrayIcon::TTrayIcon(QObject* parent) : QObject(parent), m_tray(new QSystemTrayIcon(this))
{
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) { TExceptionHook::Run([&] { activated(reason); }); });
}

TTrayIcon::~TTrayIcon()
{
    if (m_active) {
        m_tray->hide();
    }
}

bool TTrayIcon::Available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetActive(bool on)
{
    if (on == m_active) {
        return;
    }
    m_active = on;
    m_tray->setVisible(on);
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    if (icon.cacheKey() == m_icon.cacheKey()) {
        return;
    }
    m_icon = icon;
    m_tray->setIcon(m_icon);
}

void TTrayIcon::SetToolTip(const QString& text)
{
    m_toolTip = text.left(MaxToolTip);
    m_tray->setToolTip(m_toolTip);
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    m_popupMenu = menu;
}

void TTrayIcon::activated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        if (OnClick) {
            OnClick();
        }
        break;
    case QSystemTrayIcon::DoubleClick:
        if (OnDblClick) {
            OnDblClick();
        }
        break;
    case QSystemTrayIcon::Context:
        showPopup();
        break;
    default:
        break;
    }
}

void TTrayIcon::showPopup()
{
    const QPoint pos = QCursor::pos();
    if (m_popupMenu) {
        // Without an active window of ours the menu would not close on a click elsewhere.
        if (QWidget* window = m_popupMenu->parentWidget() ? m_popupMenu->parentWidget()->window() : nullptr) {
            window->activateWindow();
        }
        m_popupMenu->exec(pos);
    }
    if (OnRightClick) {
        OnRightClick(pos);
    }
}
