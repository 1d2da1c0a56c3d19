#include "app/TCheckPass.h"
#include "app/TFormMain.h"
#include "auth/TOAuthAccess.h"
#include "mailbox/TFormMailList.h"
#include "net/TSockets.h"
#include "settings/TIniFile.h"
#include "status/TFormStatus.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TScriptServer.h"
#include "testsupport/TTestBrowser.h"
#include "widgets/TModal.h"

#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

// Check passes over several mailboxes, each served by a scripted POP3 server.
class tst_CheckPass : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void announcesOnlyUnseenMail();
    void failureStopsThePassAndDefersTheAnnouncement();
    void busyGuardMakesASecondPassANoOp();
    void pushedMailIsAnnouncedOnce();
    void timedCheckOpensNoBrowser();
    void userCheckAuthorizesFirst();

private:
    // extra: more of the file's text, its mailboxes listed before M0...
    void start(int mailboxes, const QString& extra = QString(), const QStringList& listedFirst = {});
    void point(int index, TScriptServer& server);
    int announcements() const;

    QTemporaryDir* m_dir = nullptr;
    QString m_ini;
    QString m_marker;
    TFormMain* m_main = nullptr;
    QStringList m_messages;
    QStringList m_started;
};

static QList<QByteArray> messages(const char* tag, int n)
{
    QList<QByteArray> list;
    for (int i = 1; i <= n; ++i) {
        list << QByteArray("Message-ID: <") + tag + QByteArray::number(i) +
                    "@test>\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: a@b.c\nSubject: s" + QByteArray::number(i) +
                    "\n\nbody\n";
    }
    return list;
}

void tst_CheckPass::init()
{
    m_dir = new QTemporaryDir;
    m_ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_marker = m_dir->filePath(QStringLiteral("announced"));
    m_messages.clear();
    m_started.clear();
    // The announcement starts the mail program; record it instead of running it.
    TFormMain::SetProgramStarter([this](const QString& program, const QString&) { m_started << program; });
    TModal::SetHook([this](QDialog* d) {
        QString text = d->windowTitle();
        for (QLabel* l : d->findChildren<QLabel*>()) {
            text += QLatin1Char('|') + l->text();
        }
        for (QPlainTextEdit* e : d->findChildren<QPlainTextEdit*>()) {
            text += QLatin1Char('|') + e->toPlainText();
        }
        m_messages << text;
        d->accept();
    });
}

void tst_CheckPass::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TModal::SetHook({});
    TFormMain::SetProgramStarter({});
    delete m_dir;
}

