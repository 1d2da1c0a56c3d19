#include "auth/TOAuthAccess.h"
#include "mailbox/TConnectionTest.h"
#include "options/TOptionHost.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TVarnEncryption.h"
#include "testsupport/TAuthServer.h"
#include "testsupport/TScriptServer.h"
#include "testsupport/TTestBrowser.h"
#include "welcome/TFormAddMailbox.h"
#include "welcome/TServicePresets.h"
#include "widgets/TModal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records what the form asks of the running program.
class FakeOptionHost : public TOptionHost {
public:
    QString path;
    TVarnEncryption encryption;
    QStringList created;
    int count = 0;

    TOAuthAccess* oauth = nullptr;
    FakeOptionHost() { encryption.Key = QStringLiteral("Q-Lumen"); }
    QString SettingsPath() const override { return path; }
    QString ExeFolder() const override { return QString(); }
    TVarnEncryption& Encryption() override { return encryption; }
    TOAuthAccess* OAuthAccess() override { return oauth; }
    bool RasPresent() override { return false; }
    QStringList GetPhoneBookEntries() override { return {}; }
    void CreateMailbox(const QString& name) override { created << name; }
    void DestroyMailbox(const QString&) override {}
    void SetMailboxPassword(const QString&, const QString&) override {}
    void AddMailboxCount(int delta) override { count += delta; }
    void ShowMessage(const QString&, const QString&) override {}
    void RefreshState(const TOptionState&) override {}
    void ChangeNextCheck() override {}
    void RaiseMainWindow() override {}
};

struct FakeTester {
    QList<TConnectionParams> calls;
    TConnectionTestResult next;
    TFormAddMailbox::TConnectionTester fn()
    {
        return [this](const TConnectionParams& p) {
            calls << p;
            return next;
        };
    }
};

// A settings file without a start-up check listing the given mailboxes, and the form on it
// with the shipped service table.
struct Program {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("Mailvane.ini"));
    FakeOptionHost host;
    FakeTester tester;
    // Refresh tokens for the run only: no keyring.
    TOAuthAccess oauth{nullptr};

    explicit Program(const QStringList& listed = {})
    {
        host.path = ini;
        host.oauth = &oauth;
        TIniFile file(ini);
        file.WriteBool(QStringLiteral("Option"), QStringLiteral("StartupCheck"), false);
        for (int k = 0; k < listed.size(); ++k) {
            file.WriteString(QStringLiteral("Server"), QString::number(k), listed.at(k));
            file.WriteString(listed.at(k), QStringLiteral("Host"), QStringLiteral("127.0.0.1"));
            file.WriteString(listed.at(k), QStringLiteral("Login"), QStringLiteral("user"));
        }
    }
    ~Program() { TModal::SetHook({}); }

    // Opens the form and runs body in it; messages collects any other window that came up.
    void inForm(const std::function<void(TFormAddMailbox*)>& body, QStringList* messages = nullptr)
    {
        TModal::SetHook([&](QDialog* d) {
            if (messages) {
                *messages << d->windowTitle();
            }
            d->accept();
        });
        TFormAddMailbox form(host, TServicePresets::Shipped(), tester.fn());
        form.show();
        body(&form);
        TModal::SetHook({});
    }
    QString read(const QString& section, const QString& key) const
    {
        return TIniFile(ini).ReadString(section, key, QStringLiteral("<none>"));
    }
};

TConnectionTestResult passed()
{
    TConnectionTestResult r;
    r.Ok = true;
    r.Message = QStringLiteral("ok");
    return r;
}

} // namespace

// The add-my-mailbox form: what it fills in from an address, that it tests before saving,
// and that saving writes what the options dialog writes and asks for the mailbox window.
class tst_FormAddMailbox : public QObject {
    Q_OBJECT
private slots:
    void fillsFromTheTable_data();
    void fillsFromTheTable();
    void testComesBeforeSaving();
    void savedValuesMustHavePassed();
    void refusalsWriteNothing_data();
    void refusalsWriteNothing();
    void untrustedCertificateCanBePinned();
    void plainLoginTest_data();
    void plainLoginTest();
    void browserSignInWithoutClientId();
    void browserSignInSaves();
};

