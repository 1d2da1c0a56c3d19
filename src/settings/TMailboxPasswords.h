#pragma once

#include "settings/TIniFile.h"

#include <QString>

class TPasswordStore;
class TVarnEncryption;

// A mailbox's remembered password: in the keyring when one is in use, otherwise scrambled
// in the mailbox's section of the settings file as before. A scrambled password found
// while the keyring is in use moves there the first time it is read. The demo mailbox's
// published password always stays in the file.
class TMailboxPasswords {
public:
    // store may be null (no keyring built in); the option UseKeyring decides otherwise.
    TMailboxPasswords(const QString& settingsPath, TVarnEncryption& encryption, TPasswordStore* store);

    // The keyring entry of a mailbox's account.
    static QString KeyOf(const QString& mailbox, const QString& login);

    // The password in clear, empty when none is stored. Throws EConvertError when the
    // scrambled text in the file is malformed; the file then keeps it unchanged.
    QString Read(const QString& mailbox, const QString& login);
    // An empty password is stored as none.
    void Write(const QString& mailbox, const QString& login, const QString& clear);
    // Before the mailbox's section is erased or renamed: its keyring entry goes or moves.
    void Remove(const QString& mailbox, const QString& login);
    void Rename(const QString& oldName, const QString& oldLogin, const QString& newName, const QString& newLogin);
    // The keyring given up: its entry goes back into the file, scrambled.
    void MoveToFile(const QString& mailbox, const QString& login);

private:
    // The keyring for this mailbox's password, null when the file keeps it.
    TPasswordStore* keyringFor(const QString& mailbox) const;
    void writeFile(const QString& mailbox, const QString& clear);

    TIniFile m_ini;
    TVarnEncryption& m_encryption;
    TPasswordStore* m_store;
};
