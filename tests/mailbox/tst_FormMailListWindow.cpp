#include "mailbox/TFormMailList.h"
#include "settings/TIniFile.h"
#include "testsupport/TFakeMailHost.h"
#include "widgets/TColorRef.h"
#include "widgets/TColorStringGrid.h"

#include <QAction>
#include <QLineEdit>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The mailbox window itself: geometry, column scaling, cell colours, pop-up menu.
class tst_FormMailListWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void designedParts();
    void defaultGeometry_data();
    void defaultGeometry();
    void geometryRoundTrip();
    void closeMinimisesAndSaves();
    void resizeKeepsDraggedProportions();
    void cellColours_data();
    void cellColours();
    void popupDeleteGoesToHost();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFakeMailHost> m_host;
    std::unique_ptr<QMdiArea> m_area;
    TFormMailList* m_form = nullptr;
    TFormMailList* m_other = nullptr;
};

void tst_FormMailListWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_host = std::make_unique<TFakeMailHost>();
    m_host->Path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    m_area = std::make_unique<QMdiArea>();
    m_area->resize(1200, 900);
    m_form = new TFormMailList(m_host.get());
    m_form->setWindowTitle(QStringLiteral("Box"));
    m_other = new TFormMailList(m_host.get());
    m_other->setWindowTitle(QStringLiteral("Other"));
    m_area->addSubWindow(m_form);
    m_area->addSubWindow(m_other);
    m_area->show();
    m_form->show();
    m_other->show();
}

void tst_FormMailListWindow::cleanup()
{
    m_area.reset();
    m_host.reset();
}

void tst_FormMailListWindow::designedParts()
{
    TColorStringGrid* grid = m_form->findChild<TColorStringGrid*>(QStringLiteral("ColorStringGrid"));
    QVERIFY(grid);
    QCOMPARE(grid->ColCount(), 6);
    QStringList headers;
    for (int c = 0; c < 6; ++c) {
        headers.append(grid->Cells(c, 0));
    }
    QCOMPARE(headers, QStringList({"", "編號", "大小", "時間", "發信人", "標題"}));
    // The remembered password is state of the window, never text in a widget of it.
    QVERIFY(m_form->findChildren<QLineEdit*>().isEmpty());
    QCOMPARE(m_form->PopMenuView->text(), QStringLiteral("下載信件"));
    QCOMPARE(m_form->PopMenuDelete->text(), QStringLiteral("刪除信件"));
    QCOMPARE(m_form->PopMenuUndelete->text(), QStringLiteral("復原信件"));
}

void tst_FormMailListWindow::defaultGeometry_data()
{
    QTest::addColumn<int>("areaWidth");
    QTest::addColumn<bool>("allFit");
    QTest::newRow("wide frame") << 1200 << true;
    QTest::newRow("narrow frame") << 500 << false;
}

void tst_FormMailListWindow::defaultGeometry()
{
    QFETCH(int, areaWidth);
    QFETCH(bool, allFit);
    m_area->resize(areaWidth, 900);
    // No stored geometry: a demo mailbox's row shows whole where the frame has room.
    m_form->LoadGeometry();
    const QStringList row{QStringLiteral("*"),
                          QStringLiteral("12"),
                          QStringLiteral("2048"),
                          QStringLiteral("Mon, 7 Dec 2026 09:30:00 +0800"),
                          QStringLiteral("陳小明 <ming@demo.example>"),
                          QStringLiteral("歡迎使用 Mailvane 示範信箱")};
    const QFontMetrics metrics(m_form->ColorStringGrid->font());
    int total = 0;
    for (int c = 0; c < 6; ++c) {
        const int width = m_form->ColorStringGrid->ColWidths(c);
        total += width + 1;
        if (allFit || c < 3) {
            QVERIFY2(width > metrics.horizontalAdvance(row.at(c)), qPrintable(row.at(c)));
        }
    }
    QCOMPARE(m_form->widget()->width(), total);
    QVERIFY(m_form->width() <= areaWidth);
    QVERIFY(m_form->height() >= 200);
}

void tst_FormMailListWindow::geometryRoundTrip()
{
    TIniFile ini(m_host->Path);
    const int widths[6] = {20, 40, 60, 120, 100, 80};
    ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Top"), 33);
    ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Left"), 44);
    ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Height"), 250);
    for (int c = 0; c < 6; ++c) {
        ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Column%1").arg(c), widths[c]);
    }
    m_form->LoadGeometry();
    QCOMPARE(m_form->widget()->width(), 420 + 6);
    QFile::remove(m_host->Path);

    m_form->FormCloseQuery();
    const TIniFile saved(m_host->Path);
    QCOMPARE(saved.ReadInteger(QStringLiteral("Box"), QStringLiteral("Top"), -1), 33);
    QCOMPARE(saved.ReadInteger(QStringLiteral("Box"), QStringLiteral("Left"), -1), 44);
    QCOMPARE(saved.ReadInteger(QStringLiteral("Box"), QStringLiteral("Height"), -1), 250);
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(saved.ReadInteger(QStringLiteral("Box"), QStringLiteral("Column%1").arg(c), -1), widths[c]);
    }
}

