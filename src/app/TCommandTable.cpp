#include "app/TCommandTable.h"

#include "app/TFormMain.h"
#include "core/TExceptionHook.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "widgets/TDocPanel.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QToolButton>

#include <algorithm>

namespace Keys = TSettingsKeys;

QAction* TCommandTable::addCommand(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                                   const QKeySequence& key, Handler handler)
{
    auto* action = new QAction(caption, &m_main);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    if (!key.isEmpty()) {
        action->setShortcut(key);
    }
    if (menu) {
        menu->addAction(action);
    }
    QObject::connect(action, &QAction::triggered, &m_main,
                     [main = &m_main, action, handler] { TExceptionHook::Run([=] { (main->*handler)(action); }); });
    return action;
}

QAction* TCommandTable::addToggle(QMenu* menu, const char* name, const QString& caption, const QString& hint, bool def)
{
    auto* action = new QAction(caption, &m_main);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    action->setCheckable(true);
    action->setChecked(def);
    menu->addAction(action);
    QObject::connect(action, &QAction::triggered, &m_main, [main = &m_main, action] {
        // The menu has already flipped the mark; the handler does the flipping itself.
        action->setChecked(!action->isChecked());
        TExceptionHook::Run([=] { main->MenuOptionChecksClick(action); });
    });
    return action;
}

QToolButton* TCommandTable::addButton(const char* name, const QString& text, const QString& hint,
                                      QStyle::StandardPixmap icon, int left, Handler handler)
{
    auto* button = new QToolButton(m_main.DocPanel);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setToolTip(hint);
    button->setIcon(m_main.style()->standardIcon(icon));
    button->setIconSize(QSize(20, 20));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    // A caption wider than the design's 40 pixels (another language) widens its button and
    // moves the following ones along, keeping the gaps between the groups.
    const int width = std::max(40, button->sizeHint().width());
    button->setGeometry(left + m_buttonGrowth, 1, width, 40);
    m_buttonGrowth += width - 40;
    QObject::connect(button, &QToolButton::clicked, &m_main,
                     [main = &m_main, button, handler] { TExceptionHook::Run([=] { (main->*handler)(button); }); });
    return button;
}

void TCommandTable::CreateButtons()
{
    m_main.SpeedButtonCheck = addButton("SpeedButtonCheck", tr("檢查"), tr("檢查信件"), QStyle::SP_BrowserReload, 1,
                                        &TFormMain::MenuCheckClick);
    m_main.SpeedButtonDial = addButton("SpeedButtonDial", tr("撥號"), tr("撥號或掛斷"), QStyle::SP_DriveNetIcon, 41,
                                       &TFormMain::SpeedButtonDialClick);
    m_main.SpeedButtonLoad = addButton("SpeedButtonLoad", tr("程式"), tr("載入電子郵件程式"), QStyle::SP_ComputerIcon,
                                       80, &TFormMain::MenuLoadClick);
    m_main.SpeedButtonView = addButton("SpeedButtonView", tr("下載"), tr("下載信件"), QStyle::SP_FileDialogContentsView,
                                       130, &TFormMain::MenuViewClick);
    m_main.SpeedButtonDelete = addButton("SpeedButtonDelete", tr("刪除"), tr("刪除信件"), QStyle::SP_TrashIcon, 170,
                                         &TFormMain::MenuDeleteClick);
    m_main.SpeedButtonUndelete = addButton("SpeedButtonUndelete", tr("復原"), tr("復原信件"), QStyle::SP_ArrowBack, 210,
                                           &TFormMain::MenuDeleteClick);
    m_main.SpeedButtonOption = addButton("SpeedButtonOption", tr("設定"), tr("設定"), QStyle::SP_FileDialogDetailedView,
                                         260, &TFormMain::MenuOptionPagesClick);
    m_main.SpeedButtonHelp = addButton("SpeedButtonHelp", tr("說明"), tr("說明"), QStyle::SP_DialogHelpButton, 300,
                                       &TFormMain::MenuHelpFileClick);
    m_main.SpeedButtonExit = addButton("SpeedButtonExit", tr("離開"), tr("離開"), QStyle::SP_DialogCloseButton, 340,
                                       &TFormMain::MenuExitClick);
}

