#include "viewer/TCharsetText.h"

#include <QtTest>

class TestCharsetText : public QObject {
    Q_OBJECT
private slots:
    void declaredCharset_data();
    void declaredCharset();
    void toText_data();
    void toText();
    void visibleControls_data();
    void visibleControls();
};

void TestCharsetText::declaredCharset_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("charset");

    QTest::newRow("quoted, mixed case") << QByteArray("+OK\r\nContent-Type: text/plain; charset=\"Big5\"\r\n\r\nx")
                                        << QByteArray("big5");
    QTest::newRow("lower-case header, bare value")
        << QByteArray("content-type: text/plain;charset=gb2312\r\n\r\n") << QByteArray("gb2312");
    QTest::newRow("folded header") << QByteArray(
                                          "Subject: a\r\nContent-Type: text/plain;\r\n\tcharset=\"utf-8\"\r\n\r\n")
                                   << QByteArray("utf-8");
    QTest::newRow("none declared") << QByteArray("Subject: a\r\nContent-Type: text/plain\r\n\r\nbody") << QByteArray();
    QTest::newRow("charset only in body text")
        << QByteArray("Subject: a\r\n\r\nplease use charset=big5 next time\r\n") << QByteArray();
    QTest::newRow("multipart: first part that names one")
        << QByteArray("Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\n"
                      "Content-Type: text/plain; charset=iso-8859-2\r\n\r\nx\r\n--b--\r\n")
        << QByteArray("iso-8859-2");
}

void TestCharsetText::declaredCharset()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, charset);
    QCOMPARE(TCharsetText::DeclaredCharset(message), charset);
}

void TestCharsetText::toText_data()
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
    QTest::newRow("declared utf-8 but bytes do not fit")
        << QByteArray("caf\xE9") << QByteArray("Content-Type: text/plain; charset=utf-8\r\n") << QStringLiteral("café");
    QTest::newRow("declared big5 but cut inside a character")
        << QByteArray("ok\xA4") << QByteArray("Content-Type: text/plain; charset=big5\r\n") << QStringLiteral("ok¤");
    QTest::newRow("unknown charset falls back")
        << QByteArray("\xC3\xA9") << QByteArray("Content-Type: text/plain; charset=x-no-such\r\n")
        << QStringLiteral("é");
    QTest::newRow("hostile charset name")
        << QByteArray("abc") << QByteArray("Content-Type: text/plain; charset=\"../../x\"\r\n")
        << QStringLiteral("abc");
    QTest::newRow("byte that fits nothing but Latin-1")
        << QByteArray("a\x81") << QByteArray() << QStringLiteral("a\u0081");
}

void TestCharsetText::toText()
{
    QFETCH(QByteArray, shown);
    QFETCH(QByteArray, whole);
    QFETCH(QString, text);
    QCOMPARE(TCharsetText::ToText(shown, whole), text);
}

void TestCharsetText::visibleControls_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero byte does not cut the text") << QByteArray("a\0b", 3) << QStringLiteral("a\u2400b");
    QTest::newRow("escape and delete") << QByteArray("\x1b[\x7f") << QStringLiteral("\u241b[\u2421");
    QTest::newRow("tab stays") << QByteArray("a\tb") << QStringLiteral("a\tb");
    QTest::newRow("line ends") << QByteArray("a\r\nb\rc\nd") << QStringLiteral("a\nb\nc\nd");
    QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\nb") << QStringLiteral("a\n\nb");
}

void TestCharsetText::visibleControls()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(TCharsetText::ToText(bytes, QByteArray()), text);
}

QTEST_GUILESS_MAIN(TestCharsetText)
#include "tst_TCharsetText.moc"
