#pragma once

#include "app/TCommandTable.h"
#include "app/TFirstRun.h"
#include "app/TProgramState.h"
#include "core/TBrkApart.h"
#include "core/TSchedule.h"
#include "desktop/TDesktopNotifier.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TOrigin.h"
#include "settings/TSetting.h"
#include "settings/TVarnEncryption.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QMdiArea;
class QTimer;
class TCheckPass;
class TConsoleGuard;
class TDemoServer;
class TDialDriver;
class TDocPanel;
class TFormMailList;
class TFormStatus;
class TMainMailHost;
class TMainOptionHost;
class TNewMailAnnouncer;
class TOAuthAccess;
class TPasswordStore;
class TRAS;
class TTrayIcon;
class TIniFile;
class TsolTile;

// The multiple-document frame: it owns the program state, the command table, the check
// pass, the mail host and the console guard, and keeps the command handlers.
class TFormMain : public QMainWindow, public TCommandItems {
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

    // Commands; the sender tells the senders of one handler apart. The check command is
    // the user's; the timer runs its pass through CheckPass() with its own origin.
    void MenuCheckClick(QObject* sender);
    void MenuViewClick(QObject* sender);
    void MenuDeleteClick(QObject* sender);
    void MenuLoadClick(QObject* sender);
    // How the mail program is started; tests record the start instead. Empty: the real start.
    using ProgramStarter = std::function<void(const QString& program, const QString& folder)>;
    static void SetProgramStarter(ProgramStarter starter);
    void MenuOptionChecksClick(QObject* sender);
    void MenuOptionPagesClick(QObject* sender);
    void MenuWindowArrangeClick(QObject* sender);
    void MenuHelpFileClick(QObject* sender);
    void MenuAboutClick(QObject* sender);
    void MenuExitClick(QObject* sender);
    void SpeedButtonDialClick(QObject* sender);
    void PopMenuOpenClick(QObject* sender);
    // The same for a notification's click or a second start, with the desktop's activation token.
    void OpenWithToken(const QString& activationToken);

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

    // The welcome window, the add-my-mailbox form and the demo mailbox (see TFirstRun).
    void Welcome() { m_firstRun->Welcome(); }
    void AddMyMailbox() { m_firstRun->AddMyMailbox(); }
    void AddDemoMailbox() { m_firstRun->AddDemoMailbox(); }
    void RemoveDemoMailbox() { m_firstRun->RemoveDemoMailbox(); }
    TDemoServer* DemoServer() const { return m_firstRun->DemoServer(); }
    using ConnectionTester = TFirstRun::ConnectionTester;
    static void SetConnectionTester(ConnectionTester tester) { TFirstRun::SetConnectionTester(std::move(tester)); }
    // Reads the keyword rules again after a change to the file.
    void ReloadFilterRules();

    // Ends the program without saving (console password missed, unexpected error).
    void EndProgram();

    // The desktop's keyring and notification service, owned by the caller and outliving
    // the frame; without them (tests) passwords stay in the file and nothing is notified.
    void SetDesktop(TPasswordStore* keyring, TDesktopNotifier* notifier);
    TPasswordStore* Keyring() const { return m_keyring; }
    // The program's one holder of OAuth2 tokens (keyring from SetDesktop, browser by the desktop).
    TOAuthAccess& OAuth() const { return *m_oauth; }
    TDesktopNotifier* Notifier() const { return m_notifier; }

    TProgramState& State() { return m_state; }
    TCheckPass& CheckPass() { return *m_checkPass; }
    TNewMailAnnouncer& Announcer() { return *m_announcer; }
    TMailHost& MailHost() { return *m_host; }

    QTimer* Timer;
    TVarnEncryption Encryption;
    TsolTile* solTile;
    TDocPanel* DocPanel;
    TRAS* RAS;
    TTrayIcon* TrayIcon;

    QString SettingsPath() const { return m_settingsPath; }
    // The status window's lights and counters, the message window and the hang-up rule.
    void LED(const QString& colourWord, const QString& text) { m_host->LED(colourWord, text); }
    bool Busy() const { return m_host->Busy(); }
    int StatusCount(int row) const { return m_host->StatusCount(row); }
    void SetStatusCount(int row, int value) { m_host->SetStatusCount(row, value); }
    void ShowMessage(const QString& from, const QString& text) { m_host->ShowMessage(from, text); }
    void DeliverPassword(const QString& name, const QString& clear) { m_host->DeliverPassword(name, clear); }
    void HangUpIfDialed() { m_host->HangUpIfDialed(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    using OptionToggle = TCommandTable::OptionToggle;
    QList<OptionToggle> optionToggles() const { return m_commands->OptionToggles(); }
    void readOptions(TIniFile& ini) { m_commands->ReadOptions(ini); }
    void countNewMail();
    // Ends every wait of a running check, dial or prompt, and starts no new check.
    void endWaits();
    void formCreateDialUp(const TIniFile& ini);
    void readFilterRules(const TIniFile& ini);
    void startingsDialUp();

    void guarded(const std::function<void()>& body);

    QString m_settingsPath;
    QString m_helpFile;
    QMdiArea* m_mdiArea = nullptr;
    bool m_terminated = false;
    bool m_closing = false;
    TProgramState m_state;
    std::unique_ptr<TCommandTable> m_commands;
    std::unique_ptr<TDialDriver> m_dial;
    std::unique_ptr<TMainMailHost> m_mailHost;
    TMailHost* m_host = nullptr; // the same, for the forwarders above
    std::unique_ptr<TNewMailAnnouncer> m_announcer;
    std::unique_ptr<TCheckPass> m_checkPass;
    std::unique_ptr<TConsoleGuard> m_consoleGuard;
    std::unique_ptr<TMainOptionHost> m_optionHost;
    TSchedule m_schedule;
    std::unique_ptr<TFirstRun> m_firstRun;
    TPasswordStore* m_keyring = nullptr;
    TOAuthAccess* m_oauth = nullptr;
    QPointer<TDesktopNotifier> m_notifier;
};

// The frame and its status window, one instance each, used from the GUI thread only.
extern TFormMain* FormMain;
extern TFormStatus* FormStatus;