void TCommandTable::CreateMenus()
{
    QMenu* mail = m_main.menuBar()->addMenu(tr("信件"));
    m_main.MenuView = addCommand(mail, "MenuView", tr("下載信件"), QStringLiteral("View selected mail."),
                                 QKeySequence(QStringLiteral("Ctrl+V")), &TFormMain::MenuViewClick);
    m_main.MenuLoad = addCommand(mail, "MenuLoad", tr("載入程式"), QStringLiteral("Load E-Mail program."),
                                 QKeySequence(QStringLiteral("Ctrl+L")), &TFormMain::MenuLoadClick);
    mail->addSeparator();
    m_main.MenuDeleteAll =
        addCommand(mail, "MenuDeleteAll", tr("全部刪除"), QStringLiteral("Delete all mail on all server."),
                   QKeySequence(QStringLiteral("Ctrl+A")), &TFormMain::MenuDeleteClick);
    m_main.MenuDeleteOne = addCommand(mail, "MenuDeleteOne", tr("刪除信件"), QStringLiteral("Delete selected mail."),
                                      QKeySequence(QStringLiteral("Ctrl+D")), &TFormMain::MenuDeleteClick);
    m_main.MenuUndeleteAll =
        addCommand(mail, "MenuUndeleteAll", tr("全部復原"), QStringLiteral("Unmark all delete signs."),
                   QKeySequence(QStringLiteral("Ctrl+N")), &TFormMain::MenuDeleteClick);
    m_main.MenuUndeleteOne = addCommand(mail, "MenuUndeleteOne", tr("復原信件"), QStringLiteral("Unmark delete sign."),
                                        QKeySequence(QStringLiteral("Ctrl+U")), &TFormMain::MenuDeleteClick);
    mail->addSeparator();
    m_main.MenuCheck = addCommand(mail, "MenuCheck", tr("立即檢查"), QStringLiteral("Check all servers now."),
                                  QKeySequence(QStringLiteral("Ctrl+C")), &TFormMain::MenuCheckClick);

    QMenu* option = m_main.menuBar()->addMenu(tr("設定"));
    m_main.MenuGeneral = addCommand(option, "MenuGeneral", tr("一般設定 ..."), QString(), QKeySequence(),
                                    &TFormMain::MenuOptionPagesClick);
    m_main.MenuNetwork = addCommand(option, "MenuNetwork", tr("網路設定 ..."), QString(), QKeySequence(),
                                    &TFormMain::MenuOptionPagesClick);
    m_main.MenuEffect = addCommand(option, "MenuEffect", tr("音效動畫 ..."), QString(), QKeySequence(),
                                   &TFormMain::MenuOptionPagesClick);
    m_main.MenuDialUp = addCommand(option, "MenuDialUp", tr("撥號設定 ..."), QString(), QKeySequence(),
                                   &TFormMain::MenuOptionPagesClick);
    m_main.MenuFilter = addCommand(option, "MenuFilter", tr("過濾信件 ..."), QString(), QKeySequence(),
                                   &TFormMain::MenuOptionPagesClick);
    m_main.MenuSchedule = addCommand(option, "MenuSchedule", tr("檢查時間 ..."), QString(), QKeySequence(),
                                     &TFormMain::MenuOptionPagesClick);
    option->addSeparator();
    m_main.MenuAutoCheck =
        addToggle(option, "MenuAutoCheck", tr("自動檢查信件"), QStringLiteral("Automatically check servers."), true);
    m_main.MenuAutoLoad = addToggle(option, "MenuAutoLoad", tr("自動載入程式"),
                                    QStringLiteral("Automatically load E-Mail program if find new mail."), false);
    m_main.MenuAutoDelete = addToggle(option, "MenuAutoDelete", tr("自動刪除信件"),
                                      QStringLiteral("Automatically delete all old mails."), false);
    m_main.MenuAutoView = addToggle(option, "MenuAutoView", tr("自動下載信件"),
                                    QStringLiteral("Automatically open viewer if find new mail."), false);
    m_main.MenuConsoleProtect = addToggle(option, "MenuConsoleProtect", tr("密碼保護"),
                                          QStringLiteral("Password protect when restore window."), false);
    m_main.MenuNoSound = addToggle(option, "MenuNoSound", tr("關閉音效"), QStringLiteral("Turn off sound."), false);
    m_main.MenuNoHeader = addToggle(option, "MenuNoHeader", tr("隱藏信件表頭"),
                                    QStringLiteral("Do not diaplay mail header in viewer."), true);
    m_main.MenuRestoreWindow = addToggle(option, "MenuRestoreWindow", tr("自動復原視窗"),
                                         QStringLiteral("Restore main window when close animation."), true);
    m_main.MenuStayOnTop =
        addToggle(option, "MenuStayOnTop", tr("最上層顯示"), QStringLiteral("Animation always stays on top."), true);
    m_main.MenuStartupCheck =
        addToggle(option, "MenuStartupCheck", tr("啟動時檢查"), QStringLiteral("Check mails when startup."), true);
    m_main.MenuStartupMinimized = addToggle(option, "MenuStartupMinimized", tr("啟動時最小化"),
                                            QStringLiteral("Minimize Mailvane when startup."), false);

    createWindowMenu();

    QMenu* help = m_main.menuBar()->addMenu(tr("說明"));
    m_main.MenuHelpFile =
        addCommand(help, "MenuHelpFile", tr("說明 ..."), QString(), QKeySequence(), &TFormMain::MenuHelpFileClick);
    m_main.MenuHelpFile->setEnabled(false);
    m_main.MenuAbout =
        addCommand(help, "MenuAbout", tr("關於 ..."), QString(), QKeySequence(), &TFormMain::MenuAboutClick);

    m_main.MenuExit = addCommand(nullptr, "MenuExit", tr("離開"), QString(), QKeySequence(QStringLiteral("Ctrl+E")),
                                 &TFormMain::MenuExitClick);
    m_main.menuBar()->addAction(m_main.MenuExit);

    m_main.PopupMenu = new QMenu(&m_main);
    m_main.PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    m_main.PopMenuCheck =
        addCommand(m_main.PopupMenu, "PopMenuCheck", tr("檢查信件"), QStringLiteral("Check all servers now."),
                   QKeySequence(), &TFormMain::MenuCheckClick);
    m_main.PopupMenu->addSeparator();
    m_main.PopMenuOpen =
        addCommand(m_main.PopupMenu, "PopMenuOpen", tr("復原視窗"), QStringLiteral("Restore main window."),
                   QKeySequence(), &TFormMain::PopMenuOpenClick);
    m_main.PopMenuClose = addCommand(m_main.PopupMenu, "PopMenuClose", tr("離開"), QStringLiteral("Exit Mailvane."),
                                     QKeySequence(), &TFormMain::MenuExitClick);
    m_main.PopupMenu->addSeparator();
    m_main.PopMenuDisable =
        addToggle(m_main.PopupMenu, "PopMenuDisable", tr("關閉自動檢查"), QStringLiteral("Disable auto check."), false);
}

