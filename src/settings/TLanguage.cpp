#include "settings/TLanguage.h"

#include "settings/TIniFile.h"
#include "settings/TSetting.h"
#include "settings/TSettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QTranslator>

const QString TLanguage::Auto = QStringLiteral("auto");
const QString TLanguage::Chinese = QStringLiteral("zh_TW");
const QString TLanguage::English = QStringLiteral("en");

namespace {

// What Install added, so that a second Install or Uninstall can take it back.
QList<QPointer<QTranslator>>& installed()
{
    static QList<QPointer<QTranslator>> translators;
    return translators;
}

QString primary(const QString& uiLanguage)
{
    const qsizetype cut = uiLanguage.indexOf(QRegularExpression(QStringLiteral("[-_.@]")));
    return (cut < 0 ? uiLanguage : uiLanguage.left(cut)).toLower();
}

// The chosen language in the desktop's own variant of it (en_GB, zh_HK) where the desktop
// lists one. Not QLocale::system() itself: its language may come from LANGUAGE while its
// formats come from LC_TIME.
QLocale localeFor(const QString& language)
{
    const QStringList desktop = QLocale::system().uiLanguages();
    for (const QString& entry : desktop) {
        if (primary(entry) == primary(language)) {
            return QLocale(entry);
        }
    }
    return QLocale(language);
}

} // namespace

QString TLanguage::Normalized(const QString& setting)
{
    const QString trimmed = setting.trimmed();
    for (const QString* known : {&Chinese, &English}) {
        if (trimmed.compare(*known, Qt::CaseInsensitive) == 0) {
            return *known;
        }
    }
    return Auto;
}

QStringList TLanguage::Available()
{
    // One compiled-in catalogue per language: mailvane_<language>.qm.
    const QLatin1String prefix("mailvane_");
    const QLatin1String suffix(".qm");
    QStringList languages;
    const QStringList files = QDir(QStringLiteral(":/i18n")).entryList({prefix + QLatin1Char('*') + suffix});
    for (const QString& file : files) {
        languages << file.mid(prefix.size(), file.size() - prefix.size() - suffix.size());
    }
    return languages;
}

QString TLanguage::Choose(const QString& setting, const QStringList& uiLanguages, const QStringList& available)
{
    const QString fixed = Normalized(setting);
    if (fixed != Auto) {
        return fixed;
    }
    for (const QString& entry : uiLanguages) {
        const QString language = primary(entry);
        if (language == QLatin1String("zh")) {
            return Chinese;
        }
        if (available.contains(language)) {
            return language;
        }
    }
    return English;
}

QString TLanguage::ForSettings(const QString& settingsPath)
{
    const QString setting = TSetting(TSettingsKeys::OptionLanguage).ReadString(TIniFile(settingsPath));
    return Choose(setting, QLocale::system().uiLanguages(), Available());
}

bool TLanguage::Install(QCoreApplication* app, const QString& language)
{
    Uninstall(app);
    const auto add = [app](QTranslator* translator) {
        app->installTranslator(translator);
        installed().append(translator);
    };
    bool found = true;
    if (language != Chinese) {
        auto* own = new QTranslator(app);
        found = own->load(QStringLiteral(":/i18n/mailvane_%1.qm").arg(language));
        if (found) {
            add(own);
        } else {
            delete own;
        }
    }
    // Qt's own dialogs and buttons; a system without Qt's catalogues keeps them in English.
    auto* qt = new QTranslator(app);
    if (qt->load(QStringLiteral("qtbase_%1").arg(language), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        add(qt);
    } else {
        delete qt;
    }
    QLocale::setDefault(localeFor(language));
    return found;
}

void TLanguage::Uninstall(QCoreApplication* app)
{
    for (const QPointer<QTranslator>& translator : std::as_const(installed())) {
        if (translator) {
            app->removeTranslator(translator);
            delete translator;
        }
    }
    installed().clear();
    QLocale::setDefault(QLocale::system());
}
