#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class TsolTile;

// The modal window that carries every error report; it closes itself shortly before
// the next scheduled check so that an unattended report never blocks checking.
class TFormMessage : public QDialog {
    Q_OBJECT
public:
    // mainWindow is brought to the front when the report shows; nextCheckTime gives the
    // scheduled check time as a day count.
    TFormMessage(QWidget* mainWindow, std::function<double()> nextCheckTime);

    // Creates the window with its source line and message, shows it modally and frees it.
    static int Show(QWidget* mainWindow, const QString& from, const QString& message,
                    std::function<double()> nextCheckTime);

    TsolTile* solTile;
    QLabel* Label1;
    QLabel* LabelFrom;
    QPlainTextEdit* Memo;
    QPushButton* ButtonOK;
    QTimer* Timer;

    void FormShow();
    void TimerTimer();

    // The tile picture of the background.
    static QImage BackgroundPicture();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPointer<QWidget> m_mainWindow;
    std::function<double()> m_nextCheckTime;
};
