// A check of 1,000 messages over TLS against the same check in plaintext, one Dovecot on
// loopback serving both listeners. Prints the times and fails when TLS takes over 1.5x.
#include "core/EAbort.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TPop3Session.h"
#include "net/TSecureSockets.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TTestCertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const QString kName = QStringLiteral("Bench");

// Milliseconds of one check, -1 when it failed or listed the wrong count.
qint64 timedCheck(const QString& security, int port, int expected)
{
    QTemporaryDir dir;
    TRecordingSessionHost host;
    host.Name = kName;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TIniFile ini(host.Path);
        ini.WriteString(kName, QStringLiteral("Host"), QStringLiteral("localhost"));
        ini.WriteString(kName, QStringLiteral("Login"), QStringLiteral("mvuser"));
        ini.WriteString(kName, QStringLiteral("Password"), QStringLiteral("secret"));
        ini.WriteString(kName, QStringLiteral("Security"), security);
        ini.WriteString(kName, QStringLiteral("Port"), QString::number(port));
        ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("30"));
    }
    TSockets plain;
    TSecureSockets transport(plain);
    TMailListModel list;
    TPop3Session session(transport, list, host);
    QElapsedTimer clock;
    clock.start();
    try {
        session.Check(false);
    } catch (const EAbort&) {
        std::fprintf(stderr, "%s check failed: %s\n", qPrintable(security), qPrintable(host.Messages.join(u'|')));
        return -1;
    }
    const qint64 ms = clock.elapsed();
    return list.Count() == expected ? ms : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString why;
    if (!TDovecot::Available(&why)) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }
    TTestCertificates pki;
    QString error;
    if (!pki.Make(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    TSecureSockets::SetExtraCaCertificates(QSslCertificate::fromPath(pki.Ca()));
    TDovecot server;
    server.SetSsl(TDovecot::TSsl::On, pki.Cert(QStringLiteral("server")), pki.Key(QStringLiteral("server")));
    if (!server.Start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    constexpr int kMessages = 1000;
    for (int n = 1; n <= kMessages; ++n) {
        const QByteArray id = "<" + QByteArray::number(n) + "@bench>";
        server.AddMessage(TDovecot::MakeMessage(id, "Sender <s@bench>", "Subject " + QByteArray::number(n),
                                                QByteArray("Body line.\n").repeated(20)));
    }
    // The first login builds the server's index: not part of either figure.
    if (timedCheck(QStringLiteral("None"), server.Port(), kMessages) < 0) {
        return 1;
    }
    // Alternating runs, best of five each, so that both see the same machine load.
    qint64 best[2] = {-1, -1};
    for (int round = 0; round < 5; ++round) {
        const qint64 plainMs = timedCheck(QStringLiteral("None"), server.Port(), kMessages);
        const qint64 tlsMs = timedCheck(QStringLiteral("TLS"), server.TlsPort(), kMessages);
        if (plainMs < 0 || tlsMs < 0) {
            return 1;
        }
        best[0] = best[0] < 0 ? plainMs : qMin(best[0], plainMs);
        best[1] = best[1] < 0 ? tlsMs : qMin(best[1], tlsMs);
    }
    const double ratio = double(best[1]) / double(qMax<qint64>(1, best[0]));
    std::printf("check of %d messages: plaintext %lld ms, TLS %lld ms, ratio %.2f (limit 1.50)\n", kMessages,
                static_cast<long long>(best[0]), static_cast<long long>(best[1]), ratio);
    return ratio <= 1.5 ? 0 : 2;
}
