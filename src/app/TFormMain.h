#pragma once

#include "core/TBrkApart.h"
#include "core/TSchedule.h"
#include "mailbox/TMailHost.h"
#include "settings/TSetting.h"
#include "settings/TVarnEncryption.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStyle>
#include <functional>

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTimer;
class QToolButton;
class TDialDriver;
class TDocPanel;
class TFormMailList;
class TFormMedia;
class TFormStatus;
class TMainOptionHost;
class TRAS;
class TTrayIcon;
class TIniFile;
class TsolTile;

// The multiple-document frame: menus, command buttons, the check timer, the schedule,
// the commands and the program-wide state the other windows share.
class TFormMain : public QMainWindow, public TMailHost {
    Q_OBJECT
public:
    explicit TFormMain(const QString& settingsPath = QString(), QWidget* parent = nullptr);
    ~TFormMain() override;

    // The status window, a child of the frame (entry step 3).
    void CreateStatusWindow();
    // Second start-up stage: mailbox windows, first check time, lights, start-up options.
    void Startings();
    // Startings, then the message loop until the program ends; returns the exit code.
    int Run();

    // Commands; the sender tells the senders of one handler apart.
    void MenuCheckClick(QObject* sender);
    void MenuViewClick(QObject* sender);
    void MenuDeleteClick(QObject* sender);
    void MenuLoadClick(QObject* sender);
    void MenuOptionChecksClick(QObject* sender);
    void MenuOptionPagesClick(QObject* sender);
    void MenuWindowArrangeClick(QObject* sender);
    void MenuHelpFileClick(QObject* sender);
    void MenuAboutClick(QObject* sender);
    void MenuExitClick(QObject* sender);
    void SpeedButtonDialClick(QObject* sender);
    void PopMenuOpenClick(QObject* sender);

    void TimerTimer();
    void ChangeNextCheck();
    // Shows a dial-up failure and ends the calling command with the silent abort.
    [[noreturn]] void ShowError(const QString& text);
    void OnException(const QString& message);
    void OnMinimize();
    void OnRestore();

    // The application's window and its parts, for the other windows and for tests.
    QMdiArea* MdiArea() const { return m_mdiArea; }
    QList<TFormMailList*> MailboxWindows() const;
    TFormMailList* ActiveMailbox() const;
    static bool IsMailboxCaption(const QString& caption);
    QString HelpFile() const { return m_helpFile; }
    // True once the program has been told to end without saving.
    bool Terminated() const { return m_terminated; }
    // True once the program has begun to end, closed or told to end.
    bool Ending() const { return m_terminated || m_closing; }
    // Destroys every mailbox window captioned exactly name; safe during its session.
    void DestroyMailbox(const QString& name);
    TFormMailList* CreateMailbox(const QString& name);

    // Menu items and buttons, named as in the command table.
    QAction *MenuView, *MenuLoad, *MenuDeleteAll, *MenuDeleteOne, *MenuUndeleteAll, *MenuUndeleteOne, *MenuCheck;
    QAction *MenuGeneral, *MenuNetwork, *MenuEffect, *MenuDialUp, *MenuFilter, *MenuSchedule;
    QAction *MenuAutoCheck, *MenuAutoLoad, *MenuAutoDelete, *MenuAutoView, *MenuConsoleProtect, *MenuNoSound,
        *MenuNoHeader, *MenuRestoreWindow, *MenuStayOnTop, *MenuStartupCheck, *MenuStartupMinimized;
    QAction *MenuTile, *MenuCascade, *MenuArrangeIcons, *MenuHelpFile, *MenuAbout, *MenuExit;
    QAction *PopMenuCheck, *PopMenuOpen, *PopMenuClose, *PopMenuDisable;
    QToolButton *SpeedButtonCheck, *SpeedButtonDial, *SpeedButtonLoad, *SpeedButtonView, *SpeedButtonDelete,
        *SpeedButtonUndelete, *SpeedButtonOption, *SpeedButtonHelp, *SpeedButtonExit;
    QMenu* PopupMenu;
    QTimer* Timer;
    TVarnEncryption Encryption;
    TsolTile* solTile;
    TDocPanel* DocPanel;
    TRAS* RAS;
    TTrayIcon* TrayIcon;

    // TMailHost
    QString SettingsPath() const override { return m_settingsPath; }
    void LED(const QString& colourWord, const QString& text) override;
    bool Busy() const override;
    int StatusCount(int row) const override;
    void SetStatusCount(int row, int value) override;
    void SetNewMailFound() override;
    bool AutoDelete() const override;
    bool AutoView() const override;
    bool NoHeader() const override;
    const TFilterRules& Filters() const override;
    QString Unscramble(const QString& stored) override;
    void RepaintMain() override;
    QWidget* MainWidget() const override { return const_cast<TFormMain*>(this); }
    void ShowMessage(const QString& from, const QString& text) override;
    void DeliverPassword(const QString& name, const QString& clear) override;
    bool DialUpEnabled() const override;
    int ActiveConnections() override;
    void ConnectModem() override;
    void HangUpIfDialed() override;
    QWidget* CreateViewer(const QString& server, const QString& subject) override;
    void FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole, bool minimise) override;
    void DeleteCommand(QObject* sender) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void createMenus();
    void createButtons();
    // The eleven option toggles with their settings.
    struct OptionToggle {
        QAction* item;
        TSetting setting;
    };
    QList<OptionToggle> optionToggles() const;
    void readOptions(TIniFile& ini);
    QAction* addToggle(QMenu* menu, const char* name, const QString& caption, const QString& hint, bool def);
    QAction* addCommand(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                        const QKeySequence& key, void (TFormMain::*handler)(QObject*));
    QToolButton* addButton(const char* name, const QString& text, const QString& hint, QStyle::StandardPixmap icon,
                           int left, void (TFormMain::*handler)(QObject*));
    void countNewMail();
    void endProgram();
    // Ends every wait of a running check, dial or prompt, and starts no new check.
    void endWaits();
    void formCreateDialUp(const TIniFile& ini);
    void startingsDialUp();
    void announceNewMail();
    // Back from the minimised state; the console password is asked while the frame is hidden.
    void restoreFrame();
    void openMedia(const QString& file);

    void guarded(const std::function<void()>& body);

    QString m_settingsPath;
    QString m_helpFile;
    QMdiArea* m_mdiArea = nullptr;
    bool m_terminated = false;
    bool m_closing = false;
    QString m_consoleAttempt;
    TDialDriver* m_dial = nullptr;
    TMainOptionHost* m_optionHost = nullptr;
    bool m_inTray = false;
    bool m_minimized = false;
    bool m_inRestore = false;
    TSchedule m_schedule;
};

// Program-wide state, one instance each, used from the GUI thread only.
extern TFormMain* FormMain;
extern TFormStatus* FormStatus;
extern QString MailProgramPath;
extern QString AnimationFile;
extern QString SoundFile;
extern TFilterRules FilterRules; // HighLight1..5, HighLightColor1..5, Delete1..5, Color1..5
extern bool DialUpEnabled;
extern bool ConnectedOnly;
extern int RedialInterval;
extern bool ScheduleCheck;
extern bool ScheduleHours[24]; // hour h at index h - 1; 24 is the midnight that ends the day
extern int CheckInterval;
extern double NextCheckTime;
extern bool NewMailFound;
extern bool DialedByProgram;
extern int RedialsLeft;
extern QString MediaFile;
