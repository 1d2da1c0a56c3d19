#pragma once

#include <QDir>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

// The text of a printed PDF, one entry per page, as pdftotext lays it out.
inline QStringList PdfPages(const QString& pdfPath)
{
    QProcess p;
    p.start(QStringLiteral(MV_PDFTOTEXT), {QStringLiteral("-layout"), pdfPath, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return {};
    }
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QChar(u'\f'));
    // pdftotext ends every page with a form feed, so the last piece is empty.
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) {
        pages.removeLast();
    }
    return pages;
}

struct PdfWord {
    int page;
    double x;
    double y;
    QString text;
};

// Every word of a printed PDF with its left and top edge in points.
inline QList<PdfWord> PdfWords(const QString& pdfPath)
{
    QProcess p;
    p.start(QStringLiteral(MV_PDFTOTEXT), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    QList<PdfWord> words;
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return words;
    }
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression tag(
        QStringLiteral("<page |<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
    int page = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++page;
        } else {
            words.append({page, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3)});
        }
    }
    return words;
}

// The first page of a printed PDF as a grey picture at 72 dots per inch (one pixel a point).
inline QImage PdfFirstPage(const QString& pdfPath)
{
    const QString stem = pdfPath + QStringLiteral("-page");
    QProcess p;
    p.start(QStringLiteral(MV_PDFTOPPM), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-gray"),
                                          QStringLiteral("-singlefile"), pdfPath, stem});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        return {};
    }
    return QImage(stem + QStringLiteral(".pgm"));
}
