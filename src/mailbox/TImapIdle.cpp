#include "mailbox/TImapIdle.h"

#include "auth/TOAuthAccess.h"
#include "mailbox/TImapCommand.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TImapUtf7.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TWakeWatch.h"
#include "net/TTlsRules.h"
#include "net/TTransport.h"

#include <QRandomGenerator>
#include <QSslSocket>
#include <exception>

namespace {

constexpr int kDefaultReplyMs = 30000;

bool sameMailbox(const TAccount& a, const TAccount& b)
{
    return a.Name == b.Name && a.Host == b.Host && a.Port == b.Port && a.Security == b.Security &&
           a.CertSha256 == b.CertSha256 && a.Login == b.Login && a.Folder == b.Folder && a.Auth == b.Auth;
}

} // namespace

TImapIdle::TImapIdle(QObject* parent) : TMailPush(parent)
{
    for (QTimer* timer : {&m_reply, &m_renew, &m_retry}) {
        timer->setSingleShot(true);
    }
    connect(&m_reply, &QTimer::timeout, this, &TImapIdle::lost);
    connect(&m_renew, &QTimer::timeout, this, &TImapIdle::renew);
    connect(&m_retry, &QTimer::timeout, this, &TImapIdle::connectNow);
}

TImapIdle::~TImapIdle()
{
    dropSocket();
}

void TImapIdle::Follow(const TAccount& account, const QString& password)
{
    if (account.Protocol != TAccount::TProtocol::Imap || !account.Push || !account.Error.isEmpty()) {
        Stop();
        return;
    }
    if (m_following && sameMailbox(account, m_account) && password == m_password) {
        // Running, waiting to reconnect, or left to the schedule: nothing to start.
        if (!m_unsupported && m_state == TState::Off && !m_retry.isActive()) {
            connectNow();
        }
        return;
    }
    Stop();
    if (!m_wakeHooked) {
        // After a sleep or a network change the connection may be dead without knowing it.
        connect(m_wake ? m_wake.data() : &TWakeWatch::Instance(), &TWakeWatch::Woke, this, &TImapIdle::ReconnectNow);
        m_wakeHooked = true;
    }
    m_account = account;
    m_password = password;
    m_following = true;
    m_unsupported = false;
    m_reason.clear();
    m_attempt = 0;
    m_lostBefore = false;
    connectNow();
}

void TImapIdle::Stop()
{
    m_following = false;
    m_retry.stop();
    dropSocket();
    setState(TState::Off);
}

void TImapIdle::ReconnectNow()
{
    if (!m_following || m_unsupported) {
        return;
    }
    // A connection from before the sleep or the network change may be dead without knowing.
    m_retry.stop();
    dropSocket();
    setState(TState::Off);
    m_lostBefore = true;
    m_attempt = 0;
    connectNow();
}

void TImapIdle::setState(TState state)
{
    const bool was = Active();
    m_state = state;
    if (was != Active()) {
        emit ActiveChanged(Active());
    }
}

