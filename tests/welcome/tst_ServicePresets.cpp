#include "welcome/TNewMailbox.h"
#include "welcome/TServicePresets.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <algorithm>

// The service table and the guesses the add-my-mailbox form fills in from an address.
// Nothing here resolves or contacts a host: the table is only read.
class tst_ServicePresets : public QObject {
    Q_OBJECT
private slots:
    void listedServices_data();
    void listedServices();
    void otherDomainsAreGuessed_data();
    void otherDomainsAreGuessed();
    void badAddressesGetNothing_data();
    void badAddressesGetNothing();
    void malformedTablesAreRefused_data();
    void malformedTablesAreRefused();
    void tableMayNameTheLogin();
    void browserSignInAndUnknownKeys();
    void defaultNames_data();
    void defaultNames();
    void hintsKnownToTranslations();
};

void tst_ServicePresets::listedServices_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("host");
    QTest::newRow("gmail") << "someone@gmail.com"
                           << "Gmail"
                           << "pop.gmail.com";
    QTest::newRow("yahoo") << "someone@yahoo.com"
                           << "Yahoo"
                           << "pop.mail.yahoo.com";
    QTest::newRow("qq") << "12345@qq.com"
                        << "QQ"
                        << "pop.qq.com";
    QTest::newRow("163") << "someone@163.com"
                         << "163"
                         << "pop.163.com";
    QTest::newRow("gmx") << "someone@gmx.com"
                         << "GMX"
                         << "pop.gmx.com";
    QTest::newRow("fastmail") << "someone@fastmail.com"
                              << "Fastmail"
                              << "pop.fastmail.com";
    QTest::newRow("outlook") << "someone@outlook.com"
                             << "Outlook"
                             << "outlook.office365.com";
    QTest::newRow("hotmail") << "someone@hotmail.com"
                             << "Outlook"
                             << "outlook.office365.com";
    QTest::newRow("upper case") << "Some.One@GMAIL.COM"
                                << "Gmail"
                                << "pop.gmail.com";
    QTest::newRow("blanks around") << "  someone@QQ.com "
                                   << "QQ"
                                   << "pop.qq.com";
}

void tst_ServicePresets::listedServices()
{
    QFETCH(QString, address);
    QFETCH(QString, service);
    QFETCH(QString, host);
    const TServicePresets& table = TServicePresets::Shipped();
    QVERIFY(!table.IsEmpty());
    TServicePreset preset;
    QVERIFY(table.Lookup(address, preset));
    QCOMPARE(preset.Service, service);
    QCOMPARE(preset.Host, host);
    QCOMPARE(preset.Port, QStringLiteral("995"));
    QCOMPARE(preset.Security, QStringLiteral("TLS"));
    // Outlook serves both protocols from one host.
    QCOMPARE(preset.ImapHost, host.startsWith(QLatin1String("pop.")) ? QStringLiteral("imap.") + host.mid(4) : host);
    QCOMPARE(preset.ImapPort, QStringLiteral("993"));
    QCOMPARE(preset.ImapSecurity, QStringLiteral("TLS"));
    // The login is the address as typed, without the blanks around it.
    QCOMPARE(preset.Login, address.trimmed());
    // Each service says what to do first, in Chinese, on one line.
    QVERIFY(!preset.Hint.isEmpty());
    QVERIFY(!preset.Hint.contains(QLatin1Char('\n')));
    QVERIFY(std::any_of(preset.Hint.begin(), preset.Hint.end(), [](QChar c) { return c.unicode() >= 0x4E00; }));
}

void tst_ServicePresets::otherDomainsAreGuessed_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::newRow("plain") << "me@example.org"
                           << "pop.example.org";
    QTest::newRow("subdomain, upper case") << "Me@Mail.Example.CO.UK"
                                           << "pop.mail.example.co.uk";
    // A listed domain inside another one is not that service.
    QTest::newRow("lookalike") << "me@gmail.com.example.net"
                               << "pop.gmail.com.example.net";
    QTest::newRow("digits and hyphens") << "x@my-isp2.example"
                                        << "pop.my-isp2.example";
}

