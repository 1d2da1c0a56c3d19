#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// What the add-my-mailbox form fills in for an address.
struct TServicePreset {
    // The service's name in the table; empty when the server is only a guess from the domain.
    QString Service;
    QString Host;
    QString Port;
    // "None", "STARTTLS" or "TLS", as a mailbox's Security key holds it.
    QString Security;
    QString Login;
    // The service's IMAP server ("TLS" or "STARTTLS"); empty when it offers none.
    QString ImapHost;
    QString ImapPort;
    QString ImapSecurity;
    // What the user must do first at the service, one line.
    QString Hint;
    // The service signs in through the browser; its provider is TOAuthProvider::Shipped()
    // under the service's name (src/auth reads the entry's "oauth" object).
    bool OAuth = false;
};

// The table of common mail services, read from a data file, and the first guess for
// any other domain.
class TServicePresets {
public:
    // Reads a table; on a malformed one error says why and the table is empty.
    static TServicePresets FromJson(const QByteArray& json, QString& error);
    // The table compiled into the program.
    static const TServicePresets& Shipped();

    // local@domain with a domain of at least two labels of letters, digits and hyphens,
    // no blanks and no control characters; blanks around the address are ignored.
    static bool ValidAddress(const QString& address);
    // The part before "@" of a valid address.
    static QString LocalPart(const QString& address);
    // The domain of a valid address, in lower case.
    static QString Domain(const QString& address);

    // False for an address that is not valid or when the table has no guess.
    bool Lookup(const QString& address, TServicePreset& preset) const;
    QStringList ServiceNames() const;

    // A hint in the interface's language; a hint the translations do not know is shown
    // as the table has it.
    static QString ShownHint(const QString& hint);
    // The shipped table's hints that the translations know.
    static QStringList TranslatableHints();
    bool IsEmpty() const { return m_services.isEmpty() && !m_hasOther; }

private:
    struct Entry {
        TServicePreset Preset;
        QStringList Domains;
        // The login is the part before "@" instead of the whole address.
        bool LocalLogin = false;
    };

    QList<Entry> m_services;
    Entry m_other;
    bool m_hasOther = false;
};
