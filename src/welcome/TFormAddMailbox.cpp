#include "welcome/TFormAddMailbox.h"

#include "auth/TOAuthAccess.h"
#include "auth/TOAuthProvider.h"
#include "options/TOptionHost.h"
#include "settings/TAccount.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "welcome/TNewMailbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Keys = TSettingsKeys;

TFormAddMailbox::TFormAddMailbox(TOptionHost& host, const TServicePresets& presets, TConnectionTester tester,
                                 QWidget* parent)
    : QDialog(parent), m_host(host), m_presets(presets), m_tester(std::move(tester)),
      m_providers(TOAuthProvider::Shipped())
{
    setObjectName(QStringLiteral("FormAddMailbox"));
    setWindowTitle(tr("新增我的信箱"));
    setMinimumWidth(460);

    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    EditAddress = edit("EditAddress");
    EditAddress->setPlaceholderText(QStringLiteral("name@example.com"));
    ComboBoxAuth = new QComboBox(this);
    ComboBoxAuth->setObjectName(QStringLiteral("ComboBoxAuth"));
    ComboBoxAuth->addItem(tr("密碼"), QStringLiteral("Password"));
    ComboBoxAuth->addItem(tr("以瀏覽器登入 (OAuth2)"), QStringLiteral("OAuth2"));
    EditPassword = edit("EditPassword");
    EditPassword->setEchoMode(QLineEdit::Password);
    LabelService = new QLabel(this);
    LabelService->setObjectName(QStringLiteral("LabelService"));
    LabelHint = new QLabel(this);
    LabelHint->setObjectName(QStringLiteral("LabelHint"));
    LabelHint->setWordWrap(true);
    EditHost = edit("EditHost");
    EditPort = edit("EditPort");
    ComboBoxSecurity = new QComboBox(this);
    ComboBoxSecurity->setObjectName(QStringLiteral("ComboBoxSecurity"));
    ComboBoxSecurity->addItems({QStringLiteral("TLS"), QStringLiteral("STARTTLS"), QStringLiteral("None")});
    ComboBoxProtocol = new QComboBox(this);
    ComboBoxProtocol->setObjectName(QStringLiteral("ComboBoxProtocol"));
    ComboBoxProtocol->addItems({QStringLiteral("IMAP"), QStringLiteral("POP3")});
    EditLogin = edit("EditLogin");
    EditName = edit("EditName");
    CheckBoxTrustCert = new QCheckBox(this);
    CheckBoxTrustCert->setObjectName(QStringLiteral("CheckBoxTrustCert"));
    CheckBoxTrustCert->setVisible(false);
    LabelOAuth = new QLabel(this);
    LabelOAuth->setObjectName(QStringLiteral("LabelOAuth"));
    LabelOAuth->setWordWrap(true);
    LabelResult = new QLabel(this);
    LabelResult->setObjectName(QStringLiteral("LabelResult"));
    LabelResult->setWordWrap(true);
    LabelResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_form = new QFormLayout;
    QFormLayout* form = m_form;
    form->addRow(tr("電子郵件地址"), EditAddress);
    form->addRow(tr("登入方式"), ComboBoxAuth);
    form->addRow(tr("密碼（或應用程式密碼）"), EditPassword);
    form->addRow(tr("郵件服務"), LabelService);
    form->addRow(QString(), LabelHint);
    form->addRow(QString(), LabelOAuth);
    form->addRow(tr("通訊協定"), ComboBoxProtocol);
    form->addRow(tr("伺服器"), EditHost);
    form->addRow(tr("連接埠"), EditPort);
    form->addRow(tr("加密"), ComboBoxSecurity);
    form->addRow(tr("使用者名稱"), EditLogin);
    form->addRow(tr("信箱名稱"), EditName);

    ButtonTest = new QPushButton(tr("測試連線"), this);
    ButtonTest->setObjectName(QStringLiteral("ButtonTest"));
    ButtonAuthorize = new QPushButton(tr("以瀏覽器登入"), this);
    ButtonAuthorize->setObjectName(QStringLiteral("ButtonAuthorize"));
    ButtonAuthorize->setAutoDefault(false);
    ButtonSave = new QPushButton(tr("儲存"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonCancel = new QPushButton(tr("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonSave->setAutoDefault(false);
    ButtonTest->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonTest);
    buttons->addWidget(ButtonAuthorize);
    buttons->addStretch();
    buttons->addWidget(ButtonSave);
    buttons->addWidget(ButtonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(CheckBoxTrustCert);
    layout->addWidget(LabelResult);
    layout->addLayout(buttons);

    connect(EditAddress, &QLineEdit::textChanged, this, [this] { EditAddressChange(); });
    for (QLineEdit* e : {EditPassword, EditHost, EditPort, EditLogin}) {
        connect(e, &QLineEdit::textChanged, this, [this] { valuesChanged(); });
    }
    connect(ComboBoxSecurity, &QComboBox::currentTextChanged, this, [this] { valuesChanged(); });
    connect(ComboBoxProtocol, &QComboBox::currentTextChanged, this, [this] {
        if (m_filling || !m_found) {
            valuesChanged();
            return;
        }
        // The service's server of the chosen protocol.
        m_filling = true;
        fillServer();
        m_filling = false;
        valuesChanged();
    });
    connect(CheckBoxTrustCert, &QCheckBox::toggled, this, [this] { valuesChanged(); });
    connect(ButtonTest, &QPushButton::clicked, this, [this] { ButtonTestClick(); });
    connect(ButtonSave, &QPushButton::clicked, this, [this] { ButtonSaveClick(); });
    connect(ButtonAuthorize, &QPushButton::clicked, this, [this] { ButtonAuthorizeClick(); });
    connect(ComboBoxAuth, &QComboBox::currentIndexChanged, this, [this] {
        authChanged();
        valuesChanged();
    });
    // The token is kept under the mailbox's name and login: another one needs its own.
    for (QLineEdit* e : {EditName, EditLogin}) {
        connect(e, &QLineEdit::textChanged, this, [this] {
            m_authorized = false;
            valuesChanged();
        });
    }
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    EditAddressChange();
}

void TFormAddMailbox::EditAddressChange()
{
    TServicePreset preset;
    if (!m_presets.Lookup(EditAddress->text(), preset)) {
        m_found = false;
        m_preset = TServicePreset();
        LabelService->clear();
        LabelHint->setText(tr("請輸入完整的電子郵件地址，例如 name@example.com。"));
        fitHeight();
        authChanged();
        valuesChanged();
        return;
    }
    m_filling = true;
    m_preset = preset;
    m_found = true;
    LabelService->setText(preset.Service.isEmpty() ? tr("（依網域猜測）") : preset.Service);
    LabelHint->setText(TServicePresets::ShownHint(preset.Hint));
    fitHeight();
    ComboBoxProtocol->setCurrentText(preset.ImapHost.isEmpty() ? QStringLiteral("POP3") : QStringLiteral("IMAP"));
    fillServer();
    EditLogin->setText(preset.Login);
    EditName->setText(TNewMailbox::DefaultName(EditAddress->text(), TNewMailbox::ListedNames(m_host.SettingsPath())));
    const TOAuthProvider provider = m_providers.value(preset.Service);
    m_canAuthorize = preset.OAuth && !provider.ClientId.isEmpty() && m_host.OAuthAccess();
    // Browser sign-in first where it works, and where the service takes nothing else.
    const bool oauth = preset.OAuth && (m_canAuthorize || !provider.AppPassword);
    ComboBoxAuth->setCurrentIndex(
        ComboBoxAuth->findData(oauth ? QStringLiteral("OAuth2") : QStringLiteral("Password")));
    m_filling = false;
    authChanged();
    valuesChanged();
}

void TFormAddMailbox::SetProviders(const QMap<QString, TOAuthProvider>& providers)
{
    m_providers = providers;
    EditAddressChange();
}

bool TFormAddMailbox::OAuthChosen() const
{
    return m_found && m_preset.OAuth && ComboBoxAuth->currentData().toString() == QLatin1String("OAuth2");
}

void TFormAddMailbox::authChanged()
{
    const bool offered = m_found && m_preset.OAuth;
    m_form->setRowVisible(ComboBoxAuth, offered);
    const bool oauth = OAuthChosen();
    EditPassword->setEnabled(!oauth);
    ButtonAuthorize->setVisible(oauth);
    ButtonAuthorize->setEnabled(m_canAuthorize);
    if (!offered) {
        m_form->setRowVisible(LabelOAuth, false);
        return;
    }
    const TOAuthProvider provider = m_providers.value(m_preset.Service);
    QString note;
    if (m_canAuthorize) {
        note = oauth ? tr("按「以瀏覽器登入」，在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件。").arg(m_preset.Service)
                     : QString();
    } else {
        note = tr("這個 Mailvane 建置時沒有 %1 的用戶端 ID，無法以瀏覽器登入。").arg(m_preset.Service);
        note +=
            QLatin1Char(' ') +
            (provider.AppPassword
                 ? tr("請在 %1 帳戶的安全性設定建立應用程式密碼，改選「密碼」並填在密碼欄。").arg(m_preset.Service)
                 : tr("%1 不接受密碼登入：需要建置時提供用戶端 ID 的 Mailvane（見 README）。").arg(m_preset.Service));
    }
    LabelOAuth->setText(note);
    m_form->setRowVisible(LabelOAuth, !note.isEmpty());
}

TAccount TFormAddMailbox::account() const
{
    TAccount a;
    a.Name = EditName->text();
    a.SettingsPath = m_host.SettingsPath();
    a.Host = EditHost->text().trimmed();
    a.Port = EditPort->text().trimmed();
    a.Login = EditLogin->text();
    const QString security = ComboBoxSecurity->currentText();
    a.Security = security == QLatin1String("TLS")        ? TAccount::TSecurityKind::Tls
                 : security == QLatin1String("STARTTLS") ? TAccount::TSecurityKind::StartTls
                                                         : TAccount::TSecurityKind::None;
    a.Protocol = ComboBoxProtocol->currentText() == QLatin1String("IMAP") ? TAccount::TProtocol::Imap
                                                                          : TAccount::TProtocol::Pop3;
    a.Auth = TAccount::TAuth::OAuth2;
    // Spelled out, so that the sign-in uses exactly the provider this form offered.
    const TOAuthProvider provider = m_providers.value(m_preset.Service);
    a.OAuthAuthorizeUrl = provider.AuthorizeUrl.toString();
    a.OAuthTokenUrl = provider.TokenUrl.toString();
    a.OAuthScope = provider.Scope;
    a.OAuthClientId = provider.ClientId;
    a.OAuthClientSecret = provider.ClientSecret;
    a.OAuthMechanism = QString::fromLatin1(TSaslOAuth::Name(provider.Mechanism));
    return a;
}

void TFormAddMailbox::ButtonAuthorizeClick()
{
    TOAuthAccess* access = m_host.OAuthAccess();
    if (!access || !m_canAuthorize) {
        return;
    }
    if (!m_authorizing.isEmpty()) {
        m_saveWhenAuthorized = false;
        if (access->AuthorizingMailbox() == m_authorizing) {
            access->CancelAuthorization();
        }
        return;
    }
    const TAccount a = account();
    if (a.Name.isEmpty() || a.Host.isEmpty() || a.Login.isEmpty()) {
        LabelResult->setText(tr("請詳細填寫資料！"));
        return;
    }
    TOAuthProvider provider;
    QString error;
    if (!TOAuthAccess::Provider(a, provider, error)) {
        LabelResult->setText(QStringLiteral("✘ ") + error);
        return;
    }
    if (access->Authorizing()) {
        LabelResult->setText(tr("正在為「%1」以瀏覽器登入，請先完成或取消。").arg(access->AuthorizingMailbox()));
        return;
    }
    if (!access->Authorize(a)) {
        LabelResult->setText(tr("無法開始以瀏覽器登入。"));
        return;
    }
    // The outcome comes from the event loop, never from within Authorize().
    connect(access, &TOAuthAccess::authorized, this,
            [this](const QString& mailbox) { authorizationEnded(mailbox, true, QString()); });
    connect(access, &TOAuthAccess::authorizationFailed, this,
            [this](const QString& mailbox, const QString& message) { authorizationEnded(mailbox, false, message); });
    m_authorizing = a.Name;
    m_authorizingLogin = a.Login;
    m_authorized = false;
    ButtonAuthorize->setText(tr("取消登入"));
    LabelResult->setText(tr("請在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件...").arg(m_preset.Service));
}

void TFormAddMailbox::authorizationEnded(const QString& mailbox, bool ok, const QString& message)
{
    if (m_authorizing.isEmpty() || mailbox != m_authorizing) {
        return;
    }
    if (TOAuthAccess* access = m_host.OAuthAccess()) {
        disconnect(access, nullptr, this, nullptr);
    }
    // The token belongs to the name and login it was asked for.
    const bool sameName = m_authorizing == EditName->text() && m_authorizingLogin == EditLogin->text();
    m_authorizing.clear();
    ButtonAuthorize->setText(tr("以瀏覽器登入"));
    m_authorized = ok && sameName;
    LabelResult->setText(ok ? QStringLiteral("✔ ") + tr("已以瀏覽器登入 %1。").arg(m_preset.Service)
                            : QStringLiteral("✘ ") + message);
    const bool saveNow = m_saveWhenAuthorized && m_authorized;
    m_saveWhenAuthorized = false;
    m_passed = false;
    valuesChanged();
    if (saveNow) {
        ButtonSaveClick();
    }
}

void TFormAddMailbox::fillServer()
{
    const bool imap = ComboBoxProtocol->currentText() == QLatin1String("IMAP") && !m_preset.ImapHost.isEmpty();
    EditHost->setText(imap ? m_preset.ImapHost : m_preset.Host);
    EditPort->setText(imap ? m_preset.ImapPort : m_preset.Port);
    ComboBoxSecurity->setCurrentText(imap ? m_preset.ImapSecurity : m_preset.Security);
}

// A wrapped text needs more lines as it grows, which a window does not follow by itself.
// Before the first show the window takes its size from the layout anyway.
void TFormAddMailbox::fitHeight()
{
    if (!isVisible()) {
        return;
    }
    const int need = heightForWidth(width());
    if (need > height()) {
        resize(width(), need);
    }
}

void TFormAddMailbox::valuesChanged()
{
    if (m_filling) {
        return;
    }
    // A pass counts only for the values it was made with.
    m_passed = false;
    ButtonTest->setEnabled((!OAuthChosen() || m_authorized) && !EditHost->text().isEmpty() &&
                           !EditLogin->text().isEmpty());
}

TConnectionParams TFormAddMailbox::params() const
{
    TConnectionParams p;
    p.Host = EditHost->text().trimmed();
    p.Port = EditPort->text().trimmed();
    p.Security = ComboBoxSecurity->currentText();
    p.Protocol = ComboBoxProtocol->currentText();
    p.Login = EditLogin->text();
    p.Password = EditPassword->text();
    p.CertSha256 = !CheckBoxTrustCert->isHidden() && CheckBoxTrustCert->isChecked() ? m_fingerprint : QString();
    const int timeout = TSetting(Keys::GeneralTimeout).ReadInteger(TIniFile(m_host.SettingsPath()));
    if (timeout > 0) {
        p.Timeout = timeout;
    }
    if (OAuthChosen()) {
        // The login takes the token the browser sign-in gave this mailbox.
        const TAccount a = account();
        p.Password.clear();
        p.Auth = QStringLiteral("OAuth2");
        p.Mailbox = a.Name;
        p.SettingsPath = a.SettingsPath;
        p.OAuthAuthorizeUrl = a.OAuthAuthorizeUrl;
        p.OAuthTokenUrl = a.OAuthTokenUrl;
        p.OAuthScope = a.OAuthScope;
        p.OAuthClientId = a.OAuthClientId;
        p.OAuthClientSecret = a.OAuthClientSecret;
        p.OAuthMechanism = a.OAuthMechanism;
        p.OAuth = m_host.OAuthAccess();
    }
    return p;
}

bool TFormAddMailbox::ButtonTestClick()
{
    const TConnectionParams p = params();
    if (p.Host.isEmpty() || p.Login.isEmpty()) {
        LabelResult->setText(tr("請詳細填寫資料！"));
        return false;
    }
    if (OAuthChosen() && !m_authorized) {
        LabelResult->setText(tr("請先按「以瀏覽器登入」。"));
        return false;
    }
    if (!OAuthChosen() && p.Password.isEmpty()) {
        LabelResult->setText(tr("請輸入密碼（或應用程式密碼）。"));
        return false;
    }
    LabelResult->setText(tr("測試連線..."));
    ButtonTest->setEnabled(false);
    ButtonSave->setEnabled(false);
    const TConnectionTestResult result = m_tester ? m_tester(p) : TConnectionTestResult();
    ButtonTest->setEnabled(true);
    ButtonSave->setEnabled(true);
    QString text = result.Ok ? QStringLiteral("✔ ") + result.Message : QStringLiteral("✘ ") + result.Message;
    if (!result.Ok && result.CertUntrusted) {
        m_fingerprint = result.Fingerprint;
        text += tr("\n主體：%1\n簽發者：%2\n有效期間：%3 – %4\nSHA-256：%5")
                    .arg(result.Subject, result.Issuer, result.ValidFrom, result.ValidTo, result.Fingerprint);
        const QSignalBlocker blocker(CheckBoxTrustCert);
        CheckBoxTrustCert->setText(tr("我認得這張憑證，信任它並重新測試"));
        CheckBoxTrustCert->setChecked(false);
        CheckBoxTrustCert->setVisible(true);
    }
    LabelResult->setText(text);
    fitHeight();
    m_passed = result.Ok;
    return m_passed;
}

void TFormAddMailbox::ButtonSaveClick()
{
    if (OAuthChosen() && !m_authorized) {
        // Tested and saved once the browser sign-in has worked.
        m_saveWhenAuthorized = true;
        if (m_authorizing.isEmpty()) {
            ButtonAuthorizeClick();
            m_saveWhenAuthorized = !m_authorizing.isEmpty();
        }
        return;
    }
    if (!m_passed && !ButtonTestClick()) {
        return;
    }
    save();
}

void TFormAddMailbox::save()
{
    TNewMailboxEntry entry;
    const TConnectionParams p = params();
    entry.Host = p.Host;
    entry.Port = p.Port;
    entry.Security = p.Security;
    entry.Protocol = p.Protocol;
    entry.Login = p.Login;
    entry.Password = p.Password;
    entry.CertSha256 = p.CertSha256;
    if (OAuthChosen()) {
        entry.Password.clear();
        entry.Auth = QStringLiteral("OAuth2");
        entry.OAuthProvider = m_preset.Service;
    }
    const QString name = EditName->text();
    const QString error = TNewMailbox::Add(m_host.SettingsPath(), m_host.Encryption(), name, entry);
    if (!error.isEmpty()) {
        LabelResult->setText(error);
        return;
    }
    m_savedName = name;
    m_host.CreateMailbox(name);
    m_host.AddMailboxCount(1);
    accept();
}
