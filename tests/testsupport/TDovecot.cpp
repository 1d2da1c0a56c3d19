#include "testsupport/TDovecot.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool mailUser(uid_t& uid, gid_t& gid)
{
    const passwd* pw = getpwnam("nobody");
    const group* gr = getgrnam("nogroup");
    if (!pw || !gr) {
        return false;
    }
    uid = pw->pw_uid;
    gid = gr->gr_gid;
    return true;
}

int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) {
        return 0;
    }
    return probe.serverPort();
}

// A free port not among those already taken by this server.
int freePortBesides(const QList<int>& taken)
{
    int port = freePort();
    for (int tries = 0; tries < 100 && taken.contains(port); ++tries) {
        port = freePort();
    }
    return port;
}

} // namespace

TDovecot::TDovecot() = default;

TDovecot::~TDovecot()
{
    Stop();
}

void TDovecot::SetSsl(TSsl mode, const QString& certFile, const QString& keyFile)
{
    m_ssl = mode;
    m_certFile = certFile;
    m_keyFile = keyFile;
}

bool TDovecot::Available(QString* why)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dovecot"),
                                       {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")})
            .isEmpty()) {
        *why = QStringLiteral("dovecot is not installed (Debian package dovecot-pop3d)");
        return false;
    }
    if (geteuid() != 0) {
        *why = QStringLiteral("a private dovecot instance needs root to switch to the mail user");
        return false;
    }
    uid_t uid;
    gid_t gid;
    if (!mailUser(uid, gid)) {
        *why = QStringLiteral("no user nobody / group nogroup for mail access");
        return false;
    }
    return true;
}

bool TDovecot::ImapAvailable(QString* why)
{
    if (!Available(why)) {
        return false;
    }
    if (!QFileInfo::exists(QStringLiteral("/usr/lib/dovecot/imap"))) {
        *why = QStringLiteral("the IMAP server is not installed (Debian package dovecot-imapd)");
        return false;
    }
    return true;
}

QString TDovecot::maildir() const
{
    return m_root + QStringLiteral("/mail/") + User() + QStringLiteral("/Maildir");
}

void TDovecot::chownToMailUser(const QString& path) const
{
    uid_t uid;
    gid_t gid;
    if (mailUser(uid, gid)) {
        if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0) {
            qWarning("TDovecot: cannot hand %s to the mail user", qPrintable(path));
        }
    }
}

