#include "viewer/TLinePrinter.h"

#include "core/TClock.h"
#include "viewer/ELinePrinter.h"
#include "viewer/TPrntProgDlg.h"

#include <QPageLayout>
#include <QPrinter>

namespace {

constexpr double kInchesPerMillimeter = 0.039370078740157480314;
constexpr double kFallbackDpi = 300;

enum Side { Top, Bottom, Left, Right };

const char* const kMarginMessages[4] = {
    "Unable to change top margin while printing",
    "Unable to change bottom margin while printing",
    "Unable to change left margin while printing",
    "Unable to change right margin while printing",
};

QFont courierNew()
{
    QFont font(QStringLiteral("Courier New"));
    // Linux rarely has Courier New; the hint lets fontconfig pick a fixed-pitch face.
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(10);
    return font;
}

} // namespace

TLinePrinter::TLinePrinter(QPrinter* printer) : m_printer(printer), m_font(courierNew())
{
    m_margin[Top] = MinMarginTop();
    m_margin[Bottom] = MinMarginBottom();
    m_margin[Left] = MinMarginLeft();
    m_margin[Right] = MinMarginRight();
    updateLineHeight();
}

TLinePrinter::~TLinePrinter()
{
    if (m_painter.isActive()) {
        m_painter.end();
    }
}

// ---- units and geometry

double TLinePrinter::dpiX() const
{
    const int dpi = m_printer ? m_printer->logicalDpiX() : 0;
    return dpi > 0 ? dpi : kFallbackDpi;
}

double TLinePrinter::dpiY() const
{
    const int dpi = m_printer ? m_printer->logicalDpiY() : 0;
    return dpi > 0 ? dpi : kFallbackDpi;
}

double TLinePrinter::toInches(double value) const
{
    return m_unit == muMillimeters ? value * kInchesPerMillimeter : value;
}

double TLinePrinter::fromInches(double inches) const
{
    return m_unit == muMillimeters ? inches * 25.4 : inches;
}

int TLinePrinter::ToPixelsX(double value) const
{
    return qRound(toInches(value) * dpiX());
}

int TLinePrinter::ToPixelsY(double value) const
{
    return qRound(toInches(value) * dpiY());
}

double TLinePrinter::FromPixelsX(int pixels) const
{
    return fromInches(pixels / dpiX());
}

double TLinePrinter::FromPixelsY(int pixels) const
{
    return fromInches(pixels / dpiY());
}

double TLinePrinter::SheetWidth() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 210 : 8.5;
    }
    return FromPixelsX(qRound(m_printer->paperRect(QPrinter::DevicePixel).width()));
}

double TLinePrinter::SheetHeight() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 297 : 11;
    }
    return FromPixelsY(qRound(m_printer->paperRect(QPrinter::DevicePixel).height()));
}

double TLinePrinter::PrintableWidth() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 198 : 8.0;
    }
    return FromPixelsX(qRound(m_printer->pageRect(QPrinter::DevicePixel).width()));
}

double TLinePrinter::PrintableHeight() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 284 : 10.5;
    }
    return FromPixelsY(qRound(m_printer->pageRect(QPrinter::DevicePixel).height()));
}

double TLinePrinter::MinMarginTop() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 6 : 0.25;
    }
    return FromPixelsY(qRound(m_printer->pageRect(QPrinter::DevicePixel).top()));
}

double TLinePrinter::MinMarginLeft() const
{
    if (!m_printer) {
        return m_unit == muMillimeters ? 6 : 0.25;
    }
    return FromPixelsX(qRound(m_printer->pageRect(QPrinter::DevicePixel).left()));
}

double TLinePrinter::MinMarginBottom() const
{
    return SheetHeight() - PrintableHeight() - MinMarginTop();
}

double TLinePrinter::MinMarginRight() const
{
    return SheetWidth() - PrintableWidth() - MinMarginLeft();
}

