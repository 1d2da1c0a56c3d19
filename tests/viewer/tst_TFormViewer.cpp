#include "PdfText.h"
#include "core/TExceptionHook.h"
#include "settings/TIniFile.h"
#include "testsupport/TMailCorpus.h"
#include "viewer/TFormViewer.h"
#include "viewer/TLinePrinter.h"
#include "widgets/TModal.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

class tst_TFormViewer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void defaultsWithoutSettings();
    void fontsFromSettings_data();
    void fontsFromSettings();
    void sizeRememberedAcrossViewers();
    void sizeKeptWhenFrameHidden();
    void showTextDecodesByCharset();
    void zeroByteVisible();
    void tabStaysInMemo();
    void printsToPdfWithoutPrinter();
    void printFailureReachesExceptionHook();
    void readableViewToggles_data();
    void readableViewToggles();
    void savesAttachments();
    void printsReadableView();

private:
    QString iniPath() const { return m_dir->filePath(QStringLiteral("Mailvane.ini")); }
    void writeIni(const QByteArray& content) const
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QMdiArea> m_area;
    QStringList m_info;
    QStringList m_failures;
};

void tst_TFormViewer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_area = std::make_unique<QMdiArea>();
    m_area->resize(1200, 900);
    m_area->show();
    m_info.clear();
    m_failures.clear();
    TFormViewer::SetInfoHook([this](const QString& text) { m_info << text; });
    TExceptionHook::SetHandler([this](const QString& text) { m_failures << text; });
}

void tst_TFormViewer::cleanup()
{
    TFormViewer::SetInfoHook(nullptr);
    TExceptionHook::SetHandler(nullptr);
    m_area.reset();
}

void tst_TFormViewer::defaultsWithoutSettings()
{
    QPointer<TFormViewer> v = new TFormViewer(m_area.get(), iniPath());
    QVERIFY(v->isVisible());
    QCOMPARE(v->windowTitle(), QStringLiteral("Viewer"));
    QCOMPARE(v->size(), QSize(480, 200));
    QCOMPARE(v->Memo->font().family(), TFormViewer::DefaultFontFamily());
    QCOMPARE(v->Memo->font().pointSize(), 10);
    QCOMPARE(v->Memo->toPlainText(), QStringLiteral("Memo"));
    QVERIFY(v->Memo->isReadOnly());
    QCOMPARE(v->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("信箱 : "));
    QCOMPARE(v->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("主題 : "));
    QCOMPARE(v->findChild<QToolButton*>(QStringLiteral("SpeedButtonPrint"))->toolTip(),
             QStringLiteral("Click to print this mail."));
    QCOMPARE(v->LinePrinter->Title(), QStringLiteral("Printed by Mailvane"));
    QCOMPARE(v->LinePrinter->LineSpacing(), lsSingleAndAHalf);
    QCOMPARE(v->LinePrinter->Font().family(), QStringLiteral("Courier New"));
    QCOMPARE(m_area->subWindowList().size(), 1);
    v->close();
    QTRY_VERIFY(v.isNull()); // frees itself
}

void tst_TFormViewer::fontsFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points");
    QTest::newRow("face and size") << QByteArray("[General]\nViewerFontName=DejaVu Serif\nViewerFontSize=14\n")
                                   << QStringLiteral("DejaVu Serif") << 14;
    QTest::newRow("size not a number") << QByteArray("[General]\nViewerFontSize=big\n")
                                       << TFormViewer::DefaultFontFamily() << 10;
    QTest::newRow("size zero") << QByteArray("[General]\nViewerFontSize=0\n") << TFormViewer::DefaultFontFamily() << 10;
    QTest::newRow("face cut to 31 characters")
        << QByteArray("[General]\nViewerFontName=ABCDEFGHIJABCDEFGHIJABCDEFGHIJXYZ\n")
        << QStringLiteral("ABCDEFGHIJABCDEFGHIJABCDEFGHIJX") << 10;
}

void tst_TFormViewer::fontsFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, family);
    QFETCH(int, points);
    writeIni(ini);
    auto* v = new TFormViewer(m_area.get(), iniPath());
    QCOMPARE(v->Memo->font().family(), family);
    QCOMPARE(v->Memo->font().pointSize(), points);
    v->close();
}

