#include "mailbox/TCharset.h"

#include <QtTest>

class tst_Charset : public QObject {
    Q_OBJECT
private slots:
    void declaredCharset_data();
    void declaredCharset();
    void longFoldedHeader();
    void headerText_data();
    void headerText();
};

void tst_Charset::declaredCharset_data()
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
    QTest::newRow("quoted header in the body does not count")
        << QByteArray("Subject: a\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
                      "> Content-Type: text/plain; charset=iso-8859-1\r\nContent-Type: text/html; charset=big5\r\n")
        << QByteArray("utf-8");
    QTest::newRow("header without charset, body line with one")
        << QByteArray("Content-Type: text/plain\r\n\r\nContent-Type: text/plain; charset=koi8-r\r\n") << QByteArray();
    QTest::newRow("LF-only line ends") << QByteArray("Subject: a\nContent-Type: text/plain;\n charset=big5\n\nx")
                                       << QByteArray("big5");
    QTest::newRow("charset-like parameter name")
        << QByteArray("Content-Type: text/plain; xcharset=koi8-r\r\n\r\n") << QByteArray();
    QTest::newRow("name inside a quoted value")
        << QByteArray("Content-Type: text/plain; name=\"a; charset=koi8-r\"; charset=big5\r\n\r\n")
        << QByteArray("big5");
    QTest::newRow("multipart: first part that names one")
        << QByteArray("Content-Type: multipart/alternative; boundary=\"b\"\r\n\r\n--b\r\n"
                      "Content-Type: text/plain; charset=iso-8859-2\r\n\r\nx\r\n--b--\r\n")
        << QByteArray("iso-8859-2");
}

void tst_Charset::declaredCharset()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, charset);
    QCOMPARE(TCharset::DeclaredCharset(message), charset);
}

void tst_Charset::longFoldedHeader()
{
    // Tens of thousands of continuation lines must not lose the charset at their end.
    QByteArray message = "Subject: a\r\nContent-Type: text/plain;\r\n";
    for (int i = 0; i < 30000; ++i) {
        message += " x=1;\r\n";
    }
    message += " charset=big5\r\n\r\n";
    QCOMPARE(TCharset::DeclaredCharset(message), QByteArray("big5"));
    QCOMPARE(TCharset::ToText("\xA4\xA4", TCharset::DeclaredCharset(message)), QStringLiteral("中"));
}

void tst_Charset::headerText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("text");
    const QByteArray plain("Subject: x\r\n\r\nbody\r\n");
    QTest::newRow("utf-8 stays utf-8 whatever is declared")
        << QByteArray("\xE6\x9C\x83") << QByteArray("Content-Type: text/plain; charset=big5\r\n\r\n")
        << QStringLiteral("會");
    QTest::newRow("raw big5, nothing declared")
        << QByteArray("\xB7\x7C\xC4\xB3\xB3\x71\xAA\xBE") << plain << QStringLiteral("會議通知");
    QTest::newRow("raw bytes by the declared charset")
        << QByteArray("\xD6\xD0\xCE\xC4") << QByteArray("Content-Type: text/plain; charset=gb2312\r\n\r\n")
        << QStringLiteral("中文");
    QTest::newRow("not big5: windows-1252") << QByteArray("Caf\xE9 \x80") << plain << QStringLiteral("Café €");
    QTest::newRow("big5 cut short: windows-1252") << QByteArray("caf\xE9") << plain << QStringLiteral("café");
    QTest::newRow("byte that windows-1252 leaves open") << QByteArray("a\x81") << plain << QStringLiteral("a\u0081");
    QTest::newRow("us-ascii label does not mark 8-bit bytes")
        << QByteArray("\xA4\xA4") << QByteArray("Content-Type: text/plain; charset=us-ascii\r\n\r\n")
        << QStringLiteral("中");
    QTest::newRow("unknown label: guessed")
        << QByteArray("\xA4\xA4") << QByteArray("Content-Type: text/plain; charset=x-none\r\n\r\n")
        << QStringLiteral("中");
}

void tst_Charset::headerText()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, message);
    QFETCH(QString, text);
    QCOMPARE(TCharset::HeaderText(value, message), text);
}

QTEST_GUILESS_MAIN(tst_Charset)
#include "tst_Charset.moc"
