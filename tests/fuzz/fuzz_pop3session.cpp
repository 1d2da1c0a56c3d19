// The session's reply framing and listing over arbitrary server bytes, through an
// in-memory transport: the input after its first byte is cut at each 0xFF into the
// chunks the server sends, whatever the client asks.
// First byte: 1 deletes every unmarked message, 2 starts with three listed rows,
// 4 and 8 choose their marks, 16 turns on a deleting keyword rule, 32 runs a second
// check with the chunks left. A chunk starting 0xFE n is its rest repeated 2^(n & 15)
// times (a long reply from a short input), delivered in receives of at most 8 KB.

#include "core/EAbort.h"
#include "fuzz/FuzzSupport.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Reply.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TSessionPresenter.h"
#include "net/TTransport.h"
#include "settings/TFilterRules.h"
#include "settings/TIniFile.h"

#include <QRegularExpression>
#include <QSet>

namespace {

const QString kName = QStringLiteral("Box");
const QString kPassword = QStringLiteral("pass");
const QString kLoginError = QStringLiteral("使用者名稱或密碼錯誤！\n");
constexpr int kMaxReceive = 8192;

// Plays the chunks in order; when they run out the peer has closed.
class ChunkTransport : public TTransport {
public:
    QList<QByteArray> Chunks;
    QByteArray LastCommand;
    // Bytes delivered since the last command was sent (or since the connection opened).
    qint64 SinceCommand = 0;
    // The STAT count of the running listing, once known; -1 before.
    int Count = -1;
    QSet<QByteArray> Deleted;

    void SetEndpoint(const TEndpoint& endpoint) override
    {
        // The fuzzed mailbox is a plaintext one: nothing may ask for encryption.
        FUZZ_CHECK(endpoint.Security == TSecurity::None);
    }

    void StartTls() override { FUZZ_CHECK(false); }

    void Open(const QString& host, int timeout) override
    {
        FUZZ_CHECK(host == QLatin1String("127.0.0.1") && timeout == 7);
        FUZZ_CHECK(!m_connected);
        m_connected = true;
        m_pipelined = false;
        LastCommand.clear();
        SinceCommand = 0;
        Deleted.clear();
    }

    void Send(const QByteArray& bytes) override
    {
        if (!m_connected) {
            // As the socket client does on a closed connection.
            m_report(7, 10057, QStringLiteral("Socket is not connected"));
            return;
        }
        // Whole commands, several at once when pipelined.
        FUZZ_CHECK(bytes.endsWith("\r\n"));
        QList<QByteArray> lines = bytes.chopped(2).split('\n');
        if (lines.size() > 1) {
            // Replies of earlier commands may still be on their way: the single-reply bound
            // below no longer tells which reply the bytes belong to.
            m_pipelined = true;
        }
        for (QByteArray& line : lines) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            FUZZ_CHECK(!line.contains('\r'));
            sendLine(line);
        }
    }

    void sendLine(const QByteArray& line)
    {
        // The client's fixed spellings.
        static const QRegularExpression command(
            QStringLiteral("^(CAPA|USER user|PASS pass|STAT|QUIT|UIDL|UIDL [1-9][0-9]*|LIST [1-9][0-9]*|"
                           "Top [1-9][0-9]* 1|TOP [1-9][0-9]* 0|DELE [1-9][0-9]*)$"));
        FUZZ_CHECK(command.match(QString::fromLatin1(line)).hasMatch());
        if (line.startsWith("Top ")) {
            FUZZ_CHECK(Count >= 0 && line.split(' ').at(1).toInt() <= Count);
        }
        if (line.startsWith("DELE ")) {
            // A message is deleted once per session.
            FUZZ_CHECK(!Deleted.contains(line));
            Deleted.insert(line);
        }
        LastCommand = line;
        SinceCommand = 0;
    }

    QByteArray Receive() override
    {
        // What the session holds unread is bounded by the reply it waits for (a TOP
        // reply may be cut to its start, so only its bound is the session's business).
        if (!m_pipelined && !LastCommand.startsWith("TOP ") && !LastCommand.startsWith("Top ") &&
            !LastCommand.startsWith("UIDL")) {
            FUZZ_CHECK(SinceCommand <= TPop3Reply::MaxLineReply);
        }
        if (!m_connected || (m_piece.isEmpty() && Chunks.isEmpty())) {
            m_connected = false;
            return {};
        }
        if (m_piece.isEmpty()) {
            m_piece = Chunks.takeFirst();
            if (m_piece.size() >= 2 && static_cast<quint8>(m_piece.at(0)) == 0xFE) {
                const int times = 1 << (m_piece.at(1) & 15);
                m_piece = m_piece.mid(2).repeated(times);
            }
            if (m_piece.isEmpty()) {
                // An empty chunk is the peer closing.
                m_connected = false;
                return {};
            }
        }
        const QByteArray out = m_piece.left(kMaxReceive);
        m_piece.remove(0, out.size());
        SinceCommand += out.size();
        return out;
    }