void TCommandTable::ArrangeWindows(QObject* sender)
{
    QMdiArea* area = m_main.MdiArea();
    if (sender == m_main.MenuTile) {
        area->tileSubWindows();
    } else if (sender == m_main.MenuCascade) {
        area->cascadeSubWindows();
    } else if (sender == m_main.MenuArrangeIcons) {
        // Minimised child windows line up along the bottom edge, left to right.
        int left = 0;
        const int bottom = area->viewport()->height();
        const auto subs = area->subWindowList(QMdiArea::CreationOrder);
        for (QMdiSubWindow* sub : subs) {
            if (sub->isMinimized()) {
                const QSize s = sub->size();
                if (left + s.width() > area->viewport()->width() && left > 0) {
                    left = 0;
                }
                sub->move(left, bottom - s.height());
                left += s.width();
            }
        }
    }
}

// The Window menu: the arrangement commands, then the open child windows.
void TCommandTable::createWindowMenu()
{
    QMenu* window = m_main.menuBar()->addMenu(tr("視窗"));
    window->setObjectName(QStringLiteral("MenuWindow"));
    m_main.MenuTile =
        addCommand(window, "MenuTile", tr("非重疊顯示"), QString(), QKeySequence(), &TFormMain::MenuWindowArrangeClick);
    m_main.MenuCascade = addCommand(window, "MenuCascade", tr("階層顯示"), QString(), QKeySequence(),
                                    &TFormMain::MenuWindowArrangeClick);
    m_main.MenuArrangeIcons = addCommand(window, "MenuArrangeIcons", tr("排列圖示"), QString(), QKeySequence(),
                                         &TFormMain::MenuWindowArrangeClick);
    QObject::connect(window, &QMenu::aboutToShow, &m_main, [area = m_main.MdiArea(), window] {
        const auto actions = window->actions();
        for (QAction* a : actions) {
            if (a->property("childWindow").toBool()) {
                window->removeAction(a);
                a->deleteLater();
            }
        }
        const auto subs = area->subWindowList(QMdiArea::CreationOrder);
        bool first = true;
        for (QMdiSubWindow* sub : subs) {
            if (first) {
                QAction* sep = window->addSeparator();
                sep->setProperty("childWindow", true);
                first = false;
            }
            QAction* a = window->addAction(sub->windowTitle());
            a->setProperty("childWindow", true);
            a->setCheckable(true);
            a->setChecked(sub == area->currentSubWindow());
            QPointer<QMdiSubWindow> target(sub);
            QObject::connect(a, &QAction::triggered, area, [area, target] {
                if (target) {
                    area->setActiveSubWindow(target);
                }
            });
        }
    });
}

