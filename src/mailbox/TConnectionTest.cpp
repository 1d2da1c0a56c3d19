#include "mailbox/TConnectionTest.h"

#include "mailbox/TPop3Reply.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "settings/TSettingsRules.h"

namespace {

// Leaves the dialogue with the text for the user.
struct TFailed {
    QString Message;
};

// The POP3 exchange of the test: just enough to log in and out.
class TDialogue {
public:
    explicit TDialogue(TTransport& transport) : m_transport(transport) {}

    QByteArray line()
    {
        for (;;) {
            const int end = m_pending.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray reply = m_pending.left(end + 2);
                m_pending.remove(0, end + 2);
                return reply;
            }
            receive();
        }
    }

    QByteArray multiLine()
    {
        QByteArray first = line();
        if (!first.startsWith('+')) {
            return first;
        }
        for (;;) {
            const int end = m_pending.indexOf("\r\n.\r\n");
            if (m_pending.startsWith(".\r\n")) {
                m_pending.remove(0, 3);
                return first + ".\r\n";
            }
            if (end >= 0) {
                const QByteArray body = m_pending.left(end + 5);
                m_pending.remove(0, end + 5);
                return first + body;
            }
            receive();
        }
    }

    QByteArray command(const QByteArray& text, bool multi = false)
    {
        m_transport.Send(text + "\r\n");
        return multi ? multiLine() : line();
    }

    bool pendingEmpty() const { return m_pending.isEmpty(); }

private:
    void receive()
    {
        if (m_pending.size() > TPop3Reply::MaxLineReply) {
            throw TFailed{QStringLiteral("伺服器的回應過長，不像 POP3 伺服器。")};
        }
        const QByteArray chunk = m_transport.Receive();
        if (chunk.isEmpty()) {
            throw TFailed{QStringLiteral("伺服器中斷了連線。")};
        }
        m_pending += chunk;
    }

    TTransport& m_transport;
    QByteArray m_pending;
};

// The server's words, printable ASCII only, for a message.
QString serverWords(const QByteArray& reply)
{
    QString text;
    for (const char c : reply.trimmed().left(200)) {
        text.append(c >= 0x20 && c < 0x7f ? QLatin1Char(c) : QLatin1Char('?'));
    }
    return text;
}

} // namespace

TConnectionTestResult TConnectionTest::Run(const TConnectionParams& params)
{
    TConnectionTestResult result;
    const QString host = params.Host.trimmed();
    const QString word = TSettingsRules::SecurityWord(params.Security);
    const QString portError = TSettingsRules::PortError(params.Port);
    const QString pin = TSettingsRules::NormalisedFingerprint(params.CertSha256);
    if (host.isEmpty()) {
        result.Message = QStringLiteral("請填寫主機位址！");
        return result;
    }
    if (word.isEmpty()) {
        result.Message = QStringLiteral("安全連線設定「%1」無法辨認！").arg(params.Security);
        return result;
    }
    if (!portError.isEmpty()) {
        result.Message = portError;
        return result;
    }
    if (!params.CertSha256.trimmed().isEmpty() && pin.isEmpty()) {
        result.Message = QStringLiteral("信任的憑證指紋格式錯誤，應為 64 位十六進位數字！");
        return result;
    }
    const QByteArray user = params.Login.toUtf8();
    const QByteArray pass = params.Password.toUtf8();
    if (TPop3Reply::HasLineBreak(user) || TPop3Reply::HasLineBreak(pass)) {
        result.Message = QStringLiteral("使用者名稱或密碼含有換行字元！");
        return result;
    }

    TEndpoint endpoint;
    endpoint.Port = params.Port.trimmed();
    endpoint.Security = word == QLatin1String("TLS")        ? TSecurity::Tls
                        : word == QLatin1String("STARTTLS") ? TSecurity::StartTls
                                                            : TSecurity::None;
    endpoint.CertSha256 = pin;

    TSockets plain;
    plain.Port = QStringLiteral("110");
    plain.NonBlocking = false;
    TSecureSockets transport(plain);
    transport.SetEndpoint(endpoint);
    transport.SetErrorReport([](int, int error, const QString& msg) {
        if (error == TTransport::SecurityError) {
            throw TFailed{msg};
        }
        throw TFailed{QStringLiteral("無法連線（錯誤 %1：%2）。").arg(error).arg(msg)};
    });
    TDialogue pop(transport);
    try {
        transport.Open(host, params.Timeout);
        if (!pop.line().startsWith('+')) {
            throw TFailed{QStringLiteral("伺服器沒有送出 POP3 問候。")};
        }
        if (endpoint.Security == TSecurity::StartTls) {
            if (!TPop3Reply::Capabilities(pop.command("CAPA", true)).contains("STLS")) {
                throw TFailed{QStringLiteral("伺服器不提供 STARTTLS 加密，未送出帳號密碼。")};
            }
            const QByteArray go = pop.command("STLS");
            if (!go.startsWith('+')) {
                throw TFailed{QStringLiteral("伺服器拒絕 STARTTLS 加密（%1），未送出帳號密碼。").arg(serverWords(go))};
            }
            if (!pop.pendingEmpty()) {
                throw TFailed{QStringLiteral("伺服器在加密前送出多餘的資料，已中止連線。")};
            }
            transport.StartTls();
            pop.command("CAPA", true);
        }
        const QByteArray userReply = pop.command("USER " + user);
        const QByteArray passReply = userReply.startsWith('+') ? pop.command("PASS " + pass) : userReply;
        if (!passReply.startsWith('+')) {
            throw TFailed{QStringLiteral("使用者名稱或密碼錯誤！（伺服器：%1）").arg(serverWords(passReply))};
        }
        result.Encrypted = transport.Encrypted();
        pop.command("QUIT");
        transport.SetErrorReport({});
        transport.Close();
        result.Ok = true;
        result.Message = result.Encrypted ? QStringLiteral("連線成功：已透過加密連線登入並登出。")
                                          : QStringLiteral("連線成功：已登入並登出（未加密）。");
    } catch (const TFailed& failed) {
        transport.SetErrorReport({});
        transport.Close();
        result.Message = failed.Message;
    }
    const TCertificateInfo& cert = transport.LastCertificate();
    result.CertUntrusted = cert.Untrusted;
    result.Subject = cert.Subject;
    result.Issuer = cert.Issuer;
    result.ValidFrom = cert.ValidFrom;
    result.ValidTo = cert.ValidTo;
    result.Fingerprint = cert.Fingerprint;
    return result;
}
