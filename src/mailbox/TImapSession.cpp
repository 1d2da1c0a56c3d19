#include "mailbox/TImapSession.h"

#include "core/EAbort.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TImapCommand.h"
#include "mailbox/TImapUtf7.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMailboxFiles.h"
#include "mailbox/TMessageDecoder.h"
#include "mailbox/TOAuthLogin.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TUidlCache.h"
#include "net/TTransport.h"

#include <QFile>
#include <QHash>
#include <QScopeGuard>
#include <map>
#include <memory>

namespace Texts = TSessionTexts;

namespace {

// A UID set longer than this goes in several commands: servers take lines up to 8 KiB.
constexpr int kMaxSetLength = 4000;

struct TListed {
    quint32 Uid = 0;
    qint64 Size = -1;
    // Uid and Size as the cache keeps them.
    QByteArray UidText;
    QByteArray SizeText;
    // The cache's entry when it has this message at this size.
    const TUidlEntry* Known = nullptr;
    QByteArray Header;
    // The header section came, though it may be empty.
    bool HasHeader = false;
    // Header read as the row shows it, once its size was known.
    bool Decoded = false;
    TUidlEntry Entry;
};

// A status response as the server sent it, near enough for the user to read.
QByteArray statusLine(const TImapResponse& response)
{
    static const char* const words[] = {"", "OK", "NO", "BAD", "PREAUTH", "BYE"};
    QByteArray line = response.Kind == TImapResponse::TKind::Tagged ? response.Tag : QByteArray("*");
    line += ' ';
    line += words[int(response.Status)];
    if (!response.Code.isEmpty()) {
        line += " [" + response.Code + (response.CodeArgs.isEmpty() ? QByteArray() : ' ' + response.CodeArgs) + ']';
    }
    return line + ' ' + response.Text;
}

// A header block in the form of a TOP reply, which the POP3 decode calls read.
QByteArray asTopReply(const QByteArray& header)
{
    return "+OK\r\n" + header;
}

} // namespace

TImapSession::TImapSession(TTransport& transport, TMailListModel& list, TSessionHost& host)
    : m_transport(transport), m_list(list), m_host(host)
{
    m_transport.SetErrorReport(
        [this](int socket, int error, const QString& msg) { transportError(socket, error, msg); });
}

TImapSession::~TImapSession()
{
    m_transport.SetErrorReport({});
}

// ---- small rules ------------------------------------------------------------------------

QByteArray TImapSession::RowUid(quint32 validity, quint32 uid)
{
    return QByteArray::number(validity) + '.' + QByteArray::number(uid);
}

bool TImapSession::ParseRowUid(const QByteArray& rowUid, quint32& validity, quint32& uid)
{
    const int dot = rowUid.indexOf('.');
    if (dot <= 0) {
        return false;
    }
    bool okValidity = false;
    bool okUid = false;
    validity = rowUid.left(dot).toUInt(&okValidity);
    uid = rowUid.mid(dot + 1).toUInt(&okUid);
    return okValidity && okUid && uid > 0;
}

QByteArray TImapSession::CacheKey(const TAccount& account, quint32 validity)
{
    return TUidlCache::Key(account.Name, account.Host, account.Login) + "\nIMAP\n" + account.Folder.toUtf8() + '\n' +
           QByteArray::number(validity);
}

QByteArray TImapSession::HeaderSection()
{
    // Content-Type gives the charset that raw 8-bit header bytes are read in.
    return "HEADER.FIELDS (DATE FROM SUBJECT MESSAGE-ID CONTENT-TYPE)";
}

QByteArray TImapSession::AsRetrReply(const QByteArray& message)
{
    QByteArray reply = "+OK " + QByteArray::number(message.size()) + " octets\r\n";
    reply.reserve(message.size() + message.size() / 50 + 32);
    qsizetype pos = 0;
    while (pos < message.size()) {
        const qsizetype eol = message.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? message.size() : eol + 1;
        if (message.at(pos) == '.') {
            reply += '.';
        }
        reply += QByteArrayView(message.constData() + pos, next - pos);
        pos = next;
    }
    if (!reply.endsWith("\r\n")) {
        reply += "\r\n";
    }
    return reply + ".\r\n";
}

TEndpoint TImapSession::EndpointOf(const TAccount& account)
{
    TEndpoint endpoint;
    endpoint.CertSha256 = account.CertSha256;
    endpoint.Security = account.Security == TAccount::TSecurityKind::Tls        ? TSecurity::Tls
                        : account.Security == TAccount::TSecurityKind::StartTls ? TSecurity::StartTls
                                                                                : TSecurity::None;
    endpoint.Port = account.Port;
    if (endpoint.Port.isEmpty()) {
        endpoint.Port = endpoint.Security == TSecurity::Tls ? QStringLiteral("993") : QStringLiteral("143");
    }
    return endpoint;
}

