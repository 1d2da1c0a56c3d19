// A benchmark server for checks of the real program: a private Dovecot holding <count>
// messages behind a relay at <address>:<port> that delays each direction by <delay> ms.
// Writes a settings file for the program (mailbox "Box" at that address) and times a bare
// socket client sending the program's commands through the same relay, then serves until
// its standard input closes.
//   bench_CheckLink <count> <delay ms each way> <address> <port> <Mailvane.ini to write>
// Prints "raw_first_us=", "raw_repeat_us=", "raw_sequential_us=" (microseconds) and then
// "READY".
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TDelayProxy.h"
#include "testsupport/TDovecot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTcpSocket>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int kWindowCommands = 256;
constexpr int kWindowBytes = 4096;

class TBareClient {
public:
    bool Open(const QString& address, quint16 port)
    {
        m_socket.connectToHost(address, port);
        return m_socket.waitForConnected(5000) && !reply(false).isEmpty();
    }
    // Sends the commands in windows as the program does (one at a time with window 1) and
    // reads every reply.
    bool Run(const QList<QByteArray>& commands, int window)
    {
        qsizetype sent = 0;
        qsizetype read = 0;
        qsizetype bytes = 0;
        while (read < commands.size()) {
            QByteArray batch;
            const bool refill = sent - read <= window / 2 && bytes <= kWindowBytes / 2;
            while (refill && sent < commands.size() && sent - read < window &&
                   (sent == read || bytes + commands.at(sent).size() + 2 <= kWindowBytes)) {
                batch += commands.at(sent) + "\r\n";
                bytes += commands.at(sent).size() + 2;
                ++sent;
            }
            if (!batch.isEmpty()) {
                m_socket.write(batch);
                m_socket.flush();
            }
            const QByteArray& command = commands.at(read);
            const bool multi = command.startsWith("Top") || command == "CAPA" || command == "UIDL";
            if (reply(multi).isEmpty()) {
                return false;
            }
            bytes -= command.size() + 2;
            ++read;
        }
        return true;
    }

private:
    QByteArray reply(bool multiLine)
    {
        for (;;) {
            const qsizetype line = m_buffer.indexOf("\r\n");
            if (line >= 0 && (!multiLine || !m_buffer.startsWith('+'))) {
                const QByteArray r = m_buffer.left(line + 2);
                m_buffer.remove(0, line + 2);
                return r;
            }
            if (line >= 0) {
                const qsizetype end = m_buffer.indexOf("\r\n.\r\n");
                if (end >= 0) {
                    const QByteArray r = m_buffer.left(end + 5);
                    m_buffer.remove(0, end + 5);
                    return r;
                }
            }
            if (!m_socket.waitForReadyRead(30000)) {
                return {};
            }
            m_buffer += m_socket.readAll();
        }
    }

    QTcpSocket m_socket;
    QByteArray m_buffer;
};

qint64 timeSession(const QString& address, quint16 port, const QList<QByteArray>& commands, int window)
{
    QElapsedTimer t;
    t.start();
    TBareClient client;
    if (!client.Open(address, port) || !client.Run(commands, window)) {
        return -1;
    }
    return t.nsecsElapsed() / 1000;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s <count> <delay ms each way> <address> <port> <Mailvane.ini>\n", argv[0]);
        return 2;
    }
    const int count = QByteArray(argv[1]).toInt();
    const int delay = QByteArray(argv[2]).toInt();
    const QByteArray address = argv[3];
    const quint16 port = quint16(QByteArray(argv[4]).toInt());
    const QString iniPath = QString::fromLocal8Bit(argv[5]);

    QString why;
    if (!TDovecot::Available(&why)) {
        std::fprintf(stderr, "no Dovecot: %s\n", qPrintable(why));
        return 1;
    }
    TDovecot server;
    // A real server's disk is not the user's: in memory, the server's index writes do not
    // share a journal with the program's synced settings file.
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        server.SetBaseFolder(QStringLiteral("/dev/shm"));
    }
    if (!server.Start(&why)) {
        std::fprintf(stderr, "Dovecot did not start: %s\n", qPrintable(why));
        return 1;
    }
    for (int i = 1; i <= count; ++i) {
        server.AddMessage(TDovecot::MakeMessage("<m" + QByteArray::number(i) + "@bench>", "Sender <s@bench>",
                                                "Subject number " + QByteArray::number(i), QByteArray(400, 'b')));
    }
    TDelayProxy relay(quint16(server.Port()), delay, address, port);
    if (!relay.Start()) {
        std::fprintf(stderr, "cannot listen on %s:%d\n", address.constData(), int(port));
        return 1;
    }
    const QString host = QString::fromLatin1(address);

    TIniFile ini(iniPath);
    TVarnEncryption scrambler;
    scrambler.Key = QStringLiteral("Q-Lumen"); // the main window's key
    ini.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("Box"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), host);
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), server.User());
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Password"), scrambler.Scramble(server.Password()));
    for (const char* key : {"StartupCheck", "AutoCheck", "ShowWelcome", "DesktopNotify", "UseKeyring"}) {
        ini.WriteString(QStringLiteral("Option"), QString::fromLatin1(key), QStringLiteral("0"));
    }
    ini.WriteString(QStringLiteral("Option"), QStringLiteral("NoSound"), QStringLiteral("1"));

    const QList<QByteArray> login = {"CAPA", "USER " + server.User().toUtf8(), "PASS " + server.Password().toUtf8()};
    QList<QByteArray> first = login + QList<QByteArray>{"STAT", "UIDL"};
    QList<QByteArray> repeat = first;
    QList<QByteArray> sequential = {"USER " + server.User().toUtf8(), "PASS " + server.Password().toUtf8(), "STAT"};
    for (int n = 1; n <= count; ++n) {
        const QByteArray num = QByteArray::number(n);
        first << "LIST " + num << "Top " + num + " 1";
        repeat << "LIST " + num;
        sequential << "LIST " + num << "Top " + num + " 1";
    }
    first << "QUIT";
    repeat << "QUIT";
    sequential << "QUIT";
    // The first login builds the server's index; keep it out of the timings.
    timeSession(host, port, login + QList<QByteArray>{"STAT", "QUIT"}, 1);
    // The program sends CAPA, the login, STAT and UIDL one at a time, then the rest in windows.
    auto timed = [&](const QList<QByteArray>& commands) {
        QElapsedTimer t;
        t.start();
        TBareClient client;
        if (!client.Open(host, port) || !client.Run(commands.mid(0, 5), 1) ||
            !client.Run(commands.mid(5), kWindowCommands)) {
            return qint64(-1);
        }
        return t.nsecsElapsed() / 1000;
    };
    std::printf("raw_first_us=%lld\n", static_cast<long long>(timed(first)));
    std::printf("raw_repeat_us=%lld\n", static_cast<long long>(timed(repeat)));
    if (delay == 0) {
        std::printf("raw_sequential_us=%lld\n", static_cast<long long>(timeSession(host, port, sequential, 1)));
    }
    std::printf("READY\n");
    std::fflush(stdout);
    // Asked again on demand ("first" / "repeat"), so that each of the program's checks can be
    // set beside a bare session timed just before it; anything else ends the helper.
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "first") {
            std::printf("raw_first_us=%lld\n", static_cast<long long>(timed(first)));
        } else if (line == "repeat") {
            std::printf("raw_repeat_us=%lld\n", static_cast<long long>(timed(repeat)));
        } else {
            break;
        }
        std::fflush(stdout);
    }
    return 0;
}
