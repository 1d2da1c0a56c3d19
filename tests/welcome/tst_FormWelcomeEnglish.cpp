#include "mailbox/TSessionTexts.h"
#include "testsupport/TEnglishCatalogue.h"
#include "testsupport/TQuietOptionHost.h"
#include "testsupport/TTextFit.h"
#include "welcome/TFormAddMailbox.h"
#include "welcome/TFormWelcome.h"

#include <QCheckBox>
#include <QFile>
#include <QFormLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using TEnglishCatalogue::HasCjk;

namespace {

// The shown texts of the form: window title, labels and buttons.
QStringList shownTexts(const QWidget* form)
{
    QStringList texts{form->windowTitle()};
    for (const QWidget* w : form->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form)) {
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            texts << button->text();
        }
    }
    texts.removeAll(QString());
    return texts;
}

// One address at each service of the shipped table, and one at a domain it does not know.
QStringList addressPerService()
{
    TServicePresets::Shipped();
    QFile file(QStringLiteral(":/services/services.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList addresses;
    const QJsonArray services =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("services")).toArray();
    for (const QJsonValue& service : services) {
        addresses << QStringLiteral("someone@") +
                         service.toObject().value(QStringLiteral("domains")).toArray().first().toString();
    }
    return addresses << QStringLiteral("someone@mail.example.org");
}

} // namespace

class tst_FormWelcomeEnglish : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void welcome_data();
    void welcome();
    void addMailbox_data();
    void addMailbox();
    void hintsReadEnglish();

private:
    QTemporaryDir m_qm;
    QTemporaryDir m_dir;
    QTranslator m_english;
    TQuietOptionHost m_host;
};

void tst_FormWelcomeEnglish::initTestCase()
{
    const QString why = TEnglishCatalogue::Install(m_english, m_qm);
    QVERIFY2(why.isEmpty(), qPrintable(why));
    m_host.Path = m_dir.filePath(QStringLiteral("Mailvane.ini"));
    m_host.Config = m_dir.filePath(QStringLiteral("config"));
}

void tst_FormWelcomeEnglish::init()
{
    QCoreApplication::installTranslator(&m_english);
}

void tst_FormWelcomeEnglish::welcome_data()
{
    QTest::addColumn<bool>("english");
    QTest::addColumn<bool>("demoListed");
    QTest::newRow("English") << true << false;
    QTest::newRow("English, demo listed") << true << true;
    QTest::newRow("Chinese") << false << false;
    QTest::newRow("Chinese, demo listed") << false << true;
}

void tst_FormWelcomeEnglish::welcome()
{
    QFETCH(bool, english);
    QFETCH(bool, demoListed);
    if (!english) {
        QCoreApplication::removeTranslator(&m_english);
    }
    TFormWelcome form(demoListed);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!form.grab().isNull());
    QCOMPARE(CutTexts(&form), QStringList());
    const QStringList texts = shownTexts(&form);
    // Title, introduction, three buttons and the check box.
    QCOMPARE(texts.size(), 6);
    for (const QString& text : texts) {
        QVERIFY2(HasCjk(text) == !english, qPrintable(text));
    }
}

void tst_FormWelcomeEnglish::addMailbox_data()
{
    QTest::addColumn<bool>("english");
    QTest::newRow("English") << true;
    QTest::newRow("Chinese") << false;
}

// The form with a service's hint, a failed test's result and the offer to trust the
// certificate: everything fits, in English nothing is left in Chinese.
void tst_FormWelcomeEnglish::addMailbox()
{
    QFETCH(bool, english);
    if (!english) {
        QCoreApplication::removeTranslator(&m_english);
    }
    TConnectionTestResult refused;
    refused.Message = TSessionTexts::TlsFailed();
    refused.CertUntrusted = true;
    refused.Subject = QStringLiteral("CN=localhost");
    refused.Issuer = QStringLiteral("CN=localhost");
    refused.ValidFrom = QStringLiteral("2026-01-01");
    refused.ValidTo = QStringLiteral("2027-01-01");
    refused.Fingerprint = QString(64, QLatin1Char('a'));
    TFormAddMailbox form(m_host, TServicePresets::Shipped(), [&](const TConnectionParams&) { return refused; });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QStringList addresses = addressPerService();
    QVERIFY(addresses.size() > 2);
    for (const QString& address : addresses + QStringList{QStringLiteral("not an address")}) {
        form.EditAddress->setText(address);
        form.EditPassword->setText(QStringLiteral("secret"));
        QVERIFY(!form.ButtonTestClick());
        QVERIFY(form.CheckBoxTrustCert->isVisibleTo(&form) || !address.contains(u'@'));
        // The layout takes the new texts' sizes when the posted layout request is handled.
        QCoreApplication::sendPostedEvents();
        QVERIFY(!form.grab().isNull());
        const QStringList cut = CutTexts(&form);
        QVERIFY2(cut.isEmpty(), qPrintable(address + u'\n' + cut.join(u'\n')));
        if (english) {
            for (const QString& text : shownTexts(&form)) {
                QVERIFY2(!HasCjk(text), qPrintable(address + u'\n' + text));
            }
        }
    }
}

// Each service's hint is shown in English; a hint the translations do not know (a table
// given by someone else) is shown as it is.
void tst_FormWelcomeEnglish::hintsReadEnglish()
{
    QStringList hints;
    TServicePreset preset;
    for (const QString& address : addressPerService()) {
        QVERIFY2(TServicePresets::Shipped().Lookup(address, preset), qPrintable(address));
        QVERIFY2(HasCjk(preset.Hint), qPrintable(preset.Hint));
        const QString shown = TServicePresets::ShownHint(preset.Hint);
        QVERIFY2(!HasCjk(shown) && !shown.isEmpty(), qPrintable(address + u'\n' + shown));
        hints << shown;
    }
    // One English hint per service, none the same as another's.
    QCOMPARE(QSet<QString>(hints.cbegin(), hints.cend()).size(), hints.size());
    const QString own = QStringLiteral("請先開啟 POP3。");
    QCOMPARE(TServicePresets::ShownHint(own), own);
}

QTEST_MAIN(tst_FormWelcomeEnglish)
#include "tst_FormWelcomeEnglish.moc"