// ---- failures ---------------------------------------------------------------------------

void TImapSession::checkRetired() const
{
    if (m_host.Retired()) {
        throw EAbort();
    }
}

void TImapSession::Cancel()
{
    m_aborting = true;
    m_transport.Close();
}

void TImapSession::fail(TSessionFailure failure)
{
    m_meanwhile = nullptr;
    m_aborting = true;
    m_transport.Close();
    m_parser.Clear();
    if (!m_host.Retired()) {
        failure.ServerReply = m_refusal;
        m_host.Failed(failure);
    }
    m_refusal.clear();
    throw EAbort();
}

void TImapSession::abortSession(const QString& message, bool forgetPassword)
{
    TSessionFailure failure;
    failure.Kind = TSessionFailure::TKind::Refused;
    failure.Message = message + QLatin1Char('\n');
    failure.ForgetPassword = forgetPassword;
    fail(failure);
}

void TImapSession::transportError(int socket, int error, const QString& msg)
{
    if (m_aborting) {
        return;
    }
    fail(TSessionFailure::OfTransport(m_account.Name, socket, error, msg));
}

// ---- responses and commands -------------------------------------------------------------

TImapResponse TImapSession::next(const QString& errorText)
{
    while (!m_parser.HasResponse()) {
        if (runMeanwhile()) {
            checkRetired();
        }
        const QByteArray chunk = m_transport.Receive();
        checkRetired();
        if (chunk.isEmpty() || !m_parser.Feed(chunk)) {
            abortSession(errorText);
        }
    }
    TImapResponse response = m_parser.Take();
    if (response.Kind == TImapResponse::TKind::Untagged && response.Status == TImapResponse::TStatus::Bye &&
        !m_loggingOut) {
        // The server ends the connection; the command cannot be answered.
        m_refusal = statusLine(response);
    }
    return response;
}

bool TImapSession::runMeanwhile()
{
    if (!m_meanwhile) {
        return false;
    }
    const std::function<void()> work = std::move(m_meanwhile);
    m_meanwhile = nullptr;
    work();
    return true;
}

QByteArray TImapSession::nextTag()
{
    return 'A' + QByteArray::number(++m_tags);
}

TImapResponse TImapSession::run(TImapCommand& command, const QString& statusText, const QString& errorText,
                                const TUntagged& untagged, bool mayRefuse)
{
    const TImapCommand::TLiterals literals = m_capabilities.contains("LITERAL+") ? TImapCommand::TLiterals::Plus
                                             : m_capabilities.contains("LITERAL-")
                                                 ? TImapCommand::TLiterals::Minus
                                                 : TImapCommand::TLiterals::Synchronising;
    const QList<QByteArray> pieces = command.Pieces(literals);
    if (pieces.isEmpty()) {
        abortSession(errorText);
    }
    m_host.Progress(statusText);
    QByteArray tag = pieces.constFirst();
    tag.truncate(tag.indexOf(' '));
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        // Commands whose answers are not waited for go in the same write.
        QByteArray bytes = i == 0 ? m_ahead + pieces.at(i) : pieces.at(i);
        if (i + 1 == pieces.size()) {
            bytes += m_behind;
            m_behind.clear();
        }
        m_ahead.clear();
        m_transport.Send(bytes);
        checkRetired();
        if (i + 1 == pieces.size()) {
            break;
        }
        // A synchronising literal goes after the server's go-ahead.
        for (;;) {
            const TImapResponse response = next(errorText);
            if (response.Kind == TImapResponse::TKind::Continuation) {
                break;
            }
            if (response.Kind == TImapResponse::TKind::Tagged && m_skipTags.remove(response.Tag)) {
                continue;
            }
            if (response.Kind == TImapResponse::TKind::Tagged) {
                m_refusal = statusLine(response);
                abortSession(errorText);
            }
            takeCapabilities(response);
            if (untagged) {
                untagged(response);
            }
        }
    }
    return await(tag, errorText, untagged, mayRefuse);
}

TImapResponse TImapSession::await(const QByteArray& tag, const QString& errorText, const TUntagged& untagged,
                                  bool mayRefuse)
{
    for (;;) {
        const TImapResponse response = next(errorText);
        if (response.Kind == TImapResponse::TKind::Tagged && response.Tag != tag && m_skipTags.remove(response.Tag)) {
            // The answer to a command sent ahead whose outcome does not matter.
            continue;
        }
        if (response.Kind == TImapResponse::TKind::Tagged && response.Tag == tag) {
            takeCapabilities(response);
            if (response.Status != TImapResponse::TStatus::Ok && !mayRefuse) {
                m_refusal = statusLine(response);
                abortSession(errorText);
            }
            return response;
        }
        if (response.Kind != TImapResponse::TKind::Untagged) {
            // A go-ahead nobody asked for, or another command's reply.
            abortSession(errorText);
        }
        if (response.Status == TImapResponse::TStatus::Bye) {
            // LOGOUT's answer begins so; anywhere else the connection ends.
            if (m_loggingOut) {
                continue;
            }
            abortSession(errorText);
        }
        takeCapabilities(response);
        if (untagged) {
            untagged(response);
        }
    }
}

