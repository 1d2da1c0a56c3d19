#pragma once

#include "settings/TIniFile.h"
#include "settings/TOptionSettings.h"

#include <QSet>

class TPasswordStore;
class TSetting;
class TVarnEncryption;

// Reads and writes the options dialog's values in the settings file. A stored password that
// cannot be unscrambled is reported, read as empty, and kept as it is until another is given.
class TOptionStore {
public:
    // keyring, when given, holds the mailboxes' passwords while the option UseKeyring is on.
    TOptionStore(const QString& path, TVarnEncryption& encryption, TPasswordStore* keyring = nullptr);

    // The animation and sound default to the shipped files in exeFolder (with its separator).
    // Each password that cannot be unscrambled adds its error text to errors.
    TOptionSettings Load(const QString& exeFolder, QStringList& errors);
    void Save(const TOptionSettings& values);

    void SaveServers(const QStringList& servers);

    // error gets the text of a password that cannot be unscrambled.
    TMailboxSettings LoadMailbox(const QString& name, QString& error);
    void SaveMailbox(const QString& name, const TMailboxSettings& mailbox);
    // Stores typed.CertSha256 as the listed mailbox's trusted certificate, but only when the
    // mailbox stores the server typed names: the same host (letter case aside), security and
    // port (empty being the security's usual one). False when it does not.
    bool PinIfSameServer(const QString& name, const TMailboxSettings& typed);
    // Removes the mailbox's section, its seen identifiers and its keyring entry.
    void EraseMailbox(const QString& name);

private:
    QString readScrambled(const TSetting& setting, QStringList& errors);
    void writeScrambled(const TSetting& setting, const QString& clear);
    static QString id(const TSetting& setting);

    TIniFile m_ini;
    TVarnEncryption& m_encryption;
    TPasswordStore* m_keyring;
    QSet<QString> m_unreadable;
};
