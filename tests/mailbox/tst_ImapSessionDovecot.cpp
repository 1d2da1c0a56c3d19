#include "core/EAbort.h"
#include "mailbox/TConnectionTest.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMailSession.h"
#include "mailbox/TSeenIds.h"
#include "mailbox/TUidlCache.h"
#include "net/TSecureSockets.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "testsupport/TDovecot.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TTestCertificates.h"

#include <QSslCertificate>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const QString kName = QStringLiteral("Imap");

QByteArray message(int n)
{
    const QByteArray k = QByteArray::number(n);
    return TDovecot::MakeMessage("<m" + k + "@test>", "sender" + k + "@test", "Subject " + k, "Body of " + k + ".");
}

} // namespace

// IMAP mailboxes against a private Dovecot, through the factory's session over the
// program's own sockets, as a mailbox window drives it.
class tst_ImapSessionDovecot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newAndSeenAcrossChecksRestartsAndPop3();
    void deletionRemovesOnlyTheMarked();
    void validityChangeAnnouncesNothingTwice();
    void viewingChangesNoFlag();
    void encryption_data();
    void encryption();
    void connectionTest_data();
    void connectionTest();

private:
    bool start(TDovecot::TSsl ssl = TDovecot::TSsl::Off);
    void write(const QString& key, const QString& value) { TIniFile(m_host->Path).WriteString(kName, key, value); }
    // A check through a session made as a new mailbox window makes it when fresh.
    bool check(bool fresh = false);
    QList<QByteArray> listedIds() const;

    TTestCertificates m_pki;
    std::unique_ptr<TDovecot> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TRecordingSessionHost> m_host;
    std::unique_ptr<TMailListModel> m_list;
    std::unique_ptr<TMailSession> m_session;
};

void tst_ImapSessionDovecot::initTestCase()
{
    QString error;
    QVERIFY2(m_pki.Make(&error), qPrintable(error));
}

void tst_ImapSessionDovecot::init()
{
    QString why;
    if (!TDovecot::ImapAvailable(&why)) {
        QSKIP(qPrintable(why));
    }
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = std::make_unique<TRecordingSessionHost>();
    m_host->Name = kName;
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_list = std::make_unique<TMailListModel>();
}

void tst_ImapSessionDovecot::cleanup()
{
    m_session.reset();
    m_server.reset();
    TUidlCache::WaitForSaves();
    TSecureSockets::SetExtraCaCertificates({});
}

