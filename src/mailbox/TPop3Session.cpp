#include "mailbox/TPop3Session.h"

#include "core/EAbort.h"
#include "core/TIntConvert.h"
#include "mailbox/TCharset.h"
#include "mailbox/THeaderExtract.h"
#include "mailbox/TMailHost.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TSeenIds.h"
#include "net/TTransport.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"

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
constexpr int kViewLimit = 65534;

// Header values as received; raw 8-bit bytes are read by the charset of the reply's header.
QString displayText(const QByteArray& bytes, const QByteArray& reply)
{
    return TCharset::HeaderText(bytes, reply);
}

QByteArray number(int n)
{
    return QByteArray::number(n);
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

// ---- reply framing ----------------------------------------------------------------

QByteArray TPop3Session::readReply(bool multiLine, qint64 limit, const QString& errorText, bool keepStart)
{
    int scanned = 0;
    for (;;) {
        const int lineEnd = m_pending.indexOf("\r\n");
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
    qint64 limit = TPop3Reply::MaxLineReply;
    if (TPop3Reply::IsMultiLine(command)) {
        limit = command.toUpper().startsWith("RETR") && m_retrLimit > 0 ? m_retrLimit : TPop3Reply::MaxTopReply;
    }
    const QByteArray reply = exchange(command, statusText, errorText, limit);
    if (reply.isEmpty() || reply.at(0) != '+') {
        abortSession(errorText);
    }
    return reply;
}

// ---- failures ---------------------------------------------------------------------

void TPop3Session::abortSession(const QString& message)
{
    m_aborting = true;
    m_transport.Close();
    m_pending.clear();
    if (!m_host.Retired()) {
        m_host.HangUpIfDialed();
        m_host.Status(QStringLiteral("連線中斷!"));
        m_host.LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_host.RepaintMain();
        m_host.ShowMessage(message + QLatin1Char('\n'));
        if (message == kLoginError) {
            m_host.SetPassword(QString());
        }
    }
    throw EAbort();
}

void TPop3Session::transportError(int socket, int error, const QString& msg)
{
    if (m_aborting) {
        // Reports made while the socket is being closed after a failure.
        return;
    }
    m_aborting = true;
    m_transport.Close();
    m_pending.clear();
    if (!m_host.Retired()) {
        m_host.HangUpIfDialed();
        m_host.Status(QStringLiteral("連線中斷！"));
        m_host.LED(QStringLiteral("Red"), QStringLiteral("Error"));
        m_host.RepaintMain();
        m_host.ShowMessage(QStringLiteral("Socket: %1\nError: %2\nMessage: %3\n").arg(socket).arg(error).arg(msg));
    }
    throw EAbort();
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
    {
        const TIniFile ini(m_host.SettingsPath());
        const QString name = m_host.MailboxName();
        server = TSetting(Keys::MailboxHost, name).ReadString(ini);
        user = TSetting(Keys::MailboxLogin, name).ReadString(ini);
        timeoutText = TSetting(Keys::GeneralTimeout).ReadString(ini);
    }
    if (m_host.Password().isEmpty()) {
        m_host.SetPassword(m_host.StoredPassword(m_host.MailboxName(), user));
        // The keyring may have kept the program waiting: the mailbox may be gone by now.
        checkRetired();
    }
    if (m_host.Password().isEmpty()) {
        m_host.AskPassword();
        checkRetired();
    }
    const int timeout = TIntConvert::StrToInt(timeoutText);
    m_pending.clear();
    m_transport.Open(server, timeout);
    checkRetired();
    const QString refused = QStringLiteral("無法連線！");
    const QByteArray greeting = readReply(false, TPop3Reply::MaxLineReply, refused);
    if (greeting.isEmpty() || greeting.at(0) != '+') {
        abortSession(refused);
    }
    const QByteArray userBytes = user.toUtf8();
    const QByteArray pass = m_host.Password().toUtf8();
    // A line break would end the argument early and send the rest as a command.
    if (TPop3Reply::HasLineBreak(userBytes) || TPop3Reply::HasLineBreak(pass)) {
        abortSession(kLoginError);
    }
    sendCommand("USER " + userBytes, QStringLiteral("傳送使用者名稱..."), kLoginError);
    sendCommand("PASS " + pass, QStringLiteral("傳送密碼..."), kLoginError);
    m_host.Status(QStringLiteral("登入成功！"));
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
    for (int row = 1; row <= m_list.Count(); ++row) {
        if (m_list.Mark(row) != TMark::Delete || m_list.Id(row).isEmpty()) {
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
    QSet<QString> unfound;
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

    QList<QByteArray> ids;
    for (int n = 1; n <= count; ++n) {
        // Rows grow as messages are listed, so a false count cannot allocate up front.
        TMailRow row;
        row.Number = n;
        m_list.Append(row);
        const QByteArray list = sendCommand("LIST " + number(n), kReceiving, kReceiveError);
        row.Size = TPop3Reply::ListSize(list);
        m_list.Update(n, row);
        const QByteArray top = sendCommand("Top " + number(n) + " 1", kReceiving, kReceiveError);
        row.Date = displayText(THeaderExtract::Value(top, "DATE"), top);
        row.From = displayText(THeaderExtract::Value(top, "FROM"), top);
        row.Subject = displayText(THeaderExtract::Value(top, "SUBJECT"), top);
        row.Id = THeaderExtract::MessageId(top, row.Size);
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
            const QString from = m_list.Row(row).From;
            const QString subject = m_list.Row(row).Subject;
            for (const QString& field : {from, subject}) {
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

TPop3Session::TRetrieval TPop3Session::Retrieve(int row)
{
    TRetrieval result;
    const QByteArray size = m_list.Valid(row) ? m_list.Row(row).Size : QByteArray();
    int listed = 0;
    // An unreadable size is fetched under the reply bound rather than failing the view.
    result.TooLarge = TIntConvert::TryStrToInt(QString::fromLatin1(size), listed) && listed >= kViewLimit;
    if (result.TooLarge) {
        return result;
    }
    m_retrLimit = TPop3Reply::RetrLimit(size);
    login();
    // The row number is that of the last listing; another client may have changed it.
    if (!TMailListModel::SameId(currentId(row, kDownloading, kDownloadError), m_list.Id(row))) {
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
