#include "app/TFormMain.h"
#include "mailbox/TFormMailList.h"
#include "net/TSockets.h"
#include "options/TFormOption.h"
#include "settings/TIniFile.h"
#include "settings/TLanguage.h"
#include "status/TFormStatus.h"
#include "testsupport/TMailCorpus.h"
#include "viewer/TFormViewer.h"
#include "widgets/TColorStringGrid.h"
#include "widgets/TDocPanel.h"
#include "widgets/TFormAbout.h"
#include "widgets/TFxLabel.h"
#include "widgets/TModal.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

bool hasCjk(const QString& text)
{
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FF00}-\\x{FFEF}]"));
    return text.contains(cjk);
}

QStringList chineseIn(const QStringList& texts)
{
    QStringList found;
    for (const QString& t : texts) {
        if (hasCjk(t)) {
            found << t;
        }
    }
    return found;
}

QString shownText(QWidget* w)
{
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->wordWrap() ? QString() : label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    if (auto* fx = qobject_cast<TFxLabel*>(w)) {
        return fx->Caption();
    }
    return QString();
}

// The width a widget's text needs. A push button's size hint holds a style minimum and a tool
// button's its icon beside the text, so for those only the text and a frame count.
int widthNeeded(QWidget* w, const QString& text)
{
    const int advance =
        w->fontMetrics().horizontalAdvance(QString(text).remove(QRegularExpression(QStringLiteral("&(?!&)"))));
    if (auto* tool = qobject_cast<QToolButton*>(w)) {
        if (tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
            return std::max(advance, tool->iconSize().width()) + 4;
        }
        return advance + (tool->icon().isNull() ? 0 : tool->iconSize().width() + 4) + 4;
    }
    if (auto* push = qobject_cast<QPushButton*>(w)) {
        return advance + (push->icon().isNull() ? 0 : push->iconSize().width() + 4) + 8;
    }
    return w->sizeHint().width();
}

// Every text widget shown under root that is narrower than its text needs, or that lies over
// another text widget of the same parent; tabs narrower than their titles.
QStringList cutTexts(QWidget* root)
{
    QStringList cut;
    QList<QWidget*> shown;
    const auto widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(root)) {
            continue;
        }
        if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->tabRect(i).width() < tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)) + 8) {
                    cut << QStringLiteral("tab \"%1\"").arg(tabs->tabText(i));
                }
            }
            continue;
        }
        const QString text = shownText(w);
        if (text.isEmpty()) {
            continue;
        }
        shown << w;
        const int need = widthNeeded(w, text);
        if (w->width() < need) {
            cut << QStringLiteral("%1 \"%2\": %3 wide, needs %4").arg(w->objectName(), text).arg(w->width()).arg(need);
        }
    }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            QWidget* a = shown.at(i);
            QWidget* b = shown.at(j);
            // The design's own toolbar buttons share a pixel, and its lines of text touch above
            // and below: only a real side-by-side overlap counts.
            const QRect common = a->geometry().intersected(b->geometry());
            const int lower = std::min(a->height(), b->height());
            if (a->parentWidget() == b->parentWidget() && common.width() > 1 && common.height() * 2 > lower) {
                cut << QStringLiteral("\"%1\" lies over \"%2\"").arg(shownText(a), shownText(b));
            }
        }
    }
    return cut;
}

QStringList dialogTexts(QDialog* d)
{
    QStringList texts{d->windowTitle()};
    for (QLabel* l : d->findChildren<QLabel*>()) {
        texts << l->text();
    }
    for (QPlainTextEdit* e : d->findChildren<QPlainTextEdit*>()) {
        texts << e->toPlainText();
    }
    for (QAbstractButton* b : d->findChildren<QAbstractButton*>()) {
        texts << b->text();
    }
    return texts;
}

} // namespace

// The program's own windows in English and in Chinese, as the language setting makes them.
class tst_English : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void menusAndButtons_data();
    void menusAndButtons();
    void statusWindow_data();
    void statusWindow();
    void failedCheckMessage_data();
    void failedCheckMessage();
    void englishFormsShowTheirWholeTexts();
    void desktopLanguageDecidesAtStart();

