#pragma once

#include <QMdiSubWindow>
#include <QSize>

#include <functional>
#include <memory>

class QFrame;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QPrinter;
class QToolButton;
class TLinePrinter;
class TMimeMessage;

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
    // Switches between the readable view and the raw one; its text names the other view.
    QToolButton* SpeedButtonView;
    // The readable view's attachments, and the button that saves the selected one.
    QListWidget* ListAttachments;
    QPushButton* ButtonSave;
    TLinePrinter* LinePrinter;

    // Replaces the memo's first line with the message text, decoded by the charset the
    // whole message declares, and shows it from its start.
    void ShowText(const QByteArray& shown, const QByteArray& wholeMessage);
    void SetFirstLine(const QString& text);
    // Makes the readable view of a RETR reply (empty: the message was too large to fetch)
    // and shows the view the settings choose; noHeader hides its header block.
    void ShowMessage(const QByteArray& reply, bool noHeader);
    bool Readable() const { return m_readable; }

    // Asks where an attachment goes: given the suggested file name, returns the chosen
    // path or an empty one. Tests replace the file dialog through it.
    using SaveDialog = std::function<QString(QWidget* parent, const QString& suggested)>;
    static void SetSaveDialogHook(SaveDialog hook);

    // Where a print went to a file because no printer is installed, the program is told here.
    static void SetInfoHook(std::function<void(const QString& text)> hook);

    // Face of the window and of the memo until the settings name another; stands in for
    // MS Sans Serif, which Linux does not have.
    static QString DefaultFontFamily();

    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void SpeedButtonPrintClick();
    void SpeedButtonViewClick();
    void ButtonSaveClick();

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
    static SaveDialog& saveDialogHook();
    void showView(bool readable);

    QString m_settingsPath;
    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<TLinePrinter> m_linePrinter;
    bool m_printToFile = false;
    QSize m_normalSize;
    bool m_sizeRead = false;
    std::unique_ptr<TMimeMessage> m_message;
    QString m_rawText;
    QString m_readableText;
    bool m_readable = false;
};
