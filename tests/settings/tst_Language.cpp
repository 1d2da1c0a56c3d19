#include "settings/TIniFile.h"
#include "settings/TLanguage.h"
#include "settings/TOptionStore.h"
#include "settings/TVarnEncryption.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

// The language choice, the setting behind it and the catalogues it installs.
class tst_Language : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void availableFromTheCatalogues();
    void choose_data();
    void choose();
    void storeKeepsTheChoice_data();
    void storeKeepsTheChoice();
    void forSettingsReadsTheFile();
    void englishCatalogueTranslatesAndGoesAway();
    void chineseKeepsTheSourceTexts();
    void datesFollowTheLanguage();
};

void tst_Language::cleanup()
{
    TLanguage::Uninstall(QCoreApplication::instance());
}

void tst_Language::choose_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("ui");
    QTest::addColumn<QString>("chosen");

    const QStringList en{QStringLiteral("en")};
    QTest::newRow("auto, Taiwan") << "auto" << QStringList{"zh-TW", "en-US"} << "zh_TW";
    // Any Chinese gives the one Chinese there is, script and region aside.
    QTest::newRow("auto, Hong Kong") << "auto" << QStringList{"zh-Hant-HK"} << "zh_TW";
    QTest::newRow("auto, mainland") << "auto" << QStringList{"zh_CN.UTF-8"} << "zh_TW";
    QTest::newRow("auto, English") << "auto" << QStringList{"en-GB", "zh-TW"} << "en";
    // A language without a catalogue is passed over for the next one the desktop lists.
    QTest::newRow("auto, German then Chinese") << "auto" << QStringList{"de-DE", "de", "zh-TW"} << "zh_TW";
    QTest::newRow("auto, German only") << "auto" << QStringList{"de-DE", "fr"} << "en";
    QTest::newRow("auto, nothing listed") << "auto" << QStringList{} << "en";
    QTest::newRow("auto, C locale") << "auto" << QStringList{"C"} << "en";
    QTest::newRow("fixed Chinese beats English desktop") << "zh_TW" << QStringList{"en-US"} << "zh_TW";
    QTest::newRow("fixed English beats Chinese desktop") << "en" << QStringList{"zh-TW"} << "en";
    QTest::newRow("hand-edited case") << " EN " << QStringList{"zh-TW"} << "en";
    QTest::newRow("unknown reads as auto") << "klingon" << QStringList{"zh-TW"} << "zh_TW";
    QTest::newRow("empty reads as auto") << "" << QStringList{"en"} << "en";
}

void tst_Language::availableFromTheCatalogues()
{
    QCOMPARE(TLanguage::Available(), QStringList{TLanguage::English});
}

void tst_Language::choose()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, ui);
    QFETCH(QString, chosen);
    QCOMPARE(TLanguage::Choose(setting, ui, TLanguage::Available()), chosen);
}

void tst_Language::storeKeepsTheChoice_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("saved");

    QTest::newRow("missing") << QByteArray() << "auto"
                             << "auto";
    QTest::newRow("Chinese") << QByteArray("[Option]\nLanguage=zh_TW\n") << "zh_TW"
                             << "zh_TW";
    QTest::newRow("English") << QByteArray("[Option]\nLanguage=en\n") << "en"
                             << "en";
    QTest::newRow("unknown") << QByteArray("[Option]\nLanguage=fr\n") << "auto"
                             << "auto";
}

void tst_Language::storeKeepsTheChoice()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, loaded);
    QFETCH(QString, saved);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();

    TVarnEncryption encryption;
    TOptionStore store(path, encryption);
    QStringList errors;
    TOptionSettings v = store.Load(QString(), errors);
    QCOMPARE(v.Language, loaded);
    store.Save(v);
    QCOMPARE(TIniFile(path).ReadString(QStringLiteral("Option"), QStringLiteral("Language"), QString()), saved);

    v.Language = QStringLiteral("en");
    store.Save(v);
    QCOMPARE(store.Load(QString(), errors).Language, QStringLiteral("en"));
}

void tst_Language::forSettingsReadsTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Mailvane.ini"));
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("Option"), QStringLiteral("Language"), QStringLiteral("en"));
    QCOMPARE(TLanguage::ForSettings(path), QStringLiteral("en"));
    ini.WriteString(QStringLiteral("Option"), QStringLiteral("Language"), QStringLiteral("zh_TW"));
    QCOMPARE(TLanguage::ForSettings(path), QStringLiteral("zh_TW"));
}

void tst_Language::englishCatalogueTranslatesAndGoesAway()
{
    const char* source = "信箱數目";
    QVERIFY(TLanguage::Install(QCoreApplication::instance(), TLanguage::English));
    QCOMPARE(QCoreApplication::translate("TFormStatus", source), QStringLiteral("Mailboxes"));
    QCOMPARE(QCoreApplication::translate("TDesktopNotifier", "Mailvane：%n 封新郵件", nullptr, 1),
             QStringLiteral("Mailvane: 1 new message"));
    QCOMPARE(QCoreApplication::translate("TDesktopNotifier", "Mailvane：%n 封新郵件", nullptr, 3),
             QStringLiteral("Mailvane: 3 new messages"));
    // A second install replaces the first rather than stacking on it.
    QVERIFY(TLanguage::Install(QCoreApplication::instance(), TLanguage::English));
    TLanguage::Uninstall(QCoreApplication::instance());
    QCOMPARE(QCoreApplication::translate("TFormStatus", source), QString::fromUtf8(source));
}

void tst_Language::chineseKeepsTheSourceTexts()
{
    QVERIFY(TLanguage::Install(QCoreApplication::instance(), TLanguage::Chinese));
    QCOMPARE(QCoreApplication::translate("TFormStatus", "信箱數目"), QStringLiteral("信箱數目"));
    // Qt's own buttons speak Chinese too.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

void tst_Language::datesFollowTheLanguage()
{
    const QDate date(2026, 12, 9);
    TLanguage::Install(QCoreApplication::instance(), TLanguage::English);
    QCOMPARE(QLocale().language(), QLocale::English);
    QVERIFY2(QLocale().toString(date, QLocale::LongFormat).contains(QStringLiteral("December")),
             qPrintable(QLocale().toString(date, QLocale::LongFormat)));
    TLanguage::Install(QCoreApplication::instance(), TLanguage::Chinese);
    QCOMPARE(QLocale().language(), QLocale::Chinese);
    QVERIFY2(QLocale().toString(date, QLocale::LongFormat).contains(QStringLiteral("12月")),
             qPrintable(QLocale().toString(date, QLocale::LongFormat)));
}

QTEST_GUILESS_MAIN(tst_Language)
#include "tst_Language.moc"
