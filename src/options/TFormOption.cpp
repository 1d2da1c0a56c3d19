#include "options/TFormOption.h"

#include "auth/TOAuthAccess.h"
#include "auth/TOAuthProvider.h"
#include "core/EConvertError.h"
#include "core/TBrkApart.h"
#include "core/TExceptionHook.h"
#include "core/TIntConvert.h"
#include "core/TPlatformRules.h"
#include "desktop/TAutostart.h"
#include "mailbox/TConnectionTest.h"
#include "options/TOptionHost.h"
#include "settings/TLanguage.h"
#include "settings/TAccount.h"
#include "settings/TSettingsKeys.h"
#include "settings/TSettingsRules.h"
#include "settings/TVarnEncryption.h"
#include "widgets/TColorRef.h"
#include "widgets/TFxLabel.h"
#include "widgets/TModal.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

namespace Keys = TSettingsKeys;

const QString kViewerDesignFace = QStringLiteral("MS Sans Serif");
const QString kPrinterDesignFace = QStringLiteral("Courier New");
constexpr int kSlots = Keys::ServerLines;

TFormOption::TFileChooser& fileChooser()
{
    static TFormOption::TFileChooser instance;
    return instance;
}

TFormOption::TFontChooser& fontChooser()
{
    static TFormOption::TFontChooser instance;
    return instance;
}

TFormOption::TColorChooser& colorChooser()
{
    static TFormOption::TColorChooser instance;
    return instance;
}

// The colour dialog opens with the colour chosen last, not with the rule's colour.
QColor& lastColor()
{
    static QColor instance = Qt::black;
    return instance;
}

QString runFileDialog(QWidget* parent, const QStringList& filters, int filterIndex)
{
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(filterIndex - 1));
    if (TModal::Exec(&dialog) != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles().value(0);
}

bool runFontDialog(QWidget* parent, QFont& font)
{
    QFontDialog dialog(font, parent);
    if (TModal::Exec(&dialog) != QDialog::Accepted) {
        return false;
    }
    font = dialog.selectedFont();
    return true;
}

bool runColorDialog(QWidget* parent, QColor& color)
{
    QColorDialog dialog(color, parent);
    if (TModal::Exec(&dialog) != QDialog::Accepted) {
        return false;
    }
    color = dialog.selectedColor();
    return true;
}

// The text a field that was emptied stores.
QString defaultText(const TSettingKey& key)
{
    return QString::fromLatin1(key.Default);
}

} // namespace

const char* const TFormOption::SourceName = QT_TR_NOOP("設定選單");

