#pragma once

#include <QString>

#include <functional>

// Where Mailvane.ini lives. A copy run from a folder it may write to, that already holds
// a settings file, keeps using it (portable use, and every build folder as before);
// otherwise the file is the user's own under the XDG configuration folder.
class TSettingsLocation {
public:
    struct TEnvironment {
        QString ExeFolder;
        // $XDG_CONFIG_HOME and $HOME as the process sees them; empty when unset.
        QString XdgConfigHome;
        QString Home;
        // Whether the program may create and replace files in a folder. A seam, so that
        // tests running as root can decide what the kernel would not refuse.
        std::function<bool(const QString& folder)> IsWritable;
    };

    enum class TKind { Portable, User };
    struct TChoice {
        QString Path;
        TKind Kind = TKind::User;
    };

    // The running process's environment, with the real writability check.
    static TEnvironment System();
    static TChoice Resolve(const TEnvironment& env);
    // The user's configuration folder: $XDG_CONFIG_HOME when absolute, else ~/.config.
    static QString ConfigHome(const TEnvironment& env);

    // Creates the file's folder owner-only (0700) and an empty file owner-only (0600) when
    // they are missing; returns false with a reason when that fails.
    static bool Prepare(const TChoice& choice, QString* error = nullptr);

    // Where the shipped animation and sound are, with a trailing separator: beside the
    // executable in a build folder, ../share/mailvane/ from an installed bin/ folder.
    static QString ShippedFilesFolder(const QString& exeFolder);

    // Resolve(System()), prepared; the path the program runs with.
    static QString ForThisProgram();
};