private:
    void language();
    TFormMain* start(const QByteArray& extra = QByteArray());

    QTemporaryDir* m_dir = nullptr;
    TFormMain* m_main = nullptr;
    QList<QStringList> m_dialogs;
    std::function<void(QDialog*)> m_onDialog;
};

void tst_English::init()
{
    m_dir = new QTemporaryDir;
    m_dialogs.clear();
    m_onDialog = nullptr;
    TModal::SetHook([this](QDialog* d) {
        m_dialogs << dialogTexts(d);
        if (m_onDialog) {
            m_onDialog(d);
        }
        d->accept();
    });
}

void tst_English::cleanup()
{
    delete m_main;
    m_main = nullptr;
    TModal::SetHook({});
    TSockets::SetLookup({});
    TLanguage::Uninstall(qApp);
    delete m_dir;
}

void tst_English::language()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << TLanguage::English;
    QTest::newRow("Chinese") << TLanguage::Chinese;
}

TFormMain* tst_English::start(const QByteArray& extra)
{
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    QFile f(ini);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QByteArray("[Option]\nStartupCheck=0\n") + extra);
        f.close();
    }
    m_main = new TFormMain(ini);
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    return m_main;
}

void tst_English::menusAndButtons_data()
{
    language();
}

void tst_English::menusAndButtons()
{
    QFETCH(QString, language);
    QVERIFY(TLanguage::Install(qApp, language));
    start();
    QStringList titles;
    QStringList texts;
    for (QAction* top : m_main->menuBar()->actions()) {
        titles << top->text();
        if (top->menu()) {
            for (QAction* a : top->menu()->actions()) {
                texts << a->text();
            }
        }
    }
    for (QAction* a : m_main->PopupMenu->actions()) {
        texts << a->text();
    }
    QStringList buttons;
    QList<int> widths;
    for (QToolButton* b : m_main->DocPanel->findChildren<QToolButton*>()) {
        buttons << b->text();
        widths << b->width();
    }
    if (language == TLanguage::English) {
        QCOMPARE(titles.join(QLatin1Char('|')), QStringLiteral("Mail|Options|Window|Help|Exit"));
        QVERIFY(texts.contains(QStringLiteral("Check Now")));
        QVERIFY2(chineseIn(texts + buttons).isEmpty(), qPrintable(chineseIn(texts + buttons).join(QLatin1Char('|'))));
    } else {
        QCOMPARE(titles.join(QLatin1Char('|')), QStringLiteral("信件|設定|視窗|說明|離開"));
        QVERIFY(texts.contains(QStringLiteral("立即檢查")));
        QVERIFY(buttons.contains(QStringLiteral("檢查")));
        // The Chinese captions keep the design's button width.
        QCOMPARE(widths, QList<int>(widths.size(), 40));
    }
}

void tst_English::statusWindow_data()
{
    language();
}

void tst_English::statusWindow()
{
    QFETCH(QString, language);
    QVERIFY(TLanguage::Install(qApp, language));
    start("[Server]\n0=Home\n");
    QStringList cells;
    for (int row = 0; row < 6; ++row) {
        cells << FormStatus->ColorStringGrid->Cells(0, row);
    }
    if (language == TLanguage::English) {
        QCOMPARE(cells, (QStringList{"Mailboxes", "Messages", "New mail", "Date", "Time", "Next check"}));
    } else {
        QCOMPARE(cells, (QStringList{"信箱數目", "信件數目", "新進信件", "現在日期", "現在時間", "下次檢查"}));
    }
}

void tst_English::failedCheckMessage_data()
{
    language();
}

void tst_English::failedCheckMessage()
{
    QFETCH(QString, language);
    QVERIFY(TLanguage::Install(qApp, language));
    TSockets::SetLookup([](const QString&, quint32&) { return 11001; });
    start("[General]\nTimeout=1\n[Server]\n0=M0\n[M0]\nHost=mail.example.invalid\nLogin=user\n");
    m_main->MailboxWindows().at(0)->SetPassword(QStringLiteral("pass"));
    m_main->MenuCheck->trigger();
    QCOMPARE(m_dialogs.size(), 1);
    const QStringList message = m_dialogs.first();
    const QString joined = message.join(QLatin1Char('|'));
    // The socket layer's own texts stay English in both.
    QVERIFY2(joined.contains(QStringLiteral("Host not found")), qPrintable(joined));
    if (language == TLanguage::English) {
        QVERIFY2(chineseIn(message).isEmpty(), qPrintable(joined));
        QVERIFY2(message.contains(QStringLiteral("Source")), qPrintable(joined));
    } else {
        QVERIFY2(message.contains(QStringLiteral("訊息來源")), qPrintable(joined));
        QVERIFY2(message.contains(QStringLiteral("確定")), qPrintable(joined));
    }
}