void tst_ServicePresets::otherDomainsAreGuessed()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    TServicePreset preset;
    QVERIFY(TServicePresets::Shipped().Lookup(address, preset));
    QCOMPARE(preset.Service, QString());
    QCOMPARE(preset.Host, host);
    QCOMPARE(preset.Port, QStringLiteral("995"));
    QCOMPARE(preset.Security, QStringLiteral("TLS"));
    QCOMPARE(preset.ImapHost, QStringLiteral("imap.") + host.mid(4));
    QCOMPARE(preset.ImapPort, QStringLiteral("993"));
    QCOMPARE(preset.Login, address);
    QVERIFY(!preset.Hint.isEmpty());
}

void tst_ServicePresets::badAddressesGetNothing_data()
{
    QTest::addColumn<QString>("address");
    for (const char* bad : {"",
                            "   ",
                            "someone",
                            "@gmail.com",
                            "someone@",
                            "someone@gmail",
                            "a@@gmail.com",
                            "a@b@gmail.com",
                            "some one@gmail.com",
                            "a@gmail..com",
                            "a@.gmail.com",
                            "a@gmail.com.",
                            "a@-gmail.com",
                            "a@gmail-.com",
                            "a@exa_mple.com",
                            "a@[127.0.0.1]",
                            "a\n@gmail.com",
                            "a@gmail.com\r\nUSER x",
                            "a\"b@gmail.com",
                            "a<b>@gmail.com"}) {
        QTest::newRow(QByteArray(bad).toPercentEncoding().constData()) << QString::fromUtf8(bad);
    }
    QTest::newRow("domain not ASCII") << QStringLiteral("a@例子.com");
    QTest::newRow("control char") << QStringLiteral("a\x01@gmail.com");
}

void tst_ServicePresets::badAddressesGetNothing()
{
    QFETCH(QString, address);
    QVERIFY(!TServicePresets::ValidAddress(address));
    TServicePreset preset;
    preset.Host = QStringLiteral("unchanged");
    QVERIFY(!TServicePresets::Shipped().Lookup(address, preset));
    QCOMPARE(preset.Host, QStringLiteral("unchanged"));
}

void tst_ServicePresets::malformedTablesAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    const QByteArray good =
        R"({"name":"A","domains":["a.com"],"host":"pop.a.com","port":"995","security":"TLS","hint":"h"})";
    auto with = [&](const char* from, const char* to) {
        QByteArray s = good;
        s.replace(from, to);
        return "{\"services\":[" + s + "]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\"services\": [");
    QTest::newRow("array") << QByteArray("[]");
    QTest::newRow("no name") << with(R"("name":"A",)", "");
    QTest::newRow("no host") << with(R"("host":"pop.a.com",)", "");
    QTest::newRow("no hint") << with(R"(,"hint":"h")", "");
    QTest::newRow("no domains") << with(R"("domains":["a.com"],)", "");
    QTest::newRow("bad domain") << with("a.com\"]", "a com\"]");
    QTest::newRow("port out of range") << with("\"995\"", "\"99999\"");
    QTest::newRow("port not a number") << with("\"995\"", "\"pop3s\"");
    QTest::newRow("unknown security") << with("\"TLS\"", "\"SSL\"");
    QTest::newRow("unknown login") << with(R"("hint":"h")", R"("hint":"h","login":"name")");
    QTest::newRow("IMAP port") << with(R"("hint":"h")", R"("hint":"h","imapHost":"imap.a.com","imapPort":"0")");
    QTest::newRow("IMAP in plaintext") << with(R"("hint":"h")",
                                               R"("hint":"h","imapHost":"imap.a.com","imapSecurity":"None")");
    QTest::newRow("bad guess") << QByteArray(
        R"({"services":[],"other":{"host":"pop.{domain}","port":"0","security":"TLS","hint":"h"}})");
}

void tst_ServicePresets::malformedTablesAreRefused()
{
    QFETCH(QByteArray, json);
    QString error;
    const TServicePresets table = TServicePresets::FromJson(json, error);
    QVERIFY(!error.isEmpty());
    QVERIFY(table.IsEmpty());
    TServicePreset preset;
    QVERIFY(!table.Lookup(QStringLiteral("x@a.com"), preset));
}