bool TDovecot::Start(QString* error)
{
    Stop();
    m_dir = std::make_unique<QTemporaryDir>(m_base + QStringLiteral("/mailvane-dovecot-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = QStringLiteral("cannot create a temporary folder");
        return false;
    }
    m_root = m_dir->path();
    ::chmod(QFile::encodeName(m_root).constData(), 0755);
    m_port = freePort();
    m_tlsPort = m_ssl == TSsl::Off ? 0 : freePortBesides({m_port});
    m_imapPort = m_imap ? freePortBesides({m_port, m_tlsPort}) : 0;
    m_imapsPort = m_imap && m_ssl != TSsl::Off ? freePortBesides({m_port, m_tlsPort, m_imapPort}) : 0;
    QDir root(m_root);
    for (const QString& sub : {QStringLiteral("run"), QStringLiteral("state"), QStringLiteral("mail")}) {
        root.mkpath(sub);
    }
    for (const QString& sub : {QStringLiteral("new"), QStringLiteral("cur"), QStringLiteral("tmp")}) {
        root.mkpath(maildir() + QLatin1Char('/') + sub);
    }
    for (const QString& p :
         {m_root + QStringLiteral("/mail"), m_root + QStringLiteral("/mail/") + User(), maildir(),
          maildir() + QStringLiteral("/new"), maildir() + QStringLiteral("/cur"), maildir() + QStringLiteral("/tmp")}) {
        chownToMailUser(p);
    }

    QFile passwd(m_root + QStringLiteral("/passwd"));
    if (!passwd.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write the passwd file");
        return false;
    }
    passwd.write((User() + QStringLiteral(":{PLAIN}") + Password() + QLatin1Char('\n')).toUtf8());
    passwd.close();

    const QString addresses = m_ipv6 ? QStringLiteral("127.0.0.1, ::1") : QStringLiteral("127.0.0.1");
    QString ssl = QStringLiteral("ssl = no\ndisable_plaintext_auth = no\n");
    QString tlsListener;
    if (m_ssl != TSsl::Off) {
        ssl = QStringLiteral("ssl = %1\nssl_cert = <%2\nssl_key = <%3\ndisable_plaintext_auth = %4\n")
                  .arg(m_ssl == TSsl::Required ? QStringLiteral("required") : QStringLiteral("yes"), m_certFile,
                       m_keyFile, m_ssl == TSsl::Required ? QStringLiteral("yes") : QStringLiteral("no"));
        tlsListener = QStringLiteral("  inet_listener pop3s {\n    address = %1\n    port = %2\n    ssl = yes\n  }\n")
                          .arg(addresses)
                          .arg(m_tlsPort);
    }
    QString imap;
    if (m_imap) {
        QString imaps;
        if (m_ssl != TSsl::Off) {
            imaps = QStringLiteral("  inet_listener imaps {\n    address = %1\n    port = %2\n    ssl = yes\n  }\n")
                        .arg(addresses)
                        .arg(m_imapsPort);
        }
        // Folders below others are named with "/", as most servers name them.
        imap = QStringLiteral("imap_idle_notify_interval = 10 secs\n"
                              "namespace inbox {\n  inbox = yes\n  separator = /\n}\n"
                              "service imap-login {\n  chroot =\n  inet_listener imap {\n    address = %1\n"
                              "    port = %2\n  }\n%3}\n")
                   .arg(addresses)
                   .arg(m_imapPort)
                   .arg(imaps);
        if (!m_imapCapability.isEmpty()) {
            imap += QStringLiteral("imap_capability = %1\n").arg(m_imapCapability);
        }
    }
    QString mechanisms = QStringLiteral("plain");
    QString oauth;
    if (!m_introspection.isEmpty()) {
        QFile oauthConf(m_root + QStringLiteral("/dovecot-oauth2.conf.ext"));
        if (!oauthConf.open(QIODevice::WriteOnly)) {
            *error = QStringLiteral("cannot write the oauth2 configuration");
            return false;
        }
        oauthConf.write(QStringLiteral("introspection_mode = auth\n"
                                       "introspection_url = %1\n"
                                       "username_attribute = email\n"
                                       "force_introspection = yes\n"
                                       "active_attribute = active\n"
                                       "active_value = true\n")
                            .arg(m_introspection)
                            .toUtf8());
        oauthConf.close();
        mechanisms = QStringLiteral("plain login xoauth2 oauthbearer");
        oauth = QStringLiteral("passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = %1\n}\n")
                    .arg(oauthConf.fileName());
    }
    QString conf =
        QStringLiteral("base_dir = %1/run\n"
                       "state_dir = %1/state\n"
                       "log_path = %1/dovecot.log\n"
                       "info_log_path = %1/dovecot.log\n"
                       "listen = %3\n"
                       "protocols = %6\n"
                       "%4"
                       "auth_mechanisms = %8\n"
                       "auth_failure_delay = 0\n"
                       "mail_location = maildir:%1/mail/%u/Maildir\n"
                       "mail_uid = nobody\n"
                       "mail_gid = nogroup\n"
                       "first_valid_uid = 0\n"
                       "default_login_user = nobody\n"
                       "default_internal_user = nobody\n"
                       "default_internal_group = nogroup\n"
                       "%9"
                       "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u %1/passwd\n}\n"
                       "userdb {\n  driver = static\n  args = uid=nobody gid=nogroup home=%1/mail/%u\n}\n"
                       "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    address = %3\n"
                       "    port = %2\n  }\n%5}\n"
                       "service anvil {\n  chroot =\n}\n"
                       "%7")
            .arg(m_root)
            .arg(m_port)
            .arg(addresses, ssl, tlsListener, m_imap ? QStringLiteral("pop3 imap") : QStringLiteral("pop3"), imap,
                 mechanisms, oauth);
    if (!oauth.isEmpty()) {
        // A refused token is retried at once with a new one: no growing delay for that.
        conf.replace(QStringLiteral("service anvil {\n  chroot =\n}\n"),
                     QStringLiteral("service anvil {\n  chroot =\n  unix_listener anvil-auth-penalty {\n"
                                    "    mode = 0\n  }\n}\n"));
    }
    QFile confFile(m_root + QStringLiteral("/dovecot.conf"));
    if (!confFile.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write the configuration");
        return false;
    }
    confFile.write(conf.toUtf8());
    confFile.close();

    QProcess start;
    start.start(QStringLiteral("dovecot"), {QStringLiteral("-c"), confFile.fileName()});
    if (!start.waitForFinished(10000) || start.exitCode() != 0) {
        *error = QStringLiteral("dovecot did not start: ") + QString::fromLocal8Bit(start.readAllStandardError()) +
                 LogText();
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        QFile pidFile(m_root + QStringLiteral("/run/master.pid"));
        if (m_pid == 0 && pidFile.open(QIODevice::ReadOnly)) {
            m_pid = pidFile.readAll().trimmed().toLongLong();
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        bool listening = m_pid > 0 && probe.waitForConnected(200);
        probe.abort();
        if (listening && m_imap) {
            probe.connectToHost(QHostAddress::LocalHost, quint16(m_imapPort));
            listening = probe.waitForConnected(200);
            probe.abort();
        }
        if (listening) {
            return true;
        }
        QThread::msleep(50);
    }
    *error = QStringLiteral("dovecot does not answer on port %1: ").arg(m_port) + LogText();
    Stop();
    return false;
}

void TDovecot::Stop()
{
    if (m_pid > 0) {
        ::kill(pid_t(m_pid), SIGTERM);
        QElapsedTimer waited;
        waited.start();
        while (::kill(pid_t(m_pid), 0) == 0 && waited.elapsed() < 5000) {
            QThread::msleep(20);
        }
        if (::kill(pid_t(m_pid), 0) == 0) {
            ::kill(pid_t(m_pid), SIGKILL);
        }
        m_pid = 0;
    }
    m_dir.reset();
    m_imapPort = 0;
    m_imapsPort = 0;
}

QString TDovecot::LogText() const
{
    QFile log(m_root + QStringLiteral("/dovecot.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString();
}

QByteArray TDovecot::MakeMessage(const QByteArray& id, const QByteArray& from, const QByteArray& subject,
                                 const QByteArray& body)
{
    QByteArray text;
    if (!id.isEmpty()) {
        text += "Message-ID: " + id + "\n";
    }
    text += "Date: Mon, 1 Jan 2024 10:00:00 +0000\nFrom: " + from + "\nSubject: " + subject + "\n\n" + body + "\n";
    return text;
}

void TDovecot::AddMessage(const QByteArray& content)
{
    ++m_stamp;
    ++m_sequence;
    const QString name = QStringLiteral("%1/new/%2.M%3P1.mailvane").arg(maildir()).arg(m_stamp).arg(m_sequence);
    QFile file(name);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
        file.close();
        chownToMailUser(name);
    }
}

void TDovecot::Clear()
{
    for (const QString& sub : {QStringLiteral("/new"), QStringLiteral("/cur")}) {
        QDir dir(maildir() + sub);
        for (const QString& f : dir.entryList(QDir::Files)) {
            dir.remove(f);
        }
    }
}

QList<QByteArray> TDovecot::StoredIds() const
{
    // File names start with the stamp, so sorting them gives the message order.
    QStringList files;
    for (const QString& sub : {QStringLiteral("/new"), QStringLiteral("/cur")}) {
        QDir dir(maildir() + sub);
        for (const QString& f : dir.entryList(QDir::Files)) {
            files.append(dir.filePath(f));
        }
    }
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return QFileInfo(a).fileName() < QFileInfo(b).fileName(); });
    QList<QByteArray> ids;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        QByteArray id;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.trimmed().isEmpty()) {
                break;
            }
            if (line.toLower().startsWith("message-id:")) {
                id = line.mid(11).trimmed();
            }
        }
        ids.append(id);
    }
    return ids;
}

