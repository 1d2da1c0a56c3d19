#include "core/EConvertError.h"
#include "core/TIntConvert.h"

#include <QtTest>

class tst_IntConvert : public QObject {
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void strictMessage_data();
    void strictMessage();
};

void tst_IntConvert::rules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("lenientOk");
    QTest::addColumn<int>("lenientValue");
    QTest::addColumn<bool>("strictOk");
    QTest::addColumn<int>("strictValue");

    QTest::newRow("decimal") << "12" << true << 12 << true << 12;
    QTest::newRow("leading blanks") << "  12" << true << 12 << true << 12;
    QTest::newRow("plus") << "+12" << true << 12 << true << 12;
    QTest::newRow("minus") << "-12" << true << -12 << true << -12;
    QTest::newRow("blank then sign") << " -7" << true << -7 << true << -7;
    QTest::newRow("leading zeros") << "007" << true << 7 << true << 7;
    QTest::newRow("0x1F") << "0x1F" << true << 31 << false << 0;
    QTest::newRow("0X1f") << "0X1f" << true << 31 << false << 0;
    QTest::newRow("0x1F0") << "0x1F0" << true << 496 << false << 0;
    QTest::newRow("$1F") << "$1F" << true << 31 << true << 31;
    QTest::newRow("$ff lower case") << "$ff" << true << 255 << true << 255;
    QTest::newRow("-$10") << "-$10" << true << -16 << true << -16;
    QTest::newRow("0x alone") << "0x" << false << 0 << false << 0;
    QTest::newRow("blank before 0x") << " 0x1F" << false << 0 << false << 0;
    QTest::newRow("sign before 0x") << "-0x1F" << false << 0 << false << 0;
    QTest::newRow("0x then sign") << "0x-1" << false << 0 << false << 0;
    QTest::newRow("$ alone") << "$" << false << 0 << false << 0;
    QTest::newRow("sign alone") << "-" << false << 0 << false << 0;
    QTest::newRow("empty") << "" << false << 0 << false << 0;
    QTest::newRow("blanks only") << "   " << false << 0 << false << 0;
    QTest::newRow("trailing blank") << "12 " << false << 0 << false << 0;
    QTest::newRow("hex digits without $") << "1F" << false << 0 << false << 0;
    QTest::newRow("blank after sign") << "- 1" << false << 0 << false << 0;
    QTest::newRow("two signs") << "--1" << false << 0 << false << 0;
    QTest::newRow("tab is not a blank") << "\t1" << false << 0 << false << 0;
    QTest::newRow("word") << "yes" << false << 0 << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0 << false << 0;
    QTest::newRow("full-width digit") << "１" << false << 0 << false << 0;
    QTest::newRow("max") << "2147483647" << true << 2147483647 << true << 2147483647;
    QTest::newRow("min") << "-2147483648" << true << (-2147483647 - 1) << true << (-2147483647 - 1);
    QTest::newRow("max + 1") << "2147483648" << false << 0 << false << 0;
    QTest::newRow("min - 1") << "-2147483649" << false << 0 << false << 0;
    QTest::newRow("far too long") << "99999999999999999999" << false << 0 << false << 0;
    QTest::newRow("long zeros") << "0000000000000000000012" << true << 12 << true << 12;
    // Hex takes any 32-bit pattern, as a 32-bit hex literal of the original toolkit did:
    // system colours with the top bit set read back as negative numbers.
    QTest::newRow("$7FFFFFFF") << "$7FFFFFFF" << true << 2147483647 << true << 2147483647;
    QTest::newRow("$80000000") << "$80000000" << true << (-2147483647 - 1) << true << (-2147483647 - 1);
    QTest::newRow("$FFFFFFFF") << "$FFFFFFFF" << true << -1 << true << -1;
    QTest::newRow("0xFF000005") << "0xFF000005" << true << -16777211 << false << 0;
    QTest::newRow("$100000000") << "$100000000" << false << 0 << false << 0;
    QTest::newRow("$ with zeros") << "$000000000001" << true << 1 << true << 1;
}

void tst_IntConvert::rules()
{
    QFETCH(QString, text);
    QFETCH(bool, lenientOk);
    QFETCH(int, lenientValue);
    QFETCH(bool, strictOk);
    QFETCH(int, strictValue);

    int value = -99;
    QCOMPARE(TIntConvert::TryParse(text, value), lenientOk);
    if (lenientOk) {
        QCOMPARE(value, lenientValue);
    }

    value = -99;
    QCOMPARE(TIntConvert::TryStrToInt(text, value), strictOk);
    if (strictOk) {
        QCOMPARE(value, strictValue);
        QCOMPARE(TIntConvert::StrToInt(text), strictValue);
    } else {
        QVERIFY_THROWS_EXCEPTION(EConvertError, TIntConvert::StrToInt(text));
    }
}

void tst_IntConvert::strictMessage_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("word") << "abc"
                          << "'abc' is not a valid integer value";
    QTest::newRow("empty") << ""
                           << "'' is not a valid integer value";
    QTest::newRow("0x kept as typed") << "0x10"
                                      << "'0x10' is not a valid integer value";
    QTest::newRow("trailing blank") << "30 "
                                    << "'30 ' is not a valid integer value";
    QTest::newRow("Chinese") << "三十"
                             << "'三十' is not a valid integer value";
}

void tst_IntConvert::strictMessage()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    try {
        TIntConvert::StrToInt(text);
        QFAIL("no EConvertError");
    } catch (const EConvertError& e) {
        QCOMPARE(e.message(), message);
    }
}

QTEST_GUILESS_MAIN(tst_IntConvert)
#include "tst_IntConvert.moc"
