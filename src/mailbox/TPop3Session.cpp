#include "mailbox/TPop3Session.h"

#include "core/EAbort.h"
#include "core/TIntConvert.h"
#include "mailbox/TCharset.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMimeMessage.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "net/TTransport.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"

#include <QHash>
#include <QList>

namespace Keys = TSettingsKeys;

namespace {

const QString kLoginError = QStringLiteral("使用者名稱或密碼錯誤！");
const QString kReceiveError = QStringLiteral("接收資料錯誤！");
const QString kReceiving = QStringLiteral("接收資料...");
const QString kDeleting = QStringLiteral("刪除信件...");
const QString kDeleteError = QStringLiteral("刪除信件錯誤！");
const QString kDownloading = QStringLiteral("下載信件...");
const QString kDownloadError = QStringLiteral("下載信件錯誤");
constexpr int kNewRow = 2;
constexpr int kCountRow = 1;
// Commands sent ahead of their replies when the server pipelines: few enough bytes that
// they always fit the server's receive buffer, so that sending can never block on a
// server that is itself blocked sending us replies.
constexpr int kWindowCommands = 256;
constexpr int kWindowBytes = 4096;
// Messages whose commands are queued ahead of the one being listed.
constexpr int kLookahead = kWindowCommands;
// A UIDL listing line is at most a number, a space, 70 bytes and CR LF.
constexpr qint64 kUidLineBytes = 84;

// Header values as received; raw 8-bit bytes are read by the charset of the reply's header.
QString displayText(const QByteArray& bytes, const QByteArray& reply)
{
    return TCharset::HeaderText(bytes, reply);
}

QByteArray number(int n)
{
    return QByteArray::number(n);
}

// The mailbox's port and encryption as the settings file holds them; error gets why a
// hand-edited value is refused (never read as "no encryption").
TEndpoint readEndpoint(const QString& security, const QString& port, const QString& pin, QString& error)
{
    TEndpoint endpoint;
    const QString word = TSettingsRules::SecurityWord(security);
    if (word.isEmpty()) {
        error = QStringLiteral("安全連線設定「%1」無法辨認，應為 None、STARTTLS 或 TLS！").arg(security);
        return endpoint;
    }
    endpoint.Security = word == QLatin1String("TLS")        ? TSecurity::Tls
                        : word == QLatin1String("STARTTLS") ? TSecurity::StartTls
                                                            : TSecurity::None;
    error = TSettingsRules::PortError(port);
    endpoint.Port = port.trimmed();
    if (error.isEmpty() && !pin.trimmed().isEmpty()) {
        endpoint.CertSha256 = TSettingsRules::NormalisedFingerprint(pin);
        if (endpoint.CertSha256.isEmpty()) {
            error = QStringLiteral("信任的憑證指紋格式錯誤，應為 64 位十六進位數字！");
        }
    }
    return endpoint;
}

} // namespace

TPop3Session::TPop3Session(TTransport& transport, TMailListModel& list, TPop3SessionHost& host)
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
    m_host.Status(statusText);
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
            m_host.Status(statusText);
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
        abortSession(errorText);
    }
    return command->Reply;
}

bool TPop3Session::uidList(int maxNumber, qint64 limit, const QString& statusText, const QString& errorText,
                           QHash<int, QByteArray>& uids)
{
    m_host.Status(statusText);
    m_transport.Send("UIDL\r\n");
    checkRetired();
    return TUidlCache::UidList(readReply(true, limit, errorText), maxNumber, uids);
}

// ---- failures ---------------------------------------------------------------------

void TPop3Session::failRed(const QString& statusText, const QString& message, bool forgetPassword)
{
    m_aborting = true;
    m_transport.Close();
    m_pending.clear();
    clearQueue();
    if (!m_host.Retired()) {
        m_host.HangUpIfDialed();
        m_host.Status(statusText);
        m_host.LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_host.RepaintMain();
        m_host.ShowMessage(message);
        if (forgetPassword) {
            m_host.SetPassword(QString());
        }
    }
    throw EAbort();
}

void TPop3Session::abortSession(const QString& message)
{
    failRed(QStringLiteral("連線中斷!"), message + QLatin1Char('\n'), message == kLoginError);
}

void TPop3Session::transportError(int socket, int error, const QString& msg)
{
    if (m_aborting) {
        // Reports made while the socket is being closed after a failure.
        return;
    }
    failRed(QStringLiteral("連線中斷！"),
            error == TTransport::SecurityError
                ? QStringLiteral("信箱「%1」的安全連線失敗。\n%2\n").arg(m_host.MailboxName(), msg)
                : QStringLiteral("Socket: %1\nError: %2\nMessage: %3\n").arg(socket).arg(error).arg(msg));
}