void TImapSession::takeCapabilities(const TImapResponse& response)
{
    if (response.Name == "CAPABILITY" || response.Code == "CAPABILITY") {
        m_capabilities = QSet<QByteArray>(response.Words.cbegin(), response.Words.cend());
    }
}

void TImapSession::askCapabilities(const QString& errorText)
{
    m_capabilities.clear();
    TImapCommand command(nextTag(), "CAPABILITY");
    run(command, Texts::QueryingCapabilities(), errorText);
}

// ---- login and logout -------------------------------------------------------------------

void TImapSession::login()
{
    m_host.Progress(Texts::Connecting());
    const bool oauth = m_account.Auth == TAccount::TAuth::OAuth2;
    // Refused before anything connects (an OAuth2 mailbox without encryption among them).
    if (oauth && !m_account.Error.isEmpty()) {
        abortSession(m_account.Error);
    }
    std::unique_ptr<TOAuthLogin> token;
    if (oauth) {
        m_password.clear();
        token = std::make_unique<TOAuthLogin>(m_host, m_account);
        const bool ready = token->Prepare();
        // A refresh may have kept the program waiting: the mailbox may be gone by now.
        checkRetired();
        if (!ready) {
            fail(token->Failure);
        }
    } else {
        m_password = m_host.Password(m_account.Login, false);
        // The keyring may have kept the program waiting: the mailbox may be gone by now.
        checkRetired();
        if (!m_account.Error.isEmpty()) {
            abortSession(m_account.Error);
        }
        if (m_password.isEmpty()) {
            m_password = m_host.Password(m_account.Login, true);
            checkRetired();
        }
    }
    m_refusal.clear();
    m_ahead.clear();
    m_behind.clear();
    m_skipTags.clear();
    m_parser.Clear();
    m_parser.SetLimits(TImapParser::TLimits());
    m_capabilities.clear();
    m_utf8 = false;
    m_aborting = false;
    const TEndpoint endpoint = EndpointOf(m_account);
    m_transport.SetEndpoint(endpoint);
    m_transport.Open(m_account.Host, m_account.Timeout());
    checkRetired();

    const QString refused = Texts::Unreachable();
    const TImapResponse greeting = next(refused);
    if (greeting.Kind != TImapResponse::TKind::Untagged || greeting.Status != TImapResponse::TStatus::Ok) {
        // PREAUTH skips the login, which would leave the encryption and the password
        // unchecked; BYE refuses the connection.
        m_refusal = statusLine(greeting);
        abortSession(refused);
    }
    takeCapabilities(greeting);
    if (endpoint.Security == TSecurity::StartTls) {
        startTls();
    } else if (m_capabilities.isEmpty()) {
        askCapabilities(refused);
    }
    if (token) {
        authenticate(*token, endpoint);
    } else {
        authenticate();
    }
    m_host.Progress(Texts::LoggedIn());
    // The capabilities after login may differ from those before.
    if (!m_capabilities.contains("IMAP4REV1") && !m_capabilities.contains("IMAP4REV2")) {
        askCapabilities(Texts::ReceiveError());
    }
    if (m_capabilities.contains("ID")) {
        // Some providers refuse SELECT to clients that do not say who they are.
        // Sent with the next command: its answer changes nothing.
        const QByteArray tag = nextTag();
        m_ahead = tag + R"( ID ("name" "Mailvane"))" + "\r\n";
        m_skipTags.insert(tag);
    }
    if (m_capabilities.contains("UTF8=ACCEPT") && m_capabilities.contains("ENABLE")) {
        TImapCommand enable(nextTag(), "ENABLE");
        enable.Add("UTF8=ACCEPT");
        run(
            enable, Texts::LoggedIn(), Texts::ReceiveError(),
            [this](const TImapResponse& response) {
                if (response.Name == "ENABLED" && response.Words.contains("UTF8=ACCEPT")) {
                    m_utf8 = true;
                }
            },
            true);
    }
    m_host.Connected(endpoint.Security != TSecurity::None);
}

