#include "PdfText.h"
#include "core/TClock.h"
#include "viewer/ELinePrinter.h"
#include "viewer/TLinePrinter.h"
#include "viewer/TPrntProgDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPageLayout>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// A Letter sheet with quarter-inch unprintable edges, printed to a PDF file.
static std::unique_ptr<QPrinter> pdfPrinter(const QString& file)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    printer->setPageSize(QPageSize(QPageSize::Letter));
    printer->setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
    return printer;
}

static QString errorOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const ELinePrinter& e) {
        return e.message();
    }
    return QString();
}

class tst_TLinePrinter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void standInGeometry();
    void printerGeometry();
    void marginClamping_data();
    void marginClamping();
    void measureUnitSwitch();
    void defaultColWidth();
    void parseColumn_data();
    void parseColumn();
    void fixedFormatInCommaLocale();
    void fitText_data();
    void fitText();
    void expandTabs_data();
    void expandTabs();
    void macros();
    void lineHeight_data();
    void lineHeight();
    void fontInPlaceKeepsPitch();
    void refusedWhilePrinting();
    void printerFailures();

    void emptyDocumentIsOnePage();
    void fullPageAddsTrailingPage();
    void headerFooterAndColumns();
    void tabStops();
    void wrappingAndCutting();
    void borderLines_data();
    void borderLines();
    void narrowBands();
    void degenerateBodyAndTabSize();
    void progressWindow();
    void benchmarkLayout();
    void benchmarkPdf();

private:
    QString pdf(const QString& name) const { return m_dir.filePath(name + QStringLiteral(".pdf")); }
    QTemporaryDir m_dir;
};

void tst_TLinePrinter::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(!QStringLiteral(MV_PDFTOTEXT).isEmpty(), "pdftotext is needed to read printed pages back");
}

void tst_TLinePrinter::cleanup()
{
    TClock::SetReal();
    QLocale::setDefault(QLocale::system());
}

void tst_TLinePrinter::standInGeometry()
{
    TLinePrinter lp;
    QCOMPARE(lp.Title(), QStringLiteral("<Unknown>"));
    QCOMPARE(lp.PageNumber(), 0);
    QCOMPARE(lp.Printing(), false);
    QCOMPARE(lp.ToPixelsX(1.0), 300);
    QCOMPARE(lp.ToPixelsY(0.5), 150);
    QCOMPARE(lp.FromPixelsX(75), 0.25);
    QCOMPARE(lp.MinMarginTop(), 0.25);
    QCOMPARE(lp.MinMarginBottom(), 0.25);
    QCOMPARE(lp.MinMarginRight(), 0.25);
    QCOMPARE(lp.MarginLeft(), 0.25);
    QCOMPARE(lp.LineHeight(), 10);
    QCOMPARE(lp.TextWidth(QStringLiteral("abc")), 0);
    QCOMPARE(lp.BodyWidth(), 2400);
    QCOMPARE(lp.BodyHeight(), 3150);
    lp.SetMeasureUnit(muMillimeters);
    QCOMPARE(lp.ToPixelsX(25.4), 300);
    QCOMPARE(lp.FromPixelsY(300), 25.4);
    QCOMPARE(lp.SheetHeight(), 297.0);
    QCOMPARE(lp.MinMarginBottom(), 297.0 - 284 - 6);
}

void tst_TLinePrinter::printerGeometry()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("geometry")));
    TLinePrinter lp(printer.get());
    const int dpi = printer->logicalDpiX();
    QVERIFY(dpi >= 300);
    QVERIFY(qAbs(lp.SheetWidth() - 8.5) < 0.01);
    QVERIFY(qAbs(lp.PrintableHeight() - 10.5) < 0.01);
    QVERIFY(qAbs(lp.MinMarginTop() - 0.25) < 0.01);
    QVERIFY(qAbs(lp.MinMarginRight() - 0.25) < 0.01);
    QCOMPARE(lp.LeftOffset(), 0);
    lp.SetMarginLeft(0.75);
    lp.SetMarginTop(1.25);
    QCOMPARE(lp.LeftOffset(), dpi / 2);
    QCOMPARE(lp.TopOffset(), dpi);
    QCOMPARE(lp.BodyWidth(), qRound(printer->pageRect(QPrinter::DevicePixel).width()) - dpi / 2);
    QCOMPARE(lp.ToPixelsX(1.5), qRound(1.5 * dpi));
}