QString TPop3SessionHost::StoredPassword(const QString& mailbox, const QString&)
{
    const QString stored = TSetting(Keys::MailboxPassword, mailbox).ReadString(TIniFile(SettingsPath()));
    return stored.isEmpty() ? QString() : Unscramble(stored);
}

// ---- login and logout ---------------------------------------------------------------

void TPop3Session::login()
{
    m_host.Status(QStringLiteral("開始連線..."));
    QString server;
    QString user;
    QString timeoutText;
    TEndpoint endpoint;
    QString endpointError;
    {
        const TIniFile ini(m_host.SettingsPath());
        const QString name = m_host.MailboxName();
        server = TSetting(Keys::MailboxHost, name).ReadString(ini);
        user = TSetting(Keys::MailboxLogin, name).ReadString(ini);
        endpoint = readEndpoint(TSetting(Keys::MailboxSecurity, name).ReadString(ini),
                                TSetting(Keys::MailboxPort, name).ReadString(ini),
                                TSetting(Keys::MailboxCertSha256, name).ReadString(ini), endpointError);
        timeoutText = TSetting(Keys::GeneralTimeout).ReadString(ini);
    }
    if (m_host.Password().isEmpty()) {
        m_host.SetPassword(m_host.StoredPassword(m_host.MailboxName(), user));
        // The keyring may have kept the program waiting: the mailbox may be gone by now.
        checkRetired();
    }
    if (!endpointError.isEmpty()) {
        abortSession(endpointError);
    }
    if (m_host.Password().isEmpty()) {
        m_host.AskPassword();
        checkRetired();
    }
    const int timeout = TIntConvert::StrToInt(timeoutText);
    m_server = server;
    m_user = user;
    m_pending.clear();
    clearQueue();
    m_capabilities.clear();
    m_transport.SetEndpoint(endpoint);
    m_transport.Open(server, timeout);
    checkRetired();
    const QString refused = QStringLiteral("無法連線！");
    const QByteArray greeting = readReply(false, TPop3Reply::MaxLineReply, refused);
    if (greeting.isEmpty() || greeting.at(0) != '+') {
        abortSession(refused);
    }
    if (endpoint.Security == TSecurity::StartTls) {
        startTls();
    }
    const QByteArray userBytes = user.toUtf8();
    const QByteArray pass = m_host.Password().toUtf8();
    // A line break would end the argument early and send the rest as a command.
    if (TPop3Reply::HasLineBreak(userBytes) || TPop3Reply::HasLineBreak(pass)) {
        abortSession(kLoginError);
    }
    // Under STARTTLS the capabilities were read again on the encrypted line.
    if (endpoint.Security != TSecurity::StartTls) {
        readCapabilities();
    }
    sendCommand("USER " + userBytes, QStringLiteral("傳送使用者名稱..."), kLoginError);
    sendCommand("PASS " + pass, QStringLiteral("傳送密碼..."), kLoginError);
    m_host.Status(QStringLiteral("登入成功！"));
}

void TPop3Session::startTls()
{
    const QString notOffered = QStringLiteral("伺服器不提供 STARTTLS 加密，未送出帳號密碼！");
    auto capabilities = [this](const QString& errorText) {
        m_host.Status(QStringLiteral("查詢伺服器功能..."));
        m_transport.Send("CAPA\r\n");
        checkRetired();
        return TPop3Reply::Capabilities(readReply(true, TPop3Reply::MaxLineReply, errorText));
    };
    if (!capabilities(notOffered).contains("STLS")) {
        abortSession(notOffered);
    }
    sendCommand("STLS", QStringLiteral("開始加密..."), QStringLiteral("伺服器拒絕 STARTTLS 加密，未送出帳號密碼！"));
    // Bytes sent ahead of the handshake would pass as encrypted replies.
    if (!m_pending.isEmpty()) {
        abortSession(QStringLiteral("伺服器在加密前送出多餘的資料，已中止連線！"));
    }
    m_transport.StartTls();
    checkRetired();
    if (!m_transport.Connected()) {
        abortSession(QStringLiteral("無法建立安全連線！"));
    }
    // What the server offers may differ once the line is encrypted.
    m_capabilities = capabilities(kReceiveError);
}

void TPop3Session::readCapabilities()
{
    // A server without CAPA refuses it and gets the plain sequence of commands.
    m_transport.Send("CAPA\r\n");
    checkRetired();
    m_capabilities = TPop3Reply::Capabilities(readReply(true, TPop3Reply::MaxLineReply, QStringLiteral("無法連線！")));
}

void TPop3Session::logout()
{
    m_host.Status(QStringLiteral("開始離線..."));
    sendCommand("QUIT", QStringLiteral("離線..."), QStringLiteral("無法離線！"));
    m_transport.Close();
    m_pending.clear();
    checkRetired();
    m_host.Status(QStringLiteral("離線成功！"));
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
    if (!reply.startsWith('+') || !TUidlCache::UidLine(reply, listed, uid) || listed != n) {
        return {};
    }
    return uid;
}

