#pragma once

#include "auth/TSaslOAuth.h"
#include "mailbox/TImapParser.h"
#include "mailbox/TMailPush.h"
#include "mailbox/TWakeWatch.h"
#include "settings/TAccount.h"

#include <QByteArray>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <functional>

class QSslSocket;

// IMAP push: a connection of its own that logs in, opens the folder read-only and waits in
// IDLE, driven by the socket's signals alone. While nothing happens only the renewal timer
// runs (DONE and a fresh IDLE every 25 minutes); a deadline runs only while a reply is
// awaited. A lost connection (BYE, closed, a reply not in time) is reopened after growing
// waits; a server without IDLE, or one that refuses it, is left to the schedule.
class TImapIdle : public TMailPush {
    Q_OBJECT
public:
    struct TWaits {
        // The first wait before reconnecting, doubled after each failure up to the last.
        int FirstMs = 5000;
        int MaxMs = 5 * 60 * 1000;
        int RenewMs = 25 * 60 * 1000;
        // 0: the account's time-out.
        int ReplyMs = 0;
        // The share of a wait added or taken at random, so that many clients spread out.
        double Jitter = 0.2;
    };

    explicit TImapIdle(QObject* parent = nullptr);
    ~TImapIdle() override;

    // For tests: shorter waits.
    void SetWaits(const TWaits& waits) { m_waits = waits; }
    // For tests, before the first Follow: the watcher whose Woke reconnects (the program's by default).
    void SetWakeWatch(TWakeWatch* watch) { m_wake = watch; }
    // An OAuth2 mailbox's access token as held now, without waiting (empty: none usable);
    // a connection without one waits for the next check, which refreshes it.
    using TTokenSource = std::function<QByteArray()>;
    void SetTokenSource(TTokenSource source) { m_tokens = std::move(source); }

    void Follow(const TAccount& account, const QString& password) override;
    void Stop() override;
    bool Active() const override { return m_state == TState::Idling; }
    void ReconnectNow() override;

    // The server offers no IDLE or refused it: this account is checked on the schedule only.
    bool Unsupported() const { return m_unsupported; }
    QString Reason() const override { return m_reason; }
    // Connections opened so far.
    int Connections() const { return m_connections; }
    // The wait before the next reconnect, 0 when none is due.
    int PendingWaitMs() const { return m_retry.isActive() ? m_retry.interval() : 0; }

signals:
    // The connection was lost; the next attempt comes after this wait.
    void Reconnecting(int waitMs);

private:
    enum class TState { Off, Greeting, StartTls, Handshake, Login, Capability, Examine, IdleWait, Idling, Renewing };

    void connectNow();
    void readyRead();
    void encrypted();
    void lost();
    void handle(const TImapResponse& response);
    void send(const QByteArray& line, bool awaitReply = true);
    void login();
    void loginWithToken();
    void afterLogin();
    void startIdle();
    void renew();
    void setState(TState state);
    void giveUp(bool unsupported, const QString& why);
    void dropSocket();
    QByteArray tag(const char* prefix);

    TWaits m_waits;
    TAccount m_account;
    QPointer<TWakeWatch> m_wake;
    QString m_reason;
    QString m_password;
    TTokenSource m_tokens;
    // The SASL initial response of a token login, and whether it went out already.
    QByteArray m_saslResponse;
    bool m_saslSent = false;
    TSaslOAuth::Mechanism m_saslMechanism = TSaslOAuth::Mechanism::XOAuth2;
    QPointer<QSslSocket> m_socket;
    TImapParser m_parser;
    QSet<QByteArray> m_capabilities;
    TState m_state = TState::Off;
    QByteArray m_tag;
    int m_tags = 0;
    int m_attempt = 0;
    int m_connections = 0;
    bool m_following = false;
    bool m_lostBefore = false;
    bool m_unsupported = false;
    bool m_wakeHooked = false;
    QTimer m_reply;
    QTimer m_renew;
    QTimer m_retry;
};
