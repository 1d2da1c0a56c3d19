#include "options/TFormOption.h"
#include "options/TOptionHost.h"
#include "settings/TIniFile.h"
#include "settings/TLanguage.h"
#include "settings/TVarnEncryption.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class LanguageHost : public TOptionHost {
public:
    QString path;
    TVarnEncryption encryption;

    QString SettingsPath() const override { return path; }
    QString ExeFolder() const override { return QStringLiteral("/opt/mailvane/"); }
    TVarnEncryption& Encryption() override { return encryption; }
    bool RasPresent() override { return false; }
    QStringList GetPhoneBookEntries() override { return {}; }
    void CreateMailbox(const QString&) override {}
    void DestroyMailbox(const QString&) override {}
    void SetMailboxPassword(const QString&, const QString&) override {}
    void AddMailboxCount(int) override {}
    void ShowMessage(const QString&, const QString&) override {}
    void RefreshState(const TOptionState&) override {}
    void ChangeNextCheck() override {}
    void RaiseMainWindow() override {}
    QString ConfigHome() const override { return path + QStringLiteral(".config"); }
};

} // namespace

// The interface language on the general page of the options dialog.
class tst_LanguageChoice : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void storedChoiceShownAndChanged_data();
    void storedChoiceShownAndChanged();
    void choicesReadInTheirLanguage_data();
    void choicesReadInTheirLanguage();

private:
    QTemporaryDir* m_dir = nullptr;
    LanguageHost m_host;
};

void tst_LanguageChoice::init()
{
    m_dir = new QTemporaryDir;
    m_host.path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
}

void tst_LanguageChoice::cleanup()
{
    TLanguage::Uninstall(qApp);
    delete m_dir;
}

void tst_LanguageChoice::storedChoiceShownAndChanged_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("picked");

    QTest::newRow("nothing stored, English picked") << QString() << "自動"
                                                    << "en";
    QTest::newRow("English stored, Chinese picked") << "en"
                                                    << "English"
                                                    << "zh_TW";
    QTest::newRow("Chinese stored, automatic picked") << "zh_TW"
                                                      << "中文（台灣）"
                                                      << "auto";
    // A hand-edited word the program does not know is shown, and kept, as automatic.
    QTest::newRow("unknown stored, left alone") << "fr"
                                                << "自動"
                                                << "";
}

void tst_LanguageChoice::storedChoiceShownAndChanged()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QFETCH(QString, picked);
    TIniFile ini(m_host.path);
    if (!stored.isEmpty()) {
        ini.WriteString(QStringLiteral("Option"), QStringLiteral("Language"), stored);
    }
    {
        TFormOption dialog(m_host);
        QComboBox* combo = dialog.ComboBoxLanguage;
        QVERIFY(combo);
        QCOMPARE(combo->parentWidget(), dialog.TabSheetGeneral);
        QCOMPARE(combo->currentText(), shown);
        if (!picked.isEmpty()) {
            combo->setCurrentIndex(combo->findData(picked));
        }
        dialog.reject();
    }
    const QString saved = ini.ReadString(QStringLiteral("Option"), QStringLiteral("Language"), QString());
    QCOMPARE(saved, picked.isEmpty() ? TLanguage::Auto : picked);
}

void tst_LanguageChoice::choicesReadInTheirLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("items");
    QTest::addColumn<QString>("note");

    QTest::newRow("Chinese") << "zh_TW"
                             << "自動|中文（台灣）|English"
                             << "下次啟動時生效";
    QTest::newRow("English") << "en"
                             << "Automatic|Chinese (Taiwan)|English"
                             << "Takes effect at the next start";
}

void tst_LanguageChoice::choicesReadInTheirLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, items);
    QFETCH(QString, note);
    QVERIFY(TLanguage::Install(qApp, language));
    TFormOption dialog(m_host);
    QStringList texts;
    for (int i = 0; i < dialog.ComboBoxLanguage->count(); ++i) {
        texts << dialog.ComboBoxLanguage->itemText(i);
    }
    QCOMPARE(texts.join(QLatin1Char('|')), items);
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("LabelLanguageNote"));
    QVERIFY(label);
    QCOMPARE(label->text(), note);
    dialog.reject();
}

QTEST_MAIN(tst_LanguageChoice)
#include "tst_LanguageChoice.moc"
