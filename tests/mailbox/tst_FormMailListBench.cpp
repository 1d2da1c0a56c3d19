#include "core/EAbort.h"
#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TFakeMailHost.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// Check speed against a bare client sending the same commands, on a local Dovecot.
// Runs only with MAILVANE_BENCH=1; prints its figures.
class tst_FormMailListBench : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void checkTime_data();
    void checkTime();

private:
    double bareClient(int count);
    QString m_skip;
};

namespace {

QByteArray readReply(QTcpSocket& socket, QByteArray& buffer, bool multiLine)
{
    for (;;) {
        const int line = buffer.indexOf("\r\n");
        if (line >= 0 && (!multiLine || !buffer.startsWith('+'))) {
            const QByteArray r = buffer.left(line + 2);
            buffer.remove(0, line + 2);
            return r;
        }
        if (line >= 0) {
            const int end = buffer.indexOf("\r\n.\r\n");
            if (end >= 0) {
                const QByteArray r = buffer.left(end + 5);
                buffer.remove(0, end + 5);
                return r;
            }
        }
        if (!socket.waitForReadyRead(10000)) {
            return {};
        }
        buffer += socket.readAll();
    }
}

} // namespace

void tst_FormMailListBench::initTestCase()
{
    if (qgetenv("MAILVANE_BENCH") != "1") {
        m_skip = QStringLiteral("set MAILVANE_BENCH=1 to run the check benchmark");
    } else {
        TDovecot::Available(&m_skip);
    }
}

void tst_FormMailListBench::checkTime_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("100") << 100;
    QTest::newRow("1000") << 1000;
    QTest::newRow("5000") << 5000;
}

double tst_FormMailListBench::bareClient(int count)
{
    QTcpSocket socket;
    QByteArray buffer;
    QElapsedTimer t;
    t.start();
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(qEnvironmentVariableIntValue("MV_BENCH_PORT")));
    if (!socket.waitForConnected(5000)) {
        return -1;
    }
    readReply(socket, buffer, false);
    auto send = [&](const QByteArray& command, bool multi) {
        socket.write(command + "\r\n");
        socket.flush();
        return readReply(socket, buffer, multi);
    };
    send("USER mvuser", false);
    send("PASS secret", false);
    send("STAT", false);
    for (int n = 1; n <= count; ++n) {
        send("LIST " + QByteArray::number(n), false);
        send("Top " + QByteArray::number(n) + " 1", true);
    }
    send("QUIT", false);
    socket.disconnectFromHost();
    return t.elapsed();
}

void tst_FormMailListBench::checkTime()
{
    if (!m_skip.isEmpty()) {
        QSKIP(qPrintable(m_skip));
    }
    QFETCH(int, count);
    TDovecot server;
    QString error;
    QVERIFY2(server.Start(&error), qPrintable(error));
    for (int i = 1; i <= count; ++i) {
        server.AddMessage(TDovecot::MakeMessage("<m" + QByteArray::number(i) + "@bench>", "Sender <s@bench>",
                                                "Subject number " + QByteArray::number(i), QByteArray(400, 'b')));
    }
    qputenv("MV_BENCH_PORT", QByteArray::number(server.Port()));
    // The first login builds the server's index; keep it out of both timings.
    QVERIFY(bareClient(0) >= 0);

    const double bare = bareClient(count);
    QVERIFY(bare >= 0);

    QTemporaryDir dir;
    TFakeMailHost host;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(host.Path);
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Login"), server.User());
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Password"), server.Password());
    TFormMailList form(&host);
    form.setWindowTitle(QStringLiteral("Box"));
    ini.WriteString(QStringLiteral("Box"), QStringLiteral("Port"), QString::number(server.Port()));

    QElapsedTimer ticks;
    qint64 last = 0;
    qint64 longestGap = 0;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = ticks.elapsed();
        longestGap = qMax(longestGap, now - last);
        last = now;
    });

    QElapsedTimer t;
    timer.start();
    ticks.start();
    t.start();
    try {
        form.Check();
    } catch (const EAbort&) {
        QFAIL(qPrintable(host.LastMessage()));
    }
    const double first = t.elapsed();
    longestGap = qMax(longestGap, ticks.elapsed() - last);
    timer.stop();

    for (int r = 1; r <= form.MessageRows(); ++r) {
        form.SetMarker(r, QString());
    }
    t.restart();
    form.Check();
    const double second = t.elapsed();

    QCOMPARE(form.MessageRows(), count);
    qInfo("%5d messages: bare client %6.0f ms | Mailvane first check %6.0f ms (%.2fx), second %6.0f ms (%.2fx) | "
          "longest timer gap %lld ms",
          count, bare, first, first / bare, second, second / bare, longestGap);
}

QTEST_MAIN(tst_FormMailListBench)
#include "tst_FormMailListBench.moc"
