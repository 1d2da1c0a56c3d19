#pragma once

#include "mailbox/TConnectionTest.h"

#include <QCoreApplication>
#include <QString>
#include <functional>
#include <memory>

class TCheckPass;
class TDemoServer;
class TFormMain;
class TMainOptionHost;

// The first-run wiring of the main window: the welcome window and what is chosen in it,
// the add-my-mailbox form, and the demo mailbox with its built-in server.
class TFirstRun {
    Q_DECLARE_TR_FUNCTIONS(TFirstRun)

public:
    // How the add-my-mailbox form tests a connection; empty: the program's own test.
    using ConnectionTester = std::function<TConnectionTestResult(const TConnectionParams&)>;
    static void SetConnectionTester(ConnectionTester tester);

    TFirstRun(TFormMain& main, TMainOptionHost& options, TCheckPass& pass);
    ~TFirstRun();
    TFirstRun(const TFirstRun&) = delete;
    TFirstRun& operator=(const TFirstRun&) = delete;

    // The welcome window, when no mailbox of the user's own is listed and the user has not
    // turned it off; then what was chosen in it.
    void Welcome();
    void AddMyMailbox();
    // The demo mailbox: its server is started, its entry written, its window opened and checked.
    void AddDemoMailbox();
    // Takes the demo mailbox off the list with its sections and window, and stops its server.
    void RemoveDemoMailbox();
    // Serves a listed demo mailbox again, on this run's port.
    void StartListedDemo();
    // A mailbox window is going: the demo server stops with the demo mailbox's.
    void MailboxDestroyed(const QString& name);
    // Null until a demo mailbox was served in this run.
    TDemoServer* DemoServer() const { return m_demo.get(); }

private:
    // The demo server, started; null (and the user told) when it cannot start.
    TDemoServer* startedServer();

    TFormMain& m_main;
    TMainOptionHost& m_options;
    TCheckPass& m_pass;
    std::unique_ptr<TDemoServer> m_demo;
    // The caption of the mailbox window the demo server serves; empty when none.
    QString m_demoName;
};
