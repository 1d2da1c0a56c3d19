#include "viewer/TFormViewer.h"

#include "assets/MailvaneAssets.h"
#include "core/TClock.h"
#include "core/TExceptionHook.h"
#include "mailbox/TMimeMessage.h"
#include "settings/TIniFile.h"
#include "settings/TSettingsKeys.h"
#include "viewer/TCharsetText.h"
#include "viewer/TLinePrinter.h"
#include "widgets/TModal.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QStyle>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

namespace Keys = TSettingsKeys;

QFont formFont(int pixelSize)
{
    QFont font(TFormViewer::DefaultFontFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    return font;
}

// Face names are stored as short strings, and only the first 31 characters name a face.
QString faceName(const QString& stored)
{
    return stored.left(255).left(31);
}

int pointSize(const TIniFile& ini, const TSetting& setting)
{
    const int size = setting.ReadInteger(ini);
    return size > 0 ? size : setting.Default().toInt(); // zero or negative sizes cannot be set on a font
}

} // namespace

TFormViewer::TFormViewer(QWidget* parent, const QString& settingsPath)
    : QMdiSubWindow(nullptr), m_settingsPath(settingsPath)
{
    setObjectName(QStringLiteral("FormViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Viewer"));
    InitMailvaneAssets();
    setWindowIcon(QIcon(QStringLiteral(":/icons/mailvane.png")));
    setFont(formFont(13));

    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    m_printToFile = defaultPrinter.isNull();
    if (m_printToFile) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setOutputFormat(QPrinter::PdfFormat);
    } else {
        m_printer = std::make_unique<QPrinter>(defaultPrinter, QPrinter::HighResolution);
    }
    m_linePrinter = std::make_unique<TLinePrinter>(m_printer.get());
    LinePrinter = m_linePrinter.get();
    LinePrinter->SetMarginTop(0.5);
    LinePrinter->SetMarginBottom(1.0);
    LinePrinter->SetMarginLeft(0.5);
    LinePrinter->SetMarginRight(0.5);
    LinePrinter->SetLineSpacing(lsSingleAndAHalf);
    LinePrinter->SetPageBorders(pbTop | pbBottom);
    QFont printFont(QStringLiteral("Courier New"));
    printFont.setStyleHint(QFont::TypeWriter);
    printFont.setPointSize(10);
    LinePrinter->SetFont(printFont);
    LinePrinter->SetTitle(QStringLiteral("Printed by Mailvane"));

    buildWidgets();
    resize(437, 300);
    FormCreate();

    if (auto* area = qobject_cast<QMdiArea*>(parent)) {
        area->addSubWindow(this);
    } else if (parent) {
        setParent(parent, windowFlags());
    }
    show();
}

TFormViewer::~TFormViewer() = default;