void tst_FormAddMailbox::fillsFromTheTable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("service");
    QTest::newRow("gmail") << "ann@gmail.com"
                           << "pop.gmail.com"
                           << "Gmail";
    QTest::newRow("yahoo") << "ann@yahoo.com"
                           << "pop.mail.yahoo.com"
                           << "Yahoo";
    QTest::newRow("qq") << "ann@qq.com"
                        << "pop.qq.com"
                        << "QQ";
    QTest::newRow("163") << "ann@163.com"
                         << "pop.163.com"
                         << "163";
    QTest::newRow("gmx") << "ann@gmx.com"
                         << "pop.gmx.com"
                         << "GMX";
    QTest::newRow("fastmail") << "ann@fastmail.com"
                              << "pop.fastmail.com"
                              << "Fastmail";
    QTest::newRow("other domain") << "ann@example.net"
                                  << "pop.example.net"
                                  << "";
}

void tst_FormAddMailbox::fillsFromTheTable()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(QString, service);
    Program p;
    p.inForm([&](TFormAddMailbox* form) {
        QTest::keyClicks(form->EditAddress, address);
        // IMAP first (other domains guess imap.<domain>); POP3 is the user's choice.
        QCOMPARE(form->ComboBoxProtocol->currentText(), QStringLiteral("IMAP"));
        QCOMPARE(form->EditHost->text(), QStringLiteral("imap.") + host.mid(4));
        QCOMPARE(form->EditPort->text(), QStringLiteral("993"));
        QCOMPARE(form->ComboBoxSecurity->currentText(), QStringLiteral("TLS"));
        form->ComboBoxProtocol->setCurrentText(QStringLiteral("POP3"));
        QCOMPARE(form->EditHost->text(), host);
        QCOMPARE(form->EditPort->text(), QStringLiteral("995"));
        QCOMPARE(form->ComboBoxSecurity->currentText(), QStringLiteral("TLS"));
        QCOMPARE(form->EditLogin->text(), address);
        QCOMPARE(form->EditName->text(), QStringLiteral("ann"));
        if (!service.isEmpty()) {
            QCOMPARE(form->LabelService->text(), service);
        }
        QVERIFY(!form->LabelHint->text().isEmpty());
        // A half-typed address leaves what was filled but shows how an address looks.
        const QString hint = form->LabelHint->text();
        form->EditAddress->setText(QStringLiteral("ann@"));
        QVERIFY(form->LabelHint->text() != hint);
        QCOMPARE(form->EditHost->text(), host);
    });
}

void tst_FormAddMailbox::testComesBeforeSaving()
{
    Program p({QStringLiteral("ann")});
    FakeTester& tester = p.tester;
    TConnectionTestResult refused;
    refused.Message = QStringLiteral("使用者名稱或密碼錯誤！");
    tester.next = refused;
    QStringList messages;
    p.inForm(
        [&](TFormAddMailbox* form) {
            form->EditAddress->setText(QStringLiteral("Ann@Gmail.com"));
            form->EditPassword->setText(QStringLiteral("app pass"));
            QCOMPARE(form->EditName->text(), QStringLiteral("Ann (2)"));
            form->ButtonSave->click();
            QCOMPARE(tester.calls.size(), 1);
            const TConnectionParams& sent = tester.calls.first();
            // IMAP with push where the service offers it.
            QCOMPARE(sent.Protocol, QStringLiteral("IMAP"));
            QCOMPARE(sent.Host, QStringLiteral("imap.gmail.com"));
            QCOMPARE(sent.Port, QStringLiteral("993"));
            QCOMPARE(sent.Security, QStringLiteral("TLS"));
            QCOMPARE(sent.Login, QStringLiteral("Ann@Gmail.com"));
            QCOMPARE(sent.Password, QStringLiteral("app pass"));
            QCOMPARE(sent.Timeout, 30);
            // Refused: nothing written, the form stays with the reason.
            QVERIFY(form->isVisible());
            QVERIFY(form->LabelResult->text().contains(refused.Message));
            QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("0")), QStringLiteral("ann"));
            QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("1")), QStringLiteral("<none>"));
            QVERIFY(!TIniFile(p.ini).SectionExists(QStringLiteral("Ann (2)")));

            tester.next = passed();
            form->ButtonSave->click();
            QCOMPARE(tester.calls.size(), 2);
            QVERIFY(!form->isVisible());
            QCOMPARE(form->SavedName(), QStringLiteral("Ann (2)"));
        },
        &messages);
    QVERIFY2(messages.isEmpty(), qPrintable(messages.join(QLatin1Char('|'))));

    // What the options dialog writes: the name at the top of the list, then the section.
    QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("0")), QStringLiteral("Ann (2)"));
    QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("1")), QStringLiteral("ann"));
    const auto section = TIniFile(p.ini).ReadSection(QStringLiteral("Ann (2)"));
    QStringList keys;
    for (const auto& kv : section) {
        keys << kv.first;
    }
    QCOMPARE(keys, (QStringList{"Host", "Login", "Security", "Port", "Protocol", "Password"}));
    QCOMPARE(section.at(0).second, QStringLiteral("imap.gmail.com"));
    QCOMPARE(section.at(1).second, QStringLiteral("Ann@Gmail.com"));
    QCOMPARE(section.at(2).second, QStringLiteral("TLS"));
    QCOMPARE(section.at(3).second, QStringLiteral("993"));
    QCOMPARE(section.at(4).second, QStringLiteral("IMAP"));
    QVERIFY(section.at(5).second != QLatin1String("app pass"));
    QCOMPARE(p.host.encryption.Unscramble(section.at(5).second), QStringLiteral("app pass"));

    // Its window is asked for and counted, as after the options dialog's add.
    QCOMPARE(p.host.created, QStringList{"Ann (2)"});
    QCOMPARE(p.host.count, 1);
}

