#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QPrinter;
class TPrntProgDlg;

enum TMeasureUnit { muInches, muMillimeters };
enum TLineSpacing { lsHalfSpace, lsSingleSpace, lsSingleAndAHalf, lsDoubleSpace };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TPrinterOrientation { poPortrait, poLandscape };
enum TPageBorderStyle : unsigned { pbTop = 1, pbBottom = 2, pbLeft = 4, pbRight = 8 };
using TPageBorders = unsigned; // a set of TPageBorderStyle bits

// Prints a list of text lines page by page on a printer: margins, line spacing, border
// lines, a header and footer row with macros, and plain lines (tabs expanded, wrapped or
// cut, aligned) or table rows laid out by a column format. Lengths are in MeasureUnit,
// drawing is in printer pixels. Without a printer it still answers with stand-in figures.
class TLinePrinter {
public:
    using TNotifyEvent = std::function<void(TLinePrinter* sender)>;

    // One column of a table format: its alignment and width in MeasureUnit.
    struct TColumn {
        TAlignment Alignment = taLeftJustify;
        double Width = 0;
    };

    // The printer is not owned; nullptr means no printer is installed.
    explicit TLinePrinter(QPrinter* printer = nullptr);
    virtual ~TLinePrinter();
    TLinePrinter(const TLinePrinter&) = delete;
    TLinePrinter& operator=(const TLinePrinter&) = delete;

    QPrinter* Printer() const { return m_printer; }

    double MarginTop() const { return m_margin[0]; }
    double MarginBottom() const { return m_margin[1]; }
    double MarginLeft() const { return m_margin[2]; }
    double MarginRight() const { return m_margin[3]; }
    void SetMarginTop(double value);
    void SetMarginBottom(double value);
    void SetMarginLeft(double value);
    void SetMarginRight(double value);

    TMeasureUnit MeasureUnit() const { return m_unit; }
    void SetMeasureUnit(TMeasureUnit unit);

    TLineSpacing LineSpacing() const { return m_lineSpacing; }
    void SetLineSpacing(TLineSpacing spacing);

    int TabSize() const { return m_tabSize; }
    void SetTabSize(int size) { m_tabSize = size; }
    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool on) { m_wordWrap = on; }
    QStringList& Lines() { return m_lines; }
    void SetLines(const QStringList& lines) { m_lines = lines; }
    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment a) { m_alignment = a; }
    const QString& Header() const { return m_header; }
    void SetHeader(const QString& text) { m_header = text; }
    const QString& Footer() const { return m_footer; }
    void SetFooter(const QString& text) { m_footer = text; }
    TPageBorders PageBorders() const { return m_borders; }
    void SetPageBorders(TPageBorders borders) { m_borders = borders; }
    bool ShowProgress() const { return m_showProgress; }
    void SetShowProgress(bool on) { m_showProgress = on; }
    const QString& TableFormat() const { return m_tableFormat; }
    void SetTableFormat(const QString& format) { m_tableFormat = format; }
    bool LinesAsTable() const { return m_linesAsTable; }
    void SetLinesAsTable(bool on) { m_linesAsTable = on; }
    double BorderOffset() const { return m_borderOffset; }
    void SetBorderOffset(double value) { m_borderOffset = value; }
    double DefaultColWidth() const { return m_defaultColWidth; }
    void SetDefaultColWidth(double value);

    // The print font itself: changing it in place does not recompute the line pitch.
    QFont& Font() { return m_font; }
    void SetFont(const QFont& font);

    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation orientation);
    QString Title() const;
    void SetTitle(const QString& title);

    TNotifyEvent OnBeginDoc;
    TNotifyEvent OnEndDoc;
    TNotifyEvent OnNewLine;
    TNotifyEvent OnNewPage;

    void BeginDoc();
    void PrintLines();
    void EndDoc();
    void NewPage();
    int NewLine();
    void PrintLine(const QString& text);
    void PrintTableLine(const QString& text);
    bool Printing() const;
    int PageNumber() const;

    // Cursor and layout, in printer pixels (Y from the top of the body area).
    int X() const { return m_x; }
    int Y() const { return m_y; }
    int LineHeight() const { return m_lineHeight; }
    int LineNumber() const { return m_lineNumber; }
    int LeftOffset() const { return frame().left; }
    int TopOffset() const { return frame().top; }
    int RightOffset() const { return frame().right; }
    int BottomOffset() const { return frame().bottom; }
    int BodyWidth() const { return frame().bodyWidth; }
    int BodyHeight() const { return frame().bodyHeight; }
    // Where the header and footer rows go: centred in their margin band, kept on the page.
    int HeaderY() const;
    int FooterY() const;

    // Sheet and printable area in MeasureUnit, and the minimum margins they give.
    double SheetWidth() const;
    double SheetHeight() const;
    double PrintableWidth() const;
    double PrintableHeight() const;
    double MinMarginTop() const;
    double MinMarginLeft() const;
    double MinMarginBottom() const;
    double MinMarginRight() const;

    int ToPixelsX(double value) const;
    int ToPixelsY(double value) const;
    double FromPixelsX(int pixels) const;
    double FromPixelsY(int pixels) const;

    // Text width on the printer in pixels; 0 without a printer.
    int TextWidth(const QString& text) const;
    QString FitText(const QString& text, int width) const;
    QString ExpandMacros(const QString& text) const;

    // Longest prefix not wider than width, found by bisection; at least one character.
    static QString FitText(const QString& text, int width, const std::function<int(const QString&)>& measure);
    // A TabSize below 1 counts as 1, so a Tab always becomes at least one blank.
    static QString ExpandTabs(const QString& text, int tabSize);
    static TColumn ParseColumn(const QString& field, double defaultColWidth, const QLocale& locale = QLocale());
    // Replace-all that leaves the macro alone when the value itself contains it.
    static QString ReplaceAll(const QString& text, const QString& macro, const QString& value);
    static int LineHeightFor(int base, TLineSpacing spacing);

