#include "welcome/TServicePresets.h"

#include "assets/MailvaneAssets.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The hints of services.json, here so that the translation tools find them; the table
// stays data that any file can replace. Keep in step with the file (a test compares).
const char* const kHints[] = {
    QT_TRANSLATE_NOOP("TServicePresets",
                      "請先在 Gmail 設定的「轉寄和 POP/IMAP」啟用 POP，再到 Google 帳戶建立應用程式密碼，填在密碼欄。"),
    QT_TRANSLATE_NOOP(
        "TServicePresets",
        "Outlook.com 只接受以瀏覽器登入（OAuth2）；請先在 Outlook.com 設定的「郵件 → 轉寄和 IMAP」允許以 POP 收信。"),
    QT_TRANSLATE_NOOP("TServicePresets", "請先在 Yahoo 帳戶的安全性設定產生應用程式密碼，填在密碼欄。"),
    QT_TRANSLATE_NOOP("TServicePresets", "請先在 QQ 郵箱「設定 → 帳戶」開啟 POP3 服務，並把產生的授權碼填在密碼欄。"),
    QT_TRANSLATE_NOOP("TServicePresets", "請先在 163 郵箱設定開啟 POP3 服務，並把設定的用戶端授權碼填在密碼欄。"),
    QT_TRANSLATE_NOOP("TServicePresets", "請先在 GMX 網頁信箱的設定中允許以 POP3 收信。"),
    QT_TRANSLATE_NOOP("TServicePresets",
                      "請先在 Fastmail 設定的「密碼與安全性」建立允許 POP 的應用程式密碼，填在密碼欄。"),
    QT_TRANSLATE_NOOP(
        "TServicePresets",
        "伺服器是依地址猜的；若測試失敗，請查詢郵件服務商的 IMAP 或 POP3 設定，稍後在「設定 → 網路設定」修改。"),
};

const QString kDomainPlaceholder = QStringLiteral("{domain}");

bool validLabel(const QString& label)
{
    if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) ||
        label.endsWith(QLatin1Char('-'))) {
        return false;
    }
    for (const QChar c : label) {
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                        (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool validLocal(const QString& local)
{
    if (local.isEmpty() || local.size() > 64) {
        return false;
    }
    static const QString specials = QStringLiteral("()<>,;:\\\"[]");
    for (const QChar c : local) {
        if (c.isSpace() || c.category() == QChar::Other_Control || specials.contains(c)) {
            return false;
        }
    }
    return true;
}

// One entry of the table; error names what is missing or wrong.
bool readEntry(const QJsonObject& o, const QString& where, bool needsDomains, TServicePreset& preset,
               QStringList& domains, bool& localLogin, QString& error)
{
    preset.Host = o.value(QStringLiteral("host")).toString();
    preset.Port = o.value(QStringLiteral("port")).toString();
    preset.Security = o.value(QStringLiteral("security")).toString();
    preset.Hint = o.value(QStringLiteral("hint")).toString();
    preset.ImapHost = o.value(QStringLiteral("imapHost")).toString();
    preset.ImapPort = o.value(QStringLiteral("imapPort")).toString(QStringLiteral("993"));
    preset.ImapSecurity = o.value(QStringLiteral("imapSecurity")).toString(QStringLiteral("TLS"));
    if (!preset.ImapHost.isEmpty()) {
        bool imapOk = false;
        const int imapPort = preset.ImapPort.toInt(&imapOk);
        if (!imapOk || imapPort < 1 || imapPort > 65535 ||
            (preset.ImapSecurity != QLatin1String("TLS") && preset.ImapSecurity != QLatin1String("STARTTLS"))) {
            error = where + QStringLiteral(": bad IMAP server \"%1:%2\"").arg(preset.ImapHost, preset.ImapPort);
            return false;
        }
    }
    preset.OAuth = o.value(QStringLiteral("oauth")).isObject();
    const QString login = o.value(QStringLiteral("login")).toString(QStringLiteral("address"));
    if (preset.Host.isEmpty() || preset.Hint.isEmpty()) {
        error = where + QStringLiteral(": host and hint are needed");
        return false;
    }
    bool ok = false;
    const int port = preset.Port.toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        error = where + QStringLiteral(": bad port \"%1\"").arg(preset.Port);
        return false;
    }
    if (preset.Security != QLatin1String("None") && preset.Security != QLatin1String("STARTTLS") &&
        preset.Security != QLatin1String("TLS")) {
        error = where + QStringLiteral(": bad security \"%1\"").arg(preset.Security);
        return false;
    }
    if (login != QLatin1String("address") && login != QLatin1String("local")) {
        error = where + QStringLiteral(": bad login \"%1\"").arg(login);
        return false;
    }
    localLogin = login == QLatin1String("local");
    domains.clear();
    for (const QJsonValue& d : o.value(QStringLiteral("domains")).toArray()) {
        const QString domain = d.toString().toLower();
        if (!TServicePresets::ValidAddress(QStringLiteral("x@") + domain)) {
            error = where + QStringLiteral(": bad domain \"%1\"").arg(d.toString());
            return false;
        }
        domains << domain;
    }
    if (needsDomains && domains.isEmpty()) {
        error = where + QStringLiteral(": no domains");
        return false;
    }
    return true;
}

} // namespace