TLinePrinter::Frame TLinePrinter::computeFrame() const
{
    Frame f;
    f.left = ToPixelsX(m_margin[Left] - MinMarginLeft());
    f.right = ToPixelsX(m_margin[Right] - MinMarginRight());
    f.top = ToPixelsY(m_margin[Top] - MinMarginTop());
    f.bottom = ToPixelsY(m_margin[Bottom] - MinMarginBottom());
    int printableWidth = 0;
    int printableHeight = 0;
    if (m_printer) {
        const QRectF page = m_printer->pageRect(QPrinter::DevicePixel);
        printableWidth = qRound(page.width());
        printableHeight = qRound(page.height());
    } else {
        printableWidth = ToPixelsX(PrintableWidth());
        printableHeight = ToPixelsY(PrintableHeight());
    }
    f.bodyWidth = printableWidth - f.left - f.right;
    f.bodyHeight = printableHeight - f.top - f.bottom;
    return f;
}

TLinePrinter::Frame TLinePrinter::frame() const
{
    // Margins and orientation cannot change while printing, so the frame is fixed then.
    return Printing() ? m_frame : computeFrame();
}

int TLinePrinter::HeaderY() const
{
    const Frame f = frame();
    const int y = (f.top - m_lineHeight) / 2 - f.top;
    return qMax(y, -f.top); // a band lower than a line would push the row off the sheet
}

int TLinePrinter::FooterY() const
{
    const Frame f = frame();
    const int y = f.bodyHeight + (f.bottom - m_lineHeight) / 2;
    return qMin(y, f.bodyHeight + f.bottom - m_lineHeight);
}

// ---- properties

void TLinePrinter::setMargin(int side, double value)
{
    if (Printing()) {
        throw ELinePrinter(QString::fromLatin1(kMarginMessages[side]));
    }
    double minimum = 0;
    double limit = 0;
    switch (side) {
    case Top:
        minimum = MinMarginTop();
        limit = SheetHeight() - MinMarginBottom();
        break;
    case Bottom:
        minimum = MinMarginBottom();
        limit = SheetHeight() - MinMarginTop();
        break;
    case Left:
        minimum = MinMarginLeft();
        limit = SheetWidth() - MinMarginRight();
        break;
    default:
        minimum = MinMarginRight();
        limit = SheetWidth() - MinMarginLeft();
        break;
    }
    if (value < minimum) {
        value = minimum;
    } else if (value > limit) {
        value = limit;
    }
    m_margin[side] = value;
}

void TLinePrinter::SetMarginTop(double value)
{
    setMargin(Top, value);
}

void TLinePrinter::SetMarginBottom(double value)
{
    setMargin(Bottom, value);
}

void TLinePrinter::SetMarginLeft(double value)
{
    setMargin(Left, value);
}

void TLinePrinter::SetMarginRight(double value)
{
    setMargin(Right, value);
}

void TLinePrinter::SetMeasureUnit(TMeasureUnit unit)
{
    const TMeasureUnit old = m_unit;
    m_unit = unit;
    if (old != unit) {
        const double factor = unit == muMillimeters ? 25.4 : kInchesPerMillimeter;
        SetMarginTop(m_margin[Top] * factor);
        SetMarginBottom(m_margin[Bottom] * factor);
        SetMarginLeft(m_margin[Left] * factor);
        SetMarginRight(m_margin[Right] * factor);
        m_borderOffset *= factor;
        m_defaultColWidth *= factor;
    }
    if (!Printing()) {
        SetMarginTop(m_margin[Top]);
        SetMarginBottom(m_margin[Bottom]);
        SetMarginLeft(m_margin[Left]);
        SetMarginRight(m_margin[Right]);
    }
}

void TLinePrinter::SetDefaultColWidth(double value)
{
    if (value >= 0) {
        m_defaultColWidth = value;
        return;
    }
    m_defaultColWidth = 0;
    throw ELinePrinter(QStringLiteral("DefaultColWidth must be greater than or equal to 0"));
}

