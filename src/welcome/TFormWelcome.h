#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// The first window of a start without mailboxes: add my mailbox, try (or remove) the
// demo mailbox, or close; the check box keeps it from coming back.
class TFormWelcome : public QDialog {
    Q_OBJECT
public:
    enum class TChoice { Close, AddMailbox, Demo, RemoveDemo };

    // demoListed: the demo mailbox exists, so the demo button removes it instead.
    explicit TFormWelcome(bool demoListed, QWidget* parent = nullptr);

    QLabel* LabelIntro = nullptr;
    QPushButton* ButtonAddMailbox = nullptr;
    QPushButton* ButtonDemo = nullptr;
    QPushButton* ButtonRemoveDemo = nullptr;
    QPushButton* ButtonClose = nullptr;
    QCheckBox* CheckBoxShowWelcome = nullptr;

    TChoice Choice() const { return m_choice; }
    bool ShowAgain() const;

private:
    void choose(TChoice choice);

    TChoice m_choice = TChoice::Close;
};