TServicePresets TServicePresets::FromJson(const QByteArray& json, QString& error)
{
    error.clear();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull() || !doc.isObject()) {
        error = QStringLiteral("not a JSON object: ") + parseError.errorString();
        return {};
    }
    TServicePresets table;
    const QJsonArray services = doc.object().value(QStringLiteral("services")).toArray();
    for (const QJsonValue& v : services) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.Preset.Service = o.value(QStringLiteral("name")).toString();
        const QString where = e.Preset.Service.isEmpty() ? QStringLiteral("service") : e.Preset.Service;
        if (e.Preset.Service.isEmpty()) {
            error = QStringLiteral("a service without a name");
            return {};
        }
        if (!readEntry(o, where, true, e.Preset, e.Domains, e.LocalLogin, error)) {
            return {};
        }
        table.m_services << e;
    }
    const QJsonValue other = doc.object().value(QStringLiteral("other"));
    if (other.isObject()) {
        if (!readEntry(other.toObject(), QStringLiteral("other"), false, table.m_other.Preset, table.m_other.Domains,
                       table.m_other.LocalLogin, error)) {
            return {};
        }
        table.m_hasOther = true;
    }
    return table;
}

const TServicePresets& TServicePresets::Shipped()
{
    static const TServicePresets table = [] {
        InitMailvaneAssets();
        QFile file(QStringLiteral(":/services/services.json"));
        QString error;
        if (!file.open(QIODevice::ReadOnly)) {
            return TServicePresets();
        }
        return FromJson(file.readAll(), error);
    }();
    return table;
}

bool TServicePresets::ValidAddress(const QString& address)
{
    const QString a = address.trimmed();
    if (a.count(QLatin1Char('@')) != 1 || a.size() > 254) {
        return false;
    }
    const int at = int(a.indexOf(QLatin1Char('@')));
    if (!validLocal(a.left(at))) {
        return false;
    }
    const QStringList labels = a.mid(at + 1).toLower().split(QLatin1Char('.'));
    if (labels.size() < 2) {
        return false;
    }
    for (const QString& label : labels) {
        if (!validLabel(label)) {
            return false;
        }
    }
    return true;
}

QString TServicePresets::LocalPart(const QString& address)
{
    const QString a = address.trimmed();
    return a.left(a.indexOf(QLatin1Char('@')));
}

QString TServicePresets::Domain(const QString& address)
{
    const QString a = address.trimmed();
    return a.mid(a.indexOf(QLatin1Char('@')) + 1).toLower();
}

bool TServicePresets::Lookup(const QString& address, TServicePreset& preset) const
{
    if (!ValidAddress(address)) {
        return false;
    }
    const QString domain = Domain(address);
    const Entry* found = nullptr;
    for (const Entry& e : m_services) {
        if (e.Domains.contains(domain)) {
            found = &e;
            break;
        }
    }
    if (!found && !m_hasOther) {
        return false;
    }
    const Entry& e = found ? *found : m_other;
    preset = e.Preset;
    preset.Host.replace(kDomainPlaceholder, domain);
    preset.ImapHost.replace(kDomainPlaceholder, domain);
    preset.Login = e.LocalLogin ? LocalPart(address) : address.trimmed();
    return true;
}

QStringList TServicePresets::ServiceNames() const
{
    QStringList names;
    for (const Entry& e : m_services) {
        names << e.Preset.Service;
    }
    return names;
}

QString TServicePresets::ShownHint(const QString& hint)
{
    return QCoreApplication::translate("TServicePresets", hint.toUtf8().constData());
}

QStringList TServicePresets::TranslatableHints()
{
    QStringList hints;
    for (const char* hint : kHints) {
        hints << QString::fromUtf8(hint);
    }
    return hints;
}
