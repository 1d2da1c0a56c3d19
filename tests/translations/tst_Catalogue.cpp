#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct TEntry {
    QString Context;
    QString Source;
    QString Comment;
    bool Numerus = false;
    QString Type; // the translation's type attribute: empty when finished
    QStringList Forms;

    QString Key() const { return Context + QLatin1Char('|') + Source + QLatin1Char('|') + Comment; }
};

QList<TEntry> readCatalogue(const QString& path, QString* error)
{
    QList<TEntry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return entries;
    }
    QXmlStreamReader xml(&file);
    QString context;
    TEntry entry;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) {
            continue;
        }
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            entry = TEntry();
            entry.Context = context;
            entry.Numerus = xml.attributes().value(QLatin1String("numerus")) == QLatin1String("yes");
        } else if (name == QLatin1String("source")) {
            entry.Source = xml.readElementText();
        } else if (name == QLatin1String("comment")) {
            entry.Comment = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            entry.Type = xml.attributes().value(QLatin1String("type")).toString();
            if (entry.Numerus) {
                while (xml.readNextStartElement()) {
                    entry.Forms << xml.readElementText();
                }
            } else {
                entry.Forms << xml.readElementText();
            }
            entries << entry;
        }
    }
    if (xml.hasError()) {
        *error = xml.errorString();
    }
    return entries;
}

bool hasCjk(const QString& text)
{
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FF00}-\\x{FFEF}]"));
    return text.contains(cjk);
}

QStringList placeholders(const QString& text)
{
    static const QRegularExpression marker(QStringLiteral("%(\\d{1,2}|n)"));
    QStringList found;
    for (auto it = marker.globalMatch(text); it.hasNext();) {
        found << it.next().captured(0);
    }
    found.sort();
    found.removeDuplicates();
    return found;
}

// The accelerator marks: single "&", "&&" being a literal ampersand.
int accelerators(const QString& text)
{
    return int(QString(text).remove(QStringLiteral("&&")).count(QLatin1Char('&')));
}

} // namespace

// The English catalogue: complete, in step with the sources, and compiled into the program.
class tst_Catalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyEntryFinished();
    void translationsKeepMarkers();
    void catalogueMatchesTheSources();
    void compiledCatalogueMatches();

private:
    QList<TEntry> m_entries;
};

void tst_Catalogue::initTestCase()
{
    QString error;
    m_entries = readCatalogue(QStringLiteral(MV_CATALOGUE), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!m_entries.isEmpty());
}

void tst_Catalogue::everyEntryFinished()
{
    QStringList problems;
    for (const TEntry& e : std::as_const(m_entries)) {
        const QString where = e.Context + QStringLiteral(": ") + e.Source;
        if (!e.Type.isEmpty()) {
            problems << e.Type + QStringLiteral(" — ") + where;
        }
        // English has a singular and a plural form.
        if (e.Forms.size() != (e.Numerus ? 2 : 1)) {
            problems << QStringLiteral("%1 forms — ").arg(e.Forms.size()) + where;
        }
        for (const QString& form : e.Forms) {
            if (form.trimmed().isEmpty()) {
                problems << QStringLiteral("empty — ") + where;
            } else if (hasCjk(form)) {
                problems << QStringLiteral("Chinese left in — ") + where;
            }
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void tst_Catalogue::translationsKeepMarkers()
{
    QStringList problems;
    for (const TEntry& e : std::as_const(m_entries)) {
        for (const QString& form : e.Forms) {
            const QString where = e.Context + QStringLiteral(": ") + e.Source + QStringLiteral(" → ") + form;
            if (placeholders(form) != placeholders(e.Source)) {
                problems << QStringLiteral("placeholders differ — ") + where;
            }
            if (accelerators(e.Source) != accelerators(form)) {
                problems << QStringLiteral("accelerator lost or added — ") + where;
            }
            // Texts joined into messages rely on their line ends.
            if (e.Source.endsWith(QLatin1Char('\n')) != form.endsWith(QLatin1Char('\n'))) {
                problems << QStringLiteral("line end differs — ") + where;
            }
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void tst_Catalogue::catalogueMatchesTheSources()
{
    // A fresh scan of the sources must find exactly the entries the catalogue holds.
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh_en.ts"));
    QProcess lupdate;
    lupdate.start(QStringLiteral(MV_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-locations"), QStringLiteral("none"),
                   QStringLiteral("-source-language"), QStringLiteral("zh_TW"), QStringLiteral("-target-language"),
                   QStringLiteral("en"), QStringLiteral(MV_SOURCE_DIR), QStringLiteral("-ts"), fresh});
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);
    QString error;
    const QList<TEntry> scanned = readCatalogue(fresh, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    QSet<QString> inSources;
    QSet<QString> inCatalogue;
    for (const TEntry& e : scanned) {
        inSources << e.Key();
    }
    for (const TEntry& e : std::as_const(m_entries)) {
        inCatalogue << e.Key();
    }
    QStringList missing = QSet<QString>(inSources).subtract(inCatalogue).values();
    QStringList vanished = QSet<QString>(inCatalogue).subtract(inSources).values();
    missing.sort();
    vanished.sort();
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not in the catalogue (build update_translations):\n") +
                                           missing.join(QLatin1Char('\n'))));
    QVERIFY2(vanished.isEmpty(),
             qPrintable(QStringLiteral("no longer in the sources:\n") + vanished.join(QLatin1Char('\n'))));
}

void tst_Catalogue::compiledCatalogueMatches()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/mailvane_en.qm")));
    for (const TEntry& e : std::as_const(m_entries)) {
        const QByteArray context = e.Context.toUtf8();
        const QByteArray source = e.Source.toUtf8();
        const QByteArray comment = e.Comment.toUtf8();
        const char* disambiguation = e.Comment.isEmpty() ? nullptr : comment.constData();
        if (e.Numerus) {
            QCOMPARE(translator.translate(context, source, disambiguation, 1), e.Forms.value(0));
            QCOMPARE(translator.translate(context, source, disambiguation, 2), e.Forms.value(1));
        } else {
            QCOMPARE(translator.translate(context, source, disambiguation), e.Forms.value(0));
        }
    }
}

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_Catalogue.moc"
