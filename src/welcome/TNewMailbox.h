#pragma once

#include <QString>
#include <QStringList>

class TVarnEncryption;

// A mailbox entry as the options dialog writes it, with its server's security and port.
struct TNewMailboxEntry {
    QString Host;
    QString Port;
    QString Security = QStringLiteral("None");
    QString Login;
    QString Password;
    QString CertSha256;
    // "POP3" or "IMAP"; an IMAP mailbox waits for news (Push) by default.
    QString Protocol = QStringLiteral("POP3");
    // "Password" or "OAuth2"; with OAuth2 the service of the table that signs it in.
    QString Auth = QStringLiteral("Password");
    QString OAuthProvider;
};

// Adds a mailbox to the settings file the way the options dialog's add button does: the
// name goes to the top of the list, then the mailbox's own section is written.
class TNewMailbox {
public:
    // The mailbox names listed in the file, in list order, without empty places.
    static QStringList ListedNames(const QString& settingsPath);

    // A valid name from the part of the address before "@", told apart from taken by a
    // number when needed.
    static QString DefaultName(const QString& address, const QStringList& taken);

    // Empty when written; otherwise the options dialog's refusal text and nothing is written.
    static QString Add(const QString& settingsPath, TVarnEncryption& encryption, const QString& name,
                       const TNewMailboxEntry& entry);

    // Takes the name off the list (the places below move up) and erases its sections.
    static void Remove(const QString& settingsPath, TVarnEncryption& encryption, const QString& name);
};