void tst_CheckPass::start(int mailboxes, const QString& extra, const QStringList& listedFirst)
{
    // Only an existing executable is started as the mail program.
    const QString script = m_dir->filePath(QStringLiteral("mail.sh"));
    QFile s(script);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write(QStringLiteral("#!/bin/sh\necho x >> '%1'\n").arg(m_marker).toUtf8());
    s.close();
    s.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QString text =
        QStringLiteral("[Option]\nStartupCheck=0\nAutoLoad=1\n[General]\nMailProgram=%1\nTimeout=5\n[Server]\n")
            .arg(script);
    for (int k = 0; k < listedFirst.size(); ++k) {
        text += QStringLiteral("%1=%2\n").arg(k).arg(listedFirst[k]);
    }
    for (int i = 0; i < mailboxes; ++i) {
        text += QStringLiteral("%1=M%2\n").arg(i + listedFirst.size()).arg(i);
    }
    for (int i = 0; i < mailboxes; ++i) {
        text += QStringLiteral("[M%1]\nHost=127.0.0.1\nLogin=user\n").arg(i);
    }
    text += extra;
    QFile f(m_ini);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
    f.close();
    m_main = new TFormMain(m_ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    for (TFormMailList* w : m_main->MailboxWindows()) {
        w->SetPassword(QStringLiteral("pass"));
    }
}

// A mailbox that signs in at server's provider; its mail server refuses connections, so
// that a check of it shows as a message naming it.
static QString oauthMailbox(const QString& name, TAuthServer& server)
{
    return QStringLiteral("[%1]\nHost=127.0.0.1\nPort=%2\nSecurity=TLS\nLogin=me\nAuth=OAuth2\n"
                          "OAuthAuthorizeUrl=%3\nOAuthTokenUrl=%4\nOAuthScope=mail\nOAuthClientId=mailvane-test\n")
        .arg(name)
        .arg(TScriptServer::refusedPort())
        .arg(server.url(QStringLiteral("/authorize")).toString(), server.url(QStringLiteral("/token")).toString());
}

void tst_CheckPass::point(int index, TScriptServer& server)
{
    TIniFile(m_ini).WriteString(m_main->MailboxWindows().at(index)->MailboxName(), QStringLiteral("Port"),
                                QString::number(server.port()));
}

int tst_CheckPass::announcements() const
{
    return int(m_started.size());
}

void tst_CheckPass::announcesOnlyUnseenMail()
{
    TScriptServer a, b;
    a.serveMailbox(messages("a", 2));
    b.serveMailbox(messages("b", 3));
    start(2);
    point(0, a);
    point(1, b);

    m_main->MenuCheck->trigger();
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join(QLatin1Char('\n'))));
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("5"));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("5"));
    QVERIFY(!m_main->State().NewMailFound);
    QCOMPARE(announcements(), 1);

    // Still new, but already seen: counted again, announced no more.
    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("5"));
    QCOMPARE(FormStatus->Cell(2), QStringLiteral("5"));
    QCOMPARE(announcements(), 1);
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
}

void tst_CheckPass::failureStopsThePassAndDefersTheAnnouncement()
{
    TScriptServer a, b, c;
    a.serveMailbox(messages("a", 1));
    b.serveMailbox(messages("b", 1));
    b.failOn("STAT", TScriptServer::Fault::ErrReply);
    c.serveMailbox(messages("c", 1));
    start(3);
    point(0, a);
    point(1, b);
    point(2, c);

    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().contains(QStringLiteral("主機 : M1")), qPrintable(m_messages.first()));
    QVERIFY(m_messages.first().contains(QStringLiteral("接收資料錯誤！")));
    QCOMPARE(c.connections(), 0);
    // The first mailbox found unseen mail; the announcement waits for a pass that completes.
    QVERIFY(m_main->State().NewMailFound);
    QCOMPARE(announcements(), 0);

    TScriptServer fixed;
    fixed.serveMailbox(messages("b", 1));
    point(1, fixed);
    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
    QVERIFY(c.connections() > 0);
    QCOMPARE(announcements(), 1);
}

void tst_CheckPass::busyGuardMakesASecondPassANoOp()
{
    TScriptServer a;
    a.serveMailbox(messages("a", 1));
    start(1);
    point(0, a);
    // A pass is under way (waiting somewhere): a second one does nothing.
    m_main->State().CheckPassRunning = true;
    FormStatus->SetCell(1, QStringLiteral("9"));
    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("9"));
    QCOMPARE(a.connections(), 0);
    m_main->State().CheckPassRunning = false;
}

void tst_CheckPass::pushedMailIsAnnouncedOnce()
{
    TScriptServer empty;
    empty.serveMailbox({});
    start(1);
    point(0, empty);
    // News a server pushes between passes is announced at once.
    m_main->MailHost().AnnounceNewMail();
    QCOMPARE(announcements(), 1);
    QVERIFY(!m_main->State().NewMailFound);
    // The next pass finds nothing new and announces nothing more.
    m_main->MenuCheck->trigger();
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Ready"));
    QCOMPARE(announcements(), 1);
    // Pushed while a pass runs: the end of the pass announces it, once.
    m_main->State().CheckPassRunning = true;
    m_main->MailHost().AnnounceNewMail();
    QCOMPARE(announcements(), 1);
    m_main->State().CheckPassRunning = false;
    m_main->MenuCheck->trigger();
    QCOMPARE(announcements(), 2);
    m_main->MenuCheck->trigger();
    QCOMPARE(announcements(), 2);
}

