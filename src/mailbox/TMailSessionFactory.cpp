#include "mailbox/TMailSession.h"

#include "mailbox/THeaderExtract.h"
#include "mailbox/TImapIdle.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMessageDecoder.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSessionTexts.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "net/TTransport.h"
#include "settings/TAccount.h"
#include "settings/TFilterRules.h"

namespace {

// A session together with the sockets it runs over, which it owns.
class TSocketSession : public TMailSession {
public:
    TSocketSession(TMailListModel& list, TSessionHost& host) : m_list(list), m_host(host)
    {
        m_plain.setObjectName(QStringLiteral("Socket"));
        m_plain.Port = QStringLiteral("110");
        m_plain.MaximumReceiveLength = 8192;
        m_plain.NonBlocking = false;
        m_secure.setObjectName(QStringLiteral("SecureSocket"));
        m_push.SetTokenSource([this] { return m_host.CachedAccessToken(); });
    }
    ~TSocketSession() override
    {
        // The session unhooks itself from the transport before the sockets go.
        m_session.reset();
    }

    void Check(bool autoDelete) override { session().Check(autoDelete); }
    TRetrieval Retrieve(int row, int limit) override { return session().Retrieve(row, limit); }
    void Viewed(int row) override { session().Viewed(row); }
    void Cancel() override
    {
        if (m_session) {
            m_session->Cancel();
        }
    }
    void Unwound() override
    {
        if (m_session) {
            m_session->Unwound();
        }
    }
    bool Busy() const override { return m_session && m_session->Busy(); }
    // Follows only accounts that ask for it (IMAP with Push=1); idle and timer-free otherwise.
    TMailPush* Push() override { return &m_push; }

    TSockets* Plain() { return &m_plain; }

private:
    // The session of the protocol the account names now: the protocol may change between
    // calls (the options dialog), never during one.
    TMailSession& session()
    {
        const TAccount::TProtocol protocol = m_host.Account().Protocol;
        if (!m_session || (protocol != m_protocol && !m_session->Busy())) {
            m_session.reset();
            if (protocol == TAccount::TProtocol::Imap) {
                m_session = std::make_unique<TImapSession>(m_secure, m_list, m_host);
            } else {
                m_session = std::make_unique<TPop3Session>(m_secure, m_list, m_host);
            }
            m_protocol = protocol;
        }
        return *m_session;
    }

    TMailListModel& m_list;
    TSessionHost& m_host;
    TAccount::TProtocol m_protocol = TAccount::TProtocol::Pop3;
    TSockets m_plain;
    TSecureSockets m_secure{m_plain};
    TImapIdle m_push;
    std::unique_ptr<TMailSession> m_session;
};

TMailSession::TSocketsHook& socketsHook()
{
    static TMailSession::TSocketsHook hook;
    return hook;
}

} // namespace

void TMailSession::SetSocketsHook(TSocketsHook hook)
{
    socketsHook() = std::move(hook);
}

std::unique_ptr<TMailSession> TMailSession::Create(const TAccount& account, TMailListModel& list, TSessionHost& host)
{
    Q_UNUSED(account);
    auto session = std::make_unique<TSocketSession>(list, host);
    if (socketsHook()) {
        socketsHook()(*session->Plain());
    }
    return session;
}

void TMailSession::ApplyDeleteRules(TMailListModel& list, TSessionHost& host)
{
    const TFilterRules& rules = host.Filters();
    for (int row = 1; row <= list.Count(); ++row) {
        for (int k = 0; k < 5; ++k) {
            if (rules.HighLight[k].isEmpty() || !rules.Delete[k]) {
                continue;
            }
            const TMailRow& values = list.Row(row);
            for (const QString& field : {values.From, values.Subject, values.RawFrom, values.RawSubject}) {
                if (THeaderExtract::UpperAscii(field).contains(rules.HighLight[k])) {
                    if (list.Mark(row) == TMark::New) {
                        host.NoLongerNew();
                    }
                    list.SetMark(row, TMark::Delete);
                }
            }
        }
    }
}

void TMailSession::MarkViewed(TMailListModel& list, TSessionHost& host, int row)
{
    if (list.Mark(row) == TMark::New) {
        list.SetMark(row, TMark::None);
        host.NoLongerNew();
    }
}

void TMailSession::FillViews(TRetrieval& retrieval, const QByteArray& listedSize)
{
    QByteArray text = TPop3Session::TooLarge(listedSize, TAccount::RawViewLimit) ? QByteArray() : retrieval.Message;
    const QByteArray upper = THeaderExtract::UpperAscii(text);
    if (!text.isEmpty() && !upper.contains("CONTENT-TYPE: MULTIPART")) {
        if (upper.contains("CONTENT-TRANSFER-ENCODING: QUOTED-PRINTABLE")) {
            text = TMessageDecoder::DecodeMessage(QStringLiteral("QP"), text);
        } else if (upper.contains("CONTENT-TRANSFER-ENCODING: BASE64")) {
            text = TMessageDecoder::DecodeMessage(QStringLiteral("BASE64"), text);
        }
    }
    retrieval.Whole = text;
    retrieval.Body = text.isEmpty() ? text : TPop3Reply::BodyOnly(text);
}

TSessionFailure TSessionFailure::OfTransport(const QString& mailbox, int socket, int error, const QString& msg)
{
    TSessionFailure failure;
    failure.Error = error;
    failure.ErrorText = msg;
    if (error == TTransport::SecurityError) {
        failure.Kind = TKind::Security;
        failure.Message = TSessionTexts::SecureConnectionFailed(mailbox, msg);
    } else {
        failure.Kind = TKind::Connection;
        failure.Message = TSessionTexts::SocketError(socket, error, msg);
    }
    return failure;
}
