#include "mailbox/TPop3Session.h"

#include "core/EAbort.h"
#include "core/TIntConvert.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMailboxFiles.h"
#include "mailbox/TMessageDecoder.h"
#include "mailbox/TOAuthLogin.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TSessionTexts.h"
#include "mailbox/TUidlCache.h"
#include "net/TTransport.h"

#include <QHash>
#include <QList>

namespace Texts = TSessionTexts;

namespace {

// Commands sent ahead of their replies when the server pipelines: few enough bytes that
// they always fit the server's receive buffer, so that sending can never block on a
// server that is itself blocked sending us replies.
constexpr int kWindowCommands = 256;
constexpr int kWindowBytes = 4096;
// Messages whose commands are queued ahead of the one being listed.
constexpr int kLookahead = kWindowCommands;
// A UIDL listing line is at most a number, a space, 70 bytes and CR LF.
constexpr qint64 kUidLineBytes = 84;

QByteArray number(int n)
{
    return QByteArray::number(n);
}

} // namespace

TPop3Session::TPop3Session(TTransport& transport, TMailListModel& list, TSessionHost& host)
    : m_transport(transport), m_list(list), m_host(host)
{
    m_transport.SetErrorReport(
        [this](int socket, int error, const QString& msg) { transportError(socket, error, msg); });
}

TPop3Session::~TPop3Session()
{
    m_transport.SetErrorReport({});
}

void TPop3Session::checkRetired() const
{
    if (m_host.Retired()) {
        throw EAbort();
    }
}

void TPop3Session::Cancel()
{
    m_aborting = true;
    m_transport.Close();
}

struct TPop3Session::TQueued {
    QByteArray Command;
    QByteArray Reply;
    bool Answered = false;
};

// ---- reply framing ----------------------------------------------------------------

QByteArray TPop3Session::readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart)
{
    // Both searches go on where the last receive left them: a reply that never ends its
    // line must not cost a scan of all it sent at each receive.
    qsizetype lineScanned = 0;
    qsizetype lineEnd = -1;
    int scanned = 0;
    for (;;) {
        if (lineEnd < 0) {
            // One byte back: the CR may have come last.
            lineEnd = m_pending.indexOf("\r\n", qMax<qsizetype>(0, lineScanned - 1));
            lineScanned = m_pending.size();
        }
        // The status line of any reply, CR LF included, is bounded as a single-line reply is.
        if (lineEnd >= 0 ? lineEnd + 2 > TPop3Reply::MaxLineReply : m_pending.size() >= TPop3Reply::MaxLineReply) {
            abortSession(errorText);
        }
        if (lineEnd >= 0) {
            // A refusal of a multi-line command is a single line.
            if (!multiLine || m_pending.isEmpty() || m_pending.at(0) != '+') {
                const QByteArray reply = m_pending.left(lineEnd + 2);
                m_pending.remove(0, lineEnd + 2);
                return reply;
            }
            const int end = m_pending.indexOf("\r\n.\r\n", qMax(0, scanned - 4));
            if (end >= 0) {
                const QByteArray reply = m_pending.left(end + 5);
                m_pending.remove(0, end + 5);
                return reply;
            }
            scanned = int(m_pending.size());
        }
        if (m_pending.size() > limit) {
            if (keepStart && multiLine && lineEnd >= 0 && m_pending.at(0) == '+') {
                return skipToReplyEnd(limit, errorText);
            }
            abortSession(errorText);
        }
        const QByteArray chunk = m_transport.Receive();
        checkRetired();
        if (chunk.isEmpty()) {
            if (multiLine) {
                abortSession(errorText);
            }
            const QByteArray partial = m_pending;
            m_pending.clear();
            return partial;
        }
        if (m_pending.capacity() - m_pending.size() < chunk.size()) {
            m_pending.reserve(qMax(2 * m_pending.size(), m_pending.size() + chunk.size()));
        }
        m_pending += chunk;
    }
}