int TDovecot::doveadm(const QStringList& arguments, QByteArray* output, const QByteArray& input) const
{
    QProcess process;
    process.start(QStringLiteral("doveadm"),
                  QStringList{QStringLiteral("-c"), m_root + QStringLiteral("/dovecot.conf")} + arguments);
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished(1000);
        return -1;
    }
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return process.exitCode();
}

bool TDovecot::Kick()
{
    // 0 when connections were dropped, 68 when the user had none.
    if (doveadm({QStringLiteral("kick"), User()}) != 0) {
        return false;
    }
    // Wait until the server has let go of them, so the mail is no longer in use.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        QByteArray who;
        if (doveadm({QStringLiteral("who"), User()}, &who) != 0 || !who.contains(User().toUtf8())) {
            break;
        }
        QThread::msleep(20);
    }
    return true;
}

bool TDovecot::SetFlag(quint32 uid, const QByteArray& flag, bool on)
{
    return doveadm({QStringLiteral("flags"), on ? QStringLiteral("add") : QStringLiteral("remove"),
                    QStringLiteral("-u"), User(), QString::fromUtf8(flag), QStringLiteral("mailbox"),
                    QStringLiteral("INBOX"), QStringLiteral("uid"), QString::number(uid)}) == 0;
}

QList<QByteArray> TDovecot::Flags(quint32 uid) const
{
    QByteArray out;
    if (doveadm({QStringLiteral("fetch"), QStringLiteral("-u"), User(), QStringLiteral("flags"),
                 QStringLiteral("mailbox"), QStringLiteral("INBOX"), QStringLiteral("uid"), QString::number(uid)},
                &out) != 0) {
        return {};
    }
    // "flags: \Seen \Recent"
    const qsizetype colon = out.indexOf(':');
    const QByteArray flags = colon < 0 ? QByteArray() : out.mid(colon + 1).simplified();
    return flags.isEmpty() ? QList<QByteArray>() : flags.split(' ');
}

