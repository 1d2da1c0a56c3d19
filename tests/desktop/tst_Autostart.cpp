#include "desktop/TAutostart.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class tst_Autostart : public QObject {
    Q_OBJECT

private slots:
    void switchesTheEntryOnAndOff();
    void execLineQuotesThePath_data();
    void execLineQuotesThePath();
    void unwritableFolderIsReported();
};

namespace {

QString execLine(const QByteArray& entry)
{
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec=")) {
            return QString::fromUtf8(line.mid(5));
        }
    }
    return {};
}

// desktop-file-validate's verdict on the entry, or an empty string when it is not installed.
QString validate(const QString& path)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty()) {
        return {};
    }
    QProcess p;
    p.start(tool, {path});
    p.waitForFinished(10000);
    return p.exitCode() == 0 ? QStringLiteral("ok")
                             : QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

} // namespace

void tst_Autostart::switchesTheEntryOnAndOff()
{
    QTemporaryDir config;
    const QString entry = config.filePath(QStringLiteral("autostart/mailvane.desktop"));
    QCOMPARE(TAutostart::EntryPath(config.path()), entry);
    QVERIFY(!TAutostart::IsEnabled(config.path()));
    // Off while already off: nothing to do, no error.
    QVERIFY(TAutostart::SetEnabled(config.path(), false, QStringLiteral("/usr/bin/mailvane")));

    QVERIFY(TAutostart::SetEnabled(config.path(), true, QStringLiteral("/usr/bin/mailvane")));
    QVERIFY(TAutostart::IsEnabled(config.path()));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(execLine(file.readAll()), QStringLiteral("/usr/bin/mailvane"));
    const QString verdict = validate(entry);
    QVERIFY2(verdict.isEmpty() || verdict == QLatin1String("ok"), qPrintable(verdict));

    // Other programs' entries in the folder are left alone.
    QFile other(config.filePath(QStringLiteral("autostart/other.desktop")));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    QVERIFY(TAutostart::SetEnabled(config.path(), false, QStringLiteral("/usr/bin/mailvane")));
    QVERIFY(!QFile::exists(entry));
    QVERIFY(QFile::exists(other.fileName()));
}

void tst_Autostart::execLineQuotesThePath_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");

    QTest::newRow("plain") << QStringLiteral("/usr/local/bin/mailvane") << QStringLiteral("/usr/local/bin/mailvane");
    QTest::newRow("blank") << QStringLiteral("/opt/My Apps/mailvane") << QStringLiteral("\"/opt/My Apps/mailvane\"");
    QTest::newRow("quote and dollar") << QStringLiteral("/opt/a\"b$c/mailvane")
                                      << QStringLiteral("\"/opt/a\\\\\"b\\\\$c/mailvane\"");
    QTest::newRow("percent") << QStringLiteral("/opt/100%/mailvane") << QStringLiteral("/opt/100%%/mailvane");
    QTest::newRow("Chinese folder") << QStringLiteral("/home/明/程式/mailvane")
                                    << QStringLiteral("/home/明/程式/mailvane");
}

void tst_Autostart::execLineQuotesThePath()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(execLine(TAutostart::Entry(program)), exec);

    QTemporaryDir config;
    QVERIFY(TAutostart::SetEnabled(config.path(), true, program));
    const QString verdict = validate(TAutostart::EntryPath(config.path()));
    QVERIFY2(verdict.isEmpty() || verdict == QLatin1String("ok"), qPrintable(verdict));
}

void tst_Autostart::unwritableFolderIsReported()
{
    // A file where the folder belongs: refused whoever runs the test.
    QTemporaryDir config;
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(!TAutostart::SetEnabled(config.path(), true, QStringLiteral("/usr/bin/mailvane")));
    QVERIFY(!TAutostart::IsEnabled(config.path()));
}

QTEST_GUILESS_MAIN(tst_Autostart)
#include "tst_Autostart.moc"