void TImapSession::startTls()
{
    if (m_capabilities.isEmpty()) {
        askCapabilities(Texts::StartTlsNotOffered());
    }
    if (!m_capabilities.contains("STARTTLS")) {
        abortSession(Texts::StartTlsNotOffered());
    }
    TImapCommand command(nextTag(), "STARTTLS");
    run(command, Texts::StartingTls(), Texts::StartTlsRefused());
    // Bytes sent ahead of the handshake would pass as encrypted replies.
    if (!m_parser.Empty()) {
        abortSession(Texts::BytesBeforeTls());
    }
    m_transport.StartTls();
    checkRetired();
    if (!m_transport.Connected()) {
        abortSession(Texts::TlsFailed());
    }
    // What the server said before the handshake is not to be trusted.
    askCapabilities(Texts::ReceiveError());
}

void TImapSession::authenticate()
{
    const QString loginError = Texts::LoginError();
    const QByteArray user = m_account.Login.toUtf8();
    const QByteArray pass = m_password.toUtf8();
    if (user.contains('\0') || pass.contains('\0')) {
        abortSession(loginError, true);
    }
    const bool plainOffered = m_capabilities.contains("AUTH=PLAIN");
    const bool loginDisabled = m_capabilities.contains("LOGINDISABLED");
    // The refusal of a password, not of a server that cannot take it now.
    auto refusedPassword = [](const TImapResponse& reply) {
        static const QList<QByteArray> passing = {"UNAVAILABLE", "SERVERBUG", "INUSE", "LIMIT", "CONTACTADMIN"};
        return !passing.contains(reply.Code);
    };
    auto check = [&](const TImapResponse& reply) {
        if (reply.Status != TImapResponse::TStatus::Ok) {
            m_refusal = statusLine(reply);
            abortSession(loginError, refusedPassword(reply));
        }
    };
    if (loginDisabled && !plainOffered) {
        m_refusal = "LOGINDISABLED";
        abortSession(loginError);
    }
    if (loginDisabled || (plainOffered && m_capabilities.contains("SASL-IR"))) {
        const QByteArray response = ('\0' + user + '\0' + pass).toBase64();
        const QByteArray tag = nextTag();
        if (m_capabilities.contains("SASL-IR")) {
            TImapCommand command(tag, "AUTHENTICATE PLAIN");
            command.Add(response);
            check(run(command, Texts::SendingPassword(), loginError, {}, true));
            return;
        }
        m_host.Progress(Texts::SendingUser());
        m_transport.Send(tag + " AUTHENTICATE PLAIN\r\n");
        checkRetired();
        for (;;) {
            const TImapResponse reply = next(loginError);
            if (reply.Kind == TImapResponse::TKind::Continuation) {
                break;
            }
            if (reply.Kind == TImapResponse::TKind::Tagged) {
                check(reply);
                abortSession(loginError);
            }
        }
        m_host.Progress(Texts::SendingPassword());
        m_transport.Send(response + "\r\n");
        checkRetired();
        for (;;) {
            const TImapResponse reply = next(loginError);
            if (reply.Kind == TImapResponse::TKind::Tagged && reply.Tag == tag) {
                takeCapabilities(reply);
                check(reply);
                return;
            }
            if (reply.Kind != TImapResponse::TKind::Untagged) {
                abortSession(loginError);
            }
            takeCapabilities(reply);
        }
    }
    TImapCommand command(nextTag(), "LOGIN");
    command.AddString(user).AddString(pass);
    if (!command.Valid()) {
        abortSession(loginError, true);
    }
    check(run(command, Texts::SendingPassword(), loginError, {}, true));
}

void TImapSession::authenticate(TOAuthLogin& token, const TEndpoint& endpoint)
{
    // Only the mechanism offered: never a password instead.
    if (!m_capabilities.contains("AUTH=" + token.MechanismName())) {
        fail(token.NotOffered());
    }
    const QString refused = Texts::OAuthRefused();
    for (;;) {
        const QByteArray response = token.InitialResponse(m_account.Host, endpoint.Port.toInt());
        if (response.isEmpty()) {
            fail(token.Refused(QByteArray()));
        }
        const QByteArray tag = nextTag();
        const QByteArray command = tag + " AUTHENTICATE " + token.MechanismName();
        m_host.Progress(Texts::SendingToken());
        const bool initial = m_capabilities.contains("SASL-IR");
        m_transport.Send(initial ? command + ' ' + response + "\r\n" : command + "\r\n");
        checkRetired();
        bool responded = initial;
        bool challenged = false;
        TImapResponse reply;
        for (;;) {
            reply = next(refused);
            if (reply.Kind == TImapResponse::TKind::Tagged && reply.Tag == tag) {
                takeCapabilities(reply);
                break;
            }
            if (reply.Kind == TImapResponse::TKind::Continuation) {
                QByteArray answer;
                if (!responded) {
                    answer = response;
                    responded = true;
                } else if (!challenged) {
                    // The error challenge: answered as the mechanism requires, for the final refusal.
                    answer = TSaslOAuth::ErrorAnswer(token.Mechanism());
                    challenged = true;
                } else {
                    abortSession(refused);
                }
                m_transport.Send(answer + "\r\n");
                checkRetired();
                continue;
            }
            if (reply.Kind != TImapResponse::TKind::Untagged) {
                abortSession(refused);
            }
            takeCapabilities(reply);
        }
        if (reply.Status == TImapResponse::TStatus::Ok) {
            return;
        }
        m_refusal = statusLine(reply);
        static const QList<QByteArray> passing = {"UNAVAILABLE", "SERVERBUG", "INUSE", "LIMIT", "CONTACTADMIN"};
        if (passing.contains(reply.Code)) {
            fail(token.Unavailable(m_refusal));
        }
        // The token may have lapsed or been revoked early: a new one, once.
        if (!token.Renew(m_refusal)) {
            fail(token.Failure);
        }
        checkRetired();
    }
}

