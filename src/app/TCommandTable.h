#pragma once

#include "settings/TSetting.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStyle>

class QAction;
class QKeySequence;
class QMenu;
class QObject;
class QToolButton;
class TFormMain;
class TIniFile;
struct TOptionMarks;

// The menu items, tray items and command buttons, named as in the command table.
struct TCommandItems {
    QAction *MenuView = nullptr, *MenuLoad = nullptr, *MenuDeleteAll = nullptr, *MenuDeleteOne = nullptr,
            *MenuUndeleteAll = nullptr, *MenuUndeleteOne = nullptr, *MenuCheck = nullptr;
    QAction *MenuGeneral = nullptr, *MenuNetwork = nullptr, *MenuEffect = nullptr, *MenuDialUp = nullptr,
            *MenuFilter = nullptr, *MenuSchedule = nullptr;
    QAction *MenuAutoCheck = nullptr, *MenuAutoLoad = nullptr, *MenuAutoDelete = nullptr, *MenuAutoView = nullptr,
            *MenuConsoleProtect = nullptr, *MenuNoSound = nullptr, *MenuNoHeader = nullptr,
            *MenuRestoreWindow = nullptr, *MenuStayOnTop = nullptr, *MenuStartupCheck = nullptr,
            *MenuStartupMinimized = nullptr;
    QAction *MenuTile = nullptr, *MenuCascade = nullptr, *MenuArrangeIcons = nullptr, *MenuHelpFile = nullptr,
            *MenuAbout = nullptr, *MenuExit = nullptr;
    QAction *PopMenuCheck = nullptr, *PopMenuOpen = nullptr, *PopMenuClose = nullptr, *PopMenuDisable = nullptr;
    QToolButton *SpeedButtonCheck = nullptr, *SpeedButtonDial = nullptr, *SpeedButtonLoad = nullptr,
                *SpeedButtonView = nullptr, *SpeedButtonDelete = nullptr, *SpeedButtonUndelete = nullptr,
                *SpeedButtonOption = nullptr, *SpeedButtonHelp = nullptr, *SpeedButtonExit = nullptr;
    QMenu* PopupMenu = nullptr;
};

// Builds the main window's menus, tray menu and command buttons, each wired to its
// handler, and knows the option toggles with their settings keys and defaults.
class TCommandTable {
    Q_DECLARE_TR_FUNCTIONS(TCommandTable)

public:
    using Handler = void (TFormMain::*)(QObject*);

    explicit TCommandTable(TFormMain& main) : m_main(main) {}

    void CreateMenus();
    void CreateButtons();
    // Tile, cascade or line up the minimised child windows, by the sending item.
    void ArrangeWindows(QObject* sender);

    struct OptionToggle {
        QAction* item;
        TSetting setting;
        bool TOptionMarks::*mark;
    };
    // The eleven option toggles.
    QList<OptionToggle> OptionToggles() const;
    void ReadOptions(TIniFile& ini);
    // Keeps marks in step with the toggles, however they are changed.
    void BindOptionMarks(TOptionMarks& marks);

private:
    QAction* addToggle(QMenu* menu, const char* name, const QString& caption, const QString& hint, bool def);
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                        const QKeySequence& key, Handler handler);
    QToolButton* addButton(const char* name, const QString& text, const QString& hint, QStyle::StandardPixmap icon,
                           int left, Handler handler);
    void createWindowMenu();

    TFormMain& m_main;
    // How far the buttons made so far have grown beyond their design width.
    int m_buttonGrowth = 0;
};
