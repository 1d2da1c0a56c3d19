#pragma once

#include "settings/TOptionStore.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QMap>
#include <functional>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QWidget;
class TFxLabel;
class TOptionHost;
struct TAccount;

// The options dialog: six pages over the settings file. Mailbox add, update and delete
// act at once; everything else is stored, and copied into the running program, when the
// dialog closes, however it closes.
class TFormOption : public QDialog {
    Q_OBJECT
public:
    enum TPage { pgGeneral, pgNetwork, pgEffect, pgDialUp, pgFilter, pgSchedule };

    // Choosers that tests answer in advance. A file chooser gets the filter number (1 programs,
    // 2 animations, 3 sounds) and returns the chosen path, empty when cancelled; the font and
    // colour choosers change their argument and return whether the user confirmed.
    using TFileChooser = std::function<QString(QWidget* parent, const QStringList& filters, int filterIndex)>;
    using TFontChooser = std::function<bool(QWidget* parent, QFont& font)>;
    using TColorChooser = std::function<bool(QWidget* parent, QColor& color)>;
    // An empty function restores the real dialog.
    static void SetFileChooser(TFileChooser chooser);
    static void SetFontChooser(TFontChooser chooser);
    static void SetColorChooser(TColorChooser chooser);

    static const char* const SourceName; // "設定選單"

    // Opens the settings file and fills every field (FormCreate).
    explicit TFormOption(TOptionHost& host, QWidget* parent = nullptr);
    ~TFormOption() override;

    void SelectPage(TPage page);

    // Handlers, also run by each other as the dialog's rules say.
    void FormCreate();
    void FormClose();
    void ListBoxNameClick();
    void EditNameChange();
    void ButtonAddClick();
    void ButtonUpdateClick();
    void ButtonDeleteClick();
    void SelectFile(QObject* sender);
    void ButtonViewerFontClick();
    void ButtonPrinterFontClick();
    void ButtonColorClick(QObject* sender);
    void CheckBoxDialUpClick();
    void EditIntegerChange(QLineEdit* edit);
    void Error(const QString& message);

    QTabWidget* PageControl = nullptr;
    QWidget* TabSheetGeneral = nullptr;
    QWidget* TabSheetNetwork = nullptr;
    QWidget* TabSheetEffect = nullptr;
    QWidget* TabSheetDialUp = nullptr;
    QWidget* TabSheetFilter = nullptr;
    QWidget* TabSheetSchedule = nullptr;

    QLineEdit* EditTimeout = nullptr;
    QLineEdit* EditMailProgram = nullptr;
    QPushButton* ButtonMail = nullptr;
    QLineEdit* EditViewerFontName = nullptr;
    QPushButton* ButtonViewerFont = nullptr;
    QLineEdit* EditPrinterFontName = nullptr;
    QPushButton* ButtonPrinterFont = nullptr;
    QLineEdit* EditConsolePassword = nullptr;
    QLineEdit* EditViewerFontSize = nullptr;
    QLineEdit* EditPrinterFontSize = nullptr;
    QCheckBox* CheckBoxDesktopNotify = nullptr;
    QCheckBox* CheckBoxUseKeyring = nullptr;
    QCheckBox* CheckBoxAutostart = nullptr;
    // 自動 / 中文（台灣）/ English, the settings word as item data.
    QComboBox* ComboBoxLanguage = nullptr;

    QListWidget* ListBoxName = nullptr;
    QLineEdit* EditName = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditLogin = nullptr;
    QLineEdit* EditPassword = nullptr;
    // 無 / STARTTLS / SSL/TLS, the settings word as item data.
    QComboBox* ComboBoxSecurity = nullptr;
    QLineEdit* EditPort = nullptr;
    QComboBox* ComboBoxProtocol = nullptr;
    QLineEdit* EditFolder = nullptr;
    QCheckBox* CheckBoxPush = nullptr;
    QLineEdit* EditCertSha256 = nullptr;
    QPushButton* ButtonTestConnection = nullptr;
    // How the mailbox signs in: the settings word ("Password", "OAuth2") as item data.
    QComboBox* ComboBoxAuth = nullptr;
    // A service of the table by name, or 自訂 (empty data) for the fields below.
    QComboBox* ComboBoxOAuthProvider = nullptr;
    QLineEdit* EditOAuthAuthorizeUrl = nullptr;
    QLineEdit* EditOAuthTokenUrl = nullptr;
    QLineEdit* EditOAuthScope = nullptr;
    QLineEdit* EditOAuthClientId = nullptr;
    QLineEdit* EditOAuthClientSecret = nullptr;
    QComboBox* ComboBoxOAuthMechanism = nullptr;
    // What signing in through the browser needs, or why it cannot work yet.
    QLabel* LabelOAuthNote = nullptr;
    QPushButton* ButtonAuthorize = nullptr;
    QPushButton* ButtonAdd = nullptr;
    QPushButton* ButtonUpdate = nullptr;
    QPushButton* ButtonDelete = nullptr;

