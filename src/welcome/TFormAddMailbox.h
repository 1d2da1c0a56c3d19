#pragma once

#include "mailbox/TConnectionTest.h"
#include "welcome/TServicePresets.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TOptionHost;

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
    QPushButton* ButtonTest = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void EditAddressChange();
    // Runs the connection test on the form's values; true when it passed.
    bool ButtonTestClick();
    // Tests first unless the values on the form have passed already.
    void ButtonSaveClick();

    // The name the mailbox was saved under; empty until then.
    QString SavedName() const { return m_savedName; }

private:
    TConnectionParams params() const;
    void fillServer();
    void valuesChanged();
    void fitHeight();

    TOptionHost& m_host;
    const TServicePresets& m_presets;
    // The service found for the address, for switching the protocol.
    TServicePreset m_preset;
    bool m_found = false;
    TConnectionTester m_tester;
    QString m_fingerprint;
    QString m_savedName;
    bool m_passed = false;
    bool m_filling = false;
};
