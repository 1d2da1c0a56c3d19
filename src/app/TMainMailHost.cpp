#include "app/TMainMailHost.h"

#include "app/TFormMain.h"
#include "app/TNewMailAnnouncer.h"
#include "app/TProgramState.h"
#include "auth/TOAuthAccess.h"
#include "dialup/TDialDriver.h"
#include "dialup/TRAS.h"
#include "mailbox/TFormMailList.h"
#include "settings/TMailboxPasswords.h"
#include "status/TFormMessage.h"
#include "status/TFormStatus.h"
#include "viewer/TFormViewer.h"
#include "welcome/TDemoMailbox.h"
#include "welcome/TDemoServer.h"
#include "widgets/TPaintThrottle.h"

#include <QLabel>
#include <QMdiArea>
#include <algorithm>

TMainMailHost::TMainMailHost(TFormMain& main, TProgramState& state, TDialDriver& dial)
    : m_main(main), m_state(state), m_dial(dial), m_paints(std::make_unique<TPaintThrottle>(&main))
{
}

TMainMailHost::~TMainMailHost() = default;

QString TMainMailHost::SettingsPath() const
{
    return m_main.SettingsPath();
}

void TMainMailHost::LED(const QString& colourWord, const QString& text)
{
    if (FormStatus) {
        FormStatus->LED(colourWord, text);
    }
    m_paints->Changed();
}

bool TMainMailHost::Busy() const
{
    if (m_dial.Dialling()) {
        return true;
    }
    const QList<TFormMailList*> windows = m_main.MailboxWindows();
    return std::any_of(windows.cbegin(), windows.cend(), [](const TFormMailList* w) { return w->InSession(); });
}

int TMainMailHost::StatusCount(int row) const
{
    if (!FormStatus) {
        return 0;
    }
    bool ok = false;
    const int value = FormStatus->Cell(row).trimmed().toInt(&ok);
    return ok ? value : 0;
}

void TMainMailHost::SetStatusCount(int row, int value)
{
    if (FormStatus) {
        FormStatus->SetCell(row, QString::number(value));
    }
    m_paints->Changed();
}

void TMainMailHost::SetNewMailFound()
{
    m_state.NewMailFound = true;
}

void TMainMailHost::AnnounceNewMail()
{
    m_main.Announcer().NewMailOutsidePass();
}

QString TMainMailHost::OutOfService(const QString& mailbox) const
{
    const TDemoServer* demo = m_main.DemoServer();
    return TDemoMailbox::Unserved(SettingsPath(), mailbox, demo ? demo->Port() : quint16(0));
}

bool TMainMailHost::AutoDelete() const
{
    return m_state.Options.AutoDelete;
}

bool TMainMailHost::AutoView() const
{
    return m_state.Options.AutoView;
}

bool TMainMailHost::NoHeader() const
{
    return m_state.Options.NoHeader;
}

const TFilterRules& TMainMailHost::Filters() const
{
    return m_state.FilterRules;
}

QString TMainMailHost::Unscramble(const QString& stored)
{
    return m_main.Encryption.Unscramble(stored);
}

QString TMainMailHost::StoredPassword(const QString& mailbox, const QString& login)
{
    return TMailboxPasswords(m_main.SettingsPath(), m_main.Encryption, m_main.Keyring()).Read(mailbox, login);
}

TOAuthAccess::TResult TMainMailHost::AccessToken(const TAccount& account, bool renew, QByteArray& token,
                                                 QString& message)
{
    return m_main.OAuth().Token(account, renew, token, message);
}

QByteArray TMainMailHost::CachedAccessToken(const TAccount& account)
{
    return m_main.OAuth().CachedToken(account);
}

void TMainMailHost::RepaintMain()
{
    m_paints->Flush();
}

void TMainMailHost::ProgressChanged()
{
    m_paints->Changed();
}

QWidget* TMainMailHost::MainWidget() const
{
    return &m_main;
}

void TMainMailHost::ShowMessage(const QString& from, const QString& text)
{
    // Waits cut short by the exit report nothing.
    if (m_main.Ending()) {
        return;
    }
    TFormMessage::Show(&m_main, from, text, [state = &m_state] { return state->NextCheckTime; });
}

void TMainMailHost::DeliverPassword(const QString& name, const QString& clear)
{
    for (TFormMailList* w : m_main.MailboxWindows()) {
        if (w->windowTitle() == name) {
            w->SetPassword(clear);
        }
    }
}

bool TMainMailHost::DialUpEnabled() const
{
    return m_state.DialUpEnabled;
}

int TMainMailHost::ActiveConnections()
{
    m_main.RAS->GetConnections();
    return m_main.RAS->Connections.Count();
}

void TMainMailHost::ConnectModem()
{
    m_dial.ConnectModem();
}

void TMainMailHost::HangUpIfDialed()
{
    m_dial.HangUpIfDialed();
}

QWidget* TMainMailHost::CreateViewer(const QString& server, const QString& subject)
{
    // Given the frame's area as parent, the viewer takes its place there itself.
    auto* viewer = new TFormViewer(m_main.MdiArea(), m_main.SettingsPath());
    viewer->LabelServer->setText(server);
    viewer->LabelSubject->setText(subject);
    viewer->SetFirstLine(tr("下載信件..."));
    viewer->show();
    return viewer;
}

void TMainMailHost::FillViewer(QWidget* viewer, const QByteArray& shown, const QByteArray& whole,
                               const QByteArray& message, bool minimise)
{
    auto* v = qobject_cast<TFormViewer*>(viewer);
    if (!v) {
        return;
    }
    v->ShowText(shown, whole);
    v->ShowMessage(message, NoHeader());
    if (minimise) {
        v->showMinimized();
    }
}

void TMainMailHost::DeleteCommand(QObject* sender)
{
    m_main.MenuDeleteClick(sender);
}