void TFormOption::SetFileChooser(TFileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

void TFormOption::SetFontChooser(TFontChooser chooser)
{
    fontChooser() = std::move(chooser);
}

void TFormOption::SetColorChooser(TColorChooser chooser)
{
    colorChooser() = std::move(chooser);
}

TFormOption::TFormOption(TOptionHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_store(host.SettingsPath(), host.Encryption(), host.Keyring())
{
    setObjectName(QStringLiteral("FormOption"));
    setWindowTitle(QStringLiteral("Option"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl);

    buildGeneralPage();
    buildNetworkPage();
    buildEffectPage();
    buildDialUpPage();
    buildFilterPage();
    buildSchedulePage();
    for (QLineEdit* e : {EditTimeout, EditRedial, EditRedialInterval, EditAutoCheck}) {
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    }
    connectHandlers();
    // As large as the pages need, so that every field is readable; never below the old size.
    setFixedSize(sizeHint().expandedTo(QSize(392, 225)));
    FormCreate();
}

TFormOption::~TFormOption()
{
    // Nobody would hear how a sign-in this dialog started ended.
    TOAuthAccess* access = m_host.OAuthAccess();
    if (access && !m_authorizing.isEmpty() && access->AuthorizingMailbox() == m_authorizing) {
        disconnect(access, nullptr, this, nullptr);
        access->CancelAuthorization();
    }
}

TFxLabel* TFormOption::caption(const QString& text, QWidget* parent)
{
    auto* label = new TFxLabel(text, parent);
    label->SetAlignment(TFxLabel::taCenter);
    label->SetBevelOuter(TFxLabel::bvNone);
    label->SetColor(palette().color(QPalette::Button));
    label->SetTextStyle(TFxLabel::tsRaised);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    label->setMinimumSize(label->sizeHint());
    return label;
}

QPushButton* TFormOption::button(const char* name, const QString& text, const QString& hint, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setAutoDefault(false);
    return b;
}

QLineEdit* TFormOption::edit(const char* name, const QString& hint, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setToolTip(hint);
    return e;
}

void TFormOption::buildGeneralPage()
{
    TabSheetGeneral = new QWidget;
    TabSheetGeneral->setObjectName(QStringLiteral("TabSheetGeneral"));
    PageControl->addTab(TabSheetGeneral, tr("一般"));
    auto* grid = new QGridLayout(TabSheetGeneral);
    QWidget* page = TabSheetGeneral;

    EditTimeout =
        edit("EditTimeout", QStringLiteral("Break network session if no response within this interval."), page);
    EditTimeout->setMaxLength(4);
    EditTimeout->setText(QStringLiteral("30"));
    grid->addWidget(caption(tr("網路最大等待時間 : "), page), 0, 0);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(EditTimeout);
    timeoutRow->addWidget(caption(tr("秒."), page));
    timeoutRow->addStretch();
    grid->addLayout(timeoutRow, 0, 1);

    EditMailProgram = edit("EditMailProgram", QStringLiteral("Reply E-mail by this program."), page);
    ButtonMail = button("ButtonMail", tr("瀏覽"), QStringLiteral("Click to choose an E-Mail program."), page);
    grid->addWidget(caption(tr("電子郵件程式 : "), page), 1, 0);
    grid->addWidget(EditMailProgram, 1, 1);
    grid->addWidget(ButtonMail, 1, 2);

    EditViewerFontName =
        edit("EditViewerFontName", QStringLiteral("Click browse button to change font for viewer."), page);
    ButtonViewerFont = button("ButtonViewerFont", tr("瀏覽"), QStringLiteral("Click to choose font for viewer."), page);
    grid->addWidget(caption(tr("字型 : "), page), 2, 0);
    grid->addWidget(EditViewerFontName, 2, 1);
    grid->addWidget(ButtonViewerFont, 2, 2);

    EditPrinterFontName =
        edit("EditPrinterFontName", QStringLiteral("Click browse button to change font for printer."), page);
    ButtonPrinterFont =
        button("ButtonPrinterFont", tr("瀏覽"), QStringLiteral("Click to choose font for printer."), page);
    grid->addWidget(caption(tr("列印字形 : "), page), 3, 0);
    grid->addWidget(EditPrinterFontName, 3, 1);
    grid->addWidget(ButtonPrinterFont, 3, 2);

    for (QLineEdit* e : {EditViewerFontName, EditPrinterFontName}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
    }
    EditViewerFontName->setFont(QFont(kViewerDesignFace));
    EditPrinterFontName->setFont(QFont(kPrinterDesignFace));

    EditConsolePassword = edit("EditConsolePassword", QStringLiteral("Password for restore window."), page);
    EditConsolePassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(caption(tr("密碼保護 : "), page), 4, 0);
    grid->addWidget(EditConsolePassword, 4, 1);

    buildDesktopOptions(grid, 5);
    buildLanguageChoice(grid, 6);

    EditViewerFontSize = edit("EditViewerFontSize", QString(), page);
    EditPrinterFontSize = edit("EditPrinterFontSize", QString(), page);
    for (QLineEdit* e : {EditViewerFontSize, EditPrinterFontSize}) {
        e->setText(QStringLiteral("12"));
        e->setReadOnly(true);
        e->hide();
    }
}

void TFormOption::buildDesktopOptions(QGridLayout* grid, int row)
{
    QWidget* page = TabSheetGeneral;
    const auto box = [page](const char* name, const QString& text, const QString& hint) {
        auto* check = new QCheckBox(text, page);
        check->setObjectName(QLatin1String(name));
        check->setToolTip(hint);
        return check;
    };
    CheckBoxDesktopNotify =
        box("CheckBoxDesktopNotify", tr("桌面通知"), QStringLiteral("Notify the desktop when new mail is found."));
    CheckBoxUseKeyring = box("CheckBoxUseKeyring", tr("密碼存入鑰匙圈"),
                             QStringLiteral("Keep mailbox passwords in the desktop's keyring."));
    CheckBoxAutostart =
        box("CheckBoxAutostart", tr("開機時自動啟動"), QStringLiteral("Start Mailvane when you log in."));
    auto* line = new QHBoxLayout;
    line->addWidget(CheckBoxDesktopNotify);
    line->addWidget(CheckBoxUseKeyring);
    line->addWidget(CheckBoxAutostart);
    line->addStretch();
    grid->addLayout(line, row, 0, 1, 3);
}

void TFormOption::buildLanguageChoice(QGridLayout* grid, int row)
{
    QWidget* page = TabSheetGeneral;
    ComboBoxLanguage = new QComboBox(page);
    ComboBoxLanguage->setObjectName(QStringLiteral("ComboBoxLanguage"));
    ComboBoxLanguage->setToolTip(QStringLiteral("The language of menus and windows."));
    ComboBoxLanguage->addItem(tr("自動"), TLanguage::Auto);
    ComboBoxLanguage->addItem(tr("中文（台灣）"), TLanguage::Chinese);
    // A language's own name, the same in every interface.
    ComboBoxLanguage->addItem(QStringLiteral("English"), TLanguage::English);
    grid->addWidget(caption(tr("介面語言 : "), page), row, 0);
    auto* line = new QHBoxLayout;
    line->addWidget(ComboBoxLanguage);
    // Windows already open keep their texts, so the choice waits for the next start.
    auto* note = new QLabel(tr("下次啟動時生效"), page);
    note->setObjectName(QStringLiteral("LabelLanguageNote"));
    line->addWidget(note);
    line->addStretch();
    grid->addLayout(line, row, 1, 1, 2);
}

void TFormOption::buildNetworkPage()
{
    TabSheetNetwork = new QWidget;
    TabSheetNetwork->setObjectName(QStringLiteral("TabSheetNetwork"));
    PageControl->addTab(TabSheetNetwork, tr("網路"));
    QWidget* page = TabSheetNetwork;
    auto* row = new QHBoxLayout(page);

    ListBoxName = new QListWidget(page);
    ListBoxName->setObjectName(QStringLiteral("ListBoxName"));
    ListBoxName->setToolTip(QStringLiteral("Click to choose a server to edit."));
    for (int k = 0; k < kSlots; ++k) {
        ListBoxName->addItem(QString());
    }
    row->addWidget(ListBoxName, 2);

    auto* grid = new QGridLayout;
    EditName = edit("EditName", QStringLiteral("Enter an alias for this server."), page);
    EditHost = edit("EditHost", QStringLiteral("Server's IP or domain name."), page);
    EditLogin = edit("EditLogin", QStringLiteral("Login name for this server."), page);
    EditPassword = edit("EditPassword", QStringLiteral("Password for this server. (Optional)"), page);
    EditPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(caption(tr("信箱名稱 : "), page), 0, 0);
    grid->addWidget(EditName, 0, 1);
    grid->addWidget(caption(tr("主機位址 : "), page), 1, 0);
    grid->addWidget(EditHost, 1, 1);
    grid->addWidget(caption(tr("使用者名稱 : "), page), 2, 0);
    grid->addWidget(EditLogin, 2, 1);
    grid->addWidget(caption(tr("密碼 : "), page), 3, 0);
    grid->addWidget(EditPassword, 3, 1);
    ComboBoxSecurity = new QComboBox(page);
    ComboBoxSecurity->setObjectName(QStringLiteral("ComboBoxSecurity"));
    ComboBoxSecurity->setToolTip(QStringLiteral("How the connection to this server is encrypted."));
    ComboBoxSecurity->addItem(tr("無"), QStringLiteral("None"));
    ComboBoxSecurity->addItem(QStringLiteral("STARTTLS"), QStringLiteral("STARTTLS"));
    ComboBoxSecurity->addItem(QStringLiteral("SSL/TLS"), QStringLiteral("TLS"));
    EditPort =
        edit("EditPort", QStringLiteral("Server's port; empty for 110 or 995 (POP3), 143 or 993 (IMAP) with SSL/TLS."),
             page);
    EditCertSha256 = edit("EditCertSha256", QStringLiteral("SHA-256 fingerprint of a certificate you trust."), page);
    ComboBoxProtocol = new QComboBox(page);
    ComboBoxProtocol->setObjectName(QStringLiteral("ComboBoxProtocol"));
    ComboBoxProtocol->setToolTip(QStringLiteral("The protocol this server is read with."));
    ComboBoxProtocol->addItem(QStringLiteral("POP3"), QStringLiteral("POP3"));
    ComboBoxProtocol->addItem(QStringLiteral("IMAP"), QStringLiteral("IMAP"));
    EditFolder = edit("EditFolder", QStringLiteral("The IMAP folder to watch; empty for INBOX."), page);
    CheckBoxPush = new QCheckBox(tr("新信件即時推送 (IMAP IDLE)"), page);
    CheckBoxPush->setObjectName(QStringLiteral("CheckBoxPush"));
    CheckBoxPush->setToolTip(QStringLiteral("Keep a connection open so that new mail shows at once."));
    CheckBoxPush->setChecked(true);
    grid->addWidget(caption(tr("通訊協定 : "), page), 4, 0);
    grid->addWidget(ComboBoxProtocol, 4, 1);
    grid->addWidget(caption(tr("安全連線 : "), page), 5, 0);
    grid->addWidget(ComboBoxSecurity, 5, 1);
    grid->addWidget(caption(tr("連接埠 : "), page), 6, 0);
    grid->addWidget(EditPort, 6, 1);
    grid->addWidget(caption(tr("信任的憑證 : "), page), 7, 0);
    grid->addWidget(EditCertSha256, 7, 1);
    grid->addWidget(caption(tr("信件匣 : "), page), 8, 0);
    grid->addWidget(EditFolder, 8, 1);
    grid->addWidget(CheckBoxPush, 9, 1);
    // The folder and push mean something for IMAP only.
    const auto imapOnly = [this] {
        const bool imap = ComboBoxProtocol->currentData().toString() == QLatin1String("IMAP");
        EditFolder->setEnabled(imap);
        CheckBoxPush->setEnabled(imap);
    };
    connect(ComboBoxProtocol, &QComboBox::currentIndexChanged, this, imapOnly);
    imapOnly();

    ButtonAdd = button("ButtonAdd", tr("新增"), QStringLiteral("Add this server to list."), page);
    ButtonUpdate = button("ButtonUpdate", tr("更改"), QStringLiteral("Update this server."), page);
    ButtonDelete = button("ButtonDelete", tr("刪除"), QStringLiteral("Delete this server."), page);
    ButtonTestConnection =
        button("ButtonTestConnection", tr("測試連線"), QStringLiteral("Log in and out with these values."), page);
    ButtonAuthorize = button("ButtonAuthorize", tr("以瀏覽器登入"),
                             QStringLiteral("Sign in to this mailbox's service in your browser."), page);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonAdd);
    buttons->addWidget(ButtonUpdate);
    buttons->addWidget(ButtonDelete);
    buttons->addWidget(ButtonTestConnection);
    buttons->addWidget(ButtonAuthorize);
    buttons->addStretch();
    buildSignInFields(grid, 2);
    grid->addLayout(buttons, 10, 0, 1, 4);
    row->addLayout(grid, 5);
}

void TFormOption::buildSignInFields(QGridLayout* grid, int column)
{
    QWidget* page = TabSheetNetwork;
    ComboBoxAuth = new QComboBox(page);
    ComboBoxAuth->setObjectName(QStringLiteral("ComboBoxAuth"));
    ComboBoxAuth->setToolTip(QStringLiteral("Sign in with a password, or through the browser (OAuth2)."));
    ComboBoxAuth->addItem(tr("密碼"), QStringLiteral("Password"));
    ComboBoxAuth->addItem(tr("以瀏覽器登入 (OAuth2)"), QStringLiteral("OAuth2"));
    ComboBoxOAuthProvider = new QComboBox(page);
    ComboBoxOAuthProvider->setObjectName(QStringLiteral("ComboBoxOAuthProvider"));
    ComboBoxOAuthProvider->setToolTip(QStringLiteral("The service you sign in to, or your own values."));
    const QMap<QString, TOAuthProvider>& services = TOAuthProvider::Shipped();
    for (auto it = services.cbegin(); it != services.cend(); ++it) {
        ComboBoxOAuthProvider->addItem(it.key(), it.key());
    }
    ComboBoxOAuthProvider->addItem(tr("自訂"), QString());
    EditOAuthAuthorizeUrl = edit("EditOAuthAuthorizeUrl", QStringLiteral("The provider's authorization URL."), page);
    EditOAuthTokenUrl = edit("EditOAuthTokenUrl", QStringLiteral("The provider's token URL."), page);
    EditOAuthScope = edit("EditOAuthScope", QStringLiteral("The scopes asked for, separated by blanks."), page);
    EditOAuthClientId =
        edit("EditOAuthClientId", QStringLiteral("The client ID registered for Mailvane at the provider."), page);
    EditOAuthClientSecret =
        edit("EditOAuthClientSecret", QStringLiteral("The client secret, if the provider gave one. (Optional)"), page);
    ComboBoxOAuthMechanism = new QComboBox(page);
    ComboBoxOAuthMechanism->setObjectName(QStringLiteral("ComboBoxOAuthMechanism"));
    ComboBoxOAuthMechanism->setToolTip(QStringLiteral("How the token is sent to the mail server."));
    ComboBoxOAuthMechanism->addItem(QStringLiteral("XOAUTH2"), QStringLiteral("XOAUTH2"));
    ComboBoxOAuthMechanism->addItem(QStringLiteral("OAUTHBEARER"), QStringLiteral("OAUTHBEARER"));
    LabelOAuthNote = new QLabel(page);
    LabelOAuthNote->setObjectName(QStringLiteral("LabelOAuthNote"));
    LabelOAuthNote->setWordWrap(true);
    LabelOAuthNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelOAuthNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const QList<QPair<QString, QWidget*>> rows = {{tr("登入方式 : "), ComboBoxAuth},
                                                  {tr("登入服務 : "), ComboBoxOAuthProvider},
                                                  {tr("授權網址 : "), EditOAuthAuthorizeUrl},
                                                  {tr("權杖網址 : "), EditOAuthTokenUrl},
                                                  {tr("授權範圍 : "), EditOAuthScope},
                                                  {tr("用戶端 ID : "), EditOAuthClientId},
                                                  {tr("用戶端密鑰 : "), EditOAuthClientSecret},
                                                  {tr("登入機制 : "), ComboBoxOAuthMechanism}};
    for (int r = 0; r < rows.size(); ++r) {
        grid->addWidget(caption(rows[r].first, page), r, column);
        grid->addWidget(rows[r].second, r, column + 1);
    }
    grid->addWidget(LabelOAuthNote, rows.size(), column, 2, 2);
    // Room for the longest note, so that none is cut whatever the choice.
    const int noteWidth = EditOAuthAuthorizeUrl->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 26;
    int noteHeight = 0;
    for (int i = 0; i < ComboBoxOAuthProvider->count(); ++i) {
        ComboBoxOAuthProvider->setCurrentIndex(i);
        const QRect needed =
            LabelOAuthNote->fontMetrics().boundingRect(QRect(0, 0, noteWidth, 10000), Qt::TextWordWrap, oauthNote());
        noteHeight = std::max(noteHeight, needed.height());
    }
    ComboBoxOAuthProvider->setCurrentIndex(0);
    LabelOAuthNote->setMinimumSize(noteWidth, noteHeight + 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(column + 1, 1);

    connect(ComboBoxAuth, &QComboBox::currentIndexChanged, this, [this] { signInChanged(); });
    connect(ComboBoxOAuthProvider, &QComboBox::currentIndexChanged, this, [this] { signInChanged(); });
    connect(EditOAuthClientId, &QLineEdit::textChanged, this, [this] { signInChanged(); });
    signInChanged();
}

bool TFormOption::oauthChosen() const
{
    return ComboBoxAuth->currentData().toString() == QLatin1String("OAuth2");
}

void TFormOption::keepWord(QComboBox* box, const QString& word, const QString& fallback)
{
    const QString wanted = word.trimmed().isEmpty() ? fallback : word.trimmed();
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemData(i).toString().compare(wanted, Qt::CaseInsensitive) == 0) {
            box->setCurrentIndex(i);
            return;
        }
    }
    // A hand-edited word is kept as it is rather than quietly becoming another way to sign in.
    box->addItem(wanted, wanted);
    box->setCurrentIndex(box->count() - 1);
}

void TFormOption::signInChanged()
{
    const bool oauth = oauthChosen();
    const QString service = ComboBoxOAuthProvider->currentData().toString();
    const bool custom = service.isEmpty();
    EditPassword->setEnabled(!oauth);
    ComboBoxOAuthProvider->setEnabled(oauth);
    // A service of the table brings its endpoints; only a client of one's own may be given.
    for (QWidget* w : std::initializer_list<QWidget*>{EditOAuthAuthorizeUrl, EditOAuthTokenUrl, EditOAuthScope,
                                                      ComboBoxOAuthMechanism}) {
        w->setEnabled(oauth && custom);
    }
    EditOAuthClientId->setEnabled(oauth);
    EditOAuthClientSecret->setEnabled(oauth);
    ButtonAuthorize->setEnabled(oauth || !m_authorizing.isEmpty());
    if (!custom) {
        const TOAuthProvider provider = TOAuthProvider::Shipped().value(service);
        EditOAuthAuthorizeUrl->setPlaceholderText(provider.AuthorizeUrl.toString());
        EditOAuthTokenUrl->setPlaceholderText(provider.TokenUrl.toString());
        EditOAuthScope->setPlaceholderText(provider.Scope);
    } else {
        for (QLineEdit* e : {EditOAuthAuthorizeUrl, EditOAuthTokenUrl, EditOAuthScope}) {
            e->setPlaceholderText(QString());
        }
    }
    LabelOAuthNote->setText(oauth ? oauthNote() : QString());
}

QString TFormOption::oauthNote() const
{
    const QString service = ComboBoxOAuthProvider->currentData().toString();
    if (service.isEmpty()) {
        return tr("填入在登入服務註冊的授權網址、權杖網址、授權範圍與用戶端 ID，再按「以瀏覽器登入」。");
    }
    if (!TOAuthProvider::Shipped().contains(service)) {
        return tr("服務表中沒有「%1」這個登入服務。").arg(service);
    }
    const TOAuthProvider provider = TOAuthProvider::Shipped().value(service);
    if (!provider.ClientId.isEmpty() || !EditOAuthClientId->text().trimmed().isEmpty()) {
        return tr("按「以瀏覽器登入」，在瀏覽器中登入 %1 並允許 Mailvane 讀取郵件。").arg(service);
    }
    QString note = tr("這個 Mailvane 建置時沒有 %1 的用戶端 ID（%2），請在「用戶端 ID」填入您自己註冊的 ID。")
                       .arg(service, provider.ClientIdOption);
    if (provider.AppPassword) {
        note += QLatin1Char(' ') +
                tr("%1 仍接受應用程式密碼：在帳戶的安全性設定建立一組，改選「密碼」並填在密碼欄。").arg(service);
    } else {
        note += QLatin1Char(' ') + tr("%1 不接受密碼登入。").arg(service);
    }
    return note;
}

TAccount TFormOption::typedAccount() const
{
    TAccount account;
    account.Name = EditName->text();
    account.SettingsPath = m_host.SettingsPath();
    account.Host = EditHost->text().trimmed();
    account.Login = EditLogin->text();
    account.Port = EditPort->text().trimmed();
    const QString security = ComboBoxSecurity->currentData().toString();
    account.Security = security == QLatin1String("TLS")        ? TAccount::TSecurityKind::Tls
                       : security == QLatin1String("STARTTLS") ? TAccount::TSecurityKind::StartTls
                                                               : TAccount::TSecurityKind::None;
    account.Protocol = ComboBoxProtocol->currentData().toString() == QLatin1String("IMAP") ? TAccount::TProtocol::Imap
                                                                                           : TAccount::TProtocol::Pop3;
    account.Auth = TAccount::TAuth::OAuth2;
    const QMap<QString, QString> keys = typedAccountKeys();
    account.OAuthProvider = keys.value(QStringLiteral("OAuthProvider"));
    account.OAuthAuthorizeUrl = keys.value(QStringLiteral("OAuthAuthorizeUrl"));
    account.OAuthTokenUrl = keys.value(QStringLiteral("OAuthTokenUrl"));
    account.OAuthScope = keys.value(QStringLiteral("OAuthScope"));
    account.OAuthClientId = keys.value(QStringLiteral("OAuthClientId"));
    account.OAuthClientSecret = keys.value(QStringLiteral("OAuthClientSecret"));
    account.OAuthMechanism = keys.value(QStringLiteral("OAuthMechanism"));
    return account;
}

void TFormOption::ButtonAuthorizeClick()
{
    TOAuthAccess* access = m_host.OAuthAccess();
    if (!m_authorizing.isEmpty()) {
        if (access && access->AuthorizingMailbox() == m_authorizing) {
            // Ends in authorizationFailed, which puts the button back.
            access->CancelAuthorization();
        }
        return;
    }
    const TAccount account = typedAccount();
    if (account.Name.isEmpty() || account.Login.isEmpty()) {
        Error(tr("請先填寫信箱名稱與使用者名稱，再以瀏覽器登入。"));
        return;
    }
    TOAuthProvider provider;
    QString error;
    if (!TOAuthAccess::Provider(account, provider, error)) {
        Error(error);
        return;
    }
    if (!access) {
        Error(tr("這個程式無法以瀏覽器登入。"));
        return;
    }
    if (access->Authorizing()) {
        Error(tr("正在為「%1」以瀏覽器登入，請先完成或取消。").arg(access->AuthorizingMailbox()));
        return;
    }
    connect(access, &TOAuthAccess::authorized, this, &TFormOption::authorizationSucceeded, Qt::UniqueConnection);
    connect(access, &TOAuthAccess::authorizationFailed, this, &TFormOption::authorizationFailed, Qt::UniqueConnection);
    if (!access->Authorize(account)) {
        Error(tr("無法開始以瀏覽器登入。"));
        return;
    }
    m_authorizing = account.Name;
    ButtonAuthorize->setText(tr("取消登入"));
    ButtonAuthorize->setEnabled(true);
}

bool TFormOption::authorizationEnded(const QString& mailbox)
{
    if (m_authorizing.isEmpty() || mailbox != m_authorizing) {
        return false;
    }
    m_authorizing.clear();
    ButtonAuthorize->setText(tr("以瀏覽器登入"));
    signInChanged();
    return true;
}

void TFormOption::authorizationSucceeded(const QString& mailbox)
{
    if (authorizationEnded(mailbox)) {
        Error(tr("已以瀏覽器登入「%1」，Mailvane 可以收這個信箱的信了。").arg(mailbox));
    }
}

void TFormOption::authorizationFailed(const QString& mailbox, const QString& message)
{
    if (authorizationEnded(mailbox)) {
        Error(tr("「%1」以瀏覽器登入失敗：%2").arg(mailbox, message));
    }
}

QMap<QString, QString> TFormOption::typedAccountKeys() const
{
    QMap<QString, QString> keys;
    keys.insert(QStringLiteral("OAuthProvider"), ComboBoxOAuthProvider->currentData().toString());
    keys.insert(QStringLiteral("OAuthClientId"), EditOAuthClientId->text().trimmed());
    keys.insert(QStringLiteral("OAuthClientSecret"), EditOAuthClientSecret->text().trimmed());
    if (ComboBoxOAuthProvider->currentData().toString().isEmpty()) {
        keys.insert(QStringLiteral("OAuthAuthorizeUrl"), EditOAuthAuthorizeUrl->text().trimmed());
        keys.insert(QStringLiteral("OAuthTokenUrl"), EditOAuthTokenUrl->text().trimmed());
        keys.insert(QStringLiteral("OAuthScope"), EditOAuthScope->text().simplified());
        keys.insert(QStringLiteral("OAuthMechanism"), ComboBoxOAuthMechanism->currentData().toString());
    }
    return keys;
}

void TFormOption::buildEffectPage()
{
    TabSheetEffect = new QWidget;
    TabSheetEffect->setObjectName(QStringLiteral("TabSheetEffect"));
    PageControl->addTab(TabSheetEffect, tr("音效動畫"));
    QWidget* page = TabSheetEffect;
    auto* grid = new QGridLayout(page);

    EditAnimation = edit("EditAnimation", QStringLiteral("Animation diaplays when find new mail."), page);
    EditAnimation->setText(QStringLiteral("Mailvane.avi"));
    ButtonAnimation = button("ButtonAnimation", tr("瀏覽"), QStringLiteral("Click to choose an animation."), page);
    EditSound = edit("EditSound", QStringLiteral("Sound plays when find new mail."), page);
    EditSound->setText(QStringLiteral("Mailvane.wav"));
    ButtonSound = button("ButtonSound", tr("瀏覽"), QStringLiteral("Click to choose a sound."), page);

    grid->addWidget(caption(tr("動畫 : "), page), 0, 0);
    grid->addWidget(EditAnimation, 0, 1);
    grid->addWidget(ButtonAnimation, 0, 2);
    grid->addWidget(caption(tr("音效 : "), page), 1, 0);
    grid->addWidget(EditSound, 1, 1);
    grid->addWidget(ButtonSound, 1, 2);
    CheckBoxReadableView = new QCheckBox(tr("以易讀內容開啟信件"), page);
    CheckBoxReadableView->setObjectName(QStringLiteral("CheckBoxReadableView"));
    CheckBoxReadableView->setToolTip(
        QStringLiteral("Open mail decoded, with its attachments listed; off shows it as received."));
    grid->addWidget(CheckBoxReadableView, 2, 0, 1, 3);
    grid->setRowStretch(3, 1);
}

void TFormOption::buildDialUpPage()
{
    TabSheetDialUp = new QWidget;
    TabSheetDialUp->setObjectName(QStringLiteral("TabSheetDialUp"));
    PageControl->addTab(TabSheetDialUp, tr("撥號"));
    QWidget* page = TabSheetDialUp;
    auto* grid = new QGridLayout(page);

    CheckBoxDialUp = new QCheckBox(page);
    CheckBoxDialUp->setObjectName(QStringLiteral("CheckBoxDialUp"));
    CheckBoxDialUp->setToolTip(QStringLiteral("Check this if using a modem."));
    CheckBoxConnectedOnly = new QCheckBox(page);
    CheckBoxConnectedOnly->setObjectName(QStringLiteral("CheckBoxConnectedOnly"));
    CheckBoxConnectedOnly->setToolTip(QStringLiteral("Check mail only when  you are online."));
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(CheckBoxDialUp);
    boxes->addWidget(caption(tr("使用數據機"), page));
    boxes->addWidget(CheckBoxConnectedOnly);
    boxes->addWidget(caption(tr("已連線時才檢查"), page));
    boxes->addStretch();
    grid->addLayout(boxes, 0, 0, 1, 4);

    EditRedial = edit("EditRedial", QStringLiteral("Redial if busy."), page);
    EditRedial->setText(QStringLiteral("2"));
    EditRedialInterval = edit("EditRedialInterval", QStringLiteral("Pause interval between redial."), page);
    EditRedialInterval->setText(QStringLiteral("30"));
    grid->addWidget(caption(tr("重撥次數 : "), page), 1, 0);
    auto* redial = new QHBoxLayout;
    redial->addWidget(EditRedial);
    redial->addWidget(caption(tr("次."), page));
    grid->addLayout(redial, 1, 1);
    grid->addWidget(caption(tr("重撥間隔 : "), page), 1, 2);
    auto* interval = new QHBoxLayout;
    interval->addWidget(EditRedialInterval);
    interval->addWidget(caption(tr("秒."), page));
    grid->addLayout(interval, 1, 3);

    ComboBoxEntry = new QComboBox(page);
    ComboBoxEntry->setObjectName(QStringLiteral("ComboBoxEntry"));
    ComboBoxEntry->setToolTip(QStringLiteral("Choose an entry to dial up."));
    ComboBoxEntry->setEditable(true);
    ComboBoxEntry->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxEntry->setMaxVisibleItems(10);
    grid->addWidget(caption(tr("撥號號碼 : "), page), 2, 0);
    grid->addWidget(ComboBoxEntry, 2, 1, 1, 3);

    EditDialUpLogin = edit("EditDialUpLogin", QStringLiteral("Login name for dial up."), page);
    EditDialUpPassword = edit("EditDialUpPassword", QStringLiteral("Password for dial up."), page);
    EditDialUpPassword->setEchoMode(QLineEdit::Password);
    grid->addWidget(caption(tr("使用者名稱 : "), page), 3, 0);
    grid->addWidget(EditDialUpLogin, 3, 1, 1, 3);
    grid->addWidget(caption(tr("登入密碼 : "), page), 4, 0);
    grid->addWidget(EditDialUpPassword, 4, 1, 1, 3);
}

void TFormOption::buildFilterPage()
{
    TabSheetFilter = new QWidget;
    TabSheetFilter->setObjectName(QStringLiteral("TabSheetFilter"));
    PageControl->addTab(TabSheetFilter, tr("過濾信件"));
    QWidget* page = TabSheetFilter;
    auto* grid = new QGridLayout(page);
    grid->setVerticalSpacing(1);

    grid->addWidget(caption(tr("關鍵字"), page), 0, 1);
    grid->addWidget(caption(tr("刪除"), page), 0, 2);
    grid->addWidget(caption(tr("顏色"), page), 0, 3);
    for (int i = 0; i < 5; ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        ButtonColor[i] = button(("ButtonColor" + n).constData(), tr("顏色"),
                                QStringLiteral("Click to change highlight color."), page);
        EditHighLight[i] =
            edit(("EditHighLight" + n).constData(), QStringLiteral("Highligh the mail with this keyword."), page);
        CheckBoxDelete[i] = new QCheckBox(page);
        CheckBoxDelete[i]->setObjectName(QString::fromLatin1("CheckBoxDelete" + n));
        CheckBoxColor[i] = new QCheckBox(page);
        CheckBoxColor[i]->setObjectName(QString::fromLatin1("CheckBoxColor" + n));
        CheckBoxColor[i]->setChecked(true);
        grid->addWidget(ButtonColor[i], i + 1, 0);
        grid->addWidget(EditHighLight[i], i + 1, 1);
        grid->addWidget(CheckBoxDelete[i], i + 1, 2, Qt::AlignCenter);
        grid->addWidget(CheckBoxColor[i], i + 1, 3, Qt::AlignCenter);
    }
}

void TFormOption::buildSchedulePage()
{
    TabSheetSchedule = new QWidget;
    TabSheetSchedule->setObjectName(QStringLiteral("TabSheetSchedule"));
    PageControl->addTab(TabSheetSchedule, tr("時間表"));
    QWidget* page = TabSheetSchedule;
    auto* grid = new QGridLayout(page);

    RadioButtonInterval = new QRadioButton(page);
    RadioButtonInterval->setObjectName(QStringLiteral("RadioButtonInterval"));
    RadioButtonInterval->setChecked(true);
    EditAutoCheck = edit("EditAutoCheck", QStringLiteral("Automatically check servers within this interval."), page);
    EditAutoCheck->setMaxLength(4);
    EditAutoCheck->setText(QStringLiteral("3"));
    RadioButtonSchedule = new QRadioButton(page);
    RadioButtonSchedule->setObjectName(QStringLiteral("RadioButtonSchedule"));
    EditSchedule = edit("EditSchedule", QStringLiteral("Time schedule."), page);
    auto* group = new QButtonGroup(page);
    group->addButton(RadioButtonInterval);
    group->addButton(RadioButtonSchedule);

    grid->addWidget(RadioButtonInterval, 0, 0);
    grid->addWidget(caption(tr("每隔"), page), 0, 1);
    auto* minutes = new QHBoxLayout;
    minutes->addWidget(EditAutoCheck);
    minutes->addWidget(caption(tr("分鐘."), page));
    minutes->addStretch();
    grid->addLayout(minutes, 0, 2, 1, 2);
    grid->addWidget(RadioButtonSchedule, 1, 0);
    grid->addWidget(caption(tr("每天"), page), 1, 1);
    grid->addWidget(EditSchedule, 1, 2);
    grid->addWidget(caption(tr("點鐘."), page), 1, 3);
    TFxLabel* help = caption(tr("(請填由1至24之整數，請以逗號分開，例 6,12,18,24)"), page);
    help->setMinimumWidth(0);
    help->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    grid->addWidget(help, 2, 0, 1, 4);
    // Timed checks wait while a window titled Message, Option or Password is open; Wayland
    // shows a program none of the others' windows.
    auto* ownOnly = new QLabel(tr("在 Wayland 上，訊息視窗開啟時暫停檢查只看 Mailvane 自己的視窗。"), page);
    ownOnly->setObjectName(QStringLiteral("LabelOwnWindowsOnly"));
    ownOnly->setWordWrap(true);
    ownOnly->setVisible(!TPlatformRules::ForeignWindowsVisible(QGuiApplication::platformName()));
    grid->addWidget(ownOnly, 3, 0, 1, 4);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(4, 1);
}

void TFormOption::connectHandlers()
{
    auto guarded = [](auto body) { return [body] { TExceptionHook::Run(body); }; };

    connect(ListBoxName, &QListWidget::currentRowChanged, this, guarded([this] { ListBoxNameClick(); }));
    // A click on the line already selected changes no row, yet it refills the fields too.
    ListBoxName->viewport()->installEventFilter(this);
    connect(ListBoxName, &QListWidget::clicked, this, guarded([this] {
                if (ListBoxName->currentRow() == m_rowAtPress) {
                    ListBoxNameClick();
                }
            }));
    connect(EditName, &QLineEdit::textChanged, this, guarded([this] { EditNameChange(); }));
    connect(ButtonAdd, &QPushButton::clicked, this, guarded([this] { ButtonAddClick(); }));
    connect(ButtonTestConnection, &QPushButton::clicked, this, guarded([this] { ButtonTestConnectionClick(); }));
    connect(ButtonAuthorize, &QPushButton::clicked, this, guarded([this] { ButtonAuthorizeClick(); }));
    connect(ButtonUpdate, &QPushButton::clicked, this, guarded([this] { ButtonUpdateClick(); }));
    connect(ButtonDelete, &QPushButton::clicked, this, guarded([this] { ButtonDeleteClick(); }));
    for (QPushButton* b : {ButtonMail, ButtonAnimation, ButtonSound}) {
        connect(b, &QPushButton::clicked, this, guarded([this, b] { SelectFile(b); }));
    }
    connect(ButtonViewerFont, &QPushButton::clicked, this, guarded([this] { ButtonViewerFontClick(); }));
    connect(ButtonPrinterFont, &QPushButton::clicked, this, guarded([this] { ButtonPrinterFontClick(); }));
    for (QPushButton* b : ButtonColor) {
        connect(b, &QPushButton::clicked, this, guarded([this, b] { ButtonColorClick(b); }));
    }
    connect(CheckBoxDialUp, &QCheckBox::clicked, this, guarded([this] { CheckBoxDialUpClick(); }));
    for (QLineEdit* e : {EditTimeout, EditRedial, EditRedialInterval, EditAutoCheck}) {
        connect(e, &QLineEdit::textChanged, this, guarded([this, e] { EditIntegerChange(e); }));
    }
    // Keywords are kept in upper case, typed or loaded.
    for (QLineEdit* e : EditHighLight) {
        connect(e, &QLineEdit::textChanged, this, [e](const QString& text) {
            const QString upper = text.toUpper();
            if (upper != text) {
                const int cursor = e->cursorPosition();
                e->setText(upper);
                e->setCursorPosition(cursor);
            }
        });
    }
}

void TFormOption::SelectPage(TPage page)
{
    QWidget* pages[] = {TabSheetGeneral, TabSheetNetwork, TabSheetEffect,
                        TabSheetDialUp,  TabSheetFilter,  TabSheetSchedule};
    PageControl->setCurrentWidget(pages[page]);
}

bool TFormOption::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListBoxName->viewport() && event->type() == QEvent::MouseButtonPress) {
        m_rowAtPress = ListBoxName->currentRow();
    }
    return QDialog::eventFilter(watched, event);
}

