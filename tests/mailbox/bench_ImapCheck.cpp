// Times checks of an IMAP mailbox through the session the program uses: a private Dovecot
// holding <count> messages behind a relay that delays each direction by <delay> ms. Then,
// straight to the server on loopback, <runs> rounds of the session's check against a bare
// client that sends the commands the session sent (recorded by a relay without delay) and
// reads nothing but the tagged ends.
//   bench_ImapCheck [count=1000] [delay ms each way=50] [runs=7]
// Prints "first_ms=", "repeat_ms=" (a check with nothing new), "rows=", then the medians
// "loop_first_us=", "bare_first_us=", "ratio_first=", the processor time of this thread
// "loop_first_cpu_us=", "bare_first_cpu_us=", and the same for "repeat".
#include "core/EAbort.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMailSession.h"
#include "mailbox/TUidlCache.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "testsupport/TDelayProxy.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TRecordingSessionHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// The session's commands in the writes it makes: ID goes with the next command, the listing's
// FETCH with EXAMINE. Empty when the recording holds anything but one tagged line each.
QList<QList<QByteArray>> writesOf(const QByteArray& recorded)
{
    QList<QList<QByteArray>> writes;
    QList<QByteArray> lines = recorded.split('\n');
    if (lines.isEmpty() || !lines.takeLast().isEmpty()) {
        return {};
    }
    bool joinNext = false;
    for (const QByteArray& line : std::as_const(lines)) {
        const QList<QByteArray> words = line.split(' ');
        if (!line.endsWith('\r') || words.size() < 2 || !line.startsWith('A')) {
            return {};
        }
        const QByteArray verb = words.at(1).toUpper();
        const bool fetch = verb == "FETCH" || (verb == "UID" && words.value(2).toUpper() == "FETCH");
        const bool behindOpen =
            fetch && !writes.isEmpty() && writes.last().constLast().split(' ').value(1).toUpper() == "EXAMINE";
        if ((joinNext || behindOpen) && !writes.isEmpty()) {
            writes.last().append(line + '\n');
        } else {
            writes.append({line + '\n'});
        }
        joinNext = verb == "ID";
    }
    return writes;
}

// Sends each write and reads up to the tagged reply of its last command, nothing more.
qint64 bareCheck(quint16 port, const QList<QList<QByteArray>>& writes)
{
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) {
        return -1;
    }
    QByteArray buffer;
    auto readUntil = [&](const QByteArray& start) {
        qsizetype from = 0;
        for (;;) {
            qsizetype at = buffer.startsWith(start) ? 0 : buffer.indexOf("\r\n" + start, from);
            if (at >= 0) {
                const qsizetype eol = buffer.indexOf("\r\n", at == 0 ? 0 : at + 2);
                if (eol >= 0) {
                    buffer.remove(0, eol + 2);
                    return true;
                }
            } else {
                from = std::max<qsizetype>(0, buffer.size() - start.size() - 2);
            }
            if (!socket.waitForReadyRead(30000)) {
                return false;
            }
            buffer += socket.readAll();
        }
    };
    if (!readUntil("* OK")) {
        return -1;
    }
    for (const QList<QByteArray>& write : writes) {
        socket.write(write.join());
        const QByteArray last = write.constLast();
        if (!readUntil(last.left(last.indexOf(' ') + 1))) {
            return -1;
        }
    }
    return clock.nsecsElapsed() / 1000;
}