int TLinePrinter::LineHeightFor(int base, TLineSpacing spacing)
{
    switch (spacing) {
    case lsHalfSpace:
        return base / 2;
    case lsSingleSpace:
        return base;
    case lsSingleAndAHalf:
        return base + base / 2;
    case lsDoubleSpace:
        return 2 * base;
    }
    return base;
}

void TLinePrinter::updateLineHeight()
{
    int base = 10;
    if (Printing() && m_metrics) {
        base = m_metrics->height() + qMax(0, m_metrics->leading());
    } else if (m_printer) {
        base = QFontMetrics(m_font, m_printer).height();
    }
    m_lineHeight = LineHeightFor(base, m_lineSpacing);
}

void TLinePrinter::SetLineSpacing(TLineSpacing spacing)
{
    m_lineSpacing = spacing;
    updateLineHeight();
}

void TLinePrinter::SetFont(const QFont& font)
{
    m_font = font;
    if (m_font.pointSizeF() <= 0 && m_font.pixelSize() > 0) {
        // A size in screen pixels would be taken as printer pixels; keep it in points.
        m_font.setPointSizeF(m_font.pixelSize() * 72.0 / 96.0);
    }
    if (Printing()) {
        syncFont();
    }
    updateLineHeight();
}

void TLinePrinter::syncFont()
{
    if (!m_metrics || !(m_painterFont == m_font)) {
        m_painterFont = m_font;
        QFont drawn = m_font;
        drawn.setKerning(false);
        m_painter.setFont(drawn);
        m_metrics = std::make_unique<QFontMetrics>(m_font, m_printer);
    }
}

TPrinterOrientation TLinePrinter::Orientation() const
{
    if (m_printer && m_printer->pageLayout().orientation() == QPageLayout::Landscape) {
        return poLandscape;
    }
    return poPortrait;
}

void TLinePrinter::SetOrientation(TPrinterOrientation orientation)
{
    if (Printing()) {
        throw ELinePrinter(QStringLiteral("Unable to change orientation while printing"));
    }
    if (m_printer) {
        m_printer->setPageOrientation(orientation == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    }
}

QString TLinePrinter::Title() const
{
    return m_printer ? m_printer->docName() : QStringLiteral("<Unknown>");
}

void TLinePrinter::SetTitle(const QString& title)
{
    if (Printing()) {
        throw ELinePrinter(QStringLiteral("Unable to change title while printing"));
    }
    if (m_printer) {
        m_printer->setDocName(title);
    }
}

bool TLinePrinter::Printing() const
{
    return m_printer && m_painter.isActive();
}

int TLinePrinter::PageNumber() const
{
    return m_printer ? m_pageNumber : 0;
}

// ---- measuring and text helpers

void TLinePrinter::prepareWidths() const
{
    if (!m_widthMetrics || !(m_widthFont == m_font)) {
        m_widthFont = m_font;
        m_widthMetrics = std::make_unique<QFontMetricsF>(m_font, m_printer);
        m_advances.assign(0x10000, -1.0f);
    }
}

qreal TLinePrinter::advance(const QString& text, qsizetype at) const
{
    const QChar* data = text.constData();
    const char16_t c = data[at].unicode();
    if (QChar::isHighSurrogate(c) && at + 1 < text.size() && data[at + 1].isLowSurrogate()) {
        return m_widthMetrics->horizontalAdvance(text.mid(at, 2));
    }
    if (QChar::isLowSurrogate(c) && at > 0 && data[at - 1].isHighSurrogate()) {
        return 0; // counted with its high half
    }
    float& known = m_advances[c];
    if (known < 0) {
        known = float(m_widthMetrics->horizontalAdvance(QChar(c)));
    }
    return known;
}

int TLinePrinter::TextWidth(const QString& text) const
{
    if (!m_printer) {
        return 0;
    }
    prepareWidths();
    qreal width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        width += advance(text, i);
    }
    return qRound(width);
}