QByteArray TImapSession::folderWire()
{
    const QString folder = m_account.Folder.trimmed().isEmpty() ? QStringLiteral("INBOX") : m_account.Folder;
    if (folder.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0) {
        return "INBOX";
    }
    if (m_utf8) {
        return folder.toUtf8();
    }
    bool ok = false;
    const QByteArray wire = TImapUtf7::Encode(folder, &ok);
    if (!ok) {
        abortSession(Texts::ReceiveError());
    }
    return wire;
}

void TImapSession::open(bool readWrite, const QString& errorText, quint32& exists, quint32& validity,
                        const std::function<QByteArray()>& behind)
{
    exists = 0;
    validity = 0;
    TImapCommand command(nextTag(), readWrite ? "SELECT" : "EXAMINE");
    m_behind = behind ? behind() : QByteArray();
    command.AddString(folderWire());
    run(command, readWrite ? Texts::Deleting() : Texts::Receiving(), errorText, [&](const TImapResponse& response) {
        if (response.Name == "EXISTS") {
            exists = response.Number;
        } else if (response.Code == "UIDVALIDITY") {
            response.CodeNumber(validity);
        }
    });
}

void TImapSession::logout(const std::function<void()>& meanwhile)
{
    m_host.Progress(Texts::LoggingOut());
    TImapCommand command(nextTag(), "LOGOUT");
    m_loggingOut = true;
    m_meanwhile = meanwhile;
    try {
        run(command, Texts::LeavingServer(), Texts::LogoutError());
    } catch (...) {
        m_loggingOut = false;
        m_meanwhile = nullptr;
        throw;
    }
    m_loggingOut = false;
    // The answer was in before there was anything to wait for.
    runMeanwhile();
    m_aborting = true;
    m_transport.Close();
    m_aborting = false;
    m_parser.Clear();
    checkRetired();
    m_host.Progress(Texts::LoggedOut());
}

// ---- check ------------------------------------------------------------------------------

QSet<QByteArray> TImapSession::deletion()
{
    const QString deleting = Texts::Deleting();
    const QString deleteError = Texts::DeleteError();
    quint32 exists = 0;
    quint32 validity = 0;
    open(true, deleteError, exists, validity);

    QList<quint32> uids;
    QSet<quint32> chosen;
    QList<QByteArray> byId;
    for (int row = 1; row <= m_list.Count(); ++row) {
        if (m_list.Mark(row) != TMark::Delete || m_list.Id(row).isEmpty()) {
            continue;
        }
        quint32 rowValidity = 0;
        quint32 uid = 0;
        // A UID is that message's for as long as UIDVALIDITY stays.
        if (validity != 0 && ParseRowUid(m_list.Row(row).Uid, rowValidity, uid) && rowValidity == validity) {
            if (!chosen.contains(uid)) {
                chosen.insert(uid);
                uids.append(uid);
            }
        } else {
            byId.append(m_list.Id(row));
        }
    }
    QSet<QByteArray> unfound;
    if (!byId.isEmpty() && exists > 0) {
        // UIDs of another UIDVALIDITY name other messages: find the marked ones by Message-ID.
        std::map<quint32, TListed> found;
        TImapCommand fetch(nextTag(), "UID FETCH");
        fetch.Add("1:* (UID RFC822.SIZE BODY.PEEK[" + HeaderSection() + "])");
        run(fetch, deleting, deleteError, [&](const TImapResponse& response) {
            if (response.Name != "FETCH" || !response.Fetch.HasUid) {
                return;
            }
            TListed& entry = found[response.Fetch.Uid];
            entry.Uid = response.Fetch.Uid;
            if (response.Fetch.HasSize) {
                entry.Size = response.Fetch.Size;
            }
            for (const TImapBody& body : response.Fetch.Bodies) {
                if (body.Section.startsWith("HEADER.FIELDS")) {
                    entry.Header = body.Data;
                }
            }
        });
        for (const QByteArray& id : std::as_const(byId)) {
            quint32 match = 0;
            for (const auto& [uid, entry] : found) {
                const QByteArray top = asTopReply(entry.Header);
                if (!chosen.contains(uid) &&
                    TMailListModel::SameId(THeaderExtract::MessageId(top, QByteArray::number(entry.Size)), id)) {
                    match = uid;
                    break;
                }
            }
            if (match > 0) {
                chosen.insert(match);
                uids.append(match);
            } else {
                unfound.insert(TMailListModel::IdKey(id));
            }
        }
    } else {
        for (const QByteArray& id : std::as_const(byId)) {
            unfound.insert(TMailListModel::IdKey(id));
        }
    }
    if (!uids.isEmpty()) {
        const QList<QByteArray> sets = TImapCommand::UidSets(uids, kMaxSetLength);
        for (const QByteArray& set : sets) {
            TImapCommand store(nextTag(), "UID STORE");
            store.Add(set).Add("+FLAGS.SILENT (\\Deleted)");
            run(store, deleting, deleteError);
        }
        if (m_capabilities.contains("UIDPLUS")) {
            // Only ours: a message another client flagged stays for that client to expunge.
            for (const QByteArray& set : sets) {
                TImapCommand expunge(nextTag(), "UID EXPUNGE");
                expunge.Add(set);
                run(expunge, deleting, deleteError);
            }
        } else {
            TImapCommand expunge(nextTag(), "EXPUNGE");
            run(expunge, deleting, deleteError);
        }
    }
    if (!unfound.isEmpty() && !m_host.Retired()) {
        m_host.Notice(Texts::MarksNotFound(int(unfound.size())));
        checkRetired();
    }
    return unfound;
}