    QLineEdit* EditAnimation = nullptr;
    QPushButton* ButtonAnimation = nullptr;
    QLineEdit* EditSound = nullptr;
    QPushButton* ButtonSound = nullptr;
    QCheckBox* CheckBoxReadableView = nullptr;

    QCheckBox* CheckBoxDialUp = nullptr;
    QCheckBox* CheckBoxConnectedOnly = nullptr;
    QLineEdit* EditRedial = nullptr;
    QLineEdit* EditRedialInterval = nullptr;
    QComboBox* ComboBoxEntry = nullptr;
    QLineEdit* EditDialUpLogin = nullptr;
    QLineEdit* EditDialUpPassword = nullptr;

    QPushButton* ButtonColor[5] = {};
    QLineEdit* EditHighLight[5] = {};
    QCheckBox* CheckBoxDelete[5] = {};
    QCheckBox* CheckBoxColor[5] = {};

    QRadioButton* RadioButtonInterval = nullptr;
    QLineEdit* EditAutoCheck = nullptr;
    QRadioButton* RadioButtonSchedule = nullptr;
    QLineEdit* EditSchedule = nullptr;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildGeneralPage();
    void buildDesktopOptions(QGridLayout* grid, int row);
    void buildLanguageChoice(QGridLayout* grid, int row);
    void buildNetworkPage();
    void buildEffectPage();
    void buildDialUpPage();
    void buildFilterPage();
    void buildSchedulePage();
    void connectHandlers();
    TFxLabel* caption(const QString& text, QWidget* parent);
    QPushButton* button(const char* name, const QString& text, const QString& hint, QWidget* parent);
    QLineEdit* edit(const char* name, const QString& hint, QWidget* parent);

    int findLine(const QString& name) const;
    QString line(int k) const;
    void selectLine(int k);
    void writeServer();
    void writeMailbox(const QString& name);
    // The port or fingerprint as typed cannot be stored: says why and returns false.
    bool checkConnectionFields();
    void setSecurity(const QString& word);
    void setProtocol(const QString& word);
    void ButtonTestConnectionClick();
    void buildSignInFields(QGridLayout* grid, int column);
    // Enables the fields the sign-in choice uses and says what it needs.
    void signInChanged();
    bool oauthChosen() const;
    // Selects the item whose data is word (any letter case), or adds word as it is.
    static void keepWord(QComboBox* box, const QString& word, const QString& fallback);
    QString oauthNote() const;
    // The account as the fields hold it, for an authorization before anything is stored.
    TAccount typedAccount() const;
    QMap<QString, QString> typedAccountKeys() const;
    // Starts or cancels the browser sign-in of the typed mailbox.
    void ButtonAuthorizeClick();
    // Puts the button back when the sign-in this dialog started has ended.
    bool authorizationEnded(const QString& mailbox);
    void authorizationSucceeded(const QString& mailbox);
    void authorizationFailed(const QString& mailbox, const QString& message);
    QStringList lines() const;
    void loadFont(QLineEdit* nameEdit, QLineEdit* sizeEdit, const QString& storedFace, int size, QString& face,
                  const QString& designFace);
    void chooseFont(QLineEdit* nameEdit, QLineEdit* sizeEdit, QString& face);
    void setHighLightColor(int row, int color);
    QString integerText(QLineEdit* edit, const QString& fallback);
    bool checkHourList();

    TOptionHost& m_host;
    TOptionStore m_store;
    QString m_viewerFace;
    QString m_printerFace;
    int m_highLightColor[5] = {0, 0, 0, 0, 0};
    // The stored dial-up entry, chosen again whenever dial-up is switched on.
    int m_entry = 0;
    bool m_closed = false;
    bool m_centred = false;
    int m_rowAtPress = -1;
    // The mailbox whose browser sign-in this dialog started; empty when none runs.
    QString m_authorizing;
};