quint32 TDovecot::UidValidity() const
{
    QByteArray out;
    if (doveadm({QStringLiteral("mailbox"), QStringLiteral("status"), QStringLiteral("-u"), User(),
                 QStringLiteral("uidvalidity"), QStringLiteral("INBOX")},
                &out) != 0) {
        return 0;
    }
    // "INBOX uidvalidity=1796816994"
    const qsizetype at = out.indexOf("uidvalidity=");
    return at < 0 ? 0 : out.mid(at + 12).trimmed().toUInt();
}

bool TDovecot::RecreateInbox()
{
    const quint32 before = UidValidity();
    Kick();
    // The UID list and the indexes hold the UIDs; without them the server starts the
    // folder afresh, with the next UIDVALIDITY it keeps beside them.
    QDir dir(maildir());
    const QStringList state =
        dir.entryList({QStringLiteral("dovecot-uidlist"), QStringLiteral("dovecot.index*")}, QDir::Files);
    for (const QString& name : state) {
        dir.remove(name);
    }
    const quint32 after = UidValidity();
    return before != 0 && after != 0 && after != before;
}

bool TDovecot::CreateFolder(const QString& name)
{
    return doveadm({QStringLiteral("mailbox"), QStringLiteral("create"), QStringLiteral("-u"), User(), name}) == 0;
}

bool TDovecot::AddMessageTo(const QString& folder, const QByteArray& content)
{
    return doveadm({QStringLiteral("save"), QStringLiteral("-u"), User(), QStringLiteral("-m"), folder}, nullptr,
                   content) == 0;
}