QString TLinePrinter::FitText(const QString& text, int width) const
{
    if (!m_printer) {
        return text;
    }
    prepareWidths();
    // The bisection only ever measures prefixes: add the advances up once.
    const qsizetype n = text.size();
    std::vector<int> prefix(size_t(n) + 1, 0);
    qreal sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        sum += advance(text, i);
        prefix[size_t(i) + 1] = qRound(sum);
    }
    if (prefix[size_t(n)] <= width) {
        return text;
    }
    return FitText(text, width, [&prefix](const QString& s) { return prefix[size_t(s.size())]; });
}

QString TLinePrinter::FitText(const QString& text, int width, const std::function<int(const QString&)>& measure)
{
    if (text.isEmpty() || measure(text) <= width) {
        return text;
    }
    qsizetype low = 1;
    qsizetype high = text.size();
    qsizetype mid = 0;
    qsizetype previous = 0;
    do {
        previous = mid;
        mid = (low + high) / 2;
        const int w = measure(text.left(mid));
        if (w > width) {
            high = mid;
        } else if (w < width) {
            low = mid;
        } else {
            low = high;
        }
    } while (mid != previous && high > low);
    // Never end inside a surrogate pair.
    if (mid < text.size() && text.at(mid - 1).isHighSurrogate()) {
        mid = mid > 1 ? mid - 1 : mid + 1;
    }
    return text.left(mid);
}

QString TLinePrinter::ExpandTabs(const QString& text, int tabSize)
{
    const int size = qMax(1, tabSize);
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (c == u'\t') {
            out.append(QString(size - out.size() % size, u' '));
        } else {
            out.append(c);
        }
    }
    return out;
}

TLinePrinter::TColumn TLinePrinter::ParseColumn(const QString& field, double defaultColWidth, const QLocale& locale)
{
    QString f = field;
    const QString defaultText = QString::number(defaultColWidth);
    if (f.isEmpty()) {
        f = QStringLiteral("<") + defaultText;
    } else if (f == u"<" || f == u">" || f == u"^") {
        f += defaultText;
    }
    TColumn column;
    const QChar first = f.at(0);
    if (first == u'<' || first == u'>' || first == u'^') {
        column.Alignment = first == u'<' ? taLeftJustify : (first == u'>' ? taRightJustify : taCenter);
        f.remove(0, 1);
    }
    // Plain decimal text only: a thousands separator would turn "1,5" into 15. The point
    // is read first, in every locale, because the program writes its own formats with it.
    QLocale c = QLocale::c();
    c.setNumberOptions(c.numberOptions() | QLocale::RejectGroupSeparator);
    QLocale numbers(locale);
    numbers.setNumberOptions(numbers.numberOptions() | QLocale::RejectGroupSeparator);
    const QString number = f.trimmed();
    bool ok = false;
    double width = c.toDouble(number, &ok);
    if (!ok) {
        width = numbers.toDouble(number, &ok);
    }
    column.Width = ok ? width : defaultColWidth;
    return column;
}

QString TLinePrinter::ReplaceAll(const QString& text, const QString& macro, const QString& value)
{
    QString result = text;
    if (value.contains(macro)) {
        // Searching again from the start would never end.
        return result.replace(macro, value);
    }
    // Each pass shortens what is left after the match, so this ends.
    qsizetype at = result.indexOf(macro);
    while (at >= 0) {
        result.replace(at, macro.size(), value);
        at = result.indexOf(macro);
    }
    return result;
}

QString TLinePrinter::ExpandMacros(const QString& text) const
{
    static const QString line = QStringLiteral("{$LINE}");
    static const QString page = QStringLiteral("{$PAGE}");
    static const QString date = QStringLiteral("{$DATE}");
    static const QString time = QStringLiteral("{$TIME}");
    static const QString title = QStringLiteral("{$TITLE}");
    // Only the macros present are worked out: asking the clock and the locale on
    // every header cell of every page showed up in the layout time.
    QString s = text;
    if (s.contains(line)) {
        s = ReplaceAll(s, line, QString::number(m_lineNumber));
    }
    if (s.contains(page)) {
        s = ReplaceAll(s, page, QString::number(PageNumber()));
    }
    const bool hasDate = s.contains(date);
    const bool hasTime = s.contains(time);
    if (hasDate || hasTime) {
        const QDateTime now = TClock::CurrentDateTime();
        const QLocale locale;
        if (hasDate) {
            s = ReplaceAll(s, date, locale.toString(now.date(), QLocale::ShortFormat));
        }
        if (hasTime) {
            s = ReplaceAll(s, time, TClock::TimeText(now.time(), locale));
        }
    }
    if (s.contains(title)) {
        s = ReplaceAll(s, title, Title());
    }
    return s;
}