QList<TCommandTable::OptionToggle> TCommandTable::OptionToggles() const
{
    return {
        {m_main.MenuAutoCheck, Keys::OptionAutoCheck, &TOptionMarks::AutoCheck},
        {m_main.MenuAutoLoad, Keys::OptionAutoLoad, &TOptionMarks::AutoLoad},
        {m_main.MenuAutoDelete, Keys::OptionAutoDelete, &TOptionMarks::AutoDelete},
        {m_main.MenuAutoView, Keys::OptionAutoView, &TOptionMarks::AutoView},
        {m_main.MenuConsoleProtect, Keys::OptionConsoleProtect, &TOptionMarks::ConsoleProtect},
        {m_main.MenuNoSound, Keys::OptionNoSound, &TOptionMarks::NoSound},
        {m_main.MenuNoHeader, Keys::OptionNoHeader, &TOptionMarks::NoHeader},
        {m_main.MenuRestoreWindow, Keys::OptionRestoreWindow, &TOptionMarks::RestoreWindow},
        {m_main.MenuStayOnTop, Keys::OptionStayOnTop, &TOptionMarks::StayOnTop},
        {m_main.MenuStartupCheck, Keys::OptionStartupCheck, &TOptionMarks::StartupCheck},
        {m_main.MenuStartupMinimized, Keys::OptionStartupMinimized, &TOptionMarks::StartupMinimized},
    };
}

void TCommandTable::BindOptionMarks(TOptionMarks& marks)
{
    for (const OptionToggle& t : OptionToggles()) {
        marks.*t.mark = t.item->isChecked();
        QObject::connect(t.item, &QAction::toggled, &m_main, [&marks, mark = t.mark](bool on) { marks.*mark = on; });
    }
}

void TCommandTable::ReadOptions(TIniFile& ini)
{
    for (const OptionToggle& t : OptionToggles()) {
        t.item->setChecked(t.setting.ReadBool(ini));
    }
    m_main.PopMenuDisable->setChecked(!m_main.MenuAutoCheck->isChecked());
}
