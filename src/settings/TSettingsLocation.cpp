#include "settings/TSettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

const QString kFileName = QStringLiteral("Mailvane.ini");

constexpr QFile::Permissions kOwnerFolder = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kOwnerFile = QFile::ReadOwner | QFile::WriteOwner;

} // namespace

TSettingsLocation::TEnvironment TSettingsLocation::System()
{
    TEnvironment env;
    env.ExeFolder = QCoreApplication::applicationDirPath();
    env.XdgConfigHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    env.Home = qEnvironmentVariable("HOME");
    if (env.Home.isEmpty()) {
        env.Home = QDir::homePath();
    }
    // The file is replaced by writing a new one beside it and renaming: the folder itself
    // must be writable, not only the file.
    env.IsWritable = [](const QString& folder) {
        return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
    };
    return env;
}

QString TSettingsLocation::ConfigHome(const TEnvironment& env)
{
    // A relative value is invalid and is ignored, as other desktop programs do.
    if (!env.XdgConfigHome.isEmpty() && QDir::isAbsolutePath(env.XdgConfigHome)) {
        return QDir::cleanPath(env.XdgConfigHome);
    }
    return QDir::cleanPath(env.Home + QStringLiteral("/.config"));
}

TSettingsLocation::TChoice TSettingsLocation::Resolve(const TEnvironment& env)
{
    const QString beside = QDir(env.ExeFolder).absoluteFilePath(kFileName);
    if (!env.ExeFolder.isEmpty() && QFileInfo(beside).isFile() && env.IsWritable && env.IsWritable(env.ExeFolder)) {
        return {QDir::cleanPath(beside), TKind::Portable};
    }
    return {ConfigHome(env) + QStringLiteral("/mailvane/") + kFileName, TKind::User};
}

bool TSettingsLocation::Prepare(const TChoice& choice, QString* error)
{
    const auto fail = [error](const QString& text) {
        if (error) {
            *error = text;
        }
        return false;
    };
    if (choice.Kind == TKind::Portable) {
        return true;
    }
    const QFileInfo file(choice.Path);
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        return fail(QStringLiteral("Cannot create the settings folder %1").arg(folder));
    }
    // The program's own folder is narrowed; the ones above it belong to the user.
    if (!QFile::setPermissions(folder, kOwnerFolder)) {
        return fail(QStringLiteral("Cannot restrict the settings folder %1").arg(folder));
    }
    if (!file.exists()) {
        QFile created(choice.Path);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerFile)) {
            return fail(QStringLiteral("Cannot create the settings file %1").arg(choice.Path));
        }
    }
    return true;
}

QString TSettingsLocation::ForThisProgram()
{
    const TChoice choice = Resolve(System());
    QString error;
    if (!Prepare(choice, &error)) {
        // Carry on: the first write reports the same path as unwritable.
        qWarning("%s", qPrintable(error));
    }
    return choice.Path;
}

QString TSettingsLocation::ShippedFilesFolder(const QString& exeFolder)
{
    const QDir exe(exeFolder);
    const QString shared = QDir::cleanPath(exe.absoluteFilePath(QStringLiteral("../share/mailvane")));
    if (!QFileInfo::exists(exe.absoluteFilePath(QStringLiteral("Mailvane.wav"))) && QFileInfo(shared).isDir()) {
        return shared + QLatin1Char('/');
    }
    return QDir::cleanPath(exe.absolutePath()) + QLatin1Char('/');
}