QSet<QString> TPop3Session::deletionSession()
{
    login();
    // Identifiers under the server's present numbering, fetched once each.
    QHash<int, QByteArray> current;
    auto idAt = [&](int n) {
        auto it = current.constFind(n);
        if (it == current.constEnd()) {
            it = current.insert(n, currentId(n, kDeleting, kDeleteError));
        }
        return it.value();
    };
    QSet<int> deleted;
    QList<int> moved;
    QSet<QString> unfound;
    // With unique-ids one listing finds every marked message wherever it is now.
    QSet<int> byUid;
    QHash<int, QByteArray> uids;
    const qint64 uidLimit = qMax<qint64>(TPop3Reply::MaxTopReply, (m_list.Count() + 1000) * kUidLineBytes);
    bool anyUid = false;
    for (int row = 1; row <= m_list.Count() && !anyUid; ++row) {
        anyUid = m_list.Mark(row) == TMark::Delete && !m_list.Row(row).Uid.isEmpty();
    }
    if (anyUid && m_capabilities.contains("UIDL") &&
        uidList(TPop3Reply::MaxMessages, uidLimit, kDeleting, kDeleteError, uids)) {
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
            take(deletion, kDeleting, kDeleteError);
        }
    }
    for (int row = 1; row <= m_list.Count(); ++row) {
        if (m_list.Mark(row) != TMark::Delete || m_list.Id(row).isEmpty() || byUid.contains(row)) {
            continue;
        }
        // Another client may have changed the numbering: delete only the marked message.
        if (TMailListModel::SameId(idAt(row), m_list.Id(row))) {
            sendCommand("DELE " + number(row), kDeleting, kDeleteError);
            deleted.insert(row);
        } else {
            moved.append(row);
        }
    }
    if (!moved.isEmpty()) {
        int count = 0;
        if (!TPop3Reply::StatCount(sendCommand("STAT", kDeleting, kDeleteError), count)) {
            abortSession(kDeleteError);
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
                sendCommand("DELE " + number(found), kDeleting, kDeleteError);
                deleted.insert(found);
            } else {
                unfound.insert(TMailListModel::IdKey(m_list.Id(row)));
            }
        }
    }
    logout();
    if (!unfound.isEmpty() && !m_host.Retired()) {
        m_host.ShowMessage(QStringLiteral("有 %1 封標記刪除的信件找不到，未能刪除！\n").arg(unfound.size()));
        checkRetired();
    }
    return unfound;
}

void TPop3Session::listingSession(const QSet<QString>& pendingNew, const QSet<QString>& keptMarks)
{
    const QString name = m_host.MailboxName();
    TSeenIds seen;
    {
        const TIniFile ini(m_host.SettingsPath());
        seen.Load(ini, name, [this] { m_host.PumpEvents(true); });
    }

    login();
    const QByteArray stat = sendCommand("STAT", kReceiving, kReceiveError);
    int count = 0;
    if (!TPop3Reply::StatCount(stat, count)) {
        abortSession(kReceiveError);
    }
    m_list.Clear();
    m_host.SetStatusCount(kCountRow, m_host.StatusCount(kCountRow) + count);

    // With unique-ids the headers of messages listed before come from the cache.
    QHash<int, QByteArray> uids;
    TUidlCache cache;
    TUidlCache listed;
    const QByteArray cacheKey = TUidlCache::Key(name, m_server, m_user);
    const QString cachePath = TUidlCache::PathFor(m_host.SettingsPath(), cacheKey);
    bool useUids = false;
    if (count > 0 && m_capabilities.contains("UIDL")) {
        const qint64 limit = qMax<qint64>(TPop3Reply::MaxTopReply, qint64(count) * kUidLineBytes + 64);
        useUids = uidList(count, limit, kReceiving, kReceiveError, uids);
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
        m_host.PumpEvents(true);
        // Rows grow as messages are listed, so a false count cannot allocate up front.
        TMailRow row;
        row.Number = n;
        m_list.Append(row);
        const QByteArray list = take(lists.take(n), kReceiving, kReceiveError);
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
            const QByteArray top = take(command, kReceiving, kReceiveError);
            entry.Size = row.Size;
            entry.Date = displayText(THeaderExtract::Value(top, "DATE"), top);
            entry.RawFrom = displayText(THeaderExtract::Value(top, "FROM"), top);
            entry.RawSubject = displayText(THeaderExtract::Value(top, "SUBJECT"), top);
            entry.From = TMimeMessage::AddressText(TMimeMessage::HeaderValue(top, "From"), top);
            entry.Subject = TMimeMessage::HeaderText(TMimeMessage::HeaderValue(top, "Subject"), top);
            entry.Id = THeaderExtract::MessageId(top, row.Size);
        }
        row.Date = entry.Date;
        row.From = entry.From;
        row.Subject = entry.Subject;
        row.RawFrom = entry.RawFrom;
        row.RawSubject = entry.RawSubject;
        row.Id = entry.Id;
        if (!row.Uid.isEmpty()) {
            listed.Insert(row.Uid, entry);
        }
        ids.append(row.Id);
        const QString key = TMailListModel::IdKey(row.Id);
        if (keptMarks.contains(key)) {
            // A deletion that could not be carried out is tried again at the next check.
            row.Mark = TMark::Delete;
        } else if (!seen.Contains(row.Id) || pendingNew.contains(key)) {
            row.Mark = TMark::New;
        }
        m_list.Update(n, row);
        if (row.Mark == TMark::New) {
            m_host.SetStatusCount(kNewRow, m_host.StatusCount(kNewRow) + 1);
            if (!seen.Contains(row.Id)) {
                m_host.SetNewMailFound();
            }
        }
    }
    logout();

    TIniFile ini(m_host.SettingsPath());
    // A half-written list would make messages new again: finish it even when retired.
    TSeenIds::Store(ini, name, ids, [this] { m_host.PumpEvents(false); });
    // The cache holds the messages of this listing only; an unchanged one is not rewritten.
    if (useUids && listed != cache) {
        listed.SaveInBackground(cachePath, cacheKey);
    }
    // The files of mailboxes deleted or moved to another server or login since go.
    TUidlCache::PruneInBackground(m_host.SettingsPath(), cachePath);
    checkRetired();
}

