#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

struct TLiteral {
    qsizetype Start; // the opening quote (or its prefix)
    qsizetype End;   // just past the closing quote
    QString Text;
};

// Comments become blanks of the same length, so that offsets stay where they were.
QString withoutComments(const QString& code)
{
    QString out = code;
    qsizetype i = 0;
    const qsizetype n = code.size();
    while (i < n) {
        const QChar c = code.at(i);
        const bool digitSeparator = c == QLatin1Char('\'') && i > 0 && code.at(i - 1).isDigit();
        if (c == QLatin1Char('"') || (c == QLatin1Char('\'') && !digitSeparator)) {
            for (++i; i < n && code.at(i) != c; ++i) {
                if (code.at(i) == QLatin1Char('\\')) {
                    ++i;
                }
            }
            ++i;
        } else if (code.mid(i, 2) == QLatin1String("//")) {
            for (; i < n && code.at(i) != QLatin1Char('\n'); ++i) {
                out[i] = QLatin1Char(' ');
            }
        } else if (code.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = code.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            for (; i < stop; ++i) {
                if (code.at(i) != QLatin1Char('\n')) {
                    out[i] = QLatin1Char(' ');
                }
            }
        } else {
            ++i;
        }
    }
    return out;
}

QList<TLiteral> literals(const QString& code)
{
    QList<TLiteral> found;
    qsizetype i = 0;
    const qsizetype n = code.size();
    while (i < n) {
        const QChar c = code.at(i);
        if (c == QLatin1Char('\'')) {
            // A digit separator (1'000) is no character literal.
            if (i > 0 && code.at(i - 1).isDigit()) {
                ++i;
                continue;
            }
            for (++i; i < n && code.at(i) != c; ++i) {
                if (code.at(i) == QLatin1Char('\\')) {
                    ++i;
                }
            }
            ++i;
        } else if (c == QLatin1Char('"')) {
            const qsizetype start = i;
            QString text;
            for (++i; i < n && code.at(i) != c; ++i) {
                if (code.at(i) == QLatin1Char('\\')) {
                    text += code.at(i);
                    ++i;
                }
                text += code.at(i);
            }
            ++i;
            found << TLiteral{start, i, text};
        } else {
            ++i;
        }
    }
    return found;
}

bool hasCjk(const QString& text)
{
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{FF00}-\\x{FFEF}]"));
    return text.contains(cjk);
}

qsizetype skipBack(const QString& code, qsizetype i)
{
    while (i >= 0 && code.at(i).isSpace()) {
        --i;
    }
    return i;
}

QString identifierBefore(const QString& code, qsizetype i)
{
    i = skipBack(code, i);
    const qsizetype end = i + 1;
    while (i >= 0 && (code.at(i).isLetterOrNumber() || code.at(i) == QLatin1Char('_'))) {
        --i;
    }
    return code.mid(i + 1, end - i - 1);
}

// Whether the literal at index k (with any literals glued to it) is the text argument of a
// translation call: tr("…"), QT_TR_NOOP("…"), translate("Context", "…"), QT_TRANSLATE_NOOP("Context", "…").
bool inTranslationCall(const QString& code, const QList<TLiteral>& all, qsizetype k)
{
    // Back over adjacent literals that the compiler joins into one.
    while (k > 0 && skipBack(code, all.at(k).Start - 1) == all.at(k - 1).End - 1) {
        --k;
    }
    qsizetype i = skipBack(code, all.at(k).Start - 1);
    if (i < 0) {
        return false;
    }
    if (code.at(i) == QLatin1Char('(')) {
        static const QStringList direct{QStringLiteral("tr"), QStringLiteral("QT_TR_NOOP"),
                                        QStringLiteral("QT_TR_N_NOOP")};
        return direct.contains(identifierBefore(code, i - 1));
    }
    if (code.at(i) == QLatin1Char(',') && k > 0 && skipBack(code, i - 1) == all.at(k - 1).End - 1) {
        static const QStringList withContext{QStringLiteral("translate"), QStringLiteral("QT_TRANSLATE_NOOP"),
                                             QStringLiteral("QT_TRANSLATE_N_NOOP")};
        const qsizetype open = skipBack(code, all.at(k - 1).Start - 1);
        return open >= 0 && code.at(open) == QLatin1Char('(') && withContext.contains(identifierBefore(code, open - 1));
    }
    return false;
}

