// The IMAP session's dialogue over arbitrary server bytes, through an in-memory transport:
// the input after its first byte is cut at each 0xFF into the chunks the server sends,
// whatever the client asks. First byte: 1 deletes every unmarked message, 2 starts with
// three listed rows (4 and 8 choose their marks), 16 views row 1 after the check, 32 runs
// a second check with the chunks left.

#include "core/EAbort.h"
#include "fuzz/FuzzSupport.h"
#include "mailbox/TImapSession.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "net/TTransport.h"
#include "settings/TFilterRules.h"
#include "settings/TIniFile.h"

#include <QRegularExpression>

namespace {

const QString kName = QStringLiteral("Box");

class ChunkTransport : public TTransport {
public:
    QList<QByteArray> Chunks;
    // Commands that change the folder, sent in this connection.
    int Changes = 0;
    bool Selected = false;

    void SetEndpoint(const TEndpoint& endpoint) override { FUZZ_CHECK(endpoint.Security == TSecurity::None); }
    void StartTls() override { FUZZ_CHECK(false); }
    void Open(const QString& host, int timeout) override
    {
        FUZZ_CHECK(host == QLatin1String("127.0.0.1") && timeout == 7);
        FUZZ_CHECK(!m_connected);
        m_connected = true;
        Selected = false;
    }
    void Send(const QByteArray& bytes) override
    {
        if (!m_connected) {
            m_report(7, 10057, QStringLiteral("Socket is not connected"));
            return;
        }
        FUZZ_CHECK(bytes.endsWith("\r\n"));
        // Whole commands, several at once when answers are not waited for.
        qsizetype from = 0;
        for (qsizetype end = bytes.indexOf("\r\n"); end >= 0; end = bytes.indexOf("\r\n", from)) {
            sendLine(bytes.mid(from, end - from));
            from = end + 2;
        }
        FUZZ_CHECK(from == bytes.size());
    }
    void sendLine(const QByteArray& line)
    {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        static const QRegularExpression command(QStringLiteral(
            "^(A[1-9][0-9]* (CAPABILITY|LOGIN \"user\" \"pass\"|AUTHENTICATE PLAIN( [A-Za-z0-9+/=]+)?|"
            "ID .*|ENABLE UTF8=ACCEPT|EXAMINE \"INBOX\"|SELECT \"INBOX\"|LOGOUT|"
            "UID FETCH [0-9:*,]+ \\(UID.*\\)|FETCH 1:\\* \\(UID FLAGS RFC822.SIZE\\)|"
            "UID STORE [0-9:,]+ \\+FLAGS.SILENT \\(\\\\Deleted\\)|UID EXPUNGE [0-9:,]+|EXPUNGE)|[A-Za-z0-9+/=]+)$"));
        FUZZ_CHECK(command.match(QString::fromLatin1(line)).hasMatch());
        if (line.contains(" SELECT ")) {
            Selected = true;
        }
        if (line.contains(" STORE ") || line.contains("EXPUNGE")) {
            // Flags change only in a folder opened for writing.
            FUZZ_CHECK(Selected);
            ++Changes;
        }
        if (line.contains(" EXAMINE ")) {
            Selected = false;
        }
    }
    QByteArray Receive() override
    {
        if (!m_connected || Chunks.isEmpty()) {
            m_connected = false;
            return {};
        }
        const QByteArray chunk = Chunks.takeFirst();
        if (chunk.isEmpty()) {
            m_connected = false;
        }
        return chunk;
    }
    void Close() override { m_connected = false; }
    bool Connected() const override { return m_connected; }
    void SetErrorReport(TErrorReport report) override { m_report = std::move(report); }

private:
    TErrorReport m_report;
    bool m_connected = false;
};

class Host : public TSessionHost {
public:
    QString Path;
    TFilterRules Rules;
    int Failures = 0;
    int Finishes = 0;