void tst_TFormViewer::sizeRememberedAcrossViewers()
{
    auto* first = new TFormViewer(m_area.get(), iniPath());
    auto* second = new TFormViewer(m_area.get(), iniPath());
    first->resize(610, 333);
    second->resize(520, 260);
    second->close();
    first->close(); // the one closed last decides
    QCOMPARE(TIniFile(iniPath()).ReadInteger(QStringLiteral("Windows"), QStringLiteral("ViewerWidth"), 0), 610);
    auto* third = new TFormViewer(m_area.get(), iniPath());
    QCOMPARE(third->size(), QSize(610, 333));

    // A minimised viewer stores the size it had before.
    third->resize(550, 280);
    third->showMinimized();
    QTRY_VERIFY(third->height() < 280);
    third->showNormal();
    QTRY_COMPARE(third->size(), QSize(550, 280));
    third->showMinimized();
    QTRY_VERIFY(third->height() < 280);
    third->close();
    auto* fourth = new TFormViewer(m_area.get(), iniPath());
    QCOMPARE(fourth->size(), QSize(550, 280));
    fourth->close();
}

void tst_TFormViewer::sizeKeptWhenFrameHidden()
{
    // Every options dialog and every restore from the tray hides and shows the frame.
    auto* v = new TFormViewer(m_area.get(), iniPath());
    QCOMPARE(v->size(), QSize(480, 200));
    v->resize(700, 450);
    m_area->hide();
    m_area->show();
    QVERIFY(v->isVisible());
    QCOMPARE(v->size(), QSize(700, 450));
    v->showMinimized();
    v->showNormal();
    QTRY_COMPARE(v->size(), QSize(700, 450));
    v->close();
}

void tst_TFormViewer::showTextDecodesByCharset()
{
    auto* v = new TFormViewer(m_area.get(), iniPath());
    v->LabelServer->setText(QStringLiteral("home"));
    v->SetFirstLine(QStringLiteral("下載信件..."));
    QCOMPARE(v->Memo->toPlainText(), QStringLiteral("下載信件..."));
    const QByteArray whole("+OK\r\nSubject: test\r\nContent-Type: text/plain; charset=\"big5\"\r\n"
                           "Content-Transfer-Encoding: quoted-printable\r\n\r\n=A4=A4=A4=E5\r\nline2\r\n.\r\n");
    // Headers hidden: only the decoded body is shown.
    v->ShowText(QByteArray("\xA4\xA4\xA4\xE5\r\nline2\r\n.\r\n"), whole);
    QCOMPARE(v->Memo->toPlainText(), QStringLiteral("中文\nline2\n.\n"));
    QCOMPARE(v->Memo->textCursor().position(), 0);
    QCOMPARE(v->Memo->textCursor().selectedText(), QString());
    v->close();
}

void tst_TFormViewer::zeroByteVisible()
{
    auto* v = new TFormViewer(m_area.get(), iniPath());
    v->ShowText(QByteArray("before\0after", 12), QByteArray());
    QCOMPARE(v->Memo->toPlainText(), QStringLiteral("before\u2400after"));
    v->close();
}

void tst_TFormViewer::tabStaysInMemo()
{
    auto* v = new TFormViewer(m_area.get(), iniPath());
    m_area->setActiveSubWindow(v);
    v->Memo->setFocus();
    QTRY_VERIFY(v->Memo->hasFocus());
    QTest::keyClick(v->Memo, Qt::Key_Tab);
    QVERIFY(v->Memo->hasFocus());
    v->close();
}