protected:
    // Puts text on the page with its top-left corner at (x, y) in printer pixels.
    virtual void TextOut(int x, int y, const QString& text);

private:
    struct Frame {
        int left = 0, top = 0, right = 0, bottom = 0, bodyWidth = 0, bodyHeight = 0;
    };

    double dpiX() const;
    double dpiY() const;
    Frame frame() const;
    Frame computeFrame() const;
    double toInches(double value) const;
    qreal advance(const QString& text, qsizetype at) const;
    double fromInches(double inches) const;
    void setMargin(int side, double value);
    void updateLineHeight();
    void syncFont();
    void startPage();
    void drawBorders();
    void drawText(int x, int y, const QString& text);
    void prepareWidths() const;
    void printPlain(QString text, bool mayBreak);
    void printRow(const QString& text, bool band);
    void progress(const QString& message);

    QPrinter* m_printer;
    double m_margin[4] = {0, 0, 0, 0}; // top, bottom, left, right
    TMeasureUnit m_unit = muInches;
    TLineSpacing m_lineSpacing = lsSingleSpace;
    int m_tabSize = 8;
    bool m_wordWrap = true;
    QStringList m_lines;
    TAlignment m_alignment = taLeftJustify;
    QString m_header;
    QString m_footer;
    TPageBorders m_borders = 0;
    bool m_showProgress = false;
    QFont m_font;
    QString m_tableFormat;
    bool m_linesAsTable = false;
    double m_defaultColWidth = 0;
    double m_borderOffset = 0;

    QPainter m_painter;
    QFont m_painterFont;
    std::unique_ptr<QFontMetrics> m_metrics;
    // Widths are sums of character advances, as the printer spaces them with kerning off;
    // shaping whole strings again and again made the bisection of long lines slow.
    mutable QFont m_widthFont;
    mutable std::unique_ptr<QFontMetricsF> m_widthMetrics;
    mutable std::vector<float> m_advances; // by UTF-16 unit, negative until measured
    Frame m_frame;
    std::unique_ptr<TPrntProgDlg> m_progress;
    int m_x = 0;
    int m_y = 0;
    int m_lineHeight = 10;
    int m_lineNumber = 0;
    int m_pageNumber = 0;
};