QByteArray TPop3Session::skipToReplyEnd(qint64 keep, const QString& errorText)
{
    // A long unwrapped line is not an endless reply: keep the start (the headers come
    // first) and read the rest to its end, holding only what may begin the terminator.
    const QByteArray kept = m_pending.left(keep);
    QByteArray tail = m_pending.right(4);
    m_pending.clear();
    for (;;) {
        const QByteArray chunk = m_transport.Receive();
        checkRetired();
        if (chunk.isEmpty()) {
            abortSession(errorText);
        }
        tail += chunk;
        const int end = tail.indexOf("\r\n.\r\n");
        if (end >= 0) {
            m_pending = tail.mid(end + 5);
            return kept + "\r\n.\r\n";
        }
        tail = tail.right(4);
    }
}

QByteArray TPop3Session::exchange(const QByteArray& command, const QString& statusText, const QString& errorText,
                                  qint64 limit)
{
    m_host.Progress(statusText);
    m_transport.Send(command + "\r\n");
    checkRetired();
    // Only headers are wanted from TOP, so an over-long reply may be cut; RETR may not.
    const bool isTop = command.left(4).toUpper() == "TOP ";
    return readReply(TPop3Reply::IsMultiLine(command), limit, errorText, isTop);
}

QByteArray TPop3Session::sendCommand(const QByteArray& command, const QString& statusText, const QString& errorText)
{
    return take(queue(command), statusText, errorText);
}

QByteArray TPop3Session::readFor(const QByteArray& command, const QString& errorText)
{
    qint64 limit = TPop3Reply::MaxLineReply;
    const bool multiLine = TPop3Reply::IsMultiLine(command);
    if (multiLine) {
        limit = command.toUpper().startsWith("RETR") && m_retrLimit > 0 ? m_retrLimit : TPop3Reply::MaxTopReply;
    }
    // Only headers are wanted from TOP, so an over-long reply may be cut; RETR may not.
    const bool isTop = command.left(4).toUpper() == "TOP ";
    return readReply(multiLine, limit, errorText, isTop);
}

TPop3Session::TQueuedPtr TPop3Session::queue(const QByteArray& command, bool front)
{
    auto queued = std::make_shared<TQueued>();
    queued->Command = command;
    if (front) {
        m_unsent.prepend(queued);
    } else {
        m_unsent.append(queued);
    }
    return queued;
}

void TPop3Session::clearQueue()
{
    m_unsent.clear();
    m_inFlight.clear();
    m_inFlightBytes = 0;
}

QByteArray TPop3Session::take(const TQueuedPtr& command, const QString& statusText, const QString& errorText)
{
    const int window = m_capabilities.contains("PIPELINING") ? kWindowCommands : 1;
    while (!command->Answered) {
        QByteArray batch;
        // Refilled only once half the window is answered: one send per half window, not
        // one per reply.
        const bool refill = m_inFlight.size() <= window / 2 && m_inFlightBytes <= kWindowBytes / 2;
        while (refill && !m_unsent.isEmpty() && m_inFlight.size() < window &&
               (m_inFlight.isEmpty() || m_inFlightBytes + m_unsent.constFirst()->Command.size() + 2 <= kWindowBytes)) {
            TQueuedPtr next = m_unsent.takeFirst();
            batch += next->Command + "\r\n";
            m_inFlightBytes += next->Command.size() + 2;
            m_inFlight.append(next);
        }
        if (!batch.isEmpty()) {
            m_host.Progress(statusText);
            m_transport.Send(batch);
            checkRetired();
        }
        if (m_inFlight.isEmpty()) {
            // A command taken twice or after a failure: nothing will answer it.
            abortSession(errorText);
        }
        // Replies come in the order of the commands.
        const TQueuedPtr oldest = m_inFlight.takeFirst();
        m_inFlightBytes -= oldest->Command.size() + 2;
        oldest->Reply = readFor(oldest->Command, errorText);
        oldest->Answered = true;
    }
    if (command->Reply.isEmpty() || command->Reply.at(0) != '+') {
        m_refusal = command->Reply;
        abortSession(errorText);
    }
    return command->Reply;
}