void tst_TFormViewer::printsToPdfWithoutPrinter()
{
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        QSKIP("a printer is installed; the file fallback is not used");
    }
    writeIni("[General]\nPrinterFontSize=20\n");
    auto* v = new TFormViewer(m_area.get(), iniPath());
    const int pitch = v->LinePrinter->LineHeight();
    v->ShowText(QByteArray("Dear reader,\r\na\tb\r\n" + QByteArray(400, 'x') + "\r\n.\r\n"), QByteArray());
    v->SpeedButtonPrint->click();
    QCOMPARE(m_failures, QStringList());
    QCOMPARE(m_info.size(), 1);
    const QStringList pdfs = QDir(m_dir->path()).entryList({QStringLiteral("Mailvane-print-*.pdf")});
    QCOMPARE(pdfs.size(), 1);
    const QString path = m_dir->filePath(pdfs[0]);
    QVERIFY2(m_info[0].contains(QDir::toNativeSeparators(path)), qPrintable(m_info[0]));
    QCOMPARE(v->LinePrinter->Font().pointSize(), 20);
    QCOMPARE(v->LinePrinter->LineHeight(), pitch); // same pitch as the 10-point design font

    const QStringList pages = PdfPages(path);
    QVERIFY(!pages.isEmpty());
    QVERIFY(pages[0].contains(QRegularExpression(QStringLiteral("Printed by Mailvane\\s+Page 1"))));
    QVERIFY(pages[0].contains(QStringLiteral("Dear reader,")));
    QVERIFY(pages[0].contains(QRegularExpression(QStringLiteral("a {5,}b"))));

    // A second print in the same second gets a file of its own.
    v->SpeedButtonPrint->click();
    QCOMPARE(QDir(m_dir->path()).entryList({QStringLiteral("Mailvane-print-*.pdf")}).size(), 2);
    v->close();
}

void tst_TFormViewer::printFailureReachesExceptionHook()
{
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        QSKIP("a printer is installed; the file fallback is not used");
    }
    // The PDF would go beside a settings file in a folder that does not exist.
    auto* v = new TFormViewer(m_area.get(), m_dir->filePath(QStringLiteral("gone/Mailvane.ini")));
    v->SpeedButtonPrint->click();
    QCOMPARE(m_failures, QStringList{QStringLiteral("Unable to begin printing.")});
    QVERIFY(m_info.isEmpty());
    QVERIFY(!v->LinePrinter->Printing());
    v->close();
}

namespace {

const TCorpusMail& corpusMail(const QByteArray& name)
{
    static const QList<TCorpusMail> mails = TMailCorpus::Messages(false);
    for (const TCorpusMail& mail : mails) {
        if (mail.Name == name) {
            return mail;
        }
    }
    qFatal("no corpus message %s", name.constData());
}

// Fills a viewer the way the mailbox window does: the raw view's bytes first.
void fill(TFormViewer* v, const QByteArray& message, bool noHeader)
{
    const QByteArray reply = TMailCorpus::RetrReply(message);
    v->SetFirstLine(QStringLiteral("下載信件..."));
    v->ShowText(reply, reply);
    v->ShowMessage(reply, noHeader);
}

} // namespace

void tst_TFormViewer::readableViewToggles_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("noHeader");
    QTest::addColumn<bool>("readableFirst");

    QTest::newRow("default opens readable") << QByteArray() << false << true;
    QTest::newRow("readable without header") << QByteArray("[Option]\nReadableView=1\n") << true << true;
    QTest::newRow("setting opens raw") << QByteArray("[Option]\nReadableView=0\n") << false << false;
}

void tst_TFormViewer::readableViewToggles()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, noHeader);
    QFETCH(bool, readableFirst);
    writeIni(ini);
    const TCorpusMail& mail = corpusMail("nested-rfc2231");
    auto* v = new TFormViewer(m_area.get(), iniPath());
    const QByteArray reply = TMailCorpus::RetrReply(mail.Bytes);
    v->SetFirstLine(QStringLiteral("下載信件..."));
    v->ShowText(reply, reply);
    const QString raw = v->Memo->toPlainText();
    QVERIFY(raw.contains(QStringLiteral("--outer")));
    v->ShowMessage(reply, noHeader);

    for (int click = 0; click < 3; ++click) {
        const bool readable = readableFirst == (click % 2 == 0);
        QCOMPARE(v->Readable(), readable);
        const QString shown = v->Memo->toPlainText();
        if (readable) {
            QVERIFY2(shown.contains(QStringLiteral("請見附件。")), qPrintable(shown));
            QVERIFY(!shown.contains(QStringLiteral("--outer")));
            QCOMPARE(shown.contains(QStringLiteral("寄件者: 李小龍 <lee@example.test>")), !noHeader);
            QCOMPARE(v->SpeedButtonView->text(), QStringLiteral("原始內容"));
            QVERIFY(v->ListAttachments->isVisible());
            QCOMPARE(v->ListAttachments->count(), 1);
            QVERIFY(v->ListAttachments->item(0)->text().startsWith(QStringLiteral("季度報告.pdf (application/pdf")));
        } else {
            QCOMPARE(shown, raw); // the raw view exactly as before
            QCOMPARE(v->SpeedButtonView->text(), QStringLiteral("易讀內容"));
            QVERIFY(!v->ListAttachments->isVisible());
        }
        v->SpeedButtonView->click();
    }
    QCOMPARE(m_failures, QStringList());

    // A message too large to fetch: both views say so.
    auto* large = new TFormViewer(m_area.get(), iniPath());
    large->ShowText(QStringLiteral("信件過大！").toUtf8(), QByteArray());
    large->ShowMessage(QByteArray(), false);
    QCOMPARE(large->Memo->toPlainText(), QStringLiteral("信件過大！"));
    large->SpeedButtonView->click();
    QCOMPARE(large->Memo->toPlainText(), QStringLiteral("信件過大！"));
    QVERIFY(!large->ButtonSave->isVisible());
}

