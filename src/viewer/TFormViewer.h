#pragma once

#include <QMdiSubWindow>
#include <QSize>

#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPrinter;
class QToolButton;
class TLinePrinter;

// The window in which one downloaded message is read and printed. It frees itself when
// closed; the mailbox window fills it through SetFirstLine and ShowText.
class TFormViewer : public QMdiSubWindow {
    Q_OBJECT
public:
    // A QMdiArea parent takes the viewer in as a child window; the viewer shows at once.
    explicit TFormViewer(QWidget* parent, const QString& settingsPath);
    ~TFormViewer() override;

    QFrame* Panel;
    QLabel* LabelServer;
    QLabel* LabelSubject;
    QLabel* Label1;
    QLabel* Label2;
    QPlainTextEdit* Memo;
    QToolButton* SpeedButtonPrint;
    TLinePrinter* LinePrinter;

    // Replaces the memo's first line with the message text, decoded by the charset the
    // whole message declares, and shows it from its start.
    void ShowText(const QByteArray& shown, const QByteArray& wholeMessage);
    void SetFirstLine(const QString& text);

    // Where a print went to a file because no printer is installed, the program is told here.
    static void SetInfoHook(std::function<void(const QString& text)> hook);

    // Face of the window and of the memo until the settings name another; stands in for
    // MS Sans Serif, which Linux does not have.
    static QString DefaultFontFamily();

    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void SpeedButtonPrintClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWidgets();
    void printMemo();
    QString nextPdfPath() const;
    static std::function<void(const QString&)>& infoHook();

    QString m_settingsPath;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<TLinePrinter> m_linePrinter;
    bool m_printToFile = false;
    QSize m_normalSize;
    bool m_sizeRead = false;
};
