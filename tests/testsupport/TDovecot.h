#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A private Dovecot POP3 (and on request IMAP) server on 127.0.0.1 for one test: its own
// configuration, run and state folders, log and Maildir inside a temporary folder under
// /tmp, one passwd-file user. Stopped by the destructor, also when a test fails.
class TDovecot {
public:
    TDovecot();
    ~TDovecot();
    TDovecot(const TDovecot&) = delete;
    TDovecot& operator=(const TDovecot&) = delete;

    // False with a reason when this machine cannot run it (no binary, not root).
    static bool Available(QString* why);
    // The same, and the IMAP server is installed too.
    static bool ImapAvailable(QString* why);

    enum class TSsl {
        Off,
        // STLS on the plain listener and implicit TLS on TlsPort(); plaintext logins allowed.
        On,
        // The same, and no login without encryption.
        Required
    };
    // Before Start: encryption with this PEM certificate and key.
    void SetSsl(TSsl mode, const QString& certFile = {}, const QString& keyFile = {});
    // Before Start: listen on ::1 as well as 127.0.0.1.
    void SetIpv6(bool on) { m_ipv6 = on; }
    // Before Start: serve IMAP beside POP3, on ImapPort() (and ImapsPort() with encryption).
    void SetImap(bool on) { m_imap = on; }
    // Before Start: what IMAP lists after login instead of its own capabilities.
    void SetImapCapability(const QString& words) { m_imapCapability = words; }
    // Before Start: tokens are logged in with (XOAUTH2, OAUTHBEARER) and checked at this
    // introspection URL (an authorization server's "active"/"email" answer); passwords stay.
    void SetOAuth2(const QString& introspectionUrl) { m_introspection = introspectionUrl; }
    // The folder that holds the server's own folder (default /tmp); every folder above it
    // must be traversable by the mail user.
    void SetBaseFolder(const QString& folder) { m_base = folder; }

    bool Start(QString* error);
    void Stop();
    bool Running() const { return m_pid > 0; }

    int Port() const { return m_port; }
    // The implicit-TLS listener's port, 0 without encryption.
    int TlsPort() const { return m_tlsPort; }
    // IMAP's plain and implicit-TLS listeners, 0 when not served.
    int ImapPort() const { return m_imapPort; }
    int ImapsPort() const { return m_imapsPort; }
    QString User() const { return QStringLiteral("mvuser"); }
    QString Password() const { return QStringLiteral("secret"); }
    QString LogText() const;

    // Puts a message into new/; each later message gets a later stamp, which fixes the
    // order the server numbers them in. LF line ends are fine: the server sends CR LF.
    void AddMessage(const QByteArray& content);
    // A simple message with these headers and a body line.
    static QByteArray MakeMessage(const QByteArray& id, const QByteArray& from, const QByteArray& subject,
                                  const QByteArray& body = "Hello.");
    // Through doveadm, with IMAP served: a folder (its levels separated by "/"), and a
    // message stored into one as a delivery would store it.
    bool CreateFolder(const QString& name);
    bool AddMessageTo(const QString& folder, const QByteArray& content);
    // Removes every message, delivered or not.
    void Clear();
    // The Message-ID of every message the server still holds, in message order.
    QList<QByteArray> StoredIds() const;

    // Through doveadm. Drops every connection of the user; false when none was open.
    bool Kick();
    // Sets or clears a flag (\Deleted, \Seen, a keyword) on the INBOX message with this UID.
    bool SetFlag(quint32 uid, const QByteArray& flag, bool on = true);
    // The flags of the INBOX message with this UID, as doveadm lists them; empty when unknown.
    QList<QByteArray> Flags(quint32 uid) const;
    // The INBOX as if deleted and made again with the same messages: connections are
    // dropped, UIDVALIDITY changes and UIDs start again at 1. False when it did not change.
    bool RecreateInbox();
    // The INBOX's UIDVALIDITY, 0 when it cannot be read.
    quint32 UidValidity() const;

private:
    QString maildir() const;
    void chownToMailUser(const QString& path) const;
    // Runs doveadm on this server's configuration; its exit code, -1 when it did not run.
    // input, when not null, is written to its standard input.
    int doveadm(const QStringList& arguments, QByteArray* output = nullptr, const QByteArray& input = {}) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    int m_port = 0;
    int m_tlsPort = 0;
    TSsl m_ssl = TSsl::Off;
    QString m_certFile;
    QString m_keyFile;
    bool m_ipv6 = false;
    bool m_imap = false;
    int m_imapPort = 0;
    int m_imapsPort = 0;
    QString m_imapCapability;
    QString m_base = QStringLiteral("/tmp");
    QString m_introspection;
    qint64 m_pid = 0;
    qint64 m_stamp = 1700000000;
    int m_sequence = 0;
};