bool TPop3Session::uidList(int maxNumber, qint64 limit, const QString& statusText, const QString& errorText,
                           QHash<int, QByteArray>& uids)
{
    m_host.Progress(statusText);
    m_transport.Send("UIDL\r\n");
    checkRetired();
    return TUidlCache::UidList(readReply(true, limit, errorText), maxNumber, uids);
}

// ---- failures ---------------------------------------------------------------------

void TPop3Session::fail(TSessionFailure failure)
{
    m_aborting = true;
    m_transport.Close();
    m_pending.clear();
    clearQueue();
    if (!m_host.Retired()) {
        failure.ServerReply = m_refusal;
        m_host.Failed(failure);
    }
    m_refusal.clear();
    throw EAbort();
}

void TPop3Session::abortSession(const QString& message)
{
    TSessionFailure failure;
    failure.Kind = TSessionFailure::TKind::Refused;
    failure.Message = message + QLatin1Char('\n');
    failure.ForgetPassword = message == Texts::LoginError();
    fail(failure);
}

void TPop3Session::transportError(int socket, int error, const QString& msg)
{
    if (m_aborting) {
        // Reports made while the socket is being closed after a failure.
        return;
    }
    fail(TSessionFailure::OfTransport(m_account.Name, socket, error, msg));
}

// ---- login and logout ---------------------------------------------------------------

TEndpoint TPop3Session::endpointOf(const TAccount& account)
{
    TEndpoint endpoint;
    endpoint.Port = account.Port;
    endpoint.CertSha256 = account.CertSha256;
    endpoint.Security = account.Security == TAccount::TSecurityKind::Tls        ? TSecurity::Tls
                        : account.Security == TAccount::TSecurityKind::StartTls ? TSecurity::StartTls
                                                                                : TSecurity::None;
    return endpoint;
}

void TPop3Session::login()
{
    m_host.Progress(Texts::Connecting());
    const QString server = m_account.Host;
    const QString user = m_account.Login;
    const TEndpoint endpoint = endpointOf(m_account);
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
        m_password = m_host.Password(user, false);
        // The keyring may have kept the program waiting: the mailbox may be gone by now.
        checkRetired();
        if (!m_account.Error.isEmpty()) {
            abortSession(m_account.Error);
        }
        if (m_password.isEmpty()) {
            m_password = m_host.Password(user, true);
            checkRetired();
        }
    }
    const int timeout = m_account.Timeout();
    m_server = server;
    m_user = user;
    m_pending.clear();
    m_refusal.clear();
    clearQueue();
    m_capabilities.clear();
    m_sasl.clear();
    m_transport.SetEndpoint(endpoint);
    m_transport.Open(server, timeout);
    checkRetired();
    const QString refused = Texts::Unreachable();
    const QByteArray greeting = readReply(false, TPop3Reply::MaxLineReply, refused);
    if (greeting.isEmpty() || greeting.at(0) != '+') {
        m_refusal = greeting;
        abortSession(refused);
    }
    if (endpoint.Security == TSecurity::StartTls) {
        startTls();
    }
    if (token) {
        // The mechanism is read from the capabilities: never a password instead.
        if (endpoint.Security != TSecurity::StartTls) {
            readCapabilities();
        }
        authenticate(*token, endpoint);
        m_host.Progress(Texts::LoggedIn());
        m_host.Connected(endpoint.Security != TSecurity::None);
        return;
    }
    const QByteArray userBytes = user.toUtf8();
    const QByteArray pass = m_password.toUtf8();
    // A line break would end the argument early and send the rest as a command.
    if (TPop3Reply::HasLineBreak(userBytes) || TPop3Reply::HasLineBreak(pass)) {
        abortSession(Texts::LoginError());
    }
    // Under STARTTLS the capabilities were read again on the encrypted line.
    if (endpoint.Security != TSecurity::StartTls && m_readCapabilities) {
        readCapabilities();
    }
    sendCommand("USER " + userBytes, Texts::SendingUser(), Texts::LoginError());
    sendCommand("PASS " + pass, Texts::SendingPassword(), Texts::LoginError());
    m_host.Progress(Texts::LoggedIn());
    m_host.Connected(endpoint.Security != TSecurity::None);
}