void tst_FormAddMailbox::savedValuesMustHavePassed()
{
    Program p;
    FakeTester& tester = p.tester;
    tester.next = passed();
    p.inForm([&](TFormAddMailbox* form) {
        form->EditAddress->setText(QStringLiteral("bob@example.org"));
        // No password: nothing to test with.
        QVERIFY(!form->ButtonTestClick());
        QCOMPARE(tester.calls.size(), 0);
        form->EditPassword->setText(QStringLiteral("one"));
        QVERIFY(form->ButtonTestClick());
        // A value changed after the pass is tested again at saving.
        form->EditHost->setText(QStringLiteral("mail.example.org"));
        form->ButtonSave->click();
        QCOMPARE(tester.calls.size(), 2);
        QCOMPARE(tester.calls.last().Host, QStringLiteral("mail.example.org"));
    });
    QCOMPARE(p.read(QStringLiteral("bob"), QStringLiteral("Host")), QStringLiteral("mail.example.org"));

    // Values that passed as they are are saved without another test.
    Program q;
    FakeTester& once = q.tester;
    once.next = passed();
    q.inForm([&](TFormAddMailbox* form) {
        form->EditAddress->setText(QStringLiteral("bob@example.org"));
        form->EditPassword->setText(QStringLiteral("one"));
        form->ButtonTest->click();
        form->ButtonSave->click();
        QCOMPARE(once.calls.size(), 1);
    });
    QCOMPARE(q.read(QStringLiteral("Server"), QStringLiteral("0")), QStringLiteral("bob"));
}

void tst_FormAddMailbox::refusalsWriteNothing_data()
{
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");
    QTest::newRow("ten mailboxes") << 10 << "new"
                                   << "最多設定10個信箱，請先刪除部份信箱。";
    QTest::newRow("name taken") << 1 << "BOX0"
                                << "信箱名稱重覆，請重新命名。";
    QTest::newRow("program section") << 0 << "Schedule"
                                     << "信箱名稱不正確，請重新命名。";
    QTest::newRow("blank around") << 0 << " x "
                                  << "信箱名稱不正確，請重新命名。";
}