// ---- the document

void TLinePrinter::progress(const QString& message)
{
    if (m_showProgress && Printing()) {
        if (!m_progress) {
            m_progress = std::make_unique<TPrntProgDlg>();
        }
        m_progress->Update(message, Title(), PageNumber());
    } else if (m_progress) {
        m_progress->hide();
        m_progress.reset();
    }
}

void TLinePrinter::BeginDoc()
{
    if (OnBeginDoc) {
        OnBeginDoc(this);
    }
    if (!m_printer || m_painter.isActive() || !m_painter.begin(m_printer)) {
        throw ELinePrinter(QStringLiteral("Unable to begin printing."));
    }
    m_metrics.reset();
    syncFont();
    m_frame = computeFrame();
    m_pageNumber = 1;
    progress(QStringLiteral("Preparing to Print"));
    if (OnNewPage) {
        OnNewPage(this);
    }
    startPage();
}

void TLinePrinter::startPage()
{
    progress(QStringLiteral("Currently Printing"));
    if (!m_header.isEmpty()) {
        m_y = HeaderY();
        printRow(m_header, true);
    }
    if (!m_footer.isEmpty()) {
        m_y = FooterY();
        printRow(m_footer, true);
    }
    m_x = 0;
    m_y = 0;
    m_lineNumber = 0;
    if (OnNewLine) {
        OnNewLine(this);
    }
    drawBorders();
}

void TLinePrinter::drawBorders()
{
    if (m_borders == 0) {
        return;
    }
    const Frame f = m_frame;
    const int bx = ToPixelsX(m_borderOffset);
    const int by = ToPixelsY(m_borderOffset);
    const int left = f.left - bx;
    const int right = f.left + f.bodyWidth + bx;
    const int top = f.top - by;
    const int bottom = f.top + f.bodyHeight + by;
    const int horizontalPen = static_cast<int>(dpiY()) / 300 * 2;
    const int verticalPen = static_cast<int>(dpiX()) / 300 * 2;
    m_painter.save();
    m_painter.setPen(QPen(Qt::black, horizontalPen));
    if (m_borders & pbTop) {
        m_painter.drawLine(left, top, right, top);
    }
    if (m_borders & pbBottom) {
        m_painter.drawLine(left, bottom, right, bottom);
    }
    m_painter.setPen(QPen(Qt::black, verticalPen));
    if (m_borders & pbLeft) {
        m_painter.drawLine(left, top, left, bottom);
    }
    if (m_borders & pbRight) {
        m_painter.drawLine(right, top, right, bottom);
    }
    m_painter.restore();
}

void TLinePrinter::drawText(int x, int y, const QString& text)
{
    if (!Printing() || text.isEmpty()) {
        return;
    }
    syncFont();
    TextOut(x, y, text);
}

void TLinePrinter::TextOut(int x, int y, const QString& text)
{
    // Positions name the text's top edge; QPainter wants the baseline.
    m_painter.drawText(QPoint(x, y + m_metrics->ascent()), text);
}

void TLinePrinter::NewPage()
{
    if (OnNewPage) {
        OnNewPage(this);
    }
    if (!Printing() || !m_printer->newPage()) {
        throw ELinePrinter(QStringLiteral("Unable to print a new page."));
    }
    ++m_pageNumber;
    startPage();
}

int TLinePrinter::NewLine()
{
    if (OnNewLine) {
        OnNewLine(this);
    }
    m_y += m_lineHeight;
    if (m_y + m_lineHeight < frame().bodyHeight) {
        ++m_lineNumber;
    } else {
        NewPage();
    }
    return m_lineNumber;
}