void tst_English::englishFormsShowTheirWholeTexts()
{
    QVERIFY(TLanguage::Install(qApp, TLanguage::English));
    start("[Server]\n0=Home\n");
    QStringList cut = cutTexts(m_main->DocPanel);
    cut << cutTexts(FormStatus);
    // The grid draws its captions itself: each must fit its column.
    TColorStringGrid* grid = FormStatus->ColorStringGrid;
    for (int row = 0; row < 6; ++row) {
        const QString text = grid->Cells(0, row);
        if (grid->fontMetrics().horizontalAdvance(text) + 4 > grid->ColWidths(0)) {
            cut << QStringLiteral("status cell \"%1\"").arg(text);
        }
    }

    auto* viewer = new TFormViewer(m_main->MdiArea(), m_main->SettingsPath());
    const QByteArray reply = TMailCorpus::RetrReply(TMailCorpus::WithAttachment("<s@t>", QByteArray(100, 'x')));
    viewer->ShowText(reply, reply);
    viewer->ShowMessage(reply, false);
    viewer->LabelServer->setText(QStringLiteral("Home"));
    viewer->LabelSubject->setText(QStringLiteral("A subject"));
    viewer->show();
    QVERIFY(viewer->ButtonSave->isVisible());
    cut << cutTexts(viewer);

    QMdiSubWindow* about = TFormAbout::ShowOnce(m_main->MdiArea(), m_main->SettingsPath());
    QVERIFY(about);
    cut << cutTexts(about);

    // The message window and each page of the options dialog, as they open.
    m_onDialog = [&cut](QDialog* d) {
        d->show();
        if (auto* options = qobject_cast<TFormOption*>(d)) {
            for (int page = 0; page < options->PageControl->count(); ++page) {
                options->PageControl->setCurrentIndex(page);
                QCoreApplication::processEvents();
                cut << cutTexts(options);
            }
        } else {
            QCoreApplication::processEvents();
            cut << cutTexts(d);
        }
    };
    m_main->MenuGeneral->trigger();
    m_main->ShowMessage(QStringLiteral("Mailvane"), QStringLiteral("A message.\n"));
    QCOMPARE(m_dialogs.size(), 2);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

void tst_English::desktopLanguageDecidesAtStart()
{
    // Run by ctest under a desktop language of its choosing (LANG, LANGUAGE), naming the outcome.
    const QString expected = qEnvironmentVariable("MV_EXPECTED_LANGUAGE");
    if (expected.isEmpty()) {
        QSKIP("run with MV_EXPECTED_LANGUAGE and a desktop language");
    }
    const QString ini = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    // What the program does at start, before its first window.
    const QString chosen = TLanguage::ForSettings(ini);
    QCOMPARE(chosen, expected);
    QVERIFY(TLanguage::Install(qApp, chosen));
    start();
    const QString first = m_main->menuBar()->actions().value(0)->text();
    QCOMPARE(first, chosen == TLanguage::English ? QStringLiteral("Mail") : QStringLiteral("信件"));
    QCOMPARE(FormStatus->ColorStringGrid->Cells(0, 0),
             chosen == TLanguage::English ? QStringLiteral("Mailboxes") : QStringLiteral("信箱數目"));

    // A fixed choice in the settings file outweighs the desktop.
    const QString other = chosen == TLanguage::English ? TLanguage::Chinese : TLanguage::English;
    TIniFile(ini).WriteString(QStringLiteral("Option"), QStringLiteral("Language"), other);
    QCOMPARE(TLanguage::ForSettings(ini), other);
}

QTEST_MAIN(tst_English)
#include "tst_English.moc"
