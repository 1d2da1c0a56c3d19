#include "desktop/TAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

QString TAutostart::EntryPath(const QString& configHome)
{
    return QDir::cleanPath(configHome) + QStringLiteral("/autostart/mailvane.desktop");
}

bool TAutostart::IsEnabled(const QString& configHome)
{
    return QFileInfo::exists(EntryPath(configHome));
}

QByteArray TAutostart::Entry(const QString& program)
{
    // Exec quoting: a path with a reserved character is quoted, its quotes, dollars,
    // back quotes and backslashes escaped; a field code's "%" is doubled.
    QString exec = program;
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    static const QRegularExpression reserved(QStringLiteral("[\\s\"'\\\\><~|&;$*?#()`]"));
    if (exec.contains(reserved)) {
        exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('"'), QStringLiteral("\\\""))
            .replace(QLatin1Char('$'), QStringLiteral("\\$"))
            .replace(QLatin1Char('`'), QStringLiteral("\\`"));
        exec = QLatin1Char('"') + exec + QLatin1Char('"');
    }
    // Inside a desktop-file string a backslash is itself escaped.
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=Mailvane\n"
                                  "Name[zh_TW]=Mailvane 新郵件通知\n"
                                  "Comment=Watch POP3 mailboxes and announce new mail\n"
                                  "Comment[zh_TW]=定時檢查 POP3 信箱並通知新郵件\n"
                                  "Exec=%1\n"
                                  "Icon=mailvane\n"
                                  "Terminal=false\n"
                                  "X-GNOME-Autostart-enabled=true\n")
                       .arg(exec);
    return text.toUtf8();
}

bool TAutostart::SetEnabled(const QString& configHome, bool enabled, const QString& program)
{
    const QString path = EntryPath(configHome);
    if (!enabled) {
        return !QFileInfo::exists(path) || QFile::remove(path);
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(Entry(program));
    return file.commit();
}
