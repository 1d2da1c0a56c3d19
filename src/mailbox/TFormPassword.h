#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class TMailHost;
class TsolTile;

// Asks for one password. However the window closes, what was typed is handed over:
// for "Console" to the console callback, otherwise to every mailbox window of that
// name through the host. There is no cancel.
class TFormPassword : public QDialog {
    Q_OBJECT
public:
    using ConsoleHandOver = std::function<void(const QString& typed)>;

    explicit TFormPassword(TMailHost* host, ConsoleHandOver console = {}, QWidget* parent = nullptr);

    TsolTile* solTile = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LabelName = nullptr;
    QLineEdit* EditPassword = nullptr;
    QPushButton* ButtonOK = nullptr;

    // The mailbox name, or "Console".
    void SetName(const QString& name);

    void FormShow();
    void FormClose();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TMailHost* m_host;
    ConsoleHandOver m_console;
    bool m_handedOver = false;
};
