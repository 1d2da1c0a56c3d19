#include "app/TCheckPass.h"

#include "app/TFormMain.h"
#include "app/TNewMailAnnouncer.h"
#include "app/TProgramState.h"
#include "auth/TOAuthAccess.h"
#include "core/EAbort.h"
#include "core/EConvertError.h"
#include "core/TExceptionHook.h"
#include "dialup/TDialDriver.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TSessionTexts.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace {

// Marks the pass as running, so that news pushed meanwhile waits for its end.
class TRunning {
public:
    explicit TRunning(bool& flag) : m_flag(flag) { m_flag = true; }
    ~TRunning() { m_flag = false; }
    TRunning(const TRunning&) = delete;
    TRunning& operator=(const TRunning&) = delete;

private:
    bool& m_flag;
};

// How long a mailbox signed in meanwhile waits for a running session before it is tried again.
constexpr int kRetryMs = 250;

} // namespace

void TCheckPass::SetOAuthAccess(TOAuthAccess* access)
{
    if (m_access) {
        QObject::disconnect(m_access, nullptr, &m_main, nullptr);
    }
    m_access = access;
    if (!access) {
        return;
    }
    QObject::connect(access, &TOAuthAccess::authorized, &m_main,
                     [this](const QString& mailbox) { TExceptionHook::Run([&] { authorized(mailbox); }); });
    QObject::connect(access, &TOAuthAccess::authorizationFailed, &m_main,
                     [this](const QString& mailbox, const QString& message) {
                         TExceptionHook::Run([&] { authorizationFailed(mailbox, message); });
                     });
    // The attempt goes on: the user may open the address by hand (it carries no token).
    QObject::connect(access, &TOAuthAccess::browserNotOpened, &m_main, [this](const QUrl& url) {
        TExceptionHook::Run([&] {
            m_main.MailHost().ShowMessage(
                TSessionTexts::MessageSource(m_access->AuthorizingMailbox()),
                QCoreApplication::translate(
                    "TCheckPass", "無法開啟瀏覽器。請在瀏覽器中開啟這個網址，登入並允許 Mailvane 讀取郵件：\n%1\n")
                    .arg(url.toString(QUrl::FullyEncoded)));
        });
    });
}

void TCheckPass::Run(TOrigin origin)
{
    runWindows(origin, {});
}

bool TCheckPass::unauthorized(const TAccount& account) const
{
    return m_access && account.Auth == TAccount::TAuth::OAuth2 && account.Error.isEmpty() &&
           !m_access->HasRefreshToken(account);
}

void TCheckPass::runWindows(TOrigin origin, const QSet<QString>& only)
{
    if (m_main.Busy() || m_state.CheckPassRunning) {
        return;
    }
    const bool user = origin == TOrigin::User;
    bool unheard = false;
    try {
        {
            const TRunning running(m_state.CheckPassRunning);
            if (!m_dial.DialForCheck(origin == TOrigin::Timer, m_state.ConnectedOnly)) {
                return;
            }
            if (only.isEmpty()) {
                m_main.SetStatusCount(1, 0);
                m_main.SetStatusCount(2, 0);
            }
            QList<QPointer<TFormMailList>> windows;
            for (TFormMailList* w : m_main.MailboxWindows()) {
                if (only.isEmpty() || only.contains(w->MailboxName())) {
                    windows.append(w);
                }
            }
            for (const QPointer<TFormMailList>& w : std::as_const(windows)) {
                // A window deleted by a command that ran during an earlier wait is skipped.
                if (!w) {
                    continue;
                }
                const QString name = w->MailboxName();
                const TAccount account = m_access ? TAccount::Read(TIniFile(m_main.SettingsPath()), name) : TAccount();
                if (unauthorized(account)) {
                    // The browser only for the user's own check; the others go on meanwhile.
                    if (user) {
                        queueAuthorization(name);
                    } else {
                        needsAuthorization(name);
                        unheard = true;
                    }
                    continue;
                }
                try {
                    w->Check();
                } catch (const EAbort&) {
                    // A sign-in the provider no longer honours was dropped and reported by the
                    // session: the next mailbox is not held up by it.
                    if (!unauthorized(account)) {
                        throw;
                    }
                    if (user) {
                        queueAuthorization(name);
                    } else {
                        unheard = true;
                    }
                }
            }
        }
        m_announcer.AnnouncePending();
        m_main.HangUpIfDialed();
        // The mailboxes checked after it do not make the light forget it.
        if (unheard) {
            m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
        }
    } catch (const EAbort&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    } catch (const EConvertError&) {
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    }
    authorizeNext();
}

void TCheckPass::needsAuthorization(const QString& mailbox)
{
    m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
    m_main.MailHost().ShowMessage(TSessionTexts::MessageSource(mailbox),
                                  TOAuthAccess::NeedsAuthorizationText() + QLatin1Char('\n'));
}

void TCheckPass::queueAuthorization(const QString& mailbox)
{
    if (!m_queue.contains(mailbox)) {
        m_queue.append(mailbox);
    }
}

void TCheckPass::authorizeNext()
{
    // One browser sign-in at a time; the options dialog's own one goes first.
    while (m_access && !m_access->Authorizing() && !m_queue.isEmpty()) {
        const QString name = m_queue.first();
        const TAccount account = TAccount::Read(TIniFile(m_main.SettingsPath()), name);
        bool listed = false;
        for (TFormMailList* w : m_main.MailboxWindows()) {
            listed = listed || w->MailboxName() == name;
        }
        if (listed && unauthorized(account) && m_access->Authorize(account)) {
            return;
        }
        m_queue.removeFirst();
        if (listed && !unauthorized(account)) {
            checkAuthorized(name);
        }
    }
}

void TCheckPass::authorized(const QString& mailbox)
{
    if (!m_queue.isEmpty() && m_queue.first() == mailbox) {
        m_queue.removeFirst();
        checkAuthorized(mailbox);
    }
    authorizeNext();
}

void TCheckPass::authorizationFailed(const QString& mailbox, const QString& message)
{
    if (!m_queue.isEmpty() && m_queue.first() == mailbox) {
        m_queue.removeFirst();
        m_main.LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_main.MailHost().ShowMessage(TSessionTexts::MessageSource(mailbox), message + QLatin1Char('\n'));
    }
    authorizeNext();
}

void TCheckPass::checkAuthorized(const QString& mailbox)
{
    m_toCheck.insert(mailbox);
    if (m_main.Busy() || m_state.CheckPassRunning) {
        // Checked as soon as the session under way has ended.
        QTimer::singleShot(kRetryMs, &m_main, [this] {
            if (!m_toCheck.isEmpty()) {
                TExceptionHook::Run([this] { checkAuthorized(*m_toCheck.cbegin()); });
            }
        });
        return;
    }
    const QSet<QString> names = m_toCheck;
    m_toCheck.clear();
    runWindows(TOrigin::User, names);
}
