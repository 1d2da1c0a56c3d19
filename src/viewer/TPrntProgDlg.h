#pragma once

#include <QDialog>

class QFrame;
class QLabel;

// The small always-on-top window that shows how far a print job has come.
class TPrntProgDlg : public QDialog {
    Q_OBJECT
public:
    explicit TPrntProgDlg(QWidget* parent = nullptr);

    // Status text (kept when message is empty), job title and page number; repaints at once.
    void Update(const QString& message, const QString& title, int pageNumber);

    QFrame* Bevel1;
    QLabel* lblStatus;
    QLabel* lblTitle;
    QLabel* lblPageNumDesc;
    QLabel* lblPageNumber;
};