void TPop3Session::authenticate(TOAuthLogin& token, const TEndpoint& endpoint)
{
    if (!m_sasl.contains(token.MechanismName())) {
        fail(token.NotOffered());
    }
    const QString refused = Texts::OAuthRefused();
    const QByteArray command = "AUTH " + token.MechanismName();
    for (;;) {
        const QByteArray response = token.InitialResponse(m_account.Host, endpoint.Port.toInt());
        if (response.isEmpty()) {
            fail(token.Refused(QByteArray()));
        }
        m_host.Progress(Texts::SendingToken());
        QByteArray reply;
        // RFC 5034: the initial response goes on the AUTH line only when the line fits 255 octets.
        if (command.size() + 1 + response.size() + 2 <= 255) {
            m_transport.Send(command + ' ' + response + "\r\n");
            checkRetired();
        } else {
            m_transport.Send(command + "\r\n");
            checkRetired();
            reply = readReply(false, TPop3Reply::MaxLineReply, refused);
            if (reply.startsWith("+ ") || reply == "+\r\n") {
                m_transport.Send(response + "\r\n");
                checkRetired();
                reply.clear();
            }
        }
        if (reply.isEmpty()) {
            reply = readReply(false, TPop3Reply::MaxLineReply, refused);
        }
        if (reply.startsWith("+ ") || reply == "+\r\n") {
            // The error challenge: answered as the mechanism requires, for the final refusal.
            m_transport.Send(TSaslOAuth::ErrorAnswer(token.Mechanism()) + "\r\n");
            checkRetired();
            reply = readReply(false, TPop3Reply::MaxLineReply, refused);
        }
        if (reply.startsWith("+OK")) {
            return;
        }
        m_refusal = reply.trimmed();
        if (TPop3Reply::TemporaryRefusal(reply)) {
            fail(token.Unavailable(m_refusal));
        }
        // The token may have lapsed or been revoked early: a new one, once.
        if (!token.Renew(m_refusal)) {
            fail(token.Failure);
        }
        checkRetired();
    }
}

void TPop3Session::startTls()
{
    const QString notOffered = Texts::StartTlsNotOffered();
    auto capabilities = [this](const QString& errorText) {
        m_host.Progress(Texts::QueryingCapabilities());
        m_transport.Send("CAPA\r\n");
        checkRetired();
        const QByteArray reply = readReply(true, TPop3Reply::MaxLineReply, errorText);
        m_sasl = TPop3Reply::SaslMechanisms(reply);
        return TPop3Reply::Capabilities(reply);
    };
    if (!capabilities(notOffered).contains("STLS")) {
        abortSession(notOffered);
    }
    sendCommand("STLS", Texts::StartingTls(), Texts::StartTlsRefused());
    // Bytes sent ahead of the handshake would pass as encrypted replies.
    if (!m_pending.isEmpty()) {
        abortSession(Texts::BytesBeforeTls());
    }
    m_transport.StartTls();
    checkRetired();
    if (!m_transport.Connected()) {
        abortSession(Texts::TlsFailed());
    }
    // What the server offers may differ once the line is encrypted.
    m_capabilities = capabilities(Texts::ReceiveError());
}

void TPop3Session::readCapabilities()
{
    // A server without CAPA refuses it and gets the plain sequence of commands.
    m_transport.Send("CAPA\r\n");
    checkRetired();
    const QByteArray reply = readReply(true, TPop3Reply::MaxLineReply, Texts::Unreachable());
    m_capabilities = TPop3Reply::Capabilities(reply);
    m_sasl = TPop3Reply::SaslMechanisms(reply);
}

void TPop3Session::logout()
{
    m_host.Progress(Texts::LoggingOut());
    sendCommand("QUIT", Texts::LeavingServer(), Texts::LogoutError());
    m_transport.Close();
    m_pending.clear();
    checkRetired();
    m_host.Progress(Texts::LoggedOut());
}

