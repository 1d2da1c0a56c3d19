#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTranslator>

// The English catalogues compiled as the program would load them. The build names lrelease
// (MAILVANE_LRELEASE) and the .ts files (MAILVANE_EN_TS, separated by '|').
namespace TEnglishCatalogue {

// Compiles the catalogues into dir and installs them through translator; empty when done,
// else why not.
inline QString Install(QTranslator& translator, const QTemporaryDir& dir)
{
    const QString qm = dir.filePath(QStringLiteral("mailvane_en.qm"));
    QStringList args = QString::fromUtf8(MAILVANE_EN_TS).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    if (args.isEmpty()) {
        return QStringLiteral("no English catalogue in the source tree");
    }
    args << QStringLiteral("-silent") << QStringLiteral("-qm") << qm;
    QProcess lrelease;
    lrelease.start(QString::fromUtf8(MAILVANE_LRELEASE), args);
    if (!lrelease.waitForFinished(60000) || lrelease.exitStatus() != QProcess::NormalExit || lrelease.exitCode() != 0) {
        return QStringLiteral("lrelease failed: ") + QString::fromLocal8Bit(lrelease.readAllStandardError()) +
               lrelease.errorString();
    }
    if (!translator.load(qm)) {
        return QStringLiteral("cannot load ") + qm;
    }
    if (!QCoreApplication::installTranslator(&translator)) {
        return QStringLiteral("the translator is empty");
    }
    return QString();
}

// Han, kana, CJK punctuation and full-width forms: what an English text must not hold.
inline bool HasCjk(const QString& text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) ||
            (u >= 0xFF00 && u <= 0xFFEF)) {
            return true;
        }
    }
    return false;
}

} // namespace TEnglishCatalogue