void TImapSession::readListingFiles(TListingFiles& files)
{
    files.Read = true;
    const TMailboxFiles store(m_account.SettingsPath, m_account.Name);
    store.LoadSeen(files.Seen, [this] { m_host.Yield(true); });
    files.CachePath = store.CachePath(TUidlCache::Key(m_account.Name, m_account.Host, m_account.Login));
    files.Cached = QFile::exists(files.CachePath);
    // The folder usually keeps its UIDVALIDITY: the cache read for the last one is checked
    // once the folder is open.
    if (files.Cached && m_lastValidity != 0) {
        files.Cache.Load(files.CachePath, CacheKey(m_account, m_lastValidity));
        files.CacheValidity = m_lastValidity;
    }
}

void TImapSession::listing(const QSet<QByteArray>& pendingNew, const QSet<QByteArray>& keptMarks, TListingFiles& files)
{
    const QString receiving = Texts::Receiving();
    const QString receiveError = Texts::ReceiveError();
    if (!files.Read) {
        readListingFiles(files);
    }
    const TSeenIds& seen = files.Seen;
    const QString& cachePath = files.CachePath;

    // The listing goes with EXAMINE: with a cache the sizes alone, so that a check with
    // nothing new costs one round trip; without one the headers too.
    const bool cached = files.Cached;
    const QByteArray headers = "BODY.PEEK[" + HeaderSection() + "]";
    QByteArray listTag;
    const auto list = [&] {
        listTag = nextTag();
        TImapCommand command(listTag, cached ? "FETCH" : "UID FETCH");
        command.Add(cached ? "1:* (UID FLAGS RFC822.SIZE)" : "1:* (UID FLAGS RFC822.SIZE " + headers + ")");
        return command.Pieces(TImapCommand::TLiterals::Synchronising).constFirst();
    };
    quint32 exists = 0;
    quint32 validity = 0;
    open(false, receiveError, exists, validity, list);
    runMeanwhile();
    m_list.Clear();

    const QByteArray cacheKey = CacheKey(m_account, validity);
    TUidlCache& cache = files.Cache;
    if (validity != files.CacheValidity) {
        cache.Clear();
        if (validity != 0) {
            cache.Load(cachePath, cacheKey);
        }
        files.CacheValidity = validity;
    }
    m_lastValidity = validity;

    // Every message by its UID, which orders them as their numbers do: numbers shift when
    // the server reports an expunge between two responses, UIDs stay.
    std::map<quint32, TListed> messages;
    // Messages come in the cache's order unless some went: the next one is tried first.
    qsizetype cacheNext = 0;
    // header: the bytes of a header section that came with it, or null.
    const auto note = [&](quint32 uid, bool hasSize, qint64 size, const QByteArray* header) {
        TListed& entry = messages[uid];
        if (entry.Uid == 0) {
            entry.Uid = uid;
            entry.UidText = QByteArray::number(entry.Uid);
        }
        if (hasSize) {
            entry.Size = size;
            entry.SizeText = QByteArray::number(entry.Size);
            entry.Known = nullptr;
            const qsizetype at = cacheNext < cache.Count() && cache.Uids().at(cacheNext) == entry.UidText
                                     ? cacheNext
                                     : cache.IndexOf(entry.UidText);
            if (at >= 0 && cache.EntryAt(at).Size == entry.SizeText) {
                entry.Known = &cache.EntryAt(at);
                cacheNext = at + 1;
            }
        }
        if (header) {
            entry.Header = *header;
            entry.HasHeader = true;
        }
        if (entry.HasHeader && entry.Size >= 0) {
            // Read while the server sends the next ones.
            entry.Entry = TUidlEntry::FromHeader(asTopReply(entry.Header), entry.SizeText);
            entry.Decoded = true;
        }
    };
    auto take = [&](const TImapResponse& response) {
        if (response.Name != "FETCH" || !response.Fetch.HasUid || response.Fetch.Uid == 0) {
            return;
        }
        const QByteArray* header = nullptr;
        for (const TImapBody& body : response.Fetch.Bodies) {
            if (body.Section.startsWith("HEADER.FIELDS")) {
                header = &body.Data;
            }
        }
        note(response.Fetch.Uid, response.Fetch.HasSize, response.Fetch.Size, header);
        m_host.Yield(true);
    };
    // From here the cache stays as it is: the lines of a sizes listing go straight to note.
    m_parser.SetSizeHandler([&note](const TImapSizeLine& line) {
        if (!line.HasUid) {
            return;
        }
        if (line.HasBody && line.Section.startsWith("HEADER.FIELDS")) {
            const QByteArray header = line.Body.toByteArray();
            note(line.Uid, line.HasSize, line.Size, &header);
        } else {
            note(line.Uid, line.HasSize, line.Size, nullptr);
        }
    });
    const auto noSizeHandler = qScopeGuard([this] { m_parser.SetSizeHandler({}); });
    // An empty folder may refuse "1:*".
    const TImapResponse reply = await(listTag, receiveError, take, true);
    if (exists > 0 && reply.Status != TImapResponse::TStatus::Ok) {
        m_refusal = statusLine(reply);
        abortSession(receiveError);
    }
    if (cached) {
        QList<quint32> missing;
        for (const auto& [number, entry] : messages) {
            if (!entry.Known) {
                missing.append(entry.Uid);
            }
        }
        for (const QByteArray& set : TImapCommand::UidSets(missing, kMaxSetLength)) {
            TImapCommand fetch(nextTag(), "UID FETCH");
            fetch.Add(set).Add("(UID FLAGS RFC822.SIZE " + headers + ")");
            run(fetch, receiving, receiveError, take);
        }
    }

    // Rows are what really came: a message expunged after EXAMINE, or one the server left
    // out, is no row (its header was asked for and never came), and the count reported is
    // the rows', which this mailbox's share of the counters is later taken back by. They
    // are made while the server answers LOGOUT.
    QList<TMailRow> rows;
    QList<bool> unseen;
    QList<QByteArray> ids;
    TUidlCache listed;
    bool saveCache = false;
    auto makeRows = [&] {
        rows.reserve(qsizetype(messages.size()));
        unseen.reserve(qsizetype(messages.size()));
        ids.reserve(qsizetype(messages.size()));
        const QByteArray uidPrefix = RowUid(validity, 0).chopped(1);
        // The entry of each row by its cache unique-id: in the cache or in messages, both
        // left alone until the rows are made.
        QList<QPair<QByteArray, const TUidlEntry*>> entries;
        entries.reserve(qsizetype(messages.size()));
        // Whether the cache would be written as it stands: every row from it, in its order.
        bool sameAsCache = validity != 0;
        for (auto& [uid, message] : messages) {
            m_host.Yield(true);
            TMailRow row;
            row.Size = message.SizeText;
            QByteArray cacheUid = message.UidText;
            const TUidlEntry* entry = message.Known;
            if (entry && !message.HasHeader) {
                sameAsCache =
                    sameAsCache && entries.size() < cache.Count() && cache.Uids().at(entries.size()) == cacheUid;
            } else if (message.HasHeader) {
                if (!message.Decoded || message.Entry.Size != row.Size) {
                    message.Entry = TUidlEntry::FromHeader(asTopReply(message.Header), row.Size);
                    message.Decoded = true;
                }
                entry = &message.Entry;
                sameAsCache = false;
            } else {
                continue;
            }
            entry->Fill(row);
            row.Uid = uidPrefix + cacheUid;
            entries.append({std::move(cacheUid), entry});
            ids.append(row.Id);
            const bool never = !seen.Contains(row.Id);
            const QByteArray key = TMailListModel::IdKey(row.Id);
            if (keptMarks.contains(key)) {
                row.Mark = TMark::Delete;
            } else if (never || pendingNew.contains(key)) {
                row.Mark = TMark::New;
            }
            rows.append(std::move(row));
            unseen.append(never);
        }
        if (validity != 0 && !(sameAsCache && entries.size() == cache.Count())) {
            listed.Reserve(entries.size());
            for (const auto& [cacheUid, entry] : std::as_const(entries)) {
                listed.Insert(cacheUid, *entry);
            }
            saveCache = listed != cache;
        }
    };
    m_parser.SetSizeHandler({});
    logout(makeRows);
    m_host.Listed(int(rows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        m_host.Yield(true);
        rows[i].Number = m_list.Count() + 1;
        const bool isNew = rows.at(i).Mark == TMark::New;
        m_list.Append(std::move(rows[i]));
        if (isNew) {
            m_host.NewMessage(unseen.at(i));
        }
    }

    // A half-written list would make messages new again: finish it even when retired.
    const TMailboxFiles store(m_account.SettingsPath, m_account.Name);
    store.StoreSeen(ids, seen, [this] { m_host.Yield(false); });
    if (saveCache) {
        listed.SaveInBackground(cachePath, cacheKey);
    }
    store.PruneCaches(cachePath);
    checkRetired();
}

void TImapSession::Check(bool autoDelete)
{
    const TRunningCall call(m_calls);
    const auto noWorkLeft = qScopeGuard([this] { m_meanwhile = nullptr; });
    m_account = m_host.Account();
    m_host.Progress(Texts::Connecting());
    m_host.Started();
    if (!m_account.Error.isEmpty()) {
        abortSession(m_account.Error);
    }
    if (autoDelete) {
        m_list.MarkUnmarkedForDelete();
    }
    // Read while the server prepares its greeting. New and not yet viewed at the end of
    // the last listing: they stay new (deleting on the server changes no mark here).
    TListingFiles files;
    QSet<QByteArray> pendingNew;
    m_meanwhile = [this, &files, &pendingNew] {
        readListingFiles(files);
        pendingNew = m_list.NewKeys();
    };
    login();
    QSet<QByteArray> keptMarks;
    if (m_list.AnyDeleteMarked()) {
        keptMarks = deletion();
    }
    if (!files.Read) {
        pendingNew = m_list.NewKeys();
    }
    // Blanked while the server opens the folder.
    m_meanwhile = [this] { m_list.Blank(); };
    listing(pendingNew, keptMarks, files);

    m_host.Progress(Texts::Done());
    ApplyDeleteRules(m_list, m_host);
    TCheckCounts counts;
    counts.Messages = m_list.Count();
    counts.New = m_list.NewCount();
    m_host.Finished(counts);
}

// ---- viewing ----------------------------------------------------------------------------

TMailSession::TRetrieval TImapSession::Retrieve(int row, int limit)
{
    const TRunningCall call(m_calls);
    m_account = m_host.Account();
    TRetrieval result;
    const QByteArray size = m_list.Valid(row) ? m_list.Row(row).Size : QByteArray();
    result.TooLarge = TPop3Session::TooLarge(size, limit);
    if (result.TooLarge) {
        return result;
    }
    if (!m_account.Error.isEmpty()) {
        abortSession(m_account.Error);
    }
    quint32 rowValidity = 0;
    quint32 uid = 0;
    const bool known = m_list.Valid(row) && ParseRowUid(m_list.Row(row).Uid, rowValidity, uid);
    const QString downloadError = Texts::DownloadError();
    login();
    quint32 exists = 0;
    quint32 validity = 0;
    open(false, downloadError, exists, validity);
    if (!known || validity != rowValidity) {
        logout();
        result.Moved = true;
        return result;
    }
    TImapParser::TLimits limits;
    limits.MaxLiteral = qMin<qint64>(TPop3Reply::RetrLimit(size), limits.MaxLiteral);
    limits.MaxResponse = limits.MaxLiteral + 64 * 1024;
    m_parser.SetLimits(limits);
    bool fetched = false;
    TImapCommand fetch(nextTag(), "UID FETCH");
    fetch.Add(QByteArray::number(uid)).Add("(UID BODY.PEEK[])");
    run(fetch, Texts::Downloading(), downloadError, [&](const TImapResponse& response) {
        if (response.Name != "FETCH" || !response.Fetch.HasUid || response.Fetch.Uid != uid) {
            return;
        }
        if (const TImapBody* body = response.Fetch.Body("")) {
            result.Message = AsRetrReply(body->Data);
            fetched = !body->Nil;
        }
    });
    logout();
    if (!fetched) {
        result.Message.clear();
        result.Moved = true;
        return result;
    }

    FillViews(result, size);
    return result;
}

void TImapSession::Viewed(int row)
{
    MarkViewed(m_list, m_host, row);
}

void TImapSession::LoginAndLogout(const TAccount& account)
{
    const TRunningCall call(m_calls);
    m_account = account;
    login();
    quint32 exists = 0;
    quint32 validity = 0;
    open(false, Texts::ReceiveError(), exists, validity);
    logout();
    m_host.Finished({});
}