// ---- sessions -----------------------------------------------------------------------

QByteArray TPop3Session::currentId(int n, const QString& statusText, const QString& errorText)
{
    const QByteArray top = exchange("TOP " + number(n) + " 0", statusText, errorText, TPop3Reply::MaxTopReply);
    if (!top.startsWith('+')) {
        return {};
    }
    QByteArray size;
    if (THeaderExtract::NeedsSize(top)) {
        const QByteArray list = exchange("LIST " + number(n), statusText, errorText, TPop3Reply::MaxLineReply);
        if (!list.startsWith('+')) {
            return {};
        }
        size = TPop3Reply::ListSize(list);
    }
    return THeaderExtract::MessageId(top, size);
}

QByteArray TPop3Session::currentUid(int n, const QString& statusText, const QString& errorText)
{
    const QByteArray reply = exchange("UIDL " + number(n), statusText, errorText, TPop3Reply::MaxLineReply);
    int listed = 0;
    QByteArray uid;
    if (!reply.startsWith('+') || !TUidlCache::UidLine(TPop3Reply::Text(reply), listed, uid) || listed != n) {
        return {};
    }
    return uid;
}

QSet<QByteArray> TPop3Session::deletionSession()
{
    login();
    // Identifiers under the server's present numbering, fetched once each.
    QHash<int, QByteArray> current;
    auto idAt = [&](int n) {
        auto it = current.constFind(n);
        if (it == current.constEnd()) {
            it = current.insert(n, currentId(n, Texts::Deleting(), Texts::DeleteError()));
        }
        return it.value();
    };
    QSet<int> deleted;
    QList<int> moved;
    QSet<QByteArray> unfound;
    // With unique-ids one listing finds every marked message wherever it is now.
    QSet<int> byUid;
    QHash<int, QByteArray> uids;
    const qint64 uidLimit = qMax<qint64>(TPop3Reply::MaxTopReply, (m_list.Count() + 1000) * kUidLineBytes);
    bool anyUid = false;
    for (int row = 1; row <= m_list.Count() && !anyUid; ++row) {
        anyUid = m_list.Mark(row) == TMark::Delete && !m_list.Row(row).Uid.isEmpty();
    }
    if (anyUid && m_capabilities.contains("UIDL") &&
        uidList(TPop3Reply::MaxMessages, uidLimit, Texts::Deleting(), Texts::DeleteError(), uids)) {
        QHash<QByteArray, int> numberOf;
        for (auto it = uids.constBegin(); it != uids.constEnd(); ++it) {
            numberOf.insert(it.value(), it.key());
        }
        QList<TQueuedPtr> deletions;
        for (int row = 1; row <= m_list.Count(); ++row) {
            const QByteArray uid = m_list.Row(row).Uid;
            if (m_list.Mark(row) != TMark::Delete || m_list.Id(row).isEmpty() || uid.isEmpty()) {
                continue;
            }
            byUid.insert(row);
            const int n = numberOf.value(uid);
            if (n > 0 && !deleted.contains(n)) {
                deletions.append(queue("DELE " + number(n)));
                deleted.insert(n);
            } else {
                unfound.insert(TMailListModel::IdKey(m_list.Id(row)));
            }
        }
        for (const TQueuedPtr& deletion : std::as_const(deletions)) {
            take(deletion, Texts::Deleting(), Texts::DeleteError());
        }
    }
    for (int row = 1; row <= m_list.Count(); ++row) {
        if (m_list.Mark(row) != TMark::Delete || m_list.Id(row).isEmpty() || byUid.contains(row)) {
            continue;
        }
        // Another client may have changed the numbering: delete only the marked message.
        if (TMailListModel::SameId(idAt(row), m_list.Id(row))) {
            sendCommand("DELE " + number(row), Texts::Deleting(), Texts::DeleteError());
            deleted.insert(row);
        } else {
            moved.append(row);
        }
    }
    if (!moved.isEmpty()) {
        int count = 0;
        if (!TPop3Reply::StatCount(sendCommand("STAT", Texts::Deleting(), Texts::DeleteError()), count)) {
            abortSession(Texts::DeleteError());
        }
        for (const int row : moved) {
            // Deletions move messages to lower numbers, so look there first.
            QList<int> candidates;
            for (int n = qMin(row - 1, count); n >= 1; --n) {
                candidates.append(n);
            }
            for (int n = row + 1; n <= count; ++n) {
                candidates.append(n);
            }
            int found = 0;
            for (const int n : candidates) {
                if (!deleted.contains(n) && TMailListModel::SameId(idAt(n), m_list.Id(row))) {
                    found = n;
                    break;
                }
            }
            if (found > 0) {
                sendCommand("DELE " + number(found), Texts::Deleting(), Texts::DeleteError());
                deleted.insert(found);
            } else {
                unfound.insert(TMailListModel::IdKey(m_list.Id(row)));
            }
        }
    }
    logout();
    if (!unfound.isEmpty() && !m_host.Retired()) {
        m_host.Notice(Texts::MarksNotFound(int(unfound.size())));
        checkRetired();
    }
    return unfound;
}