void tst_ServicePresets::tableMayNameTheLogin()
{
    QString error;
    const TServicePresets table = TServicePresets::FromJson(
        R"({"services":[{"name":"Local","domains":["local.example"],"host":"pop.local.example","port":"110",
            "security":"STARTTLS","login":"local","hint":"h"}]})",
        error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    TServicePreset preset;
    QVERIFY(table.Lookup(QStringLiteral("Joe@LOCAL.example"), preset));
    QCOMPARE(preset.Login, QStringLiteral("Joe"));
    QCOMPARE(preset.Port, QStringLiteral("110"));
    QCOMPARE(preset.Security, QStringLiteral("STARTTLS"));
    // Without an "other" entry a domain outside the table gets no guess.
    QVERIFY(!table.Lookup(QStringLiteral("joe@elsewhere.example"), preset));
}

void tst_ServicePresets::browserSignInAndUnknownKeys()
{
    TServicePreset preset;
    QVERIFY(TServicePresets::Shipped().Lookup(QStringLiteral("a@gmail.com"), preset));
    QVERIFY(preset.OAuth);
    QVERIFY(TServicePresets::Shipped().Lookup(QStringLiteral("a@live.com"), preset));
    QVERIFY(preset.OAuth);
    QVERIFY(TServicePresets::Shipped().Lookup(QStringLiteral("a@yahoo.com"), preset));
    QVERIFY(!preset.OAuth);
    QVERIFY(TServicePresets::Shipped().Lookup(QStringLiteral("a@example.org"), preset));
    QVERIFY(!preset.OAuth);
    // Keys this reader does not know (another reader's, or a later version's) are left alone.
    QString error;
    const TServicePresets table = TServicePresets::FromJson(
        R"({"services":[{"name":"A","domains":["a.example"],"host":"pop.a.example","port":"995","security":"TLS",
            "hint":"h","oauth":{"authorize":"x"},"imap":{"host":"imap.a.example"},"future":[1,2]}],"version":3})",
        error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(table.Lookup(QStringLiteral("me@a.example"), preset));
    QCOMPARE(preset.Host, QStringLiteral("pop.a.example"));
    QVERIFY(preset.OAuth);
}

void tst_ServicePresets::defaultNames_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("taken");
    QTest::addColumn<QString>("name");
    QTest::newRow("part before @") << "alice@example.org" << QStringList() << "alice";
    QTest::newRow("taken in other case") << "alice@example.org" << QStringList{"ALICE"} << "alice (2)";
    QTest::newRow("numbered on") << "alice@example.org" << QStringList{"alice", "Alice (2)"} << "alice (3)";
    QTest::newRow("program section") << "general@example.org" << QStringList() << "信箱";
    QTest::newRow("seen-ID prefix") << "IDs:x@example.org" << QStringList() << "信箱";
    QTest::newRow("window name") << "Status@example.org" << QStringList() << "信箱";
    QTest::newRow("fallback taken") << "About@example.org" << QStringList{"信箱"} << "信箱 (2)";
    QTest::newRow("brackets dropped") << "[x]@example.org" << QStringList() << "x";
}

void tst_ServicePresets::defaultNames()
{
    QFETCH(QString, address);
    QFETCH(QStringList, taken);
    QFETCH(QString, name);
    QCOMPARE(TNewMailbox::DefaultName(address, taken), name);
}

// The translation tools find the hints in the program's list only: it holds exactly the
// shipped table's hints, so a hint added or reworded in the table is not left untranslated.
void tst_ServicePresets::hintsKnownToTranslations()
{
    TServicePresets::Shipped();
    QFile file(QStringLiteral(":/services/services.json"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject table = QJsonDocument::fromJson(file.readAll()).object();
    QStringList hints;
    for (const QJsonValue& service : table.value(QStringLiteral("services")).toArray()) {
        hints << service.toObject().value(QStringLiteral("hint")).toString();
    }
    hints << table.value(QStringLiteral("other")).toObject().value(QStringLiteral("hint")).toString();
    QStringList known = TServicePresets::TranslatableHints();
    hints.sort();
    known.sort();
    QCOMPARE(known, hints);
}

QTEST_GUILESS_MAIN(tst_ServicePresets)
#include "tst_ServicePresets.moc"