void tst_FormMailListWindow::closeMinimisesAndSaves()
{
    TIniFile ini(m_host->Path);
    const int widths[6] = {16, 39, 44, 99, 90, 90};
    for (int c = 0; c < 6; ++c) {
        ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Column%1").arg(c), widths[c]);
    }
    m_form->LoadGeometry();
    m_form->move(70, 80);
    QVERIFY(!m_form->close());
    QVERIFY(m_form->isMinimized());
    QCOMPARE(m_area->subWindowList().size(), 2);
    const TIniFile saved(m_host->Path);
    QCOMPARE(saved.ReadInteger(QStringLiteral("Box"), QStringLiteral("Left"), -1), 70);

    // At exit the restored geometry is saved, not the minimised one.
    m_form->FormCloseQuery();
    QCOMPARE(TIniFile(m_host->Path).ReadInteger(QStringLiteral("Box"), QStringLiteral("Top"), -1), 80);
    QCOMPARE(TIniFile(m_host->Path).ReadInteger(QStringLiteral("Box"), QStringLiteral("Height"), -1), 200);
    // The columns of the restored window, not those squeezed into the minimised one.
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(TIniFile(m_host->Path).ReadInteger(QStringLiteral("Box"), QStringLiteral("Column%1").arg(c), -1),
                 widths[c]);
    }
    m_form->showNormal();
    QCOMPARE(m_form->widget()->width(), 378 + 6);
}

void tst_FormMailListWindow::resizeKeepsDraggedProportions()
{
    TIniFile ini(m_host->Path);
    for (int c = 0; c < 6; ++c) {
        ini.WriteInteger(QStringLiteral("Box"), QStringLiteral("Column%1").arg(c), 50);
    }
    m_form->LoadGeometry();
    m_form->ColorStringGrid->SetColWidths(0, 100);
    m_form->resize(m_form->width() + 400, m_form->height());
    QTRY_COMPARE(m_form->widget()->width(), 706);
    QList<int> widths;
    for (int c = 0; c < 6; ++c) {
        widths.append(m_form->ColorStringGrid->ColWidths(c));
    }
    QCOMPARE(widths, QList<int>({200, 100, 100, 100, 100, 100}));
}

void tst_FormMailListWindow::cellColours_data()
{
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("brush");     // "grid", "highlight"
    QTest::addColumn<QString>("fontColor"); // "text", "window", "red", "rule2", "rule3"
    QTest::newRow("plain") << true << false << 5 << "hello"
                           << "grid"
                           << "text";
    QTest::newRow("deletion marker red") << true << false << 0 << "x"
                                         << "grid"
                                         << "red";
    QTest::newRow("subject exactly x red") << true << false << 5 << "x"
                                           << "grid"
                                           << "red";
    QTest::newRow("x in the size column red") << true << false << 2 << "x"
                                              << "grid"
                                              << "red";
    QTest::newRow("lowest rule with colour off wins") << true << false << 5 << "abc def"
                                                      << "grid"
                                                      << "text";
    QTest::newRow("rule 2 colour") << true << false << 4 << "ab only"
                                   << "grid"
                                   << "rule2";
    QTest::newRow("rule colour over red marker") << true << false << 0 << "*"
                                                 << "grid"
                                                 << "rule3";
    QTest::newRow("rule not in the date column") << true << false << 3 << "ab"
                                                 << "grid"
                                                 << "text";
    QTest::newRow("selected in active window") << true << true << 5 << "ab only"
                                               << "highlight"
                                               << "highlightedText";
    QTest::newRow("selected in inactive window") << false << true << 5 << "ab only"
                                                 << "grid"
                                                 << "rule2";
    QTest::newRow("selected plain in inactive window") << false << true << 5 << "plain"
                                                       << "grid"
                                                       << "window";
}

void tst_FormMailListWindow::cellColours()
{
    QFETCH(bool, active);
    QFETCH(bool, selected);
    QFETCH(int, col);
    QFETCH(QString, text);
    QFETCH(QString, brush);
    QFETCH(QString, fontColor);
    m_host->Rules.HighLight[0] = QStringLiteral("ABC");
    m_host->Rules.Color[0] = false;
    m_host->Rules.HighLight[1] = QStringLiteral("AB");
    m_host->Rules.HighLightColor[1] = 0x00FF00; // blue in the stored byte order
    m_host->Rules.HighLight[2] = QStringLiteral("*");
    m_host->Rules.HighLightColor[2] = 0x008000;
    m_area->setActiveSubWindow(active ? m_form : m_other);

    TColorStringGrid* grid = m_form->ColorStringGrid;
    grid->SetRowCount(3);
    grid->SetCells(col, 1, text);
    const QColor textColor = grid->palette().color(QPalette::Text);
    const QColor highlightedText = grid->palette().color(QPalette::HighlightedText);
    TCellPaint paint;
    paint.Brush = QBrush(selected ? grid->HighlightColor() : grid->GridColor());
    paint.FontColor = selected ? highlightedText : textColor;
    m_form->ColorStringGridGetCellColor(grid, 1, col, QStyle::State_None, paint);

    QCOMPARE(paint.Brush.color(), brush == QLatin1String("grid") ? grid->GridColor() : grid->HighlightColor());
    QColor expected;
    if (fontColor == QLatin1String("text")) {
        expected = textColor;
    } else if (fontColor == QLatin1String("highlightedText")) {
        expected = highlightedText;
    } else if (fontColor == QLatin1String("window")) {
        expected = m_form->palette().color(QPalette::WindowText);
    } else if (fontColor == QLatin1String("red")) {
        expected = QColor(255, 0, 0);
    } else if (fontColor == QLatin1String("rule2")) {
        expected = TColorRef::ToQColor(0x00FF00);
    } else {
        expected = TColorRef::ToQColor(0x008000);
    }
    QCOMPARE(paint.FontColor, expected);
}

void tst_FormMailListWindow::popupDeleteGoesToHost()
{
    m_form->PopMenuDelete->trigger();
    m_form->PopMenuUndelete->trigger();
    QCOMPARE(m_host->DeleteSenders, QList<QObject*>({m_form->PopMenuDelete, m_form->PopMenuUndelete}));
}

QTEST_MAIN(tst_FormMailListWindow)
#include "tst_FormMailListWindow.moc"