bool tst_ImapSessionDovecot::start(TDovecot::TSsl ssl)
{
    m_server = std::make_unique<TDovecot>();
    m_server->SetImap(true);
    if (ssl != TDovecot::TSsl::Off) {
        m_server->SetSsl(ssl, m_pki.Cert(QStringLiteral("selfsigned")), m_pki.Key(QStringLiteral("selfsigned")));
    }
    QString error;
    if (!m_server->Start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    TIniFile ini(m_host->Path);
    ini.WriteString(kName, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
    ini.WriteString(kName, QStringLiteral("Login"), m_server->User());
    ini.WriteString(kName, QStringLiteral("Password"), m_server->Password());
    ini.WriteString(kName, QStringLiteral("Protocol"), QStringLiteral("IMAP"));
    ini.WriteString(kName, QStringLiteral("Port"), QString::number(m_server->ImapPort()));
    ini.WriteString(QStringLiteral("General"), QStringLiteral("Timeout"), QStringLiteral("10"));
    return true;
}

bool tst_ImapSessionDovecot::check(bool fresh)
{
    if (fresh || !m_session) {
        m_session.reset();
        m_list = std::make_unique<TMailListModel>();
        m_session = TMailSession::Create(TAccount(), *m_list, *m_host);
    }
    m_host->Events.clear();
    bool ok = false;
    try {
        m_session->Check(false);
        ok = true;
    } catch (const EAbort&) {
    }
    m_session->Unwound();
    return ok;
}

QList<QByteArray> tst_ImapSessionDovecot::listedIds() const
{
    QList<QByteArray> ids;
    for (int row = 1; row <= m_list->Count(); ++row) {
        ids.append(m_list->Id(row));
    }
    return ids;
}

void tst_ImapSessionDovecot::newAndSeenAcrossChecksRestartsAndPop3()
{
    QVERIFY(start());
    m_server->AddMessage(message(1));
    m_server->AddMessage(message(2));
    // The mailbox was a POP3 one until now.
    write(QStringLiteral("Protocol"), QStringLiteral("POP3"));
    write(QStringLiteral("Port"), QString::number(m_server->Port()));
    QVERIFY(check(true));
    QCOMPARE(m_host->EventsOf(QStringLiteral("new:1")).size(), 2);

    write(QStringLiteral("Protocol"), QStringLiteral("IMAP"));
    write(QStringLiteral("Port"), QString::number(m_server->ImapPort()));
    m_server->AddMessage(message(3));
    QVERIFY2(check(true), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(listedIds(), (QList<QByteArray>{"<m1@test>", "<m2@test>", "<m3@test>"}));
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), QStringList{QStringLiteral("new:1")});
    QCOMPARE(m_list->Row(3).Subject, QStringLiteral("Subject 3"));
    QCOMPARE(m_list->Row(3).From, QStringLiteral("sender3@test"));
    QVERIFY(m_list->Row(3).Size.toInt() > 0);
    QCOMPARE(m_host->EventsOf(QStringLiteral("connected")), QStringList{QStringLiteral("connected:0")});

    // Again in the same window: the unviewed new row stays new but is not announced again.
    m_server->AddMessage(message(4));
    QVERIFY(check());
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), (QStringList{QStringLiteral("new:0"), QStringLiteral("new:1")}));
    QCOMPARE(m_list->Mark(3), TMark::New);
    QCOMPARE(m_list->Mark(4), TMark::New);

    // A restart: nothing seen before is new, and the header cache gives the rows.
    QVERIFY(check(true));
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), QStringList());
    QCOMPARE(m_list->Row(4).Subject, QStringLiteral("Subject 4"));
    TSeenIds seen;
    seen.Load(TIniFile(m_host->Path), kName);
    QCOMPARE(seen.Ids(), listedIds());
}

void tst_ImapSessionDovecot::deletionRemovesOnlyTheMarked()
{
    QVERIFY(start());
    for (int n = 1; n <= 4; ++n) {
        m_server->AddMessage(message(n));
    }
    QVERIFY(check(true));
    m_list->SetMark(2, TMark::Delete);
    // Another client flagged message 3 and has not expunged it yet.
    QVERIFY(m_server->SetFlag(3, "\\Deleted"));
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_server->StoredIds(), (QList<QByteArray>{"<m1@test>", "<m3@test>", "<m4@test>"}));
    QCOMPARE(listedIds(), m_server->StoredIds());
    QVERIFY(m_server->Flags(3).contains("\\Deleted"));
    QCOMPARE(m_host->EventsOf(QStringLiteral("notice")), QStringList());
}

void tst_ImapSessionDovecot::validityChangeAnnouncesNothingTwice()
{
    QVERIFY(start());
    for (int n = 1; n <= 4; ++n) {
        m_server->AddMessage(message(n));
    }
    QVERIFY(check(true));
    m_list->SetMark(1, TMark::Delete);
    QVERIFY(check());
    QCOMPARE(listedIds(), (QList<QByteArray>{"<m2@test>", "<m3@test>", "<m4@test>"}));
    const quint32 before = m_server->UidValidity();
    // Marked as UID 2; once the folder is made again, UID 2 is message 3.
    m_list->SetMark(1, TMark::Delete);
    QVERIFY(m_server->RecreateInbox());
    QVERIFY(m_server->UidValidity() != before);
    QVERIFY2(check(), qPrintable(m_host->LastFailure.Message));
    QCOMPARE(m_server->StoredIds(), (QList<QByteArray>{"<m3@test>", "<m4@test>"}));
    QCOMPARE(m_host->EventsOf(QStringLiteral("new:1")), QStringList());
    QCOMPARE(listedIds(), m_server->StoredIds());

    QVERIFY(check(true));
    QCOMPARE(m_host->EventsOf(QStringLiteral("new")), QStringList());
}