void TPop3Session::listingSession(const QSet<QByteArray>& pendingNew, const QSet<QByteArray>& keptMarks)
{
    const QString name = m_account.Name;
    const TMailboxFiles files(m_account.SettingsPath, name);
    TSeenIds seen;
    files.LoadSeen(seen, [this] { m_host.Yield(true); });

    // Looked up once, not per message.
    const QString receiving = Texts::Receiving();
    const QString receiveError = Texts::ReceiveError();
    login();
    const QByteArray stat = sendCommand("STAT", receiving, receiveError);
    int count = 0;
    if (!TPop3Reply::StatCount(stat, count)) {
        abortSession(receiveError);
    }
    m_list.Clear();
    m_host.Listed(count);

    // With unique-ids the headers of messages listed before come from the cache.
    QHash<int, QByteArray> uids;
    TUidlCache cache;
    TUidlCache listed;
    const QByteArray cacheKey = TUidlCache::Key(name, m_server, m_user);
    const QString cachePath = files.CachePath(cacheKey);
    bool useUids = false;
    if (count > 0 && m_capabilities.contains("UIDL")) {
        const qint64 limit = qMax<qint64>(TPop3Reply::MaxTopReply, qint64(count) * kUidLineBytes + 64);
        useUids = uidList(count, limit, receiving, receiveError, uids);
        if (useUids) {
            cache.Load(cachePath, cacheKey);
        }
    }

    QHash<int, TQueuedPtr> lists;
    QHash<int, TQueuedPtr> tops;
    int queued = 0;
    QList<QByteArray> ids;
    for (int n = 1; n <= count; ++n) {
        // Commands are queued a little ahead only: a false count must not allocate.
        for (; queued < count && queued < n + kLookahead; ++queued) {
            const int k = queued + 1;
            lists.insert(k, queue("LIST " + number(k)));
            if (!cache.Find(uids.value(k))) {
                tops.insert(k, queue("Top " + number(k) + " 1"));
            }
        }
        // Pipelined replies arrive many to a read: let the program run between them.
        m_host.Yield(true);
        // Rows grow as messages are listed, so a false count cannot allocate up front.
        TMailRow row;
        row.Number = n;
        m_list.Append(row);
        const QByteArray list = take(lists.take(n), receiving, receiveError);
        row.Size = TPop3Reply::ListSize(list);
        m_list.Update(n, row);
        row.Uid = uids.value(n);
        const TUidlEntry* known = cache.Find(row.Uid);
        TUidlEntry entry;
        // Another size means another message under a reused unique-id: fetch it again.
        if (known && known->Size == row.Size) {
            entry = *known;
        } else {
            TQueuedPtr command = tops.take(n);
            if (!command) {
                command = queue("Top " + number(n) + " 1", true);
            }
            entry = TUidlEntry::FromHeader(take(command, receiving, receiveError), row.Size);
        }
        entry.Fill(row);
        if (!row.Uid.isEmpty()) {
            listed.Insert(row.Uid, entry);
        }
        ids.append(row.Id);
        const QByteArray key = TMailListModel::IdKey(row.Id);
        if (keptMarks.contains(key)) {
            // A deletion that could not be carried out is tried again at the next check.
            row.Mark = TMark::Delete;
        } else if (!seen.Contains(row.Id) || pendingNew.contains(key)) {
            row.Mark = TMark::New;
        }
        m_list.Update(n, row);
        if (row.Mark == TMark::New) {
            m_host.NewMessage(!seen.Contains(row.Id));
        }
    }
    logout();

    // A half-written list would make messages new again: finish it even when retired.
    files.StoreSeen(ids, seen, [this] { m_host.Yield(false); });
    // The cache holds the messages of this listing only; an unchanged one is not rewritten.
    if (useUids && listed != cache) {
        listed.SaveInBackground(cachePath, cacheKey);
    }
    // The files of mailboxes deleted or moved to another server or login since go.
    files.PruneCaches(cachePath);
    checkRetired();
}