void tst_TFormViewer::savesAttachments()
{
    const QByteArray data = TMailCorpus::Noise(300 * 1024, 5);
    auto* v = new TFormViewer(m_area.get(), iniPath());
    fill(v, TMailCorpus::WithAttachment("<s@t>", data), false);
    QVERIFY(v->ButtonSave->isVisible());

    QString suggested;
    QString answer = m_dir->filePath(QStringLiteral("saved.bin"));
    TFormViewer::SetSaveDialogHook([&](QWidget*, const QString& name) {
        suggested = name;
        return answer;
    });
    v->ButtonSave->click();
    QCOMPARE(suggested, QStringLiteral("data.bin"));
    QFile saved(answer);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == data);
    saved.close();

    // Cancelled: nothing written.
    answer.clear();
    v->ButtonSave->click();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).filter(QStringLiteral(".bin")).size(), 1);

    // A folder that does not exist: a clear error, and the program goes on.
    answer = m_dir->filePath(QStringLiteral("missing/saved.bin"));
    QString boxText;
    TModal::SetHook([&](QDialog* dialog) {
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            boxText += label->text();
        }
        dialog->reject();
    });
    v->ButtonSave->click();
    TModal::SetHook(nullptr);
    TFormViewer::SetSaveDialogHook(nullptr);
    QVERIFY2(boxText.contains(QStringLiteral("無法儲存附件")), qPrintable(boxText));
    QVERIFY(boxText.contains(QStringLiteral("missing")));
    QCOMPARE(m_failures, QStringList());
}

void tst_TFormViewer::printsReadableView()
{
    if (!QPrinterInfo::defaultPrinter().isNull()) {
        QSKIP("a printer is installed; the file fallback is not used");
    }
    auto* v = new TFormViewer(m_area.get(), iniPath());
    fill(v, corpusMail("missing-end-boundary").Bytes, true);
    v->SpeedButtonPrint->click();
    QCOMPARE(m_failures, QStringList());
    const QStringList pdfs = QDir(m_dir->path()).entryList({QStringLiteral("Mailvane-print-*.pdf")});
    QCOMPARE(pdfs.size(), 1);
    const QString text = PdfPages(m_dir->filePath(pdfs[0])).join(QLatin1Char('\n'));
    QVERIFY2(text.contains(QStringLiteral("Body before the cut.")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("notes.txt")));
    QVERIFY(!text.contains(QStringLiteral("Content-Type")));

    // In the raw view, the raw text is printed.
    v->SpeedButtonView->click();
    v->SpeedButtonPrint->click();
    const QStringList both =
        QDir(m_dir->path()).entryList({QStringLiteral("Mailvane-print-*.pdf")}, QDir::Files, QDir::Name);
    QCOMPARE(both.size(), 2);
    QString rawText;
    for (const QString& pdf : both) {
        if (pdf != pdfs[0]) {
            rawText = PdfPages(m_dir->filePath(pdf)).join(QLatin1Char('\n'));
        }
    }
    QVERIFY2(rawText.contains(QStringLiteral("Content-Type")), qPrintable(rawText));
}

QTEST_MAIN(tst_TFormViewer)
#include "tst_TFormViewer.moc"