void tst_ImapSessionDovecot::viewingChangesNoFlag()
{
    QVERIFY(start());
    m_server->AddMessage(message(1));
    m_server->AddMessage(message(2));
    QVERIFY(check(true));
    TMailSession::TRetrieval got;
    try {
        got = m_session->Retrieve(2, TAccount::ReadableViewLimit);
    } catch (const EAbort&) {
        QFAIL(qPrintable(m_host->LastFailure.Message));
    }
    m_session->Unwound();
    QVERIFY(!got.Moved);
    QVERIFY(got.Message.startsWith("+OK"));
    QVERIFY(got.Message.contains("Body of 2."));
    QVERIFY(got.Whole.contains("Subject: Subject 2"));
    QVERIFY(got.Body.startsWith("Body of 2."));
    QVERIFY(!m_server->Flags(2).contains("\\Seen"));
    QVERIFY(!m_server->Flags(1).contains("\\Seen"));
}

void tst_ImapSessionDovecot::encryption_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("implicit");
    QTest::addColumn<bool>("rightPin");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("TLS, pinned") << "TLS" << true << true << "connected:1";
    QTest::newRow("STARTTLS, pinned") << "STARTTLS" << false << true << "connected:1";
    QTest::newRow("TLS, another pin") << "TLS" << true << false << "failed:security:0";
    QTest::newRow("STARTTLS, another pin") << "STARTTLS" << false << false << "failed:security:0";
}

void tst_ImapSessionDovecot::encryption()
{
    QFETCH(QString, security);
    QFETCH(bool, implicit);
    QFETCH(bool, rightPin);
    QFETCH(QString, outcome);
    QVERIFY(start(TDovecot::TSsl::Required));
    m_server->AddMessage(message(1));
    const QString cert = m_pki.Cert(rightPin ? QStringLiteral("selfsigned") : QStringLiteral("server"));
    write(QStringLiteral("Security"), security);
    write(QStringLiteral("Port"), QString::number(implicit ? m_server->ImapsPort() : m_server->ImapPort()));
    write(QStringLiteral("CertSha256"), TTestCertificates::Fingerprint(cert));
    const bool ok = check(true);
    QCOMPARE(ok, rightPin);
    QCOMPARE(m_host->EventsOf(outcome.section(QLatin1Char(':'), 0, 0)), QStringList{outcome});
    if (ok) {
        QCOMPARE(listedIds(), QList<QByteArray>{"<m1@test>"});
        QVERIFY(m_server->LogText().contains(QStringLiteral("TLS")));
    }
}

void tst_ImapSessionDovecot::connectionTest_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::newRow("STARTTLS, pinned") << "STARTTLS"
                                      << "secret"
                                      << "" << true << "伺服器支援 IDLE";
    QTest::newRow("TLS, pinned") << "TLS"
                                 << "secret"
                                 << "INBOX" << true << "已透過加密連線登入";
    QTest::newRow("wrong password") << "TLS"
                                    << "wrong"
                                    << "" << false << "AUTHENTICATIONFAILED";
    QTest::newRow("no such folder") << "TLS"
                                    << "secret"
                                    << "Nowhere" << false << "接收資料錯誤";
}

void tst_ImapSessionDovecot::connectionTest()
{
    QFETCH(QString, security);
    QFETCH(QString, password);
    QFETCH(QString, folder);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QVERIFY(start(TDovecot::TSsl::Required));
    TConnectionParams params;
    params.Host = QStringLiteral("127.0.0.1");
    params.Protocol = QStringLiteral("IMAP");
    params.Security = security;
    // An empty port is IMAP's own: only the test server's ports differ.
    params.Port = QString::number(security == QLatin1String("TLS") ? m_server->ImapsPort() : m_server->ImapPort());
    params.Login = m_server->User();
    params.Password = password;
    params.Folder = folder;
    params.CertSha256 = TTestCertificates::Fingerprint(m_pki.Cert(QStringLiteral("selfsigned")));
    params.Timeout = 10;
    const TConnectionTestResult result = TConnectionTest::Run(params);
    QCOMPARE(result.Ok, ok);
    QVERIFY2(result.Message.contains(message), qPrintable(result.Message));
    QCOMPARE(result.Idle, ok);
    QVERIFY(result.Encrypted == ok);
}

QTEST_GUILESS_MAIN(tst_ImapSessionDovecot)
#include "tst_ImapSessionDovecot.moc"