void tst_TLinePrinter::marginClamping_data()
{
    QTest::addColumn<int>("side");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    // Stand-in sheet 8.5 x 11 in, printable 8 x 10.5, quarter-inch edges all round.
    QTest::newRow("top 0 gives the minimum") << 0 << 0.0 << 0.25;
    QTest::newRow("top inside") << 0 << 1.0 << 1.0;
    QTest::newRow("top beyond the sheet") << 0 << 20.0 << 10.75;
    QTest::newRow("bottom negative") << 1 << -3.0 << 0.25;
    QTest::newRow("left beyond the sheet") << 2 << 9.0 << 8.25;
    QTest::newRow("right exactly at the limit") << 3 << 8.25 << 8.25;
}

void tst_TLinePrinter::marginClamping()
{
    QFETCH(int, side);
    QFETCH(double, value);
    QFETCH(double, expected);
    TLinePrinter lp;
    const std::function<void(double)> setters[] = {
        [&](double v) { lp.SetMarginTop(v); }, [&](double v) { lp.SetMarginBottom(v); },
        [&](double v) { lp.SetMarginLeft(v); }, [&](double v) { lp.SetMarginRight(v); }};
    setters[side](value);
    const double got[] = {lp.MarginTop(), lp.MarginBottom(), lp.MarginLeft(), lp.MarginRight()};
    QCOMPARE(got[side], expected);
}

void tst_TLinePrinter::measureUnitSwitch()
{
    TLinePrinter lp;
    lp.SetMarginTop(0.5);
    lp.SetMarginLeft(1.0);
    lp.SetBorderOffset(0.1);
    lp.SetDefaultColWidth(2.0);
    lp.SetMeasureUnit(muMillimeters);
    QVERIFY(qFuzzyCompare(lp.MarginTop(), 12.7));
    QVERIFY(qFuzzyCompare(lp.MarginLeft(), 25.4));
    QVERIFY(qFuzzyCompare(lp.BorderOffset(), 2.54));
    QVERIFY(qFuzzyCompare(lp.DefaultColWidth(), 50.8));
    // The stand-in millimetre sheet has a 7 mm bottom edge: 6.35 mm is raised to it.
    QCOMPARE(lp.MarginBottom(), 7.0);
    QCOMPARE(lp.ToPixelsY(lp.MarginTop()), 150);
    lp.SetMeasureUnit(muMillimeters);
    QVERIFY(qFuzzyCompare(lp.MarginTop(), 12.7));
    lp.SetMeasureUnit(muInches);
    QVERIFY(qFuzzyCompare(lp.MarginTop(), 0.5));
    QVERIFY(qFuzzyCompare(lp.DefaultColWidth(), 2.0));
}

void tst_TLinePrinter::defaultColWidth()
{
    TLinePrinter lp;
    lp.SetDefaultColWidth(1.5);
    QCOMPARE(errorOf([&] { lp.SetDefaultColWidth(-0.1); }),
             QStringLiteral("DefaultColWidth must be greater than or equal to 0"));
    QCOMPARE(lp.DefaultColWidth(), 0.0);
    QCOMPARE(errorOf([&] { lp.SetDefaultColWidth(0); }), QString());
}

void tst_TLinePrinter::parseColumn_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<double>("width");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    // The default width is 2 in every row.
    QTest::newRow("left 5") << "<5" << english << int(taLeftJustify) << 5.0;
    QTest::newRow("right 1.5") << ">1.5" << english << int(taRightJustify) << 1.5;
    QTest::newRow("centre") << "^3" << english << int(taCenter) << 3.0;
    QTest::newRow("empty") << "" << english << int(taLeftJustify) << 2.0;
    QTest::newRow("alignment only") << "^" << english << int(taCenter) << 2.0;
    QTest::newRow("no alignment mark") << "4" << english << int(taLeftJustify) << 4.0;
    QTest::newRow("unknown mark stays and spoils the number") << "x4" << english << int(taLeftJustify) << 2.0;
    QTest::newRow("decimal comma in a point locale") << ">1,5" << english << int(taRightJustify) << 2.0;
    QTest::newRow("decimal comma in a comma locale") << ">1,5" << german << int(taRightJustify) << 1.5;
    // The point is the program's own notation and is read as a decimal point everywhere.
    QTest::newRow("decimal point in a comma locale") << ">1.5" << german << int(taRightJustify) << 1.5;
    QTest::newRow("point never groups thousands") << "<1.500" << german << int(taLeftJustify) << 1.5;
    QTest::newRow("both separators") << "<1.5,0" << german << int(taLeftJustify) << 2.0;
}

