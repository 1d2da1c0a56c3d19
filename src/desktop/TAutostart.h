#pragma once

#include <QString>

// Start at login: the desktop starts every entry in $XDG_CONFIG_HOME/autostart (by
// default ~/.config/autostart) when the user logs in.
class TAutostart {
public:
    // The entry's path for a configuration folder (as TSettingsLocation::ConfigHome gives it).
    static QString EntryPath(const QString& configHome);
    static bool IsEnabled(const QString& configHome);
    // Writes or removes the entry; program is the executable to start. False when the
    // file could not be written or removed.
    static bool SetEnabled(const QString& configHome, bool enabled, const QString& program);
    // The entry's text.
    static QByteArray Entry(const QString& program);
};