void TLinePrinter::EndDoc()
{
    progress(QStringLiteral("Finished Printing"));
    if (!Printing() || !m_painter.end()) {
        throw ELinePrinter(QStringLiteral("Unable to finish printing."));
    }
    m_metrics.reset();
    progress(QString());
    if (OnEndDoc) {
        OnEndDoc(this);
    }
}

void TLinePrinter::PrintLines()
{
    const bool asTable = m_linesAsTable && !m_tableFormat.isEmpty();
    for (const QString& line : m_lines) {
        if (asTable) {
            PrintTableLine(line);
        } else {
            PrintLine(line);
        }
    }
}

void TLinePrinter::PrintLine(const QString& text)
{
    printPlain(text, true);
}

// mayBreak is false for the pieces of a wrapped or cut line: a piece that is still too
// wide is a single character wider than the body, and breaking it again never ends.
void TLinePrinter::printPlain(QString text, bool mayBreak)
{
    if (text.contains(u'\t')) {
        text = ExpandTabs(text, m_tabSize);
    }
    const Frame f = frame();
    const int w = TextWidth(text);
    if (w > f.bodyWidth && mayBreak) {
        if (!m_wordWrap) {
            printPlain(FitText(text, f.bodyWidth), false);
            return;
        }
        QString rest = text;
        while (!rest.isEmpty()) {
            QString part = FitText(rest, f.bodyWidth);
            qsizetype n = part.size();
            if (n < rest.size()) {
                if (rest.at(n).unicode() < 33) {
                    ++n;
                } else {
                    qsizetype k = n - 1;
                    while (k >= 0 && part.at(k).unicode() >= 33) {
                        --k;
                    }
                    if (k >= 0) {
                        part.truncate(k + 1);
                        n = k + 1;
                    }
                }
            }
            printPlain(part, false);
            rest.remove(0, n);
        }
        return;
    }
    switch (m_alignment) {
    case taLeftJustify:
        m_x = 0;
        break;
    case taRightJustify:
        m_x = f.bodyWidth - w;
        break;
    case taCenter:
        m_x = (f.bodyWidth - w) / 2;
        break;
    }
    if (m_y + m_lineHeight >= f.bodyHeight) {
        NewPage();
    }
    drawText(f.left + m_x, f.top + m_y, text);
    NewLine();
}

void TLinePrinter::PrintTableLine(const QString& text)
{
    printRow(text, false);
}

// Header and footer rows (band) lie in the margins and never advance the body: a footer
// moved up into a low band would otherwise start a new page, whose footer would again.
void TLinePrinter::printRow(const QString& text, bool band)
{
    const QStringList formats = m_tableFormat.split(u'|');
    const QStringList cells = text.split(u'|');
    const Frame f = frame();
    m_x = f.left;
    if (band && Printing()) {
        m_painter.save();
        m_painter.setClipRect(QRect(0, 0, f.left + f.bodyWidth + f.right, f.top + f.bodyHeight + f.bottom));
    }
    for (qsizetype i = 0; i < formats.size(); ++i) {
        const TColumn column = ParseColumn(formats.at(i), m_defaultColWidth);
        const int columnWidth = ToPixelsX(column.Width);
        QString cell = i < cells.size() ? cells.at(i) : QString();
        if (cell.contains(QStringLiteral("{$"))) {
            cell = ExpandMacros(cell);
        }
        cell = FitText(cell, columnWidth);
        const int cellWidth = TextWidth(cell);
        int offset = 0;
        if (column.Alignment == taRightJustify) {
            offset = columnWidth - cellWidth;
        } else if (column.Alignment == taCenter) {
            offset = (columnWidth - cellWidth) / 2;
        }
        drawText(m_x + offset, f.top + m_y, cell);
        m_x += columnWidth;
    }
    if (band && Printing()) {
        m_painter.restore();
    }
    if (!band && m_y >= 0 && m_y < f.bodyHeight) {
        NewLine();
    }
}