void tst_TLinePrinter::parseColumn()
{
    QFETCH(QString, field);
    QFETCH(QLocale, locale);
    QFETCH(int, alignment);
    QFETCH(double, width);
    const TLinePrinter::TColumn column = TLinePrinter::ParseColumn(field, 2.0, locale);
    QCOMPARE(int(column.Alignment), alignment);
    QCOMPARE(column.Width, width);
}

void tst_TLinePrinter::fixedFormatInCommaLocale()
{
    // The viewer's header and footer, printed where the decimal separator is a comma.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TClock::SetFixed(QDateTime(QDate(2023, 11, 28), QTime(9, 41, 7)));
    const QString file = pdf(QStringLiteral("comma-locale"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    lp.SetMarginTop(0.5);
    lp.SetMarginBottom(1.0);
    lp.SetTitle(QStringLiteral("Printed by Mailvane"));
    lp.SetTableFormat(QStringLiteral("<5|>1.5"));
    lp.SetHeader(QStringLiteral("{$TITLE}|Page {$PAGE}"));
    lp.SetFooter(QStringLiteral("{$DATE}|{$TIME}"));
    lp.SetLines({QStringLiteral("body")});
    lp.BeginDoc();
    lp.PrintLines();
    lp.EndDoc();
    const QStringList text = PdfPages(file);
    QCOMPARE(text.size(), 1);
    QVERIFY2(text[0].contains(QRegularExpression(QStringLiteral("Printed by Mailvane\\s+Page 1"))),
             qPrintable(text[0]));
    QVERIFY2(text[0].contains(QStringLiteral("09:41:07")), qPrintable(text[0]));
}

void tst_TLinePrinter::fitText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("fitted");
    // Every character is 10 pixels wide.
    QTest::newRow("fits whole") << "abcdefghij" << 100 << "abcdefghij";
    QTest::newRow("between 3 and 4") << "abcdefghij" << 35 << "abc";
    QTest::newRow("exactly 4") << "abcdefghij" << 40 << "abcd";
    QTest::newRow("just under the whole") << "abcdefghij" << 99 << "abcdefghi";
    QTest::newRow("not even one") << "abcdefghij" << 5 << "a";
    QTest::newRow("zero width") << "ab" << 0 << "a";
    QTest::newRow("negative width") << "abc" << -50 << "a";
    QTest::newRow("empty") << "" << 0 << "";
    QTest::newRow("surrogate pair kept whole") << QStringLiteral("ab\U0001F600cd") << 35 << "ab";
}

void tst_TLinePrinter::fitText()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, fitted);
    int calls = 0;
    const auto measure = [&calls](const QString& s) {
        ++calls;
        return int(s.size()) * 10;
    };
    QCOMPARE(TLinePrinter::FitText(text, width, measure), fitted);
    // Bisection, not a walk through every prefix.
    QVERIFY2(calls <= 2 + int(std::log2(qMax<qsizetype>(2, text.size()))) + 1, qPrintable(QString::number(calls)));
}

void tst_TLinePrinter::expandTabs_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tabSize");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("letter tab letter") << "a\tb" << 8 << "a       b";
    QTest::newRow("tab after eight") << "12345678\tx" << 8 << "12345678        x";
    QTest::newRow("two tabs") << "\tx\ty" << 4 << "    x   y";
    QTest::newRow("size 1") << "a\tb" << 1 << "a b";
    QTest::newRow("size 0 still gives a blank") << "a\t\tb" << 0 << "a  b";
    QTest::newRow("negative size") << "a\tb" << -3 << "a b";
}

void tst_TLinePrinter::expandTabs()
{
    QFETCH(QString, text);
    QFETCH(int, tabSize);
    QFETCH(QString, expanded);
    QCOMPARE(TLinePrinter::ExpandTabs(text, tabSize), expanded);
}

void tst_TLinePrinter::macros()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("macros")));
    TLinePrinter lp(printer.get());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime at(QDate(2024, 3, 5), QTime(14, 7, 9));
    TClock::SetFixed(at);
    const QLocale locale;
    lp.SetTitle(QStringLiteral("Report {$TITLE} {$PAGE}"));
    // The title comes last, so macros inside it are left as they are.
    QCOMPARE(lp.ExpandMacros(QStringLiteral("{$TITLE}")), QStringLiteral("Report {$TITLE} {$PAGE}"));
    QCOMPARE(lp.ExpandMacros(QStringLiteral("{$DATE}|{$TIME}|{$date}")),
             locale.toString(at.date(), QLocale::ShortFormat) + QStringLiteral("|2:07:09 PM|{$date}"));
    QCOMPARE(lp.ExpandMacros(QStringLiteral("{$LINE}{$LINE}-{$PAGE}")), QStringLiteral("00-0"));
    QCOMPARE(
        TLinePrinter::ReplaceAll(QStringLiteral("{$TITLE}LE}"), QStringLiteral("{$TITLE}"), QStringLiteral("{$TIT")),
        QStringLiteral("{$TIT"));
    QCOMPARE(TLinePrinter::ReplaceAll(QStringLiteral("a{$X}b{$X}"), QStringLiteral("{$X}"), QStringLiteral("{$X}!")),
             QStringLiteral("a{$X}!b{$X}!"));
}

