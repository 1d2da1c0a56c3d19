#include "app/TFirstRun.h"

#include "app/TCheckPass.h"
#include "app/TFormMain.h"
#include "app/TMainOptionHost.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "welcome/TDemoMailbox.h"
#include "welcome/TDemoServer.h"
#include "welcome/TFormAddMailbox.h"
#include "welcome/TFormWelcome.h"
#include "welcome/TNewMailbox.h"
#include "welcome/TServicePresets.h"
#include "widgets/TModal.h"

namespace Keys = TSettingsKeys;

namespace {

TFirstRun::ConnectionTester& connectionTester()
{
    static TFirstRun::ConnectionTester tester;
    return tester;
}

} // namespace

void TFirstRun::SetConnectionTester(ConnectionTester tester)
{
    connectionTester() = std::move(tester);
}

TFirstRun::TFirstRun(TFormMain& main, TMainOptionHost& options, TCheckPass& pass)
    : m_main(main), m_options(options), m_pass(pass)
{
}

TFirstRun::~TFirstRun() = default;

void TFirstRun::Welcome()
{
    const QString path = m_main.SettingsPath();
    if (!TSetting(Keys::OptionShowWelcome).ReadBool(TIniFile(path)) || TDemoMailbox::OtherMailboxListed(path)) {
        return;
    }
    TFormWelcome dialog(!TDemoMailbox::Find(path).isEmpty(), &m_main);
    TModal::Exec(&dialog);
    if (m_main.Ending()) {
        return;
    }
    if (!dialog.ShowAgain()) {
        TIniFile ini(path);
        TSetting(Keys::OptionShowWelcome).WriteBool(ini, false);
    }
    switch (dialog.Choice()) {
    case TFormWelcome::TChoice::AddMailbox:
        AddMyMailbox();
        break;
    case TFormWelcome::TChoice::Demo:
        AddDemoMailbox();
        break;
    case TFormWelcome::TChoice::RemoveDemo:
        RemoveDemoMailbox();
        break;
    case TFormWelcome::TChoice::Close:
        break;
    }
}

void TFirstRun::AddMyMailbox()
{
    ConnectionTester tester = connectionTester();
    if (!tester) {
        tester = [](const TConnectionParams& params) { return TConnectionTest::Run(params); };
    }
    TFormAddMailbox form(m_options, TServicePresets::Shipped(), tester, &m_main);
    TModal::Exec(&form);
}

TDemoServer* TFirstRun::startedServer()
{
    if (!m_demo) {
        m_demo = std::make_unique<TDemoServer>();
    }
    if (!m_demo->Start()) {
        m_main.ShowMessage(TDemoMailbox::Name(), tr("示範伺服器無法啟動！\n"));
        return nullptr;
    }
    return m_demo.get();
}

void TFirstRun::StartListedDemo()
{
    const QString name = TDemoMailbox::Find(m_main.SettingsPath());
    if (name.isEmpty() || !startedServer()) {
        return;
    }
    m_demoName = name;
    TDemoMailbox::SetPort(m_main.SettingsPath(), name, m_demo->Port());
}

void TFirstRun::AddDemoMailbox()
{
    if (!TDemoMailbox::Find(m_main.SettingsPath()).isEmpty() || !startedServer()) {
        return;
    }
    bool ruleAdded = false;
    const QString error = TDemoMailbox::Create(m_main.SettingsPath(), m_main.Encryption, m_demo->Port(), ruleAdded);
    if (!error.isEmpty()) {
        m_demo->Stop();
        m_main.ShowMessage(TDemoMailbox::Name(), error + QLatin1Char('\n'));
        return;
    }
    m_demoName = TDemoMailbox::Name();
    if (ruleAdded) {
        m_main.ReloadFilterRules();
    }
    m_options.CreateMailbox(m_demoName);
    m_options.AddMailboxCount(1);
    m_pass.Run(TOrigin::User);
}

void TFirstRun::RemoveDemoMailbox()
{
    const QString name = TDemoMailbox::Find(m_main.SettingsPath());
    if (name.isEmpty()) {
        return;
    }
    m_main.DestroyMailbox(name);
    TNewMailbox::Remove(m_main.SettingsPath(), m_main.Encryption, name);
    m_options.AddMailboxCount(-1);
}

void TFirstRun::MailboxDestroyed(const QString& name)
{
    if (!m_demoName.isEmpty() && name == m_demoName) {
        m_demo->Stop();
        m_demoName.clear();
    }
}