// Processor time of this thread so far, in microseconds.
qint64 threadCpuUs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int delay = argc > 2 ? QByteArray(argv[2]).toInt() : 50;
    const int runs = argc > 3 ? QByteArray(argv[3]).toInt() : 7;
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    TDovecot server;
    server.SetImap(true);
    QString error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    for (int n = 1; n <= count; ++n) {
        const QByteArray k = QByteArray::number(n);
        server.AddMessage(TDovecot::MakeMessage("<" + k + "@bench>", "s" + k + "@bench", "Subject " + k));
    }
    TDelayProxy proxy(quint16(server.ImapPort()), delay);
    if (!proxy.Start()) {
        return 1;
    }
    QTemporaryDir dir;
    TRecordingSessionHost host;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TIniFile ini(host.Path);
        ini.WriteString(host.Name, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(host.Name, QStringLiteral("Login"), server.User());
        ini.WriteString(host.Name, QStringLiteral("Password"), server.Password());
        ini.WriteString(host.Name, QStringLiteral("Protocol"), QStringLiteral("IMAP"));
        ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("30"));
    }
    TMailListModel list;
    const std::unique_ptr<TMailSession> session = TMailSession::Create(TAccount(), list, host);
    bool failed = false;
    auto checkUs = [&](const QString& port) {
        TIniFile(host.Path).WriteString(host.Name, QStringLiteral("Port"), port);
        QElapsedTimer clock;
        clock.start();
        try {
            session->Check(false);
        } catch (const EAbort&) {
            std::fprintf(stderr, "check failed: %s\n", qPrintable(host.LastFailure.Message));
            failed = true;
        }
        session->Unwound();
        return clock.nsecsElapsed() / 1000;
    };
    auto check = [&](const QString& port) { return checkUs(port) / 1000; };
    const QString cachePath =
        TUidlCache::PathFor(host.Path, TUidlCache::Key(host.Name, QStringLiteral("127.0.0.1"), server.User()));
    // Dovecot builds its index at the first login: not part of the figures.
    check(QString::number(server.ImapPort()));
    QFile::remove(cachePath);
    TUidlCache::WaitForSaves();
    QFile::remove(cachePath);
    const QString relayed = QString::number(proxy.Port());
    const qint64 first = check(relayed);
    TUidlCache::WaitForSaves();
    const qint64 repeat = check(relayed);
    std::printf("first_ms=%lld\nrepeat_ms=%lld\nrows=%d\n", first, repeat, list.Count());
    std::fflush(stdout);
    TUidlCache::WaitForSaves();
    if (runs <= 0) {
        return failed ? 1 : 0;
    }

    // What the session sends, first without a header cache and then with nothing new.
    QList<QList<QByteArray>> writes[2];
    for (int kind = 0; kind < 2; ++kind) {
        if (kind == 0) {
            QFile::remove(cachePath);
        }
        TDelayProxy recorder(quint16(server.ImapPort()), 0);
        if (!recorder.Start()) {
            return 1;
        }
        check(QString::number(recorder.Port()));
        TUidlCache::WaitForSaves();
        writes[kind] = writesOf(recorder.ClientBytes());
        if (writes[kind].isEmpty() || recorder.Connections() != 1) {
            std::fprintf(stderr, "cannot read the recorded commands:\n%s\n", recorder.ClientBytes().constData());
            return 1;
        }
    }
    const QString direct = QString::number(server.ImapPort());
    QList<qint64> sessionUs[2];
    QList<qint64> bareUs[2];
    QList<qint64> sessionCpuUs[2];
    QList<qint64> bareCpuUs[2];
    for (int run = 0; run < runs; ++run) {
        for (int kind = 0; kind < 2; ++kind) {
            if (kind == 0) {
                QFile::remove(cachePath);
            }
            qint64 cpu = threadCpuUs();
            bareUs[kind].append(bareCheck(quint16(server.ImapPort()), writes[kind]));
            bareCpuUs[kind].append(threadCpuUs() - cpu);
            cpu = threadCpuUs();
            sessionUs[kind].append(checkUs(direct));
            sessionCpuUs[kind].append(threadCpuUs() - cpu);
            TUidlCache::WaitForSaves();
            if (bareUs[kind].constLast() < 0 || list.Count() != count) {
                std::fprintf(stderr, "a loopback run failed (%d rows)\n", list.Count());
                return 1;
            }
        }
    }
    const char* names[2] = {"first", "repeat"};
    for (int kind = 0; kind < 2; ++kind) {
        const qint64 own = median(sessionUs[kind]);
        const qint64 bare = median(bareUs[kind]);
        std::printf("loop_%s_us=%lld\nbare_%s_us=%lld\nratio_%s=%.2f\n", names[kind], own, names[kind], bare,
                    names[kind], double(own) / double(bare));
        std::printf("loop_%s_cpu_us=%lld\nbare_%s_cpu_us=%lld\n", names[kind], median(sessionCpuUs[kind]), names[kind],
                    median(bareCpuUs[kind]));
    }
    return failed ? 1 : 0;
}