void tst_TLinePrinter::lineHeight_data()
{
    QTest::addColumn<int>("spacing");
    QTest::addColumn<int>("base");
    QTest::addColumn<int>("height");
    QTest::newRow("half, odd base") << int(lsHalfSpace) << 41 << 20;
    QTest::newRow("single") << int(lsSingleSpace) << 41 << 41;
    QTest::newRow("one and a half") << int(lsSingleAndAHalf) << 41 << 61;
    QTest::newRow("double") << int(lsDoubleSpace) << 41 << 82;
}

void tst_TLinePrinter::lineHeight()
{
    QFETCH(int, spacing);
    QFETCH(int, base);
    QFETCH(int, height);
    QCOMPARE(TLinePrinter::LineHeightFor(base, TLineSpacing(spacing)), height);

    auto printer = pdfPrinter(pdf(QStringLiteral("pitch")));
    TLinePrinter lp(printer.get());
    const int single = QFontMetrics(lp.Font(), printer.get()).height();
    QVERIFY(single > 100); // 10 points at the printer's resolution, not the screen's
    lp.SetLineSpacing(TLineSpacing(spacing));
    QCOMPARE(lp.LineHeight(), TLinePrinter::LineHeightFor(single, TLineSpacing(spacing)));
}

void tst_TLinePrinter::fontInPlaceKeepsPitch()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("font")));
    TLinePrinter lp(printer.get());
    QCOMPARE(lp.Font().pointSize(), 10);
    const int pitch = lp.LineHeight();
    const int narrow = lp.TextWidth(QStringLiteral("MMMM"));
    lp.Font().setPointSize(20);
    QCOMPARE(lp.LineHeight(), pitch);
    QVERIFY(lp.TextWidth(QStringLiteral("MMMM")) > narrow * 3 / 2);
    QFont big = lp.Font();
    lp.SetFont(big);
    QVERIFY(lp.LineHeight() > pitch * 3 / 2);
}

void tst_TLinePrinter::refusedWhilePrinting()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("refused")));
    TLinePrinter lp(printer.get());
    lp.SetTitle(QStringLiteral("T"));
    lp.BeginDoc();
    QVERIFY(lp.Printing());
    QCOMPARE(errorOf([&] { lp.SetTitle(QStringLiteral("U")); }),
             QStringLiteral("Unable to change title while printing"));
    QCOMPARE(errorOf([&] { lp.SetOrientation(poLandscape); }),
             QStringLiteral("Unable to change orientation while printing"));
    QCOMPARE(errorOf([&] { lp.SetMarginTop(1); }), QStringLiteral("Unable to change top margin while printing"));
    QCOMPARE(errorOf([&] { lp.SetMarginBottom(1); }), QStringLiteral("Unable to change bottom margin while printing"));
    QCOMPARE(errorOf([&] { lp.SetMarginLeft(1); }), QStringLiteral("Unable to change left margin while printing"));
    QCOMPARE(errorOf([&] { lp.SetMarginRight(1); }), QStringLiteral("Unable to change right margin while printing"));
    QCOMPARE(errorOf([&] { lp.BeginDoc(); }), QStringLiteral("Unable to begin printing."));
    lp.EndDoc();
    QCOMPARE(lp.Title(), QStringLiteral("T"));
    QCOMPARE(lp.Orientation(), poPortrait);
    lp.SetOrientation(poLandscape);
    QCOMPARE(lp.Orientation(), poLandscape);
}