void TFormOption::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        m_centred = true;
        if (QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

void TFormOption::Error(const QString& message)
{
    m_host.ShowMessage(tr(SourceName), message);
}

// ---- reading and writing --------------------------------------------------------------

void TFormOption::loadFont(QLineEdit* nameEdit, QLineEdit* sizeEdit, const QString& storedFace, int size, QString& face,
                           const QString& designFace)
{
    face = storedFace;
    QFont nameFont = nameEdit->font();
    nameFont.setFamily(face.isEmpty() ? designFace : face);
    nameEdit->setFont(nameFont);
    QFont sizeFont = sizeEdit->font();
    sizeFont.setPointSize(size);
    sizeEdit->setFont(sizeFont);
    nameEdit->setText(nameFont.family() + QLatin1Char(' ') + QString::number(size));
}

void TFormOption::FormCreate()
{
    QStringList errors;
    const TOptionSettings v = m_store.Load(m_host.ExeFolder(), errors);
    for (const QString& error : std::as_const(errors)) {
        Error(error);
    }

    EditTimeout->setText(v.Timeout);
    EditMailProgram->setText(v.MailProgram);
    loadFont(EditViewerFontName, EditViewerFontSize, v.ViewerFontName, v.ViewerFontSize, m_viewerFace,
             kViewerDesignFace);
    loadFont(EditPrinterFontName, EditPrinterFontSize, v.PrinterFontName, v.PrinterFontSize, m_printerFace,
             kPrinterDesignFace);
    EditConsolePassword->setText(v.ConsolePassword);
    CheckBoxDesktopNotify->setChecked(v.DesktopNotify);
    CheckBoxUseKeyring->setChecked(v.UseKeyring);
    CheckBoxAutostart->setChecked(TAutostart::IsEnabled(m_host.ConfigHome()));
    ComboBoxLanguage->setCurrentIndex(std::max(ComboBoxLanguage->findData(v.Language), 0));

    EditAnimation->setText(v.Animation);
    EditSound->setText(v.Sound);
    CheckBoxReadableView->setChecked(v.ReadableView);

    for (int i = 0; i < 5; ++i) {
        EditHighLight[i]->setText(v.Filter.HighLight[i]);
        setHighLightColor(i, v.Filter.HighLightColor[i]);
        CheckBoxDelete[i]->setChecked(v.Filter.Delete[i]);
        CheckBoxColor[i]->setChecked(v.Filter.Color[i]);
    }

    CheckBoxDialUp->setChecked(v.EnableDialUp);
    CheckBoxConnectedOnly->setChecked(v.ConnectedOnly);
    EditRedial->setText(v.Redial);
    EditRedialInterval->setText(v.RedialInterval);
    EditDialUpLogin->setText(v.DialUpLogin);
    EditDialUpPassword->setText(v.DialUpPassword);
    m_entry = v.Entry;

    // Exactly one of the two modes is selected; a stored hour-list mode wins.
    (v.ScheduleCheck ? RadioButtonSchedule : RadioButtonInterval)->setChecked(true);
    EditAutoCheck->setText(v.AutoCheck);
    EditSchedule->setText(v.Schedule);

    for (int k = 0; k < kSlots; ++k) {
        ListBoxName->item(k)->setText(v.Servers.value(k));
    }

    CheckBoxDialUpClick();
    selectLine(0);
}

void TFormOption::setHighLightColor(int row, int color)
{
    m_highLightColor[row] = color;
    QPalette p = EditHighLight[row]->palette();
    p.setColor(QPalette::Text, TColorRef::ToQColor(color, palette().color(QPalette::Text)));
    EditHighLight[row]->setPalette(p);
}

QString TFormOption::line(int k) const
{
    const QListWidgetItem* item = ListBoxName->item(k);
    return item ? item->text() : QString();
}

QStringList TFormOption::lines() const
{
    QStringList result;
    for (int k = 0; k < ListBoxName->count(); ++k) {
        result << line(k);
    }
    return result;
}

int TFormOption::findLine(const QString& name) const
{
    return TSettingsRules::FindMailboxName(lines(), name);
}

void TFormOption::selectLine(int k)
{
    {
        const QSignalBlocker blocker(ListBoxName);
        ListBoxName->setCurrentRow(k);
    }
    ListBoxNameClick();
}

void TFormOption::writeServer()
{
    m_store.SaveServers(lines());
}

void TFormOption::writeMailbox(const QString& name)
{
    TMailboxSettings mailbox{EditHost->text(),           EditLogin->text(),
                             EditPassword->text(),       ComboBoxSecurity->currentData().toString(),
                             EditPort->text().trimmed(), EditCertSha256->text().trimmed()};
    mailbox.Protocol = ComboBoxProtocol->currentData().toString();
    const QString folder = EditFolder->text().trimmed();
    mailbox.Folder = folder.isEmpty() ? QStringLiteral("INBOX") : EditFolder->text();
    mailbox.Push = CheckBoxPush->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    mailbox.Auth = ComboBoxAuth->currentData().toString();
    if (oauthChosen()) {
        mailbox.OAuthProvider = ComboBoxOAuthProvider->currentData().toString();
        mailbox.OAuthClientId = EditOAuthClientId->text().trimmed();
        mailbox.OAuthClientSecret = EditOAuthClientSecret->text().trimmed();
        // A service of the table brings its own endpoints, scope and mechanism.
        if (mailbox.OAuthProvider.isEmpty()) {
            mailbox.OAuthAuthorizeUrl = EditOAuthAuthorizeUrl->text().trimmed();
            mailbox.OAuthTokenUrl = EditOAuthTokenUrl->text().trimmed();
            mailbox.OAuthScope = EditOAuthScope->text().simplified();
            mailbox.OAuthMechanism = ComboBoxOAuthMechanism->currentData().toString();
        }
    }
    m_store.SaveMailbox(name, mailbox);
}

bool TFormOption::checkConnectionFields()
{
    const QString portError = TSettingsRules::PortError(EditPort->text());
    if (!portError.isEmpty()) {
        Error(portError);
        return false;
    }
    const QString passwordError = TSettingsRules::PasswordError(EditPassword->text());
    if (!passwordError.isEmpty()) {
        Error(passwordError);
        return false;
    }
    if (!EditCertSha256->text().trimmed().isEmpty() &&
        TSettingsRules::NormalisedFingerprint(EditCertSha256->text()).isEmpty()) {
        Error(tr("信任的憑證指紋格式錯誤，應為 64 位十六進位數字！"));
        return false;
    }
    if (!oauthChosen()) {
        return true;
    }
    if (ComboBoxSecurity->currentData().toString() == QLatin1String("None")) {
        Error(tr("以瀏覽器登入必須使用加密連線：請選 STARTTLS 或 SSL/TLS。"));
        return false;
    }
    // Values given by hand must make a provider; a service's missing client ID is said in the note.
    if (ComboBoxOAuthProvider->currentData().toString().isEmpty()) {
        TOAuthProvider provider;
        QString error;
        if (!TOAuthProvider::FromKeys(typedAccountKeys(), provider, error)) {
            Error(error);
            return false;
        }
    }
    return true;
}

void TFormOption::setSecurity(const QString& word)
{
    const QString known = TSettingsRules::SecurityWord(word);
    const int index = ComboBoxSecurity->findData(known == QLatin1String("NONE") ? QStringLiteral("None") : known);
    if (index >= 0 && !known.isEmpty()) {
        ComboBoxSecurity->setCurrentIndex(index);
        return;
    }
    // A hand-edited word is kept as it is rather than quietly becoming no encryption.
    ComboBoxSecurity->addItem(word, word);
    ComboBoxSecurity->setCurrentIndex(ComboBoxSecurity->count() - 1);
}

void TFormOption::setProtocol(const QString& word)
{
    const QString upper = word.trimmed().toUpper();
    const int index = ComboBoxProtocol->findData(upper.isEmpty() ? QStringLiteral("POP3") : upper);
    if (index >= 0) {
        ComboBoxProtocol->setCurrentIndex(index);
        return;
    }
    // A hand-edited word is kept as it is rather than quietly becoming POP3.
    ComboBoxProtocol->addItem(word, word);
    ComboBoxProtocol->setCurrentIndex(ComboBoxProtocol->count() - 1);
}

void TFormOption::ButtonTestConnectionClick()
{
    TConnectionParams params;
    params.Host = EditHost->text();
    params.Port = EditPort->text();
    params.Security = ComboBoxSecurity->currentData().toString();
    params.Login = EditLogin->text();
    params.Password = EditPassword->text();
    params.CertSha256 = EditCertSha256->text();
    params.Protocol = ComboBoxProtocol->currentData().toString();
    params.Folder = EditFolder->text();
    // A mailbox that signs in through the browser logs in with the token its sign-in gave.
    params.Auth = ComboBoxAuth->currentData().toString();
    if (oauthChosen()) {
        const TAccount account = typedAccount();
        params.Mailbox = account.Name;
        params.SettingsPath = account.SettingsPath;
        params.OAuthProvider = account.OAuthProvider;
        params.OAuthAuthorizeUrl = account.OAuthAuthorizeUrl;
        params.OAuthTokenUrl = account.OAuthTokenUrl;
        params.OAuthScope = account.OAuthScope;
        params.OAuthClientId = account.OAuthClientId;
        params.OAuthClientSecret = account.OAuthClientSecret;
        params.OAuthMechanism = account.OAuthMechanism;
        params.OAuth = m_host.OAuthAccess();
    }
    int timeout = 0;
    if (TIntConvert::TryStrToInt(EditTimeout->text(), timeout) && timeout > 0 &&
        TSettingsRules::TimeoutInRange(timeout)) {
        params.Timeout = timeout;
    }
    ButtonTestConnection->setEnabled(false);
    const QPointer<TFormOption> alive(this);
    const TConnectionTestResult result = TConnectionTest::Run(params);
    if (!alive) {
        return;
    }
    ButtonTestConnection->setEnabled(true);
    const QString title = tr("測試連線");
    if (!result.CertUntrusted || result.Fingerprint.isEmpty()) {
        TModal::MessageBox(this, result.Message, title);
        return;
    }
    QMessageBox ask(
        QMessageBox::Question, title,
        tr("%1\n\n主體：%2\n簽發者：%3\n有效期間：%4 至 %5\n指紋 (SHA-256)：%6\n\n"
           "確定這是您的郵件伺服器的憑證，並要信任它嗎？")
            .arg(result.Message, result.Subject, result.Issuer, result.ValidFrom, result.ValidTo, result.Fingerprint),
        QMessageBox::Yes | QMessageBox::No, this);
    ask.setObjectName(QStringLiteral("MessageBoxTrust"));
    ask.setDefaultButton(QMessageBox::No);
    if (TModal::Exec(&ask) != QMessageBox::Yes || !alive) {
        return;
    }
    EditCertSha256->setText(result.Fingerprint);
    // The test ran with the fields as typed: a listed mailbox that stores that same server
    // keeps the trust at once; otherwise it is saved with the other fields by 新增 or 更新.
    const int listed = findLine(EditName->text());
    if (listed >= 0) {
        TMailboxSettings typed;
        typed.Host = params.Host;
        typed.Security = params.Security;
        typed.Port = params.Port;
        typed.CertSha256 = result.Fingerprint;
        m_store.PinIfSameServer(line(listed), typed);
    }
}

// ---- the mailbox list ---------------------------------------------------------------

void TFormOption::ListBoxNameClick()
{
    const QString name = line(ListBoxName->currentRow());
    EditName->setText(name);
    if (name.isEmpty()) {
        return;
    }
    QString error;
    const TMailboxSettings mailbox = m_store.LoadMailbox(name, error);
    if (!error.isEmpty()) {
        Error(error);
    }
    EditHost->setText(mailbox.Host);
    EditLogin->setText(mailbox.Login);
    EditPassword->setText(mailbox.Password);
    setSecurity(mailbox.Security);
    EditPort->setText(mailbox.Port);
    EditCertSha256->setText(mailbox.CertSha256);
    setProtocol(mailbox.Protocol);
    EditFolder->setText(mailbox.Folder);
    CheckBoxPush->setChecked(mailbox.Push.trimmed() != QLatin1String("0"));
    keepWord(ComboBoxAuth, mailbox.Auth, QStringLiteral("Password"));
    keepWord(ComboBoxOAuthProvider, mailbox.OAuthProvider, QString());
    EditOAuthAuthorizeUrl->setText(mailbox.OAuthAuthorizeUrl);
    EditOAuthTokenUrl->setText(mailbox.OAuthTokenUrl);
    EditOAuthScope->setText(mailbox.OAuthScope);
    EditOAuthClientId->setText(mailbox.OAuthClientId);
    EditOAuthClientSecret->setText(mailbox.OAuthClientSecret);
    keepWord(ComboBoxOAuthMechanism, mailbox.OAuthMechanism, QStringLiteral("XOAUTH2"));
    signInChanged();
}

void TFormOption::EditNameChange()
{
    const bool listed = findLine(EditName->text()) >= 0;
    ButtonUpdate->setEnabled(listed);
    ButtonDelete->setEnabled(listed);
    ButtonAdd->setEnabled(!listed);
}

void TFormOption::ButtonAddClick()
{
    const QString name = EditName->text();
    if (name.isEmpty() || EditHost->text().isEmpty() || EditLogin->text().isEmpty()) {
        Error(tr("請詳細填寫資料！"));
        return;
    }
    if (!checkConnectionFields()) {
        return;
    }
    if (!line(kSlots - 1).isEmpty()) {
        Error(tr("最多設定10個信箱，請先刪除部份信箱。"));
        return;
    }
    if (!TSettingsRules::ValidMailboxName(name)) {
        Error(tr("信箱名稱不正確，請重新命名。"));
        return;
    }
    if (findLine(name) >= 0) {
        Error(tr("信箱名稱重覆，請重新命名。"));
        return;
    }

    {
        const QSignalBlocker blocker(ListBoxName);
        ListBoxName->insertItem(0, name);
        delete ListBoxName->takeItem(kSlots);
    }
    writeServer();
    writeMailbox(name);
    selectLine(0);
    ButtonAdd->setEnabled(false);
    ButtonUpdate->setEnabled(true);
    ButtonDelete->setEnabled(true);

    m_host.CreateMailbox(name);
    m_host.AddMailboxCount(1);
}

void TFormOption::ButtonUpdateClick()
{
    const QString name = EditName->text();
    if (name.isEmpty() || EditHost->text().isEmpty() || EditLogin->text().isEmpty()) {
        Error(tr("除密碼外皆須填寫！"));
        return;
    }
    if (!checkConnectionFields()) {
        return;
    }
    // Windows are found by exact caption: use the name as listed, whatever its letter case here.
    const int listed = findLine(name);
    const QString mailbox = listed >= 0 ? line(listed) : name;
    writeMailbox(mailbox);
    m_host.SetMailboxPassword(mailbox, EditPassword->text());
}

void TFormOption::ButtonDeleteClick()
{
    const int row = ListBoxName->currentRow();
    if (row < 0) {
        return;
    }
    // The selected line names the mailbox throughout, so the line, the window and the
    // sections removed always belong together even when EditName was edited since.
    const QString name = line(row);
    {
        const QSignalBlocker blocker(ListBoxName);
        delete ListBoxName->takeItem(row);
        ListBoxName->addItem(QString());
    }
    writeServer();
    if (!name.isEmpty()) {
        m_host.DestroyMailbox(name);
        // A hand-edited list may name one of the program's own sections; never erase those.
        if (TSettingsRules::ValidMailboxName(name)) {
            m_store.EraseMailbox(name);
        }
    }
    selectLine(0);
    if (!name.isEmpty()) {
        m_host.AddMailboxCount(-1);
    }
}

// ---- choosers -----------------------------------------------------------------------

void TFormOption::SelectFile(QObject* sender)
{
    static const QStringList filters = {
        // Programs here carry no extension: every file is offered.
        QStringLiteral("Program Files (*)"), QStringLiteral("Animation Files (*.AVI *.avi)"),
        QStringLiteral("Sound Files (*.WAV *.MID *.wav *.mid)"), QStringLiteral("All Files (*)")};
    QLineEdit* target = nullptr;
    int filter = 0;
    if (sender == ButtonMail) {
        target = EditMailProgram, filter = 1;
    } else if (sender == ButtonAnimation) {
        target = EditAnimation, filter = 2;
    } else if (sender == ButtonSound) {
        target = EditSound, filter = 3;
    } else {
        return;
    }
    const QString chosen = fileChooser() ? fileChooser()(this, filters, filter) : runFileDialog(this, filters, filter);
    if (!chosen.isEmpty()) {
        target->setText(chosen);
    }
}

void TFormOption::chooseFont(QLineEdit* nameEdit, QLineEdit* sizeEdit, QString& face)
{
    QFont font = nameEdit->font();
    font.setPointSize(sizeEdit->font().pointSize());
    const bool confirmed = fontChooser() ? fontChooser()(this, font) : runFontDialog(this, font);
    if (!confirmed) {
        return;
    }
    // Only face and size count; style and colour from the dialog are not used.
    const int size = font.pointSize() > 0 ? font.pointSize() : sizeEdit->font().pointSize();
    face = font.family();
    QFont nameFont = nameEdit->font();
    nameFont.setFamily(face);
    nameEdit->setFont(nameFont);
    nameEdit->setText(face + QLatin1Char(' ') + QString::number(size));
    QFont sizeFont = sizeEdit->font();
    sizeFont.setPointSize(size);
    sizeEdit->setFont(sizeFont);
}

void TFormOption::ButtonViewerFontClick()
{
    chooseFont(EditViewerFontName, EditViewerFontSize, m_viewerFace);
}

void TFormOption::ButtonPrinterFontClick()
{
    chooseFont(EditPrinterFontName, EditPrinterFontSize, m_printerFace);
}

void TFormOption::ButtonColorClick(QObject* sender)
{
    for (int i = 0; i < 5; ++i) {
        if (sender != ButtonColor[i]) {
            continue;
        }
        QColor color = lastColor();
        const bool confirmed = colorChooser() ? colorChooser()(this, color) : runColorDialog(this, color);
        if (confirmed && color.isValid()) {
            lastColor() = color;
            setHighLightColor(i, TColorRef::FromQColor(color));
        }
        return;
    }
}

// ---- dial-up and integer fields -----------------------------------------------------

void TFormOption::CheckBoxDialUpClick()
{
    if (!m_host.RasPresent()) {
        if (CheckBoxDialUp->isChecked()) {
            Error(tr("未安裝RASAPI32.DLL"));
            CheckBoxDialUp->setChecked(false);
        }
        CheckBoxDialUp->setEnabled(false);
    } else {
        CheckBoxDialUp->setEnabled(true);
        if (CheckBoxDialUp->isChecked()) {
            ComboBoxEntry->clear();
            ComboBoxEntry->addItems(m_host.GetPhoneBookEntries());
            if (m_entry >= 0 && m_entry < ComboBoxEntry->count()) {
                ComboBoxEntry->setCurrentIndex(m_entry);
            } else if (ComboBoxEntry->count() == 0) {
                Error(tr("沒有撥號設定！"));
                CheckBoxDialUp->setChecked(false);
                CheckBoxDialUp->setEnabled(false);
            } else {
                ComboBoxEntry->setCurrentIndex(0);
            }
        }
    }
    const bool on = CheckBoxDialUp->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBoxConnectedOnly, ComboBoxEntry, EditRedial, EditDialUpLogin,
                                                      EditDialUpPassword}) {
        w->setEnabled(on);
    }
    EditRedialInterval->setEnabled(true);
}