    void Close() override { m_connected = false; }
    bool Connected() const override { return m_connected; }
    void SetErrorReport(TErrorReport report) override { m_report = std::move(report); }

private:
    TErrorReport m_report;
    QByteArray m_piece;
    bool m_connected = false;
    bool m_pipelined = false;
};

class Host : public TSessionPresenter {
public:
    QString Path;
    ChunkTransport* Net = nullptr;
    QStringList Leds;
    QStringList Messages;
    int Counts[3] = {0, 0, 0};
    QString Typed;
    int Prompts = 0;
    TFilterRules Rules;

    TAccount Account() override { return TAccount::Read(TIniFile(Path), kName); }
    const TFilterRules& Filters() const override { return Rules; }
    QString Password(const QString&, bool mayAsk) override
    {
        if (Typed.isEmpty()) {
            Typed = TIniFile(Path).ReadString(kName, QStringLiteral("Password"), QString());
        }
        if (Typed.isEmpty() && mayAsk) {
            ++Prompts;
            Typed = kPassword;
        }
        return Typed;
    }
    bool Retired() const override { return false; }
    void Yield(bool) override {}
    void Listed(int messages) override
    {
        // The listing gives the STAT count once, before any row.
        FUZZ_CHECK(Net->Count < 0 && messages >= 0);
        Net->Count = messages;
        TSessionPresenter::Listed(messages);
    }

protected:
    void Status(const QString&) override {}
    void LED(const QString& colourWord, const QString& text) override { Leds.append(colourWord + u'/' + text); }
    void RepaintMain() override {}
    int StatusCount(int row) const override { return Counts[row]; }
    void SetStatusCount(int row, int value) override { Counts[row] = value; }
    void SetNewMailFound() override {}
    void ShowMessage(const QString& text) override { Messages.append(text); }
    void HangUpIfDialed() override {}
    void ForgetPassword() override { Typed.clear(); }
};

QList<QByteArray> storedSeen(const QString& path)
{
    TSeenIds seen;
    seen.Load(TIniFile(path), kName);
    return seen.Ids();
}

void checkOnce(TPop3Session& session, TMailListModel& list, Host& host, ChunkTransport& net, bool autoDelete)
{
    const QByteArray fileBefore = fuzz::readFile(host.Path);
    const int messagesBefore = int(host.Messages.size());
    host.Leds.clear();
    host.Counts[1] = 0;
    host.Counts[2] = 0;
    net.Count = -1;

    bool ok = false;
    try {
        session.Check(autoDelete);
        ok = true;
    } catch (const EAbort&) {
        ok = false;
    }
    session.Unwound();

    FUZZ_CHECK(!host.Leds.isEmpty() && host.Leds.first() == QLatin1String("Yellow/Busy"));
    FUZZ_CHECK(!net.Connected());
    // The stored password is read again after a refused login, without asking.
    FUZZ_CHECK(host.Prompts == 0);
    if (net.Count >= 0) {
        FUZZ_CHECK(list.Count() <= net.Count);
    }
    if (ok) {
        FUZZ_CHECK(host.Leds.last() == QLatin1String("Green/Ready"));
        FUZZ_CHECK(net.Count >= 0 && list.Count() == net.Count);
        FUZZ_CHECK(host.Counts[1] == net.Count && host.Counts[2] == list.NewCount());
        FUZZ_CHECK(host.Typed == kPassword);
        QList<QByteArray> ids;
        for (int row = 1; row <= list.Count(); ++row) {
            FUZZ_CHECK(list.Row(row).Number == row && !list.Id(row).isEmpty());
            ids.append(list.Id(row));
        }
        // The listing's IDs replace the seen list, in message order.
        FUZZ_CHECK(storedSeen(host.Path) == ids);
    } else {
        // Every failure shows one message after a red light, and writes nothing.
        FUZZ_CHECK(host.Leds.last() == QLatin1String("Red/Error"));
        FUZZ_CHECK(host.Messages.size() > messagesBefore && !host.Messages.last().isEmpty());
        FUZZ_CHECK(fuzz::readFile(host.Path) == fileBefore);
        // Only the refused login forgets the password.
        FUZZ_CHECK(host.Typed.isEmpty() == (host.Messages.last() == kLoginError));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    const quint8 flags = input.isEmpty() ? 0 : static_cast<quint8>(input.at(0));

    Host host;
    host.Path = fuzz::scratchIni();
    fuzz::writeFile(host.Path, "[General]\nTimeout=7\n\n[Box]\nHost=127.0.0.1\nLogin=user\nPassword=pass\n\n"
                               "[IDs:Box]\n1=<1@x>\n2=<2@x>\n");
    if (flags & 16) {
        host.Rules.HighLight[0] = QStringLiteral("SPAM");
        host.Rules.Delete[0] = true;
    }

    ChunkTransport net;
    host.Net = &net;
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
            row.Mark = marks[((flags >> 2) + n) & 3];
            list.Append(row);
        }
    }

    TPop3Session session(net, list, host);
    checkOnce(session, list, host, net, flags & 1);
    if (flags & 32) {
        checkOnce(session, list, host, net, flags & 1);
    }
    return 0;
}