void TFormViewer::buildWidgets()
{
    auto* client = new QWidget(this);
    client->setToolTip(QStringLiteral("You can change viewer and printer font from option page."));
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel = new QFrame(client);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFixedHeight(41);
    Panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    layout->addWidget(Panel);

    Memo = new QPlainTextEdit(client);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setTabChangesFocus(false);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo->setPlainText(QStringLiteral("Memo"));
    Memo->installEventFilter(this);
    layout->addWidget(Memo, 1);

    auto* bar = new QWidget(client);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(2, 2, 2, 2);
    SpeedButtonView = new QToolButton(bar);
    SpeedButtonView->setObjectName(QStringLiteral("SpeedButtonView"));
    SpeedButtonView->setText(tr("原始內容"));
    SpeedButtonView->setToolTip(QStringLiteral("Switch between the readable and the raw message."));
    SpeedButtonView->hide();
    connect(SpeedButtonView, &QToolButton::clicked, this,
            [this] { TExceptionHook::Run([this] { SpeedButtonViewClick(); }); });
    barLayout->addWidget(SpeedButtonView, 0, Qt::AlignTop);
    ListAttachments = new QListWidget(bar);
    ListAttachments->setObjectName(QStringLiteral("ListAttachments"));
    ListAttachments->setMaximumHeight(72);
    ListAttachments->hide();
    barLayout->addWidget(ListAttachments, 1);
    ButtonSave = new QPushButton(tr("另存新檔"), bar);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonSave->setToolTip(QStringLiteral("Save the selected attachment."));
    ButtonSave->hide();
    connect(ButtonSave, &QPushButton::clicked, this, [this] { TExceptionHook::Run([this] { ButtonSaveClick(); }); });
    connect(ListAttachments, &QListWidget::itemDoubleClicked, this,
            [this] { TExceptionHook::Run([this] { ButtonSaveClick(); }); });
    barLayout->addWidget(ButtonSave, 0, Qt::AlignTop);
    layout->addWidget(bar);

    SpeedButtonPrint = new QToolButton(Panel);
    SpeedButtonPrint->setObjectName(QStringLiteral("SpeedButtonPrint"));
    SpeedButtonPrint->setGeometry(1, 1, 40, 40);
    SpeedButtonPrint->setAutoRaise(true);
    SpeedButtonPrint->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    SpeedButtonPrint->setIcon(
        QIcon::fromTheme(QStringLiteral("document-print"), style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    SpeedButtonPrint->setIconSize(QSize(24, 24));
    SpeedButtonPrint->setToolTip(QStringLiteral("Click to print this mail."));
    connect(SpeedButtonPrint, &QToolButton::clicked, this, [this] { SpeedButtonPrintClick(); });

    auto makeLabel = [this](const char* name, const QString& text, int x, int y, int pixels) {
        auto* label = new QLabel(text, Panel);
        label->setObjectName(QString::fromLatin1(name));
        label->setFont(formFont(pixels));
        label->setAttribute(Qt::WA_TranslucentBackground);
        label->move(x, y);
        label->adjustSize();
        return label;
    };
    Label1 = makeLabel("Label1", tr("信箱 : "), 45, 4, 13);
    Label2 = makeLabel("Label2", tr("主題 : "), 45, 20, 13);
    // A caption longer than the design's (another language) pushes the values right.
    const int valueLeft = std::max({101, Label1->geometry().right() + 2, Label2->geometry().right() + 2});
    LabelServer = makeLabel("LabelServer", QString(), valueLeft, 2, 17);
    LabelSubject = makeLabel("LabelSubject", QString(), valueLeft, 18, 17);
    // The labels grow with the panel so that long subjects are not cut at design width.
    for (QLabel* label : {LabelServer, LabelSubject}) {
        label->resize(2000, 20);
    }

    setWidget(client);
}

QString TFormViewer::DefaultFontFamily()
{
    return QStringLiteral("Sans Serif");
}

std::function<void(const QString&)>& TFormViewer::infoHook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

void TFormViewer::SetInfoHook(std::function<void(const QString& text)> hook)
{
    infoHook() = std::move(hook);
}

void TFormViewer::FormCreate()
{
    const TIniFile ini(m_settingsPath);
    QFont font = Memo->font();
    const QString face = faceName(TSetting(Keys::GeneralViewerFontName).ReadString(ini));
    if (!face.isEmpty()) {
        font.setFamily(face);
    }
    font.setPointSize(pointSize(ini, Keys::GeneralViewerFontSize));
    Memo->setFont(font);
}

void TFormViewer::FormShow()
{
    const TIniFile ini(m_settingsPath);
    const int h = TSetting(Keys::WindowsViewerHeight).ReadInteger(ini);
    resize(width(), h);
    const int w = TSetting(Keys::WindowsViewerWidth).ReadInteger(ini);
    resize(w, height());
}

void TFormViewer::FormCloseQuery()
{
    TIniFile ini(m_settingsPath);
    // A minimised or maximised viewer stores the size it had as a normal window.
    const QSize size = (isMinimized() || isMaximized()) && m_normalSize.isValid() ? m_normalSize : this->size();
    TSetting(Keys::WindowsViewerHeight).WriteInteger(ini, size.height());
    TSetting(Keys::WindowsViewerWidth).WriteInteger(ini, size.width());
}

void TFormViewer::showEvent(QShowEvent* event)
{
    QMdiSubWindow::showEvent(event);
    // Restoring from minimised and hiding and showing the frame (options dialog, tray)
    // show the viewer again; only its first show takes the stored size.
    if (!m_sizeRead && !event->spontaneous() && !isMinimized()) {
        m_sizeRead = true;
        TExceptionHook::Run([this] { FormShow(); });
    }
}

void TFormViewer::closeEvent(QCloseEvent* event)
{
    // The close is never refused, not even when the size cannot be written.
    TExceptionHook::Run([this] { FormCloseQuery(); });
    QMdiSubWindow::closeEvent(event);
    event->accept();
}

void TFormViewer::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    if (!isMinimized() && !isMaximized()) {
        m_normalSize = size();
    }
}

bool TFormViewer::eventFilter(QObject* watched, QEvent* event)
{
    // A read-only memo would hand Tab on to the next control; the memo keeps it.
    if (watched == Memo && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            return true;
        }
    }
    return QMdiSubWindow::eventFilter(watched, event);
}

