#include "mailbox/TMailSession.h"

#include "mailbox/TPop3Session.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "settings/TAccount.h"

namespace {

// A session together with the sockets it runs over, which it owns.
class TSocketSession : public TMailSession {
public:
    TSocketSession(TMailListModel& list, TSessionHost& host)
    {
        m_plain.setObjectName(QStringLiteral("Socket"));
        m_plain.Port = QStringLiteral("110");
        m_plain.MaximumReceiveLength = 8192;
        m_plain.NonBlocking = false;
        m_secure.setObjectName(QStringLiteral("SecureSocket"));
        // Only POP3 exists so far; the account's protocol chooses here once IMAP does.
        m_session = std::make_unique<TPop3Session>(m_secure, list, host);
    }
    ~TSocketSession() override
    {
        // The session unhooks itself from the transport before the sockets go.
        m_session.reset();
    }

    void Check(bool autoDelete) override { m_session->Check(autoDelete); }
    TRetrieval Retrieve(int row, int limit) override { return m_session->Retrieve(row, limit); }
    void Viewed(int row) override { m_session->Viewed(row); }
    void Cancel() override { m_session->Cancel(); }
    void Unwound() override { m_session->Unwound(); }
    bool Busy() const override { return m_session->Busy(); }

    TSockets* Plain() { return &m_plain; }

private:
    TSockets m_plain;
    TSecureSockets m_secure{m_plain};
    std::unique_ptr<TMailSession> m_session;
};

} // namespace

std::unique_ptr<TMailSession> TMailSession::Create(const TAccount& account, TMailListModel& list, TSessionHost& host,
                                                   TSockets** plain)
{
    Q_UNUSED(account);
    auto session = std::make_unique<TSocketSession>(list, host);
    if (plain) {
        *plain = session->Plain();
    }
    return session;
}
