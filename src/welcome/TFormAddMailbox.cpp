#include "welcome/TFormAddMailbox.h"

#include "options/TOptionHost.h"
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
    : QDialog(parent), m_host(host), m_presets(presets), m_tester(std::move(tester))
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
    LabelResult = new QLabel(this);
    LabelResult->setObjectName(QStringLiteral("LabelResult"));
    LabelResult->setWordWrap(true);
    LabelResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(tr("電子郵件地址"), EditAddress);
    form->addRow(tr("密碼（或應用程式密碼）"), EditPassword);
    form->addRow(tr("郵件服務"), LabelService);
    form->addRow(QString(), LabelHint);
    form->addRow(tr("通訊協定"), ComboBoxProtocol);
    form->addRow(tr("伺服器"), EditHost);
    form->addRow(tr("連接埠"), EditPort);
    form->addRow(tr("加密"), ComboBoxSecurity);
    form->addRow(tr("使用者名稱"), EditLogin);
    form->addRow(tr("信箱名稱"), EditName);

    ButtonTest = new QPushButton(tr("測試連線"), this);
    ButtonTest->setObjectName(QStringLiteral("ButtonTest"));
    ButtonSave = new QPushButton(tr("儲存"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonCancel = new QPushButton(tr("取消"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonSave->setAutoDefault(false);
    ButtonTest->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonTest);
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
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    EditAddressChange();
}

void TFormAddMailbox::EditAddressChange()
{
    TServicePreset preset;
    if (!m_presets.Lookup(EditAddress->text(), preset)) {
        m_found = false;
        LabelService->clear();
        LabelHint->setText(tr("請輸入完整的電子郵件地址，例如 name@example.com。"));
        fitHeight();
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
    m_filling = false;
    valuesChanged();
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
    ButtonTest->setEnabled(!EditHost->text().isEmpty() && !EditLogin->text().isEmpty());
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
    return p;
}

bool TFormAddMailbox::ButtonTestClick()
{
    const TConnectionParams p = params();
    if (p.Host.isEmpty() || p.Login.isEmpty()) {
        LabelResult->setText(tr("請詳細填寫資料！"));
        return false;
    }
    if (p.Password.isEmpty()) {
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
    if (!m_passed && !ButtonTestClick()) {
        return;
    }
    TNewMailboxEntry entry;
    const TConnectionParams p = params();
    entry.Host = p.Host;
    entry.Port = p.Port;
    entry.Security = p.Security;
    entry.Protocol = p.Protocol;
    entry.Login = p.Login;
    entry.Password = p.Password;
    entry.CertSha256 = p.CertSha256;
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