void tst_TLinePrinter::printerFailures()
{
    TLinePrinter none;
    QCOMPARE(errorOf([&] { none.BeginDoc(); }), QStringLiteral("Unable to begin printing."));
    none.SetTitle(QStringLiteral("ignored"));
    none.SetOrientation(poLandscape);
    QCOMPARE(none.Orientation(), poPortrait);

    auto printer = pdfPrinter(m_dir.filePath(QStringLiteral("no/such/folder/x.pdf")));
    TLinePrinter lp(printer.get());
    int begun = 0;
    lp.OnBeginDoc = [&](TLinePrinter* sender) {
        QCOMPARE(sender, &lp);
        ++begun;
    };
    QCOMPARE(errorOf([&] { lp.BeginDoc(); }), QStringLiteral("Unable to begin printing."));
    QCOMPARE(begun, 1);
    QCOMPARE(errorOf([&] { lp.NewPage(); }), QStringLiteral("Unable to print a new page."));
    QCOMPARE(errorOf([&] { lp.EndDoc(); }), QStringLiteral("Unable to finish printing."));
}

void tst_TLinePrinter::emptyDocumentIsOnePage()
{
    const QString file = pdf(QStringLiteral("empty"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    lp.SetMarginTop(0.75);
    lp.SetMarginBottom(0.75);
    lp.SetTitle(QStringLiteral("Empty job"));
    lp.SetTableFormat(QStringLiteral("<5|>1.5"));
    lp.SetHeader(QStringLiteral("{$TITLE}|Page {$PAGE}"));
    lp.SetFooter(QStringLiteral("bottom row"));
    lp.SetPageBorders(pbTop | pbBottom | pbLeft | pbRight);
    int pages = 0, ends = 0;
    lp.OnNewPage = [&](TLinePrinter*) { ++pages; };
    lp.OnEndDoc = [&](TLinePrinter*) { ++ends; };
    lp.BeginDoc();
    lp.PrintLines();
    lp.EndDoc();
    QCOMPARE(pages, 1);
    QCOMPARE(ends, 1);
    const QStringList text = PdfPages(file);
    QCOMPARE(text.size(), 1);
    QVERIFY2(text[0].contains(QRegularExpression(QStringLiteral("Empty job\\s+Page 1"))), qPrintable(text[0]));
    QVERIFY(text[0].contains(QStringLiteral("bottom row")));
}

void tst_TLinePrinter::fullPageAddsTrailingPage()
{
    auto count = [this](int lineCount, const QString& name) {
        const QString file = pdf(name);
        auto printer = pdfPrinter(file);
        TLinePrinter lp(printer.get());
        lp.SetMarginTop(0.75);
        lp.SetHeader(QStringLiteral("H {$PAGE}"));
        lp.SetDefaultColWidth(3);
        QStringList lines;
        for (int i = 1; i <= lineCount; ++i) {
            lines << QStringLiteral("line %1").arg(i);
        }
        lp.SetLines(lines);
        lp.BeginDoc();
        lp.PrintLines();
        lp.EndDoc();
        return PdfPages(file);
    };
    // A line fits while Y + LineHeight stays below the body height.
    auto printer = pdfPrinter(pdf(QStringLiteral("probe")));
    TLinePrinter probe(printer.get());
    probe.SetMarginTop(0.75);
    const int perPage = (probe.BodyHeight() + probe.LineHeight() - 1) / probe.LineHeight() - 1;
    QVERIFY(perPage > 20);

    const QStringList one = count(perPage - 1, QStringLiteral("fits"));
    QCOMPARE(one.size(), 1);
    const QStringList two = count(perPage, QStringLiteral("full"));
    QCOMPARE(two.size(), 2);
    QVERIFY(two[0].contains(QStringLiteral("line %1").arg(perPage)));
    QVERIFY(two[1].contains(QStringLiteral("H 2")));
    QVERIFY2(!two[1].contains(QStringLiteral("line")), qPrintable(two[1]));
    const QStringList spill = count(perPage + 1, QStringLiteral("spill"));
    QCOMPARE(spill.size(), 2);
    QVERIFY(spill[1].contains(QStringLiteral("line %1").arg(perPage + 1)));
}

void tst_TLinePrinter::headerFooterAndColumns()
{
    const QString file = pdf(QStringLiteral("columns"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime at(QDate(2023, 11, 28), QTime(9, 41, 7));
    TClock::SetFixed(at);
    lp.SetMarginTop(0.5);
    lp.SetMarginBottom(1.0);
    lp.SetMarginLeft(0.5);
    lp.SetTitle(QStringLiteral("Printed by Mailvane"));
    lp.SetTableFormat(QStringLiteral("<5|>1.5"));
    lp.SetHeader(QStringLiteral("{$TITLE}|Page {$PAGE}|third"));
    lp.SetFooter(QStringLiteral("{$DATE}|{$TIME}"));
    lp.BeginDoc();
    for (int i = 0; i < 3; ++i) {
        lp.NewPage();
    }
    lp.SetLinesAsTable(true);
    lp.SetLines({QStringLiteral("cell one|cell two|dropped")});
    lp.PrintLines();
    QCOMPARE(lp.LineNumber(), 1);
    lp.EndDoc();
    const QStringList text = PdfPages(file);
    QCOMPARE(text.size(), 4);
    QVERIFY(text[3].contains(QRegularExpression(QStringLiteral("Printed by Mailvane\\s+Page 4"))));
    QVERIFY(!text[3].contains(QStringLiteral("third")));
    QVERIFY(!text[3].contains(QStringLiteral("dropped")));
    QVERIFY(text[3].contains(QRegularExpression(QStringLiteral("cell one\\s+cell two"))));
    const QLocale locale;
    QVERIFY2(text[0].contains(locale.toString(at.date(), QLocale::ShortFormat)), qPrintable(text[0]));
    QVERIFY2(text[0].contains(QStringLiteral("9:41:07 AM")), qPrintable(text[0]));
    QVERIFY2(!text[0].contains(at.timeZoneAbbreviation()), qPrintable(text[0]));

    // The page text ends at the right edge of the second column, 6.5 in from the left offset.
    TLinePrinter measure(printer.get());
    QFont f = measure.Font();
    const int pageWidth = QFontMetrics(f, printer.get()).horizontalAdvance(QStringLiteral("Page 12"));
    QVERIFY(pageWidth < measure.ToPixelsX(1.5));

    // A title longer than five inches is cut to what fits in the first column.
    const QString longTitle = QString(200, u'W');
    const QString cut = lp.FitText(longTitle, lp.ToPixelsX(5));
    QVERIFY(cut.size() > 10 && cut.size() < longTitle.size());
    QVERIFY(lp.TextWidth(cut) <= lp.ToPixelsX(5));
    QVERIFY(lp.TextWidth(cut + u'W') > lp.ToPixelsX(5));

    // No format and no default width: only the first character of a header shows.
    const QString single = pdf(QStringLiteral("single"));
    auto p2 = pdfPrinter(single);
    TLinePrinter bare(p2.get());
    bare.SetMarginTop(1.0);
    bare.SetHeader(QStringLiteral("Zebra"));
    bare.BeginDoc();
    bare.EndDoc();
    const QStringList bareText = PdfPages(single);
    QCOMPARE(bareText.size(), 1);
    QCOMPARE(bareText[0].trimmed(), QStringLiteral("Z"));
}

void tst_TLinePrinter::tabStops()
{
    const QString file = pdf(QStringLiteral("tabs"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    lp.SetLines(
        {QStringLiteral("a\tb"), QStringLiteral("12345678\tx"), QStringLiteral("abcdefg\tc"), QStringLiteral("a")});
    lp.BeginDoc();
    lp.PrintLines();
    lp.EndDoc();
    // Left edges of the words after the tabs: 8 and 16 character cells in.
    QHash<QString, double> x;
    for (const PdfWord& w : PdfWords(file)) {
        x.insert(w.text, w.x);
    }
    QVERIFY2(x.contains(QStringLiteral("b")) && x.contains(QStringLiteral("c")) && x.contains(QStringLiteral("x")),
             qPrintable(QStringList(x.keys()).join(u' ')));
    // Eight character cells of the fixed-pitch print font, in points.
    const double eight = lp.TextWidth(QStringLiteral("abcdefgh")) * 72.0 / printer->logicalDpiX();
    const double left = x.value(QStringLiteral("a"));
    QVERIFY(eight > 30);
    QVERIFY(qAbs(x.value(QStringLiteral("b")) - left - eight) < 0.5);
    QVERIFY(qAbs(x.value(QStringLiteral("c")) - left - eight) < 0.5);
    QVERIFY(qAbs(x.value(QStringLiteral("x")) - left - 2 * eight) < 0.5);
}

void tst_TLinePrinter::wrappingAndCutting()
{
    auto run = [this](bool wrap, const QStringList& lines, const QString& name) {
        const QString file = pdf(name);
        auto printer = pdfPrinter(file);
        TLinePrinter lp(printer.get());
        lp.SetMarginLeft(3.0);
        lp.SetMarginRight(3.0); // a 2.5-inch body: about 20 characters of 10-point Courier
        lp.SetWordWrap(wrap);
        lp.SetLines(lines);
        lp.BeginDoc();
        lp.PrintLines();
        lp.EndDoc();
        QStringList rows;
        for (const QString& row : PdfPages(file).value(0).split(u'\n', Qt::SkipEmptyParts)) {
            rows << row.trimmed();
        }
        return rows;
    };
    auto printer = pdfPrinter(pdf(QStringLiteral("fit")));
    TLinePrinter probe(printer.get());
    probe.SetMarginLeft(3.0);
    probe.SetMarginRight(3.0);
    const int fitting = int(probe.FitText(QString(100, u'y'), probe.BodyWidth()).size());
    QVERIFY(fitting > 10 && fitting < 40);

    const QString words = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda");
    const QStringList wrapped = run(true, {words}, QStringLiteral("wrap"));
    QVERIFY2(wrapped.size() >= 3, qPrintable(wrapped.join(u'|')));
    QCOMPARE(wrapped.join(u' '), words); // no word split, no word lost
    for (const QString& row : wrapped) {
        QVERIFY(row.size() <= fitting);
    }

    const QString word = QString(60, u'x') + QStringLiteral("END");
    const QStringList broken = run(true, {word}, QStringLiteral("longword"));
    QVERIFY(broken.size() >= 3);
    QCOMPARE(broken.join(QString()), word);

    const QStringList cut = run(false, {word, QStringLiteral("next")}, QStringLiteral("cut"));
    QCOMPARE(cut.size(), 2);
    QVERIFY(word.startsWith(cut[0]) && cut[0].size() < word.size() && cut[0].size() > 10);
    QCOMPARE(cut[1], QStringLiteral("next"));

    // A wrap just before a blank drops that one blank; the next ones begin the next row.
    const QString first = QString(fitting, u'y');
    const QStringList blanks = run(true, {first + QStringLiteral("   zz")}, QStringLiteral("blanks"));
    QCOMPARE(blanks.size(), 2);
    QCOMPARE(blanks[0], first);
    QCOMPARE(blanks[1], QStringLiteral("zz"));
}

void tst_TLinePrinter::borderLines_data()
{
    QTest::addColumn<uint>("borders");
    QTest::addColumn<double>("offset");
    QTest::newRow("top and bottom") << uint(pbTop | pbBottom) << 0.0;
    QTest::newRow("all four, a quarter inch out") << uint(pbTop | pbBottom | pbLeft | pbRight) << 0.25;
    QTest::newRow("left only") << uint(pbLeft) << 0.0;
    QTest::newRow("none") << 0u << 0.0;
}

void tst_TLinePrinter::borderLines()
{
    QFETCH(uint, borders);
    QFETCH(double, offset);
    const QString file = pdf(QStringLiteral("borders"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    // Body from 1.5 in to 7 in across and from 1.5 in to 9 in down the sheet.
    lp.SetMarginLeft(1.5);
    lp.SetMarginRight(1.5);
    lp.SetMarginTop(1.5);
    lp.SetMarginBottom(2.0);
    lp.SetPageBorders(borders);
    lp.SetBorderOffset(offset);
    lp.BeginDoc();
    lp.EndDoc();
    const QImage page = PdfFirstPage(file);
    QCOMPARE(page.size(), QSize(612, 792));
    const int d = qRound(offset * 72);
    auto dark = [&page](int x, int y) { return qGray(page.pixel(x, y)) < 128; };
    auto darkRow = [&](int y) { return dark(200, y) || dark(200, y + 1) || dark(200, y - 1); };
    auto darkColumn = [&](int x) { return dark(x, 400) || dark(x + 1, 400) || dark(x - 1, 400); };
    QCOMPARE(darkRow(108 - d), bool(borders & pbTop));
    QCOMPARE(darkRow(648 + d), bool(borders & pbBottom));
    QCOMPARE(darkColumn(108 - d), bool(borders & pbLeft));
    QCOMPARE(darkColumn(504 + d), bool(borders & pbRight));
    QVERIFY(!darkRow(300) && !darkColumn(300));
}

void tst_TLinePrinter::narrowBands()
{
    // Margins at the printer's minimum leave no band for header and footer.
    const QString file = pdf(QStringLiteral("bands"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    lp.SetDefaultColWidth(4);
    lp.SetHeader(QStringLiteral("TOPROW"));
    lp.SetFooter(QStringLiteral("BOTTOMROW"));
    QCOMPARE(lp.TopOffset(), 0);
    QCOMPARE(lp.HeaderY(), 0);
    QCOMPARE(lp.FooterY(), lp.BodyHeight() - lp.LineHeight());
    lp.SetLines({QStringLiteral("body")});
    int pages = 0;
    lp.OnNewPage = [&](TLinePrinter*) { ++pages; };
    lp.BeginDoc();
    lp.PrintLines();
    lp.EndDoc();
    QCOMPARE(pages, 1);
    const QStringList text = PdfPages(file);
    QCOMPARE(text.size(), 1);
    QVERIFY(text[0].contains(QStringLiteral("TOPROW")));
    QVERIFY(text[0].contains(QStringLiteral("BOTTOMROW")));

    // A wide band keeps the row centred in it.
    lp.SetMarginTop(1.25);
    QCOMPARE(lp.HeaderY(), (lp.TopOffset() - lp.LineHeight()) / 2 - lp.TopOffset());
}

void tst_TLinePrinter::degenerateBodyAndTabSize()
{
    const QString file = pdf(QStringLiteral("degenerate"));
    auto printer = pdfPrinter(file);
    TLinePrinter lp(printer.get());
    lp.SetMarginLeft(4.2);
    lp.SetMarginRight(4.29);
    QVERIFY(lp.BodyWidth() < lp.TextWidth(QStringLiteral("W")));
    lp.SetTabSize(0);
    lp.SetLines({QStringLiteral("ab\tc")});
    lp.BeginDoc();
    lp.PrintLines();
    // One character per row; the tab became one blank, dropped at a wrap.
    QCOMPARE(lp.LineNumber(), 3);
    lp.SetWordWrap(false);
    lp.PrintLine(QStringLiteral("xyz"));
    QCOMPARE(lp.LineNumber(), 4);
    lp.EndDoc();
    QCOMPARE(PdfPages(file).size(), 1);
}

void tst_TLinePrinter::progressWindow()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("progress")));
    TLinePrinter lp(printer.get());
    lp.SetShowProgress(true);
    lp.SetTitle(QStringLiteral("Job"));
    QStringList seen;
    lp.OnNewPage = [&](TLinePrinter*) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dlg = qobject_cast<TPrntProgDlg*>(w); dlg && dlg->isVisible()) {
                seen << dlg->windowTitle() + u'/' + dlg->lblStatus->text() + u'/' + dlg->lblTitle->text() + u'/' +
                            dlg->lblPageNumber->text();
            }
        }
    };
    lp.BeginDoc();
    lp.NewPage();
    lp.EndDoc();
    QCOMPARE(seen, QStringList({QStringLiteral("Print Progress/Preparing to Print/Job/1"),
                                QStringLiteral("Print Progress/Currently Printing/Job/1")}));
    for (QWidget* w : QApplication::topLevelWidgets()) {
        QVERIFY(!qobject_cast<TPrntProgDlg*>(w));
    }
}

// Counts what would be drawn instead of drawing it, so that only the layout is timed.
class TLayoutOnly : public TLinePrinter {
public:
    using TLinePrinter::TLinePrinter;
    int Drawn = 0;

protected:
    void TextOut(int, int, const QString&) override { ++Drawn; }
};

static QStringList thousandLines()
{
    QStringList lines;
    for (int i = 0; i < 1000; ++i) {
        lines << QStringLiteral("Line %1\tof a message that is printed with a tab and some words to wrap").arg(i);
    }
    return lines;
}

static void prepareBenchmark(TLinePrinter& lp)
{
    lp.SetLineSpacing(lsSingleAndAHalf);
    lp.SetMarginRight(3.0); // every line wraps once
    lp.SetTitle(QStringLiteral("Benchmark"));
    lp.SetTableFormat(QStringLiteral("<5|>1.5"));
    lp.SetHeader(QStringLiteral("{$TITLE}|Page {$PAGE}"));
    lp.SetFooter(QStringLiteral("{$DATE}|{$TIME}"));
    lp.SetLines(thousandLines());
}

void tst_TLinePrinter::benchmarkLayout()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("layout")));
    TLayoutOnly lp(printer.get());
    prepareBenchmark(lp);
    QBENCHMARK
    {
        lp.Drawn = 0;
        lp.BeginDoc();
        lp.PrintLines();
        lp.EndDoc();
    }
    QVERIFY(lp.PageNumber() > 20);
    QCOMPARE(lp.Drawn, 2000 + 4 * lp.PageNumber()); // two rows per line, two cells in header and footer
}

void tst_TLinePrinter::benchmarkPdf()
{
    auto printer = pdfPrinter(pdf(QStringLiteral("bench")));
    TLinePrinter lp(printer.get());
    prepareBenchmark(lp);
    QBENCHMARK
    {
        lp.BeginDoc();
        lp.PrintLines();
        lp.EndDoc();
    }
    QVERIFY(lp.PageNumber() > 20);
}

QTEST_MAIN(tst_TLinePrinter)
#include "tst_TLinePrinter.moc"