void TFormViewer::SetFirstLine(const QString& text)
{
    QTextCursor cursor(Memo->document()->firstBlock());
    cursor.movePosition(QTextCursor::StartOfBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.insertText(text);
}

void TFormViewer::ShowText(const QByteArray& shown, const QByteArray& wholeMessage)
{
    SetFirstLine(TCharsetText::ToText(shown, wholeMessage));
    QTextCursor start(Memo->document());
    start.movePosition(QTextCursor::Start);
    Memo->setTextCursor(start);
    Memo->ensureCursorVisible();
}

void TFormViewer::ShowMessage(const QByteArray& reply, bool noHeader)
{
    m_rawText = Memo->toPlainText();
    ListAttachments->clear();
    if (reply.isEmpty()) {
        m_message.reset();
        m_readableText = tr("信件過大！");
    } else {
        m_message = std::make_unique<TMimeMessage>(reply, TMimeMessage::Source::Pop3Reply);
        m_readableText = m_message->Text(!noHeader);
        for (const TMimeAttachment& a : m_message->Attachments()) {
            const int size = int(std::min<qint64>(a.Size, std::numeric_limits<int>::max()));
            ListAttachments->addItem(tr("%1 (%2, %n 位元組)", nullptr, size).arg(a.FileName, a.Type));
        }
        if (ListAttachments->count() > 0) {
            ListAttachments->setCurrentRow(0);
        }
    }
    SpeedButtonView->show();
    bool readable = true;
    {
        const TIniFile ini(m_settingsPath);
        readable = TSetting(Keys::OptionReadableView).ReadBool(ini);
    }
    showView(readable);
}

void TFormViewer::showView(bool readable)
{
    m_readable = readable;
    Memo->setPlainText(readable ? m_readableText : m_rawText);
    SpeedButtonView->setText(readable ? tr("原始內容") : tr("易讀內容"));
    const bool attachments = readable && ListAttachments->count() > 0;
    ListAttachments->setVisible(attachments);
    ButtonSave->setVisible(attachments);
    QTextCursor start(Memo->document());
    start.movePosition(QTextCursor::Start);
    Memo->setTextCursor(start);
    Memo->ensureCursorVisible();
}

void TFormViewer::SpeedButtonViewClick()
{
    showView(!m_readable);
}

TFormViewer::SaveDialog& TFormViewer::saveDialogHook()
{
    static SaveDialog hook;
    return hook;
}

void TFormViewer::SetSaveDialogHook(SaveDialog hook)
{
    saveDialogHook() = std::move(hook);
}

void TFormViewer::ButtonSaveClick()
{
    const int index = ListAttachments->currentRow();
    if (!m_message || index < 0 || index >= m_message->Attachments().size()) {
        return;
    }
    const QString suggested = m_message->Attachments().at(index).FileName;
    QString path;
    if (saveDialogHook()) {
        path = saveDialogHook()(this, suggested);
    } else {
        path = QFileDialog::getSaveFileName(this, tr("另存新檔"), QDir::home().filePath(suggested));
    }
    if (path.isEmpty()) {
        return;
    }
    // Written beside the target and renamed at the end: a failed save leaves any old file as it was.
    QSaveFile file(path);
    const QByteArray bytes = m_message->AttachmentData(index);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        TModal::MessageBox(this, tr("無法儲存附件 %1！\n%2").arg(QDir::toNativeSeparators(path), file.errorString()),
                           QStringLiteral("Mailvane"));
    }
}

void TFormViewer::SpeedButtonPrintClick()
{
    // A printing failure goes on to the program's exception hook.
    TExceptionHook::Run([this] { printMemo(); });
}

QString TFormViewer::nextPdfPath() const
{
    const QDir folder = QFileInfo(m_settingsPath).absoluteDir();
    const QString stamp = TClock::CurrentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString path = folder.filePath(QStringLiteral("Mailvane-print-%1.pdf").arg(stamp));
    // Two prints within one second must not overwrite each other.
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = folder.filePath(QStringLiteral("Mailvane-print-%1-%2.pdf").arg(stamp).arg(n));
    }
    return path;
}

void TFormViewer::printMemo()
{
    {
        const TIniFile ini(m_settingsPath);
        // Changed in place: the line pitch stays the one of the design font.
        QFont& font = LinePrinter->Font();
        const QString face = faceName(TSetting(Keys::GeneralPrinterFontName).ReadString(ini));
        if (!face.isEmpty()) {
            font.setFamily(face);
        }
        font.setPointSize(pointSize(ini, Keys::GeneralPrinterFontSize));
    }
    LinePrinter->SetTableFormat(QStringLiteral("<5|>1.5"));
    LinePrinter->SetHeader(QStringLiteral("{$TITLE}|Page {$PAGE}"));
    LinePrinter->SetFooter(QStringLiteral("{$DATE}|{$TIME}"));
    QStringList lines;
    for (QTextBlock block = Memo->document()->firstBlock(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    LinePrinter->SetLines(lines);

    QString file;
    if (m_printToFile) {
        file = nextPdfPath();
        m_printer->setOutputFileName(file);
    }
    LinePrinter->BeginDoc();
    LinePrinter->PrintLines();
    LinePrinter->EndDoc();
    if (m_printToFile && infoHook()) {
        infoHook()(tr("沒有安裝印表機，信件已列印至 %1").arg(QDir::toNativeSeparators(file)));
    }
}
