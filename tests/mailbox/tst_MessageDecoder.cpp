#include "mailbox/TMessageDecoder.h"

#include <QtTest>

class tst_MessageDecoder : public QObject {
    Q_OBJECT
private slots:
    void quotedPrintable_data();
    void quotedPrintable();
    void base64_data();
    void base64();
    void headerPartKept();
    void noBlankLine();
    void hexPair_data();
    void hexPair();
    void base64Value();
};

namespace {
QByteArray message(const QByteArray& body)
{
    return "+OK 99 octets\r\nSubject: t\r\n\r\n" + body + "\r\n.\r\n";
}
} // namespace

void tst_MessageDecoder::quotedPrintable_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("soft break and 8-bit")
        << QByteArray("caf=E9 au lait=\r\nsuite") << QByteArray("caf\xE9 au laitsuite");
    QTest::newRow("equals sign") << QByteArray("a=3Db") << QByteArray("a=b");
    QTest::newRow("not hex disappears") << QByteArray("x=ZZy") << QByteArray("xZZy");
    QTest::newRow("lower-case hex") << QByteArray("x=e9") << QByteArray("x\xE9");
    // An extra first line holding a single space.
    QTest::newRow("starts with equals") << QByteArray("=41bc") << QByteArray(" \r\nAbc");
    QTest::newRow("zero byte kept") << QByteArray("a=00b") << QByteArray("a\0b", 3);
    QTest::newRow("equals at the very end") << QByteArray("tail=") << QByteArray("tail");
    QTest::newRow("hard line breaks stay") << QByteArray("one\r\ntwo") << QByteArray("one\r\ntwo");
    QTest::newRow("escaped CR LF stays") << QByteArray("a=0D=0Ab") << QByteArray("a\r\nb");
    // Only "=" at a line end joins lines; a CR LF that no "=" precedes is text.
    QTest::newRow("blank first line kept") << QByteArray("\r\nafter") << QByteArray("\r\nafter");
    QTest::newRow("escaped CR before a bare LF") << QByteArray("a=0D\nb") << QByteArray("a\r\nb");
    QTest::newRow("escaped CR before CR LF") << QByteArray("a=0D\r\nb") << QByteArray("a\r\r\nb");
    QTest::newRow("soft break before a blank line") << QByteArray("a=\r\n\r\nb") << QByteArray("a\r\nb");
}

void tst_MessageDecoder::quotedPrintable()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, decoded);
    QCOMPARE(TMessageDecoder::DecodeMessage(QStringLiteral("QP"), message(body)),
             "+OK 99 octets\r\nSubject: t\r\n\r\n" + decoded + "\r\n.\r\n");
}

void tst_MessageDecoder::base64_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("decoded");
    QTest::newRow("three bytes") << QByteArray("QUJD") << QByteArray("ABC");
    QTest::newRow("one pad") << QByteArray("QUI=") << QByteArray("AB");
    QTest::newRow("two pads") << QByteArray("QQ==") << QByteArray("A");
    QTest::newRow("line breaks inside") << QByteArray("QU\r\nJD\r\nRE\r\nVG") << QByteArray("ABCDEF");
    QTest::newRow("garbage skipped") << QByteArray("Q*U J!D") << QByteArray("ABC");
    QTest::newRow("after equals ignored") << QByteArray("QQ==QUJD") << QByteArray("A");
    QTest::newRow("high bytes") << QByteArray("/+8=") << QByteArray("\xFF\xEF");
}

void tst_MessageDecoder::base64()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, decoded);
    QCOMPARE(TMessageDecoder::DecodeMessage(QStringLiteral("BASE64"), message(body)),
             "+OK 99 octets\r\nSubject: t\r\n\r\n" + decoded + "\r\n.\r\n");
}

void tst_MessageDecoder::headerPartKept()
{
    // Only the first terminating line after the blank line ends the body; header bytes
    // that look encoded are not touched.
    const QByteArray text = "+OK\r\nSubject: a=3Db\r\n\r\nx=3Dy\r\n.\r\ntrailing";
    QCOMPARE(TMessageDecoder::DecodeMessage(QStringLiteral("QP"), text),
             QByteArray("+OK\r\nSubject: a=3Db\r\n\r\nx=y\r\n.\r\n"));
}

void tst_MessageDecoder::noBlankLine()
{
    // Without a blank line the header part is empty and the whole text is the body.
    QCOMPARE(TMessageDecoder::DecodeMessage(QStringLiteral("BASE64"), "QUJD"), QByteArray("\r\n\r\nABC\r\n.\r\n"));
}

void tst_MessageDecoder::hexPair_data()
{
    QTest::addColumn<QByteArray>("pair");
    QTest::addColumn<bool>("hex");
    QTest::newRow("digits") << QByteArray("09") << true;
    QTest::newRow("upper") << QByteArray("AF") << true;
    QTest::newRow("mixed case") << QByteArray("eA") << true;
    QTest::newRow("G") << QByteArray("0G") << false;
    QTest::newRow("space") << QByteArray(" 1") << false;
    QTest::newRow("sign") << QByteArray("-1") << false;
    QTest::newRow("CR LF") << QByteArray("\r\n") << false;
    QTest::newRow("one char") << QByteArray("A") << false;
}

void tst_MessageDecoder::hexPair()
{
    QFETCH(QByteArray, pair);
    QFETCH(bool, hex);
    QCOMPARE(TMessageDecoder::IsHexPair(pair), hex);
}

void tst_MessageDecoder::base64Value()
{
    const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < alphabet.size(); ++i) {
        QCOMPARE(TMessageDecoder::Base64Value(alphabet[i]), i);
    }
    QCOMPARE(TMessageDecoder::Base64Value('='), 0);
    QCOMPARE(TMessageDecoder::Base64Value('\n'), 0);
}

QTEST_GUILESS_MAIN(tst_MessageDecoder)
#include "tst_MessageDecoder.moc"
