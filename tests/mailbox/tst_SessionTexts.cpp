#include "core/EAbort.h"
#include "mailbox/TMailListModel.h"
#include "mailbox/TMimeMessage.h"
#include "mailbox/TPop3Session.h"
#include "mailbox/TSessionTexts.h"
#include "settings/TIniFile.h"
#include "testsupport/TEnglishCatalogue.h"
#include "testsupport/TRecordingSessionHost.h"
#include "testsupport/TScriptTransport.h"

#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <memory>

using TEnglishCatalogue::HasCjk;

namespace {

const QString kName = QStringLiteral("Box");

} // namespace

class tst_SessionTexts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void failedCheckReadsEnglish_data();
    void failedCheckReadsEnglish();
    void everyTextReadsEnglish();
    void countsTakeTheirPluralForm();
    void readableViewReadsEnglish();
    void chineseStaysAsItWas();

private:
    QTemporaryDir m_qm;
    QTranslator m_english;
};

void tst_SessionTexts::initTestCase()
{
    const QString why = TEnglishCatalogue::Install(m_english, m_qm);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void tst_SessionTexts::init()
{
    QCoreApplication::installTranslator(&m_english);
}

void tst_SessionTexts::failedCheckReadsEnglish_data()
{
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("password refused") << QByteArray("-ERR no\r\n") << false
                                      << QStringLiteral("Wrong user name or password!\n")
                                      << QStringLiteral("Connection aborted!");
    QTest::newRow("closed at the password") << QByteArray() << true << QStringLiteral("Wrong user name or password!\n")
                                            << QStringLiteral("Connection aborted!");
}

// A check that fails at the login, through a POP3 session: what the mailbox window and the
// message window would show reads in English.
void tst_SessionTexts::failedCheckReadsEnglish()
{
    QFETCH(QByteArray, passReply);
    QFETCH(bool, closes);
    QFETCH(QString, message);
    QFETCH(QString, status);

    QTemporaryDir dir;
    TRecordingSessionHost host;
    host.Path = dir.filePath(QStringLiteral("Mailvane.ini"));
    {
        TIniFile ini(host.Path);
        ini.WriteString(kName, QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
        ini.WriteString(kName, QStringLiteral("Login"), QStringLiteral("user"));
        ini.WriteString(kName, QStringLiteral("Password"), QStringLiteral("pass"));
    }
    TScriptTransport net;
    TMailListModel list;
    TPop3Session session(net, list, host);
    net.Says("+OK ready\r\n").Expects("CAPA").Says("-ERR unknown command\r\n");
    net.Expects("USER user").Says("+OK\r\n").Expects("PASS pass");
    if (closes) {
        net.Closes();
    } else {
        net.Says(passReply);
    }
    bool aborted = false;
    try {
        session.Check(false);
    } catch (const EAbort&) {
        aborted = true;
    }
    session.Unwound();
    QVERIFY(aborted);
    QCOMPARE(host.Messages, QStringList(message));
    QCOMPARE(host.Statuses.last(), status);
    const QStringList shown = host.Statuses + host.Leds + host.EventsOf(QStringLiteral("progress:"));
    QVERIFY(shown.size() > 3);
    for (const QString& text : shown) {
        QVERIFY2(!HasCjk(text), qPrintable(text));
    }
}

// Each text of the sessions and the connection test, with its values in place.
void tst_SessionTexts::everyTextReadsEnglish()
{
    namespace T = TSessionTexts;
    const QString x = QStringLiteral("⟨x⟩");
    const QString y = QStringLiteral("⟨y⟩");
    const QStringList plain = {T::Connecting(),
                               T::QueryingCapabilities(),
                               T::StartingTls(),
                               T::SendingUser(),
                               T::SendingPassword(),
                               T::LoggedIn(),
                               T::LoggingOut(),
                               T::LeavingServer(),
                               T::LoggedOut(),
                               T::Receiving(),
                               T::Deleting(),
                               T::Downloading(),
                               T::Done(),
                               T::PushActive(),
                               T::Unreachable(),
                               T::LoginError(),
                               T::ReceiveError(),
                               T::DeleteError(),
                               T::DownloadError(),
                               T::LogoutError(),
                               T::StartTlsNotOffered(),
                               T::StartTlsRefused(),
                               T::BytesBeforeTls(),
                               T::TlsFailed(),
                               T::Moved(),
                               T::TooLarge(),
                               T::Aborted(),
                               T::ConnectionLost(),
                               T::TestNoHost(),
                               T::TestBadPin(),
                               T::TestLineBreak(),
                               T::TestReplyTooLong(),
                               T::TestPeerClosed(),
                               T::TestNoGreeting(),
                               T::TestStartTlsNotOffered(),
                               T::TestBytesBeforeTls(),
                               T::TestPassedEncrypted(),
                               T::TestPassedPlain(),
                               T::TestIdleOffered(),
                               T::TestIdleMissing()};
    for (const QString& text : plain) {
        QVERIFY2(!text.trimmed().isEmpty() && !HasCjk(text), qPrintable(text));
    }
    // The two kinds of interruption stay apart, as in Chinese.
    QVERIFY(T::Aborted() != T::ConnectionLost());

    const QList<QPair<QString, QStringList>> filled = {
        {T::SecureConnectionFailed(x, y), {x, y}},
        {T::MessageSource(x), {x}},
        {T::TestBadSecurity(x), {x}},
        {T::TestStartTlsRefused(x), {x}},
        {T::TestLoginRefused(x), {x}},
        {T::TestCannotConnect(10061, x), {QStringLiteral("10061"), x}},
        {T::TestBadProtocol(x), {x}},
    };
    for (const auto& [text, values] : filled) {
        QVERIFY2(!HasCjk(text) && !text.contains(u'%'), qPrintable(text));
        for (const QString& value : values) {
            QVERIFY2(text.contains(value), qPrintable(text));
        }
    }
    // The failure's own line ends the message, as the message window expects.
    QVERIFY(T::SecureConnectionFailed(x, y).endsWith(y + u'\n'));
}

void tst_SessionTexts::countsTakeTheirPluralForm()
{
    const QString one = TSessionTexts::MarksNotFound(1);
    const QString three = TSessionTexts::MarksNotFound(3);
    QVERIFY2(one.startsWith(QStringLiteral("1 message ")), qPrintable(one));
    QVERIFY2(three.startsWith(QStringLiteral("3 messages ")), qPrintable(three));
    QVERIFY(one.endsWith(u'\n') && three.endsWith(u'\n'));
}

// The readable view's header block and attachment list; a byte count takes its plural form.
void tst_SessionTexts::readableViewReadsEnglish()
{
    const QByteArray mail = "From: a@example.com\r\nTo: b@example.com\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n"
                            "Subject: s\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                            "--b\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
                            "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\nQQ==\r\n"
                            "--b\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Disposition: attachment; filename=\"three.bin\"\r\n\r\nabc\r\n"
                            "--b--\r\n";
    const TMimeMessage message(mail);
    QCOMPARE(message.Attachments().size(), 2);
    const QString text = message.Text(true);
    QVERIFY2(!HasCjk(text), qPrintable(text));
    for (const QString& part :
         {QStringLiteral("From: a@example.com\n"), QStringLiteral("\nSubject: s\n"), QStringLiteral("\n\nAttachments:"),
          QStringLiteral("\n  attachment1 (application/octet-stream, 1 byte)"),
          QStringLiteral("\n  three.bin (application/octet-stream, 3 bytes)")}) {
        QVERIFY2(text.contains(part), qPrintable(text));
    }
}

// Without a catalogue the texts are the Chinese ones, numbers and values where they were.
void tst_SessionTexts::chineseStaysAsItWas()
{
    QCoreApplication::removeTranslator(&m_english);
    QCOMPARE(TSessionTexts::MarksNotFound(3), QStringLiteral("有 3 封標記刪除的信件找不到，未能刪除！\n"));
    QCOMPARE(TSessionTexts::MarksNotFound(12345), QStringLiteral("有 12345 封標記刪除的信件找不到，未能刪除！\n"));
    QCOMPARE(TSessionTexts::LoginError(), QStringLiteral("使用者名稱或密碼錯誤！"));
}

QTEST_GUILESS_MAIN(tst_SessionTexts)
#include "tst_SessionTexts.moc"
