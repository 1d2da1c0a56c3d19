#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

// The program's icon in the notification area, with its tip, pop-up menu and clicks.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxToolTip = 62;

    explicit TTrayIcon(QObject* parent = nullptr);
    ~TTrayIcon() override;

    bool Active() const { return m_active; }
    void SetActive(bool on);

    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);

    // Longer texts are cut to their first MaxToolTip characters.
    QString ToolTip() const { return m_toolTip; }
    void SetToolTip(const QString& text);

    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu);

    // Left button released over the icon.
    std::function<void()> OnClick;
    // Left button double-clicked.
    std::function<void()> OnDblClick;
    // After the right-click menu, with the pointer's screen position.
    std::function<void(const QPoint& screenPos)> OnRightClick;

    static bool Available();

    // The system icon underneath, for tests and platform quirks.
    QSystemTrayIcon* SystemTrayIcon() const { return m_tray; }

private:
    void activated(QSystemTrayIcon::ActivationReason reason);
    void showPopup();

    QSystemTrayIcon* m_tray;
    QIcon m_icon;
    QString m_toolTip;
    QPointer<QMenu> m_popupMenu;
    bool m_active = false;
};