void tst_FormAddMailbox::refusalsWriteNothing()
{
    QFETCH(int, listed);
    QFETCH(QString, name);
    QFETCH(QString, error);
    QStringList names;
    for (int k = 0; k < listed; ++k) {
        names << QStringLiteral("box%1").arg(k);
    }
    Program p(names);
    FakeTester& tester = p.tester;
    tester.next = passed();
    const QByteArray before = [&] {
        QFile f(p.ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    p.inForm([&](TFormAddMailbox* form) {
        form->EditAddress->setText(QStringLiteral("new@example.org"));
        form->EditPassword->setText(QStringLiteral("pw"));
        form->EditName->setText(name);
        form->ButtonSave->click();
        QVERIFY(form->isVisible());
        QCOMPARE(form->LabelResult->text(), error);
    });
    QFile f(p.ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
    // No window asked for, none counted.
    QVERIFY(p.host.created.isEmpty());
    QCOMPARE(p.host.count, 0);
}

void tst_FormAddMailbox::untrustedCertificateCanBePinned()
{
    Program p;
    FakeTester& tester = p.tester;
    TConnectionTestResult untrusted;
    untrusted.Message = QStringLiteral("憑證不受信任");
    untrusted.CertUntrusted = true;
    untrusted.Subject = QStringLiteral("CN=pop.example.org");
    untrusted.Issuer = QStringLiteral("CN=Example CA");
    untrusted.Fingerprint = QStringLiteral("AB:CD:EF");
    tester.next = untrusted;
    p.inForm([&](TFormAddMailbox* form) {
        form->EditAddress->setText(QStringLiteral("c@example.org"));
        form->EditPassword->setText(QStringLiteral("pw"));
        QVERIFY(!form->CheckBoxTrustCert->isVisible());
        QVERIFY(!form->ButtonTestClick());
        QVERIFY(form->CheckBoxTrustCert->isVisible());
        QVERIFY(form->LabelResult->text().contains(QStringLiteral("AB:CD:EF")));
        QVERIFY(form->LabelResult->text().contains(QStringLiteral("CN=Example CA")));
        QCOMPARE(tester.calls.last().CertSha256, QString());
        form->CheckBoxTrustCert->setChecked(true);
        tester.next = passed();
        form->ButtonSave->click();
        QCOMPARE(tester.calls.last().CertSha256, QStringLiteral("AB:CD:EF"));
    });
    QCOMPARE(p.read(QStringLiteral("c"), QStringLiteral("CertSha256")), QStringLiteral("AB:CD:EF"));
}

void tst_FormAddMailbox::plainLoginTest_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("passReply");
    QTest::addColumn<bool>("ok");
    QTest::newRow("accepted") << "pass" << QByteArray("+OK") << true;
    QTest::newRow("refused") << "wrong" << QByteArray("-ERR bad login") << false;
}

void tst_FormAddMailbox::plainLoginTest()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, passReply);
    QFETCH(bool, ok);
    TScriptServer server;
    server.dialogue("+OK ready", {{"USER user", "+OK"}, {"PASS " + password.toUtf8(), passReply}});
    if (ok) {
        server.expect("QUIT").sendLine("+OK bye");
    }
    TConnectionParams params;
    params.Host = QStringLiteral("127.0.0.1");
    params.Port = QString::number(server.port());
    params.Security = QStringLiteral("None");
    params.Login = QStringLiteral("user");
    params.Password = password;
    params.Timeout = 10;
    const TConnectionTestResult result = TConnectionTest::Run(params);
    QCOMPARE(result.Ok, ok);
    QVERIFY(!result.Message.isEmpty());
    QVERIFY2(server.failures().isEmpty(), qPrintable(server.failures().join(QLatin1Char('\n'))));

    // Nothing listens: a clear failure, no hang.
    params.Port = QString::number(TScriptServer::refusedPort());
    const TConnectionTestResult refused = TConnectionTest::Run(params);
    QVERIFY(!refused.Ok);
    QVERIFY(refused.Message.startsWith(QStringLiteral("無法連線")));

    // Encryption asked for from a plaintext server: the handshake fails, no login is sent.
    TScriptServer tls;
    tls.sendLine("+OK ready").silent();
    params.Port = QString::number(tls.port());
    params.Security = QStringLiteral("TLS");
    const TConnectionTestResult plain = TConnectionTest::Run(params);
    QVERIFY(!plain.Ok);
    QVERIFY(!plain.Message.isEmpty());
    QVERIFY(tls.waitForFinished());
    for (const QString& line : tls.received()) {
        QVERIFY2(!line.startsWith(QLatin1String("USER"), Qt::CaseInsensitive), qPrintable(line));
        QVERIFY2(!line.startsWith(QLatin1String("PASS"), Qt::CaseInsensitive), qPrintable(line));
    }
}

void tst_FormAddMailbox::browserSignInWithoutClientId()
{
    const auto& services = TOAuthProvider::Shipped();
    if (!services.value(QStringLiteral("Gmail")).ClientId.isEmpty() ||
        !services.value(QStringLiteral("Outlook")).ClientId.isEmpty()) {
        QSKIP("built with a client ID");
    }
    Program p;
    int opened = 0;
    p.oauth.Opener = [&](const QUrl&) { return ++opened > 0; };
    p.inForm([&](TFormAddMailbox* form) {
        form->EditAddress->setText(QStringLiteral("ann@yahoo.com"));
        QVERIFY(form->ComboBoxAuth->isHidden() && form->LabelOAuth->isHidden());
        // Gmail still takes an app password: that is offered, and said how.
        form->EditAddress->setText(QStringLiteral("ann@gmail.com"));
        QVERIFY(!form->ComboBoxAuth->isHidden());
        QCOMPARE(form->ComboBoxAuth->currentData().toString(), QStringLiteral("Password"));
        QVERIFY2(form->LabelOAuth->text().contains(QStringLiteral("應用程式密碼")),
                 qPrintable(form->LabelOAuth->text()));
        QVERIFY(form->EditPassword->isEnabled() && form->ButtonAuthorize->isHidden());
        // Outlook takes nothing else: no password field, and no sign-in this build can make.
        form->EditAddress->setText(QStringLiteral("ann@outlook.com"));
        QCOMPARE(form->ComboBoxAuth->currentData().toString(), QStringLiteral("OAuth2"));
        QVERIFY2(form->LabelOAuth->text().contains(QStringLiteral("用戶端 ID")) &&
                     !form->LabelOAuth->text().contains(QStringLiteral("應用程式密碼")),
                 qPrintable(form->LabelOAuth->text()));
        QVERIFY(!form->EditPassword->isEnabled() && !form->ButtonTest->isEnabled());
        QVERIFY(!form->ButtonAuthorize->isHidden() && !form->ButtonAuthorize->isEnabled());
        form->ButtonSaveClick();
        QVERIFY(form->SavedName().isEmpty());
    });
    QCOMPARE(opened, 0);
    QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("0")), QStringLiteral("<none>"));
}