void TFormOption::EditIntegerChange(QLineEdit* edit)
{
    int value = 0;
    if (!edit->text().isEmpty() && !TIntConvert::TryStrToInt(edit->text(), value)) {
        edit->clear();
    }
}

// ---- closing ------------------------------------------------------------------------

void TFormOption::done(int)
{
    if (!m_closed) {
        m_closed = true;
        TExceptionHook::Run([this] { FormClose(); });
    }
    QDialog::done(QDialog::Accepted);
}

QString TFormOption::integerText(QLineEdit* edit, const QString& fallback)
{
    // An emptied field stores its default, so that every reader finds a whole number.
    if (edit->text().isEmpty()) {
        edit->setText(fallback);
    }
    return edit->text();
}

bool TFormOption::checkHourList()
{
    const QString message = TSettingsRules::HourListError(EditSchedule->text());
    if (message.isEmpty()) {
        return true;
    }
    RadioButtonInterval->setChecked(true);
    EditSchedule->clear();
    Error(message);
    return false;
}

void TFormOption::FormClose()
{
    TOptionSettings v;
    v.MailProgram = EditMailProgram->text();
    v.ViewerFontName = m_viewerFace;
    v.ViewerFontSize = EditViewerFontSize->font().pointSize();
    v.PrinterFontName = m_printerFace;
    v.PrinterFontSize = EditPrinterFontSize->font().pointSize();

    const QString timeoutDefault = defaultText(Keys::GeneralTimeout);
    if (!TSettingsRules::TimeoutInRange(TIntConvert::StrToInt(integerText(EditTimeout, timeoutDefault)))) {
        EditTimeout->setText(timeoutDefault);
    }
    v.Timeout = EditTimeout->text();
    v.ConsolePassword = EditConsolePassword->text();

    v.Animation = EditAnimation->text();
    v.Sound = EditSound->text();
    v.ReadableView = CheckBoxReadableView->isChecked();

    for (int i = 0; i < 5; ++i) {
        v.Filter.HighLight[i] = EditHighLight[i]->text();
        v.Filter.HighLightColor[i] = m_highLightColor[i];
        v.Filter.Delete[i] = CheckBoxDelete[i]->isChecked();
        v.Filter.Color[i] = CheckBoxColor[i]->isChecked();
    }

    v.EnableDialUp = CheckBoxDialUp->isChecked();
    v.ConnectedOnly = CheckBoxConnectedOnly->isChecked();
    v.Redial = integerText(EditRedial, defaultText(Keys::DialUpRedial));
    v.RedialInterval = integerText(EditRedialInterval, defaultText(Keys::DialUpRedialInterval));
    v.DialUpLogin = EditDialUpLogin->text();
    v.Entry = std::max(ComboBoxEntry->currentIndex(), 0);
    v.DialUpPassword = EditDialUpPassword->text();

    if (RadioButtonSchedule->isChecked()) {
        checkHourList();
    }
    v.IntervalCheck = RadioButtonInterval->isChecked();
    v.ScheduleCheck = RadioButtonSchedule->isChecked();
    v.AutoCheck = integerText(EditAutoCheck, defaultText(Keys::ScheduleAutoCheck));
    v.Schedule = EditSchedule->text();
    v.Servers = lines();
    v.DesktopNotify = CheckBoxDesktopNotify->isChecked();
    v.UseKeyring = CheckBoxUseKeyring->isChecked();
    v.Language = ComboBoxLanguage->currentData().toString();
    m_store.Save(v);
    // Only a change touches the desktop's start-up folder.
    const QString configHome = m_host.ConfigHome();
    if (CheckBoxAutostart->isChecked() != TAutostart::IsEnabled(configHome) &&
        !TAutostart::SetEnabled(configHome, CheckBoxAutostart->isChecked(), m_host.ProgramPath())) {
        Error(tr("無法更改開機自動啟動設定：") + TAutostart::EntryPath(configHome));
    }

    TOptionState state;
    state.FilterRules = v.Filter;
    state.CheckInterval = TIntConvert::StrToInt(v.AutoCheck);
    state.MailProgramPath = v.MailProgram;
    state.AnimationFile = v.Animation;
    state.SoundFile = v.Sound;
    state.DialUpEnabled = v.EnableDialUp;
    state.ConnectedOnly = v.ConnectedOnly;
    state.RedialInterval = TIntConvert::StrToInt(v.RedialInterval);
    state.ScheduleCheck = v.ScheduleCheck;
    state.RedialAttempts = TIntConvert::StrToInt(v.Redial);
    state.UserName = v.DialUpLogin;
    state.Password = v.DialUpPassword;
    state.EntryName = ComboBoxEntry->currentText();
    if (state.ScheduleCheck) {
        // The list passed the check above, so every piece converts.
        TSettingsRules::ReadHourList(v.Schedule, state.ScheduleHours);
    }
    m_host.RefreshState(state);
    m_host.ChangeNextCheck();
    m_host.RaiseMainWindow();
}