void tst_CheckPass::timedCheckOpensNoBrowser()
{
    TAuthServer server;
    QVERIFY(server.start());
    TScriptServer a;
    a.serveMailbox(messages("a", 2));
    start(1, oauthMailbox(QStringLiteral("OA"), server), {QStringLiteral("OA")});
    point(1, a);
    int opened = 0;
    m_main->OAuth().Opener = [&](const QUrl&) { return ++opened > 0; };

    m_main->CheckPass().Run(TOrigin::Timer);
    QCOMPARE(opened, 0);
    QVERIFY(!m_main->OAuth().Authorizing());
    // Said with the mailbox's name, in red, and the next mailbox is checked all the same.
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains(QStringLiteral("主機 : OA")) &&
                 m_messages[0].contains(QStringLiteral("需要重新授權")),
             qPrintable(m_messages[0]));
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("2"));
    QVERIFY(a.connections() > 0);
    QCOMPARE(announcements(), 1);
    QCOMPARE(FormStatus->LabelStatus->text(), QStringLiteral("Error"));
    QVERIFY(server.requests().isEmpty());
}

void tst_CheckPass::userCheckAuthorizesFirst()
{
    TAuthServer server;
    QVERIFY(server.start());
    TScriptServer a;
    a.serveMailbox(messages("a", 1));
    start(1, oauthMailbox(QStringLiteral("OA"), server) + oauthMailbox(QStringLiteral("OB"), server),
          {QStringLiteral("OA"), QStringLiteral("OB")});
    point(2, a);
    QList<QUrl> opened;
    // The user answers in the browser later.
    m_main->OAuth().Opener = [&](const QUrl& url) {
        opened << url;
        return true;
    };

    m_main->MenuCheck->trigger();
    // One browser at a time; the password mailbox was checked meanwhile.
    QCOMPARE(opened.size(), 1);
    QCOMPARE(m_main->CheckPass().AwaitingAuthorization(), (QStringList{"OA", "OB"}));
    QVERIFY(a.connections() > 0);
    QCOMPARE(FormStatus->Cell(1), QStringLiteral("1"));
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    // Another Ctrl+C meanwhile opens no second browser for the same mailbox.
    m_main->MenuCheck->trigger();
    QCOMPARE(opened.size(), 1);

    // Signed in: that mailbox alone is checked (its server refuses: the message names it),
    // and the next one's sign-in begins.
    TTestBrowser browser;
    browser.open(opened[0]);
    QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, 10000);
    QTRY_COMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains(QStringLiteral("主機 : OA")), qPrintable(m_messages[0]));
    QCOMPARE(m_main->CheckPass().AwaitingAuthorization(), QStringList{"OB"});

    // A failed sign-in is said with the mailbox's name and leaves nothing waiting.
    m_main->OAuth().CancelAuthorization();
    QTRY_COMPARE(m_messages.size(), 2);
    QVERIFY2(m_messages[1].contains(QStringLiteral("主機 : OB")), qPrintable(m_messages[1]));
    QVERIFY(m_main->CheckPass().AwaitingAuthorization().isEmpty());
    QVERIFY(!m_main->OAuth().Authorizing());

    // Authorized now, OA is checked by the timer too (its server's failure ends the pass as
    // any failure does), and no browser is opened.
    m_main->CheckPass().Run(TOrigin::Timer);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(m_messages.size(), 3);
    QVERIFY2(m_messages[2].contains(QStringLiteral("主機 : OA")) &&
                 !m_messages[2].contains(QStringLiteral("需要重新授權")),
             qPrintable(m_messages[2]));
}

QTEST_MAIN(tst_CheckPass)
#include "tst_CheckPass.moc"