void TImapIdle::dropSocket()
{
    m_reply.stop();
    m_renew.stop();
    m_parser.Clear();
    if (m_socket) {
        QSslSocket* socket = m_socket;
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

QByteArray TImapIdle::tag(const char* prefix)
{
    return QByteArray(prefix) + QByteArray::number(++m_tags);
}

void TImapIdle::connectNow()
{
    if (!m_following) {
        return;
    }
    dropSocket();
    m_capabilities.clear();
    ++m_connections;
    m_socket = new QSslSocket(this);
    QSslSocket* socket = m_socket;
    connect(socket, &QIODevice::readyRead, this, &TImapIdle::readyRead);
    connect(socket, &QSslSocket::encrypted, this, &TImapIdle::encrypted);
    connect(socket, &QAbstractSocket::disconnected, this, &TImapIdle::lost);
    connect(socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // A certificate the rules refuse is not retried: the next good check follows again.
        if (error == QAbstractSocket::SslHandshakeFailedError) {
            giveUp(false, TSessionTexts::PushTls());
        } else {
            lost();
        }
    });
    const TEndpoint endpoint = TImapSession::EndpointOf(m_account);
    if (endpoint.Security != TSecurity::None) {
        TTlsRules::Prepare(*socket, m_account.Host, endpoint.CertSha256);
    }
    QString host = m_account.Host;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    const quint16 port = quint16(endpoint.Port.toUInt());
    setState(TState::Greeting);
    int replyMs = m_waits.ReplyMs;
    if (replyMs <= 0) {
        try {
            replyMs = m_account.Timeout() * 1000;
        } catch (const std::exception&) {
            replyMs = kDefaultReplyMs;
        }
        if (replyMs <= 0) {
            replyMs = kDefaultReplyMs;
        }
    }
    m_reply.setInterval(replyMs);
    m_reply.start();
    if (endpoint.Security == TSecurity::Tls) {
        socket->connectToHostEncrypted(host, port);
    } else {
        socket->connectToHost(host, port);
    }
}

void TImapIdle::lost()
{
    if (!m_following || m_state == TState::Off) {
        return;
    }
    dropSocket();
    setState(TState::Off);
    m_lostBefore = true;
    // 5 s doubling to 5 minutes, spread at random so that many clients do not return at once.
    qint64 wait = m_waits.FirstMs;
    for (int k = 0; k < m_attempt && wait < m_waits.MaxMs; ++k) {
        wait *= 2;
    }
    wait = qMin<qint64>(wait, m_waits.MaxMs);
    const double spread = (QRandomGenerator::global()->generateDouble() * 2.0 - 1.0) * m_waits.Jitter;
    wait = qMax<qint64>(1, qint64(double(wait) * (1.0 + spread)));
    ++m_attempt;
    m_retry.start(int(wait));
    emit Reconnecting(int(wait));
}

void TImapIdle::giveUp(bool unsupported, const QString& why)
{
    m_unsupported = unsupported;
    m_reason = TSessionTexts::PushOff(why);
    m_retry.stop();
    dropSocket();
    setState(TState::Off);
    emit Unavailable(m_reason);
}

void TImapIdle::send(const QByteArray& line, bool awaitReply)
{
    if (!m_socket) {
        return;
    }
    m_socket->write(line + "\r\n");
    if (awaitReply) {
        m_reply.start();
    }
}

void TImapIdle::encrypted()
{
    if (!m_socket) {
        return;
    }
    const QString pin = TImapSession::EndpointOf(m_account).CertSha256;
    if (!TTlsRules::PinHolds(*m_socket, pin) || !TTlsRules::AddressHolds(*m_socket, m_account.Host, pin)) {
        giveUp(false, TSessionTexts::PushTls());
        return;
    }
    if (m_state == TState::Handshake) {
        // What the server said before the handshake is not to be trusted.
        m_capabilities.clear();
        setState(TState::Capability);
        m_tag = tag("C");
        send(m_tag + " CAPABILITY");
    }
}

void TImapIdle::readyRead()
{
    while (m_socket && m_state != TState::Handshake && m_socket->bytesAvailable() > 0) {
        if (!m_parser.Feed(m_socket->readAll())) {
            lost();
            return;
        }
        while (m_socket && m_parser.HasResponse()) {
            handle(m_parser.Take());
        }
    }
}

void TImapIdle::loginWithToken()
{
    setState(TState::Login);
    m_tag = tag("L");
    TOAuthProvider provider;
    QString error;
    const QByteArray token = m_tokens ? m_tokens() : QByteArray();
    if (token.isEmpty() || !TOAuthAccess::Provider(m_account, provider, error)) {
        giveUp(false, TSessionTexts::PushLoginRefused());
        return;
    }
    const QByteArray name = TSaslOAuth::Name(provider.Mechanism);
    m_saslMechanism = provider.Mechanism;
    const TEndpoint endpoint = TImapSession::EndpointOf(m_account);
    m_saslResponse = TSaslOAuth::InitialResponse(provider.Mechanism, m_account.Login.toUtf8(), token,
                                                 m_account.Host.toUtf8(), endpoint.Port.toInt());
    // Never a password instead of the mechanism.
    if (m_saslResponse.isEmpty() || !m_capabilities.contains("AUTH=" + name)) {
        giveUp(false, TSessionTexts::PushLoginRefused());
        return;
    }
    m_saslSent = m_capabilities.contains("SASL-IR");
    send(m_saslSent ? m_tag + " AUTHENTICATE " + name + ' ' + m_saslResponse : m_tag + " AUTHENTICATE " + name);
}

void TImapIdle::login()
{
    m_saslResponse.clear();
    if (m_account.Auth == TAccount::TAuth::OAuth2) {
        loginWithToken();
        return;
    }
    const QByteArray user = m_account.Login.toUtf8();
    const QByteArray pass = m_password.toUtf8();
    setState(TState::Login);
    m_tag = tag("L");
    const bool plain = m_capabilities.contains("AUTH=PLAIN");
    if (m_capabilities.contains("LOGINDISABLED") || (plain && m_capabilities.contains("SASL-IR"))) {
        if (!plain) {
            giveUp(true, TSessionTexts::PushLoginRefused());
            return;
        }
        const QByteArray response = ('\0' + user + '\0' + pass).toBase64();
        send(m_capabilities.contains("SASL-IR") ? m_tag + " AUTHENTICATE PLAIN " + response
                                                : m_tag + " AUTHENTICATE PLAIN");
        return;
    }
    TImapCommand command(m_tag, "LOGIN");
    command.AddString(user).AddString(pass);
    const QList<QByteArray> pieces =
        command.Pieces(m_capabilities.contains("LITERAL+")   ? TImapCommand::TLiterals::Plus
                       : m_capabilities.contains("LITERAL-") ? TImapCommand::TLiterals::Minus
                                                             : TImapCommand::TLiterals::Synchronising);
    if (pieces.size() != 1) {
        // A synchronising literal would have to wait for the server's go-ahead in the middle
        // of the login; the checks do that, this connection is left to them.
        giveUp(true, TSessionTexts::PushNeedsLiteral());
        return;
    }
    send(pieces.constFirst().chopped(2));
}

void TImapIdle::afterLogin()
{
    if (!m_capabilities.contains("IDLE")) {
        giveUp(true, TSessionTexts::PushNoIdle());
        return;
    }
    if (m_capabilities.contains("ID")) {
        send(tag("D") + R"( ID ("name" "Mailvane"))");
    }
    const QString folder = m_account.Folder.trimmed().isEmpty() ? QStringLiteral("INBOX") : m_account.Folder;
    bool ok = true;
    const QByteArray wire = folder.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0
                                ? QByteArray("INBOX")
                                : TImapUtf7::Encode(folder, &ok);
    m_tag = tag("E");
    TImapCommand command(m_tag, "EXAMINE");
    command.AddString(wire);
    const QList<QByteArray> pieces = command.Pieces(TImapCommand::TLiterals::Synchronising);
    if (!ok || pieces.size() != 1) {
        giveUp(true, TSessionTexts::PushFolder());
        return;
    }
    setState(TState::Examine);
    send(pieces.constFirst().chopped(2));
}

void TImapIdle::startIdle()
{
    setState(TState::IdleWait);
    m_tag = tag("I");
    send(m_tag + " IDLE");
}

void TImapIdle::renew()
{
    if (m_state != TState::Idling) {
        return;
    }
    setState(TState::Renewing);
    send("DONE");
}

void TImapIdle::handle(const TImapResponse& response)
{
    using TKind = TImapResponse::TKind;
    using TStatus = TImapResponse::TStatus;
    if (response.Kind == TKind::Untagged && response.Status == TStatus::Bye) {
        lost();
        return;
    }
    if (response.Kind == TKind::Untagged &&
        (response.Name == "CAPABILITY" || (response.Code == "CAPABILITY" && m_state != TState::Idling))) {
        m_capabilities = QSet<QByteArray>(response.Words.cbegin(), response.Words.cend());
    }
    const bool mine = response.Kind == TKind::Tagged && response.Tag == m_tag;
    if (response.Kind == TKind::Tagged && !mine) {
        // The answer to ID, sent without waiting.
        return;
    }
    const bool ok = mine && response.Status == TStatus::Ok;
    switch (m_state) {
    case TState::Greeting:
        if (response.Kind != TKind::Untagged || response.Status != TStatus::Ok) {
            // PREAUTH would leave the login unchecked.
            giveUp(false, TSessionTexts::PushLoginRefused());
            return;
        }
        if (TImapSession::EndpointOf(m_account).Security == TSecurity::StartTls) {
            setState(TState::StartTls);
            m_tag = tag("S");
            send(m_tag + " STARTTLS");
        } else if (m_capabilities.isEmpty()) {
            setState(TState::Capability);
            m_tag = tag("C");
            send(m_tag + " CAPABILITY");
        } else {
            login();
        }
        return;
    case TState::StartTls:
        if (!mine) {
            return;
        }
        // Bytes after the go-ahead would pass as encrypted ones.
        if (!ok || !m_parser.Empty() || m_socket->bytesAvailable() > 0) {
            giveUp(false, TSessionTexts::PushTls());
            return;
        }
        setState(TState::Handshake);
        m_socket->startClientEncryption();
        return;
    case TState::Capability:
        if (mine) {
            if (ok) {
                login();
            } else {
                giveUp(false, TSessionTexts::PushLoginRefused());
            }
        }
        return;
    case TState::Login:
        if (response.Kind == TKind::Continuation) {
            if (m_saslResponse.isEmpty()) {
                send(('\0' + m_account.Login.toUtf8() + '\0' + m_password.toUtf8()).toBase64());
            } else if (!m_saslSent) {
                m_saslSent = true;
                send(m_saslResponse);
            } else {
                // The error challenge of a refused token; the refusal follows.
                send(TSaslOAuth::ErrorAnswer(m_saslMechanism));
            }
            return;
        }
        if (!mine) {
            return;
        }
        if (!ok) {
            // A refused password is the checks' to report.
            giveUp(false, TSessionTexts::PushLoginRefused());
            return;
        }
        if (response.Code == "CAPABILITY") {
            m_capabilities = QSet<QByteArray>(response.Words.cbegin(), response.Words.cend());
        }
        if (m_capabilities.contains("IMAP4REV1") || m_capabilities.contains("IMAP4REV2")) {
            afterLogin();
        } else {
            // Capabilities after login, asked for under the state that follows login.
            m_capabilities.clear();
            setState(TState::Examine);
            m_tag = tag("K");
            send(m_tag + " CAPABILITY");
        }
        return;
    case TState::Examine:
        if (!mine) {
            return;
        }
        if (!ok) {
            giveUp(false, TSessionTexts::PushFolder());
        } else if (m_tag.startsWith('K')) {
            afterLogin();
        } else {
            startIdle();
        }
        return;
    case TState::IdleWait:
        if (response.Kind == TKind::Continuation) {
            m_reply.stop();
            m_attempt = 0;
            m_reason.clear();
            setState(TState::Idling);
            m_renew.start(m_waits.RenewMs);
            if (m_lostBefore) {
                // Back after a loss: what arrived meanwhile is found by a check.
                m_lostBefore = false;
                emit News();
            }
        } else if (mine) {
            // NO or BAD to IDLE: the schedule alone.
            giveUp(true, TSessionTexts::PushIdleRefused());
        }
        return;
    case TState::Idling:
        if (response.Kind == TKind::Untagged &&
            (response.Name == "EXISTS" || response.Name == "EXPUNGE" || response.Name == "FETCH")) {
            emit News();
        } else if (mine) {
            lost();
        }
        return;
    case TState::Renewing:
        if (mine) {
            if (ok) {
                startIdle();
            } else {
                lost();
            }
        } else if (response.Kind == TKind::Untagged &&
                   (response.Name == "EXISTS" || response.Name == "EXPUNGE" || response.Name == "FETCH")) {
            emit News();
        }
        return;
    case TState::Handshake:
    case TState::Off:
        return;
    }
}