void tst_FormAddMailbox::browserSignInSaves()
{
    TAuthServer server;
    QVERIFY(server.start());
    server.setUser(QStringLiteral("ann@gmail.com"));
    TOAuthProvider local = TOAuthProvider::Shipped().value(QStringLiteral("Gmail"));
    local.AuthorizeUrl = server.url(QStringLiteral("/authorize"));
    local.TokenUrl = server.url(QStringLiteral("/token"));
    local.ClientId = QStringLiteral("mailvane-test");
    local.ClientSecret.clear();

    Program p;
    TTestBrowser browser;
    int opened = 0;
    p.oauth.Opener = [&](const QUrl& url) {
        ++opened;
        return browser.open(url);
    };
    p.tester.next = passed();
    p.inForm([&](TFormAddMailbox* form) {
        form->SetProviders({{QStringLiteral("Gmail"), local}});
        form->EditAddress->setText(QStringLiteral("ann@gmail.com"));
        // A client ID is there: browser sign-in comes first and needs no password.
        QCOMPARE(form->ComboBoxAuth->currentData().toString(), QStringLiteral("OAuth2"));
        QVERIFY(form->ButtonAuthorize->isEnabled() && !form->EditPassword->isEnabled());
        // Nothing to test before the sign-in.
        QVERIFY(!form->ButtonTest->isEnabled() && !form->ButtonTestClick());
        QVERIFY(p.tester.calls.isEmpty());
        // 儲存 signs in first, then tests and saves.
        form->ButtonSaveClick();
        QCOMPARE(opened, 1);
        QCOMPARE(form->ButtonAuthorize->text(), QStringLiteral("取消登入"));
        QTRY_COMPARE_WITH_TIMEOUT(form->SavedName(), QStringLiteral("ann"), 10000);
    });
    // The test logged in with the mailbox's token, not a password.
    QCOMPARE(p.tester.calls.size(), 1);
    QCOMPARE(p.tester.calls[0].Auth, QStringLiteral("OAuth2"));
    QVERIFY(p.tester.calls[0].Password.isEmpty());
    QCOMPARE(p.tester.calls[0].Mailbox, QStringLiteral("ann"));
    QCOMPARE(p.tester.calls[0].OAuthTokenUrl, server.url(QStringLiteral("/token")).toString());
    QCOMPARE(p.tester.calls[0].OAuth, &p.oauth);
    QCOMPARE(p.read(QStringLiteral("Server"), QStringLiteral("0")), QStringLiteral("ann"));
    QCOMPARE(p.read(QStringLiteral("ann"), QStringLiteral("Auth")), QStringLiteral("OAuth2"));
    QCOMPARE(p.read(QStringLiteral("ann"), QStringLiteral("OAuthProvider")), QStringLiteral("Gmail"));
    QCOMPARE(p.read(QStringLiteral("ann"), QStringLiteral("Security")), QStringLiteral("TLS"));
    QCOMPARE(p.read(QStringLiteral("ann"), QStringLiteral("OAuthTokenUrl")), QStringLiteral("<none>"));
    TAccount account;
    account.Name = QStringLiteral("ann");
    account.Login = QStringLiteral("ann@gmail.com");
    QVERIFY(p.oauth.HasRefreshToken(account));
    QFile file(p.ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const QByteArray& token : server.accessTokens() + server.refreshTokens()) {
        QVERIFY(!text.contains(token));
    }
}

QTEST_MAIN(tst_FormAddMailbox)
#include "tst_FormAddMailbox.moc"
