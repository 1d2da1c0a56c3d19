#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// Which language the interface speaks, and the translators that make it so. The texts in
// the code are Traditional Chinese; other languages come from compiled-in catalogues.
class TLanguage {
public:
    // The values of the setting; anything else reads as Auto.
    static const QString Auto;
    static const QString Chinese;
    static const QString English;

    // setting as stored, folded to Auto, Chinese or English.
    static QString Normalized(const QString& setting);
    // The languages besides Chinese that have a catalogue compiled in.
    static QStringList Available();
    // The language to use: a fixed setting wins; Auto takes the first Chinese entry of
    // uiLanguages (any "zh") as Chinese and the first other one found in available, else English.
    static QString Choose(const QString& setting, const QStringList& uiLanguages, const QStringList& available);
    // The choice for the settings file at path and the desktop's languages.
    static QString ForSettings(const QString& settingsPath);

    // Installs the catalogues of language (the program's and Qt's own) into app and makes its
    // locale the default for dates and times. False when the program's catalogue is missing.
    static bool Install(QCoreApplication* app, const QString& language);
    // Removes what Install put in, back to the texts as written.
    static void Uninstall(QCoreApplication* app);
};