// Data rather than interface: the autostart entry names the program for each desktop language.
bool isData(const QString& file, const QString& text)
{
    static const QRegularExpression desktopKey(QStringLiteral("^\\w+\\[zh_TW\\]="));
    return file.endsWith(QLatin1String("desktop/TAutostart.cpp")) && desktopKey.match(text).hasMatch();
}

QStringList untranslated(const QString& path, const QString& shown)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {shown + QStringLiteral(": cannot read")};
    }
    const QString code = withoutComments(QString::fromUtf8(file.readAll()));
    const QList<TLiteral> all = literals(code);
    QStringList found;
    for (qsizetype k = 0; k < all.size(); ++k) {
        const TLiteral& literal = all.at(k);
        if (hasCjk(literal.Text) && !isData(path, literal.Text) && !inTranslationCall(code, all, k)) {
            const int line = int(code.left(literal.Start).count(QLatin1Char('\n'))) + 1;
            found << QStringLiteral("%1:%2: \"%3\"").arg(shown).arg(line).arg(literal.Text);
        }
    }
    return found;
}

} // namespace

// No Chinese text in the sources that bypasses the translations; comments may say anything.
class tst_SourceScan : public QObject {
    Q_OBJECT

private slots:
    void scannerFindsWhatItShould_data();
    void scannerFindsWhatItShould();
    void noUntranslatedText_data();
    void noUntranslatedText();
};

void tst_SourceScan::scannerFindsWhatItShould_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("untranslated");

    QTest::newRow("tr") << "x = tr(\"信箱\");" << 0;
    QTest::newRow("tr with count") << "x = tr( \"%n 封\", nullptr, n);" << 0;
    QTest::newRow("glued lines") << "x = tr(\"第一行\\n\"\n       \"第二行\");" << 0;
    QTest::newRow("translate") << "QCoreApplication::translate(\"TAccount\",\n \"錯誤\");" << 0;
    QTest::newRow("table") << "const char* t[] = {QT_TR_NOOP(\"甲\"), QT_TRANSLATE_NOOP(\"C\", \"乙\")};" << 0;
    QTest::newRow("comments") << "// 說明\n/* 說明 \"引號\" */ int x;" << 0;
    QTest::newRow("literal") << "x = QStringLiteral(\"信箱\");" << 1;
    QTest::newRow("plain char*") << "const char* t = \"信箱\";" << 1;
    QTest::newRow("glued after a bare literal") << "x = QStringLiteral(\"a\" \"信箱\");" << 1;
    QTest::newRow("context is not the text") << "translate(\"信箱\");" << 1;
    QTest::newRow("other call") << "x = str(\"信箱\");" << 1;
    QTest::newRow("escaped quote") << "x = tr(\"a\\\"\") + QString(\"乙\");" << 1;
    QTest::newRow("full-width punctuation") << "x = QStringLiteral(\"！\");" << 1;
}

void tst_SourceScan::scannerFindsWhatItShould()
{
    QFETCH(QString, code);
    QFETCH(int, untranslated);
    const QString cleaned = withoutComments(code);
    const QList<TLiteral> all = literals(cleaned);
    int found = 0;
    for (qsizetype k = 0; k < all.size(); ++k) {
        if (hasCjk(all.at(k).Text) && !inTranslationCall(cleaned, all, k)) {
            ++found;
        }
    }
    QCOMPARE(found, untranslated);
}

void tst_SourceScan::noUntranslatedText_data()
{
    QTest::addColumn<QString>("folder");
    const QDir src(QStringLiteral(MV_SOURCE_DIR));
    const QStringList folders = src.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QVERIFY(folders.contains(QStringLiteral("app")));
    for (const QString& folder : folders) {
        QTest::newRow(qPrintable(folder)) << src.filePath(folder);
    }
}

void tst_SourceScan::noUntranslatedText()
{
    QFETCH(QString, folder);
    const QDir src(QStringLiteral(MV_SOURCE_DIR));
    QStringList found;
    int files = 0;
    QDirIterator it(folder, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        ++files;
        found << untranslated(path, src.relativeFilePath(path));
    }
    QVERIFY(files > 0);
    // Every one listed, as a failure message would cut the list short.
    for (const QString& line : std::as_const(found)) {
        qWarning().noquote() << line;
    }
    QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("%1 Chinese texts outside tr()").arg(found.size())));
}

QTEST_GUILESS_MAIN(tst_SourceScan)
#include "tst_SourceScan.moc"