    TAccount Account() override { return TAccount::Read(TIniFile(Path), kName); }
    const TFilterRules& Filters() const override { return Rules; }
    QString Password(const QString&, bool) override { return QStringLiteral("pass"); }
    bool Retired() const override { return false; }
    void Yield(bool) override {}
    void Progress(const QString&) override {}
    void Started() override {}
    void Connected(bool encrypted) override { FUZZ_CHECK(!encrypted); }
    void Listed(int messages) override { FUZZ_CHECK(messages >= 0); }
    void NewMessage(bool) override {}
    void NoLongerNew() override {}
    void Notice(const QString& text) override { FUZZ_CHECK(!text.isEmpty()); }
    void Failed(const TSessionFailure& failure) override
    {
        FUZZ_CHECK(!failure.Message.isEmpty());
        ++Failures;
    }
    void Finished(const TCheckCounts&) override { ++Finishes; }
};

void checkOnce(TImapSession& session, TMailListModel& list, Host& host, ChunkTransport& net, bool autoDelete)
{
    const QByteArray fileBefore = fuzz::readFile(host.Path);
    const bool anyMarked = autoDelete ? list.Count() > 0 : list.AnyDeleteMarked();
    const int failures = host.Failures;
    const int finishes = host.Finishes;
    net.Changes = 0;
    bool ok = false;
    try {
        session.Check(autoDelete);
        ok = true;
    } catch (const EAbort&) {
    }
    session.Unwound();
    FUZZ_CHECK(!net.Connected());
    FUZZ_CHECK(!session.Busy());
    // Nothing marked, nothing changed on the server.
    FUZZ_CHECK(anyMarked || net.Changes == 0);
    if (ok) {
        FUZZ_CHECK(host.Finishes == finishes + 1 && host.Failures == failures);
        TSeenIds seen;
        seen.Load(TIniFile(host.Path), kName);
        QList<QByteArray> ids;
        for (int row = 1; row <= list.Count(); ++row) {
            FUZZ_CHECK(list.Row(row).Number == row && !list.Id(row).isEmpty());
            ids.append(list.Id(row));
        }
        FUZZ_CHECK(seen.Ids() == ids);
    } else {
        FUZZ_CHECK(host.Failures == failures + 1 && host.Finishes == finishes);
        FUZZ_CHECK(fuzz::readFile(host.Path) == fileBefore);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const quint8 flags = input.isEmpty() ? 0 : static_cast<quint8>(input.at(0));

    Host host;
    host.Path = fuzz::scratchIni();
    fuzz::writeFile(host.Path, "[General]\nTimeout=7\n\n[Box]\nHost=127.0.0.1\nLogin=user\nPassword=pass\n"
                               "Protocol=IMAP\n\n[IDs:Box]\n1=<1@x>\n2=<2@x>\n");
    ChunkTransport net;
    if (input.size() > 1) {
        net.Chunks = input.mid(1).split('\xFF');
    }
    TMailListModel list;
    if (flags & 2) {
        static const TMark marks[] = {TMark::Delete, TMark::New, TMark::None, TMark::Delete};
        for (int n = 1; n <= 3; ++n) {
            TMailRow row;
            row.Number = n;
            row.Id = "<" + QByteArray::number(n) + "@x>";
            row.Uid = "5." + QByteArray::number(n);
            row.Mark = marks[((flags >> 2) + n) & 3];
            list.Append(row);
        }
    }
    TImapSession session(net, list, host);
    checkOnce(session, list, host, net, flags & 1);
    if (flags & 16) {
        try {
            const TMailSession::TRetrieval got = session.Retrieve(1, TAccount::ReadableViewLimit);
            FUZZ_CHECK(got.Message.isEmpty() || got.Message.startsWith("+OK"));
        } catch (const EAbort&) {
        }
        session.Unwound();
        FUZZ_CHECK(!net.Connected());
    }
    if (flags & 32) {
        checkOnce(session, list, host, net, flags & 1);
    }
    // The header cache is written and pruned in the background.
    TUidlCache::WaitForSaves();
    return 0;
}
