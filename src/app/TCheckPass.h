#pragma once

#include "mailbox/TOrigin.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class TDialDriver;
class TFormMain;
class TNewMailAnnouncer;
class TOAuthAccess;
struct TAccount;
struct TProgramState;

// One check of every mailbox: the busy guard, the dial step, the counters, the mailboxes
// in window order, the new-mail announcement and the hang-up. A mailbox that signs in
// through the browser and holds no authorization is authorized first when the user asked
// for the check (it is checked on its own once that worked) and reported otherwise: a
// timed check never opens a browser.
class TCheckPass {
public:
    TCheckPass(TFormMain& main, TProgramState& state, TDialDriver& dial, TNewMailAnnouncer& announcer)
        : m_main(main), m_state(state), m_dial(dial), m_announcer(announcer)
    {
    }

    void Run(TOrigin origin);
    // The program's browser sign-in; none: every mailbox is checked as it is.
    void SetOAuthAccess(TOAuthAccess* access);

    // Mailboxes waiting for their browser sign-in, the one running first.
    QStringList AwaitingAuthorization() const { return m_queue; }

private:
    // Checks the windows named in only (all when empty).
    void runWindows(TOrigin origin, const QSet<QString>& only);
    // No authorization is stored for this mailbox that signs in through the browser.
    bool unauthorized(const TAccount& account) const;
    void needsAuthorization(const QString& mailbox);
    void queueAuthorization(const QString& mailbox);
    void authorizeNext();
    void authorized(const QString& mailbox);
    void authorizationFailed(const QString& mailbox, const QString& message);
    void checkAuthorized(const QString& mailbox);

    TFormMain& m_main;
    TProgramState& m_state;
    TDialDriver& m_dial;
    TNewMailAnnouncer& m_announcer;
    QPointer<TOAuthAccess> m_access;
    // Mailbox names: waiting for a sign-in (the running one first), signed in but not yet checked.
    QStringList m_queue;
    QSet<QString> m_toCheck;
};
