// Times checks of an IMAP mailbox through the session the program uses: a private Dovecot
// holding <count> messages behind a relay that delays each direction by <delay> ms.
//   bench_ImapCheck [count=1000] [delay ms each way=50]
// Prints "first_ms=", "repeat_ms=" (a check with nothing new) and "rows=".
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
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const int delay = argc > 2 ? QByteArray(argv[2]).toInt() : 50;
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
    auto check = [&](const QString& port) {
        TIniFile(host.Path).WriteString(host.Name, QStringLiteral("Port"), port);
        QElapsedTimer clock;
        clock.start();
        try {
            session->Check(false);
        } catch (const EAbort&) {
            std::fprintf(stderr, "check failed: %s\n", qPrintable(host.LastFailure.Message));
        }
        session->Unwound();
        return clock.elapsed();
    };
    // Dovecot builds its index at the first login: not part of the figures.
    check(QString::number(server.ImapPort()));
    QFile::remove(
        TUidlCache::PathFor(host.Path, TUidlCache::Key(host.Name, QStringLiteral("127.0.0.1"), server.User())));
    TUidlCache::WaitForSaves();
    QFile::remove(
        TUidlCache::PathFor(host.Path, TUidlCache::Key(host.Name, QStringLiteral("127.0.0.1"), server.User())));
    const QString relayed = QString::number(proxy.Port());
    const qint64 first = check(relayed);
    TUidlCache::WaitForSaves();
    const qint64 repeat = check(relayed);
    std::printf("first_ms=%lld\nrepeat_ms=%lld\nrows=%d\n", first, repeat, list.Count());
    TUidlCache::WaitForSaves();
    return 0;
}
