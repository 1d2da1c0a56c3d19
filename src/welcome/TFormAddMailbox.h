#pragma once

#include "auth/TOAuthProvider.h"
#include "mailbox/TConnectionTest.h"
#include "welcome/TServicePresets.h"

#include <QDialog>
#include <QMap>
#include <functional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class TOptionHost;
struct TAccount;

// Adds the user's own mailbox from an address and a password: server, port, security and
// login come from the service table; the connection is tested before anything is saved,
// and saving writes the entry the options dialog would write and opens its window.
class TFormAddMailbox : public QDialog {
    Q_OBJECT
public:
    using TConnectionTester = std::function<TConnectionTestResult(const TConnectionParams&)>;

    TFormAddMailbox(TOptionHost& host, const TServicePresets& presets, TConnectionTester tester,
                    QWidget* parent = nullptr);

    QLineEdit* EditAddress = nullptr;
    // For a service that signs in through the browser: 密碼 or 以瀏覽器登入, the settings
    // word as item data.
    QComboBox* ComboBoxAuth = nullptr;
    QLineEdit* EditPassword = nullptr;
    QLabel* LabelService = nullptr;
    QLabel* LabelHint = nullptr;
    QLineEdit* EditHost = nullptr;
    QLineEdit* EditPort = nullptr;
    QComboBox* ComboBoxSecurity = nullptr;
    // IMAP (with push) where the service offers it, or POP3.
    QComboBox* ComboBoxProtocol = nullptr;
    QLineEdit* EditLogin = nullptr;
    QLineEdit* EditName = nullptr;
    QCheckBox* CheckBoxTrustCert = nullptr;
    QLabel* LabelResult = nullptr;
    // What browser sign-in needs, or why this program cannot offer it for the service.
    QLabel* LabelOAuth = nullptr;
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonAuthorize = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void EditAddressChange();
    // Runs the connection test on the form's values; true when it passed.
    bool ButtonTestClick();
    // Tests first unless the values on the form have passed already.
    void ButtonSaveClick();
    // Starts the browser sign-in of the form's mailbox, or cancels it.
    void ButtonAuthorizeClick();
    // The mailbox signs in through the browser.
    bool OAuthChosen() const;

    // The services' browser sign-in, by service name; the shipped table's by default.
    void SetProviders(const QMap<QString, TOAuthProvider>& providers);

    // The name the mailbox was saved under; empty until then.
    QString SavedName() const { return m_savedName; }

private:
    TConnectionParams params() const;
    void fillServer();
    void valuesChanged();
    void fitHeight();
    void authChanged();
    TAccount account() const;
    void save();
    void authorizationEnded(const QString& mailbox, bool ok, const QString& message);

    TOptionHost& m_host;
    QFormLayout* m_form = nullptr;
    const TServicePresets& m_presets;
    // The service found for the address, for switching the protocol.
    TServicePreset m_preset;
    bool m_found = false;
    TConnectionTester m_tester;
    QString m_fingerprint;
    QString m_savedName;
    bool m_passed = false;
    bool m_filling = false;
    // The service's client ID is configured: browser sign-in can be offered.
    bool m_canAuthorize = false;
    QMap<QString, TOAuthProvider> m_providers;
    // The form's mailbox, as named now, was authorized; the sign-in running, if any.
    bool m_authorized = false;
    QString m_authorizing;
    QString m_authorizingLogin;
    bool m_saveWhenAuthorized = false;
};