void TPop3Session::applyFilters()
{
    const TFilterRules& rules = m_host.Filters();
    for (int row = 1; row <= m_list.Count(); ++row) {
        for (int k = 0; k < 5; ++k) {
            if (rules.HighLight[k].isEmpty() || !rules.Delete[k]) {
                continue;
            }
            const TMailRow& values = m_list.Row(row);
            for (const QString& field : {values.From, values.Subject, values.RawFrom, values.RawSubject}) {
                if (THeaderExtract::UpperAscii(field).contains(rules.HighLight[k])) {
                    if (m_list.Mark(row) == TMark::New) {
                        m_host.SetStatusCount(kNewRow, m_host.StatusCount(kNewRow) - 1);
                    }
                    m_list.SetMark(row, TMark::Delete);
                }
            }
        }
    }
}

void TPop3Session::Check(bool autoDelete)
{
    m_host.Status(QStringLiteral("開始連線..."));
    m_host.LED(QStringLiteral("Yellow"), QStringLiteral("Busy"));
    m_host.RepaintMain();

    if (autoDelete) {
        m_list.MarkUnmarkedForDelete();
    }
    QSet<QString> keptMarks;
    if (m_list.AnyDeleteMarked()) {
        keptMarks = deletionSession();
    }

    // New and not yet viewed at the end of the last listing: they stay new.
    QSet<QString> pendingNew;
    for (int row = 1; row <= m_list.Count(); ++row) {
        if (m_list.Mark(row) == TMark::New && !m_list.Id(row).isEmpty()) {
            pendingNew.insert(TMailListModel::IdKey(m_list.Id(row)));
        }
    }
    m_list.Blank();

    listingSession(pendingNew, keptMarks);

    m_host.Status(QStringLiteral("連線完成！"));
    m_host.LED(QStringLiteral("Green"), QStringLiteral("Ready"));
    m_host.RepaintMain();

    applyFilters();
}

bool TPop3Session::TooLarge(const QByteArray& listedSize, int limit)
{
    int listed = 0;
    // An unreadable size is fetched under the reply bound rather than failing the view.
    return TIntConvert::TryStrToInt(QString::fromLatin1(listedSize), listed) && listed >= limit;
}

TPop3Session::TRetrieval TPop3Session::Retrieve(int row, int limit)
{
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
    const bool same = !uid.isEmpty() && m_capabilities.contains("UIDL")
                          ? currentUid(row, kDownloading, kDownloadError) == uid
                          : TMailListModel::SameId(currentId(row, kDownloading, kDownloadError), m_list.Id(row));
    if (!same) {
        logout();
        result.Moved = true;
        return result;
    }
    result.Text = sendCommand("RETR " + number(row), kDownloading, kDownloadError);
    logout();
    return result;
}

void TPop3Session::Viewed(int row)
{
    if (m_list.Mark(row) == TMark::New) {
        m_list.SetMark(row, TMark::None);
        m_host.SetStatusCount(kNewRow, m_host.StatusCount(kNewRow) - 1);
    }
}
