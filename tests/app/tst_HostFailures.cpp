#include "app/TFormMain.h"
#include "mailbox/TFormMailList.h"
#include "mailbox/TMailSession.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "testsupport/TScriptServer.h"
#include "widgets/TModal.h"

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

// Servers that cannot be found or that answer too slowly end a check like any other
// session failure: red light, a report naming the mailbox, and the next check runs.
class tst_HostFailures : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void unresolvableHost();
    void dribblingServerHitsTheSessionLimit();

private:
    void start(const QString& host);

    QTemporaryDir* m_dir = nullptr;
    TFormMain* m_main = nullptr;
    QStringList m_messages;
    QStringList m_boxes;
};

void tst_HostFailures::init()
{
    m_dir = new QTemporaryDir;
    m_messages.clear();
    m_boxes.clear();
    TModal::SetHook([this](QDialog* d) {
        QString text;
        for (QLabel* l : d->findChildren<QLabel*>()) {
            text += l->text() + QLatin1Char('|');
        }
        for (QPlainTextEdit* e : d->findChildren<QPlainTextEdit*>()) {
            text += e->toPlainText() + QLatin1Char('|');
        }
        m_messages << text;
        d->accept();
    });
    TSockets::SetMessageBox(
        [this](const QString& text, const QString& caption) { m_boxes << caption + QLatin1Char('|') + text; });
}

void tst_HostFailures::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TSockets::SetLookup({});
    TSockets::SetMessageBox({});
    TMailSession::SetSocketsHook({});
    TModal::SetHook({});
    delete m_dir;
}

void tst_HostFailures::start(const QString& host)
{
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    TIniFile f(ini);
    f.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
    f.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("1"));
    f.WriteString(QStringLiteral("Server"), QStringLiteral("0"), QStringLiteral("M0"));
    f.WriteString(QStringLiteral("M0"), QStringLiteral("Host"), host);
    f.WriteString(QStringLiteral("M0"), QStringLiteral("Login"), QStringLiteral("user"));
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    m_main->MailboxWindows().at(0)->SetPassword(QStringLiteral("pass"));
}

void tst_HostFailures::unresolvableHost()
{
    QStringList asked;
    TSockets::SetLookup([&asked](const QString& name, quint32&) {
        asked << name;
        return 11001;
    });
    start(QStringLiteral("mail.example.invalid"));
    for (int pass = 1; pass <= 2; ++pass) {
        m_main->MenuCheck->trigger();
        QCOMPARE(asked.size(), pass);
        QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
        QVERIFY(!m_main->Busy());
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(QLatin1Char('\n'))));
        QCOMPARE(m_messages.size(), pass);
        const QString report = m_messages.last();
        QVERIFY2(report.contains(QStringLiteral("主機 : M0")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Error: 11001")), qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral("Host not found")), qPrintable(report));
    }
    QCOMPARE(asked.first(), QStringLiteral("mail.example.invalid"));
}

void tst_HostFailures::dribblingServerHitsTheSessionLimit()
{
    TScriptServer server;
    server.sendChunked("+OK a greeting sent one byte at a time\r\n", 1, 250);
    // The whole session may take two seconds.
    TMailSession::SetSocketsHook([](TSockets& plain) { plain.SessionTimeout = 2; });
    start(QStringLiteral("127.0.0.1"));
    TIniFile(m_dir->filePath(QStringLiteral("Mailvane.ini")))
        .WriteString(QStringLiteral("M0"), QStringLiteral("Port"), QString::number(server.port()));
    QElapsedTimer clock;
    clock.start();
    m_main->MenuCheck->trigger();
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(QStringLiteral("Error: 10060")), qPrintable(m_messages.first()));
    QVERIFY2(m_messages.first().contains(QStringLiteral("Blocking call timed out")), qPrintable(m_messages.first()));
    QCOMPARE(server.received(), QStringList());
}

QTEST_MAIN(tst_HostFailures)
#include "tst_HostFailures.moc"