void TPop3Session::Check(bool autoDelete)
{
    const TRunningCall call(m_calls);
    m_account = m_host.Account();
    m_readCapabilities = true;
    m_host.Progress(Texts::Connecting());
    m_host.Started();

    if (autoDelete) {
        m_list.MarkUnmarkedForDelete();
    }
    QSet<QByteArray> keptMarks;
    if (m_list.AnyDeleteMarked()) {
        keptMarks = deletionSession();
    }

    // New and not yet viewed at the end of the last listing: they stay new.
    const QSet<QByteArray> pendingNew = m_list.NewKeys();
    m_list.Blank();

    listingSession(pendingNew, keptMarks);

    m_host.Progress(Texts::Done());
    ApplyDeleteRules(m_list, m_host);
    TCheckCounts counts;
    counts.Messages = m_list.Count();
    counts.New = m_list.NewCount();
    m_host.Finished(counts);
}

bool TPop3Session::TooLarge(const QByteArray& listedSize, int limit)
{
    int listed = 0;
    // An unreadable size is fetched under the reply bound rather than failing the view.
    return TIntConvert::TryStrToInt(QString::fromLatin1(listedSize), listed) && listed >= limit;
}

TPop3Session::TRetrieval TPop3Session::Retrieve(int row, int limit)
{
    const TRunningCall call(m_calls);
    m_account = m_host.Account();
    m_readCapabilities = true;
    TRetrieval result;
    const QByteArray size = m_list.Valid(row) ? m_list.Row(row).Size : QByteArray();
    result.TooLarge = TooLarge(size, limit);
    if (result.TooLarge) {
        return result;
    }
    m_retrLimit = TPop3Reply::RetrLimit(size);
    login();
    // The row number is that of the last listing; another client may have changed it.
    const QByteArray uid = m_list.Valid(row) ? m_list.Row(row).Uid : QByteArray();
    const bool same =
        !uid.isEmpty() && m_capabilities.contains("UIDL")
            ? currentUid(row, Texts::Downloading(), Texts::DownloadError()) == uid
            : TMailListModel::SameId(currentId(row, Texts::Downloading(), Texts::DownloadError()), m_list.Id(row));
    if (!same) {
        logout();
        result.Moved = true;
        return result;
    }
    result.Message = sendCommand("RETR " + number(row), Texts::Downloading(), Texts::DownloadError());
    logout();

    FillViews(result, size);
    return result;
}

void TPop3Session::Viewed(int row)
{
    MarkViewed(m_list, m_host, row);
}

void TPop3Session::LoginAndLogout(const TAccount& account)
{
    const TRunningCall call(m_calls);
    m_account = account;
    // Only encryption needs the capabilities; a plain login is USER and PASS alone.
    m_readCapabilities = false;
    login();
    logout();
    m_host.Finished({});
}
