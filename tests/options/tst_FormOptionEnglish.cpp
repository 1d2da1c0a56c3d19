#include "options/TFormOption.h"
#include "testsupport/TEnglishCatalogue.h"
#include "testsupport/TQuietOptionHost.h"
#include "testsupport/TTextFit.h"
#include "widgets/TModal.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <memory>

using TEnglishCatalogue::HasCjk;

namespace {

// The texts of every label, button and tab under root.
QStringList shownTexts(const QWidget* root)
{
    QStringList texts;
    for (const QWidget* w : root->findChildren<QWidget*>()) {
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            texts << label->text();
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
            texts << button->text();
        } else if (const auto* fx = qobject_cast<const TFxLabel*>(w)) {
            texts << fx->Caption();
        } else if (const auto* tabs = qobject_cast<const QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                texts << tabs->tabText(i);
            }
        }
    }
    texts.removeAll(QString());
    return texts;
}

} // namespace

class tst_FormOptionEnglish : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pagesFit_data();
    void pagesFit();
    void pagesReadEnglish();
    void messagesReadEnglish();

private:
    QTemporaryDir m_qm;
    QTranslator m_english;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TQuietOptionHost> m_host;
};

void tst_FormOptionEnglish::initTestCase()
{
    const QString why = TEnglishCatalogue::Install(m_english, m_qm);
    QVERIFY2(why.isEmpty(), qPrintable(why));
}

void tst_FormOptionEnglish::init()
{
    QCoreApplication::installTranslator(&m_english);
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = std::make_unique<TQuietOptionHost>();
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_host->Config = m_dir->filePath(QStringLiteral("config"));
}

void tst_FormOptionEnglish::cleanup()
{
    TModal::SetHook({});
}

void tst_FormOptionEnglish::pagesFit_data()
{
    QTest::addColumn<bool>("english");
    QTest::newRow("English") << true;
    QTest::newRow("Chinese") << false;
}

// Every page, grabbed as it is shown: no caption, check box or button narrower than its
// text, in English as in Chinese.
void tst_FormOptionEnglish::pagesFit()
{
    QFETCH(bool, english);
    if (!english) {
        QCoreApplication::removeTranslator(&m_english);
    }
    TFormOption dialog(*m_host);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(HasCjk(dialog.PageControl->tabText(0)), !english);
    QCOMPARE(CutTexts(dialog.PageControl), QStringList());
    for (int i = 0; i < dialog.PageControl->count(); ++i) {
        dialog.PageControl->setCurrentIndex(i);
        QWidget* page = dialog.PageControl->widget(i);
        QVERIFY(!page->grab().isNull());
        const QStringList cut = CutTexts(page);
        QVERIFY2(cut.isEmpty(), qPrintable(dialog.PageControl->tabText(i) + u'\n' + cut.join(u'\n')));
    }
}

void tst_FormOptionEnglish::pagesReadEnglish()
{
    TFormOption dialog(*m_host);
    const QStringList texts = shownTexts(&dialog);
    // Tabs, captions, buttons and check boxes of all six pages.
    QVERIFY2(texts.size() > 40, qPrintable(texts.join(u'|')));
    for (const QString& text : texts) {
        QVERIFY2(!HasCjk(text), qPrintable(text));
    }
    QVERIFY(texts.contains(QStringLiteral("Test Connection")));
    QCOMPARE(dialog.ComboBoxSecurity->itemText(0), QStringLiteral("None"));
    // The settings word behind the item stays what the file holds.
    QCOMPARE(dialog.ComboBoxSecurity->itemData(0).toString(), QStringLiteral("None"));
}

// A refused field and a failed connection test speak English, the source line too.
void tst_FormOptionEnglish::messagesReadEnglish()
{
    TFormOption dialog(*m_host);
    dialog.ButtonAdd->click();
    QCOMPARE(m_host->Messages, QStringList(QStringLiteral("Options|Please fill in all the details!")));

    dialog.EditName->setText(QStringLiteral("box"));
    dialog.EditHost->setText(QStringLiteral("127.0.0.1"));
    dialog.EditLogin->setText(QStringLiteral("user"));
    dialog.EditCertSha256->setText(QStringLiteral("abc"));
    dialog.ButtonAdd->click();
    QCOMPARE(m_host->Messages.size(), 2);
    QVERIFY2(m_host->Messages[1].startsWith(QStringLiteral("Options|The trusted certificate's fingerprint")),
             qPrintable(m_host->Messages[1]));

    // A port nobody listens on, on loopback.
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    dialog.EditCertSha256->clear();
    dialog.EditPort->setText(QString::number(port));
    QStringList shown;
    TModal::SetHook([&](QDialog* d) {
        auto* box = qobject_cast<QMessageBox*>(d);
        shown << (box ? box->windowTitle() + u'|' + box->text() : QString());
        d->accept();
    });
    dialog.ButtonTestConnection->click();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].startsWith(QStringLiteral("Test Connection|Cannot connect (error ")), qPrintable(shown[0]));
    QVERIFY2(!HasCjk(shown[0]), qPrintable(shown[0]));
}

QTEST_MAIN(tst_FormOptionEnglish)
#include "tst_FormOptionEnglish.moc"
