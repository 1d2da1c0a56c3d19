#include "viewer/TCharsetText.h"

#include <QtTest>

class tst_TCharsetText : public QObject {
    Q_OBJECT
private slots:
    void toText_data();
    void toText();
    void visibleControls_data();
    void visibleControls();
};

void tst_TCharsetText::toText_data()
{
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<QString>("text");

    const QByteArray big5Header("Content-Type: text/plain; charset=\"big5\"\r\n"
                                "Content-Transfer-Encoding: quoted-printable\r\n\r\n");
    // The shown part is the decoded body only; the header is hidden but the whole has it.
    QTest::newRow("big5 quoted-printable, header hidden")
        << QByteArray("\xA4\xA4\xA4\xE5\r\n.\r\n") << QByteArray(big5Header + "=A4=A4=A4=E5\r\n.\r\n")
        << QStringLiteral("中文\n.\n");
    QTest::newRow("gb2312 read as GBK") << QByteArray("\xD6\xD0\xCE\xC4")
                                        << QByteArray("Content-Type: text/plain; charset=gb2312\r\n\r\n")
                                        << QStringLiteral("中文");
    QTest::newRow("iso-8859-2") << QByteArray("\xB1") << QByteArray("Content-Type: text/plain; charset=iso-8859-2\r\n")
                                << QStringLiteral("ą");
    QTest::newRow("windows-1251") << QByteArray("\xC0\xE1")
                                  << QByteArray("Content-Type: text/plain; charset=windows-1251\r\n")
                                  << QStringLiteral("Аб");
    QTest::newRow("utf-8 declared") << QByteArray("\xE4\xB8\xAD")
                                    << QByteArray("Content-Type: text/plain; charset=UTF-8\r\n")
                                    << QStringLiteral("中");
    QTest::newRow("none declared, utf-8 bytes")
        << QByteArray("caf\xC3\xA9") << QByteArray("Subject: x\r\n\r\n") << QStringLiteral("café");
    QTest::newRow("none declared, single-byte")
        << QByteArray("caf\xE9 \x80") << QByteArray("Subject: x\r\n\r\n") << QStringLiteral("café €");
    // Bytes that do not fit the declared charset cost one mark each, not the whole text.
    QTest::newRow("declared big5 but cut inside a character")
        << QByteArray("\xA4\xA4ok\xA4") << QByteArray("Content-Type: text/plain; charset=big5\r\n")
        << QStringLiteral("中ok\uFFFD");
    QTest::newRow("big5 label reads HKSCS characters")
        << QByteArray("\xA4\xA4\xA4\xE5\x8E\x68") << QByteArray("Content-Type: text/plain; charset=big5\r\n")
        << QStringLiteral("中文箒");
    // An unknown pair is one mark; an ASCII second byte stays itself, as browsers read it.
    QTest::newRow("unknown big5 pair keeps the alignment")
        << QByteArray("\xA3\xE1\xA4\xA4\x8E\x69\xA4\xE5") << QByteArray("Content-Type: text/plain; charset=big5\r\n")
        << QStringLiteral("\uFFFD中\uFFFDi文");
    QTest::newRow("stray byte in big5") << QByteArray("\xA4\xA4\xFF\xA4\xE5")
                                        << QByteArray("Content-Type: text/plain; charset=Big5\r\n")
                                        << QStringLiteral("中\uFFFD文");
    QTest::newRow("stray byte in utf-8 keeps the rest")
        << QByteArray("\xE4\xB8\xAD\xFF\xE6\x96\x87") << QByteArray("Content-Type: text/plain; charset=utf-8\r\n")
        << QStringLiteral("中\uFFFD文");
    QTest::newRow("none declared, big5 bytes")
        << QByteArray("\xB7\x7C\xC4\xB3") << QByteArray("Subject: x\r\n\r\n") << QStringLiteral("會議");
    QTest::newRow("unknown charset falls back")
        << QByteArray("\xC3\xA9") << QByteArray("Content-Type: text/plain; charset=x-no-such\r\n")
        << QStringLiteral("é");
    QTest::newRow("hostile charset name")
        << QByteArray("abc") << QByteArray("Content-Type: text/plain; charset=\"../../x\"\r\n")
        << QStringLiteral("abc");
    QTest::newRow("byte that fits nothing but Latin-1")
        << QByteArray("a\x81") << QByteArray() << QStringLiteral("a\u0081");
}

void tst_TCharsetText::toText()
{
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, whole);
    QFETCH(QString, text);
    QCOMPARE(TCharsetText::ToText(shown, whole), text);
}

void tst_TCharsetText::visibleControls_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero byte does not cut the text") << QByteArray("a\0b", 3) << QStringLiteral("a\u2400b");
    QTest::newRow("escape and delete") << QByteArray("\x1b[\x7f") << QStringLiteral("\u241b[\u2421");
    QTest::newRow("tab stays") << QByteArray("a\tb") << QStringLiteral("a\tb");
    QTest::newRow("line ends") << QByteArray("a\r\nb\rc\nd") << QStringLiteral("a\nb\nc\nd");
    QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\nb") << QStringLiteral("a\n\nb");
}

void tst_TCharsetText::visibleControls()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TCharsetText::ToText(bytes, QByteArray()), text);
}

QTEST_GUILESS_MAIN(tst_TCharsetText)
#include "tst_TCharsetText.moc"
