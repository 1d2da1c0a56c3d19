#pragma once

#include <QObject>
#include <QString>

struct TAccount;

// A connection that waits for a server's news between checks, for protocols that have one.
// The mailbox window wires its signals without knowing the protocol: News asks for a check
// of that mailbox alone, also once a lost connection is back.
class TMailPush : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Waits for news of account's mailbox when the account asks for it and the server can
    // give it; stops otherwise. Called after each good check: a running wait for the
    // same account goes on undisturbed.
    virtual void Follow(const TAccount& account, const QString& password) = 0;
    virtual void Stop() = 0;
    // Waiting for news now.
    virtual bool Active() const = 0;
    // Reconnects at once, without the growing wait (the computer woke, the network is back).
    virtual void ReconnectNow() = 0;
    // Why the last attempt gave up and left the mailbox to the schedule, for the user; empty
    // while none has.
    virtual QString Reason() const = 0;

signals:
    // The mailbox changed on the server, or the connection is back after a loss.
    void News();
    void ActiveChanged(bool active);
    // Given up until the next good check or for good: Reason() says why.
    void Unavailable(const QString& reason);
};
