#include "core/EConvertError.h"
#include "settings/TVarnEncryption.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

class tst_VarnEncryption : public QObject {
    Q_OBJECT

private slots:
    void knownAnswers_data();
    void knownAnswers();
    void roundTrip_data();
    void roundTrip();
    void randomTexts();
    void everyByteValue();
    void scramblesDiffer();
    void defaultKey();
    void emptyInputSkipsExecute();
    void malformed_data();
    void malformed();
    void oddLengthStoredText();
};

void tst_VarnEncryption::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("clear");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArray>("scrambled");

    // Worked out by hand from the scrambling steps.
    QTest::newRow("one byte") << QByteArray("A") << "Q-Lumen" << 0 << QByteArray("0010");
    QTest::newRow("password") << QByteArray("password") << "Q-Lumen" << 0x5A << QByteArray("5A9BD10909ED38C478");
    QTest::newRow("empty key") << QByteArray("password") << "" << 0x5A << QByteArray("5A9C9860F324E13AC8");
    QTest::newRow("Vel Orn") << QByteArray("password") << "Vel Orn" << 0x5A << QByteArray("5A9C9860F324E13AC8");
    QTest::newRow("key cycles") << QByteArray("abcdefghij") << "" << 1 << QByteArray("0134F33BBF6AA2649A61A7");
    QTest::newRow("UTF-8 bytes") << QByteArray("密碼") << "Q-Lumen" << 255 << QByteArray("FFB449831EAD0F");
}

void tst_VarnEncryption::knownAnswers()
{
    QFETCH(QByteArray, clear);
    QFETCH(QString, key);
    QFETCH(int, start);
    QFETCH(QByteArray, scrambled);

    TVarnEncryption enc;
    enc.Key = key;
    QCOMPARE(enc.ScrambleBytes(clear, start), scrambled);
    QCOMPARE(enc.UnscrambleBytes(QString::fromLatin1(scrambled)), clear);
    QCOMPARE(enc.UnscrambleBytes(QString::fromLatin1(scrambled).toLower()), clear);

    enc.Input = QString::fromLatin1(scrambled);
    enc.Action = TVarnEncryption::atDecryption;
    enc.Execute();
    QCOMPARE(enc.Output, QString::fromUtf8(clear));
    QCOMPARE(enc.Input, QString::fromLatin1(scrambled));
    QCOMPARE(enc.Key, key);
    QCOMPARE(enc.Action, TVarnEncryption::atDecryption);
}

void tst_VarnEncryption::roundTrip_data()
{
    QTest::addColumn<QString>("clear");
    QTest::addColumn<QString>("key");

    QTest::newRow("ascii") << "secret"
                           << "Q-Lumen";
    QTest::newRow("one char") << "x"
                              << "Q-Lumen";
    QTest::newRow("blanks") << "  a b  "
                            << "Q-Lumen";
    QTest::newRow("Traditional Chinese") << "信箱密碼測試"
                                         << "Q-Lumen";
    QTest::newRow("mixed") << "pw密1碼!"
                           << "Q-Lumen";
    QTest::newRow("emoji") << "p😀w"
                           << "Q-Lumen";
    QTest::newRow("long") << QString(300, QChar(u'z')) << "Q-Lumen";
    QTest::newRow("default key") << "secret"
                                 << "";
    QTest::newRow("non-ASCII key") << "secret"
                                   << "鑰匙";
}

void tst_VarnEncryption::roundTrip()
{
    QFETCH(QString, clear);
    QFETCH(QString, key);

    TVarnEncryption enc;
    enc.Key = key;
    enc.Input = clear;
    enc.Action = TVarnEncryption::atEncryption;
    enc.Execute();
    const QString stored = enc.Output;
    QCOMPARE(enc.Input, clear);
    QCOMPARE(stored.size(), 2 * (clear.toUtf8().size() + 1));
    QVERIFY(QRegularExpression(QStringLiteral("^([0-9A-F]{2})+$")).match(stored).hasMatch());

    TVarnEncryption other;
    other.Key = key;
    QCOMPARE(other.Unscramble(stored), clear);
    QCOMPARE(other.Unscramble(stored.toLower()), clear);
}

void tst_VarnEncryption::randomTexts()
{
    QRandomGenerator rng(20240611);
    TVarnEncryption enc;
    enc.Key = QStringLiteral("Q-Lumen");
    for (int round = 0; round < 500; ++round) {
        QString clear;
        const int length = static_cast<int>(rng.bounded(1, 40));
        for (int i = 0; i < length; ++i) {
            // Printable ASCII and CJK, so the text is valid UTF-8 either way.
            clear += rng.bounded(3) == 0 ? QChar(static_cast<ushort>(rng.bounded(0x4E00, 0x9FA5)))
                                         : QChar(static_cast<ushort>(rng.bounded(0x20, 0x7F)));
        }
        const QString stored = enc.Scramble(clear);
        QCOMPARE(enc.Unscramble(stored), clear);
    }
}

void tst_VarnEncryption::everyByteValue()
{
    // Every byte after every possible previous scrambled value: 1..254 come back as they
    // were; 255 comes back as 0 exactly when the scrambled value before it is 255.
    TVarnEncryption enc;
    enc.Key = QStringLiteral("Q-Lumen");
    for (int start = 0; start < 256; ++start) {
        for (int b = 0; b < 256; ++b) {
            const QByteArray clear(1, static_cast<char>(b));
            const QByteArray stored = enc.ScrambleBytes(clear, start);
            const QByteArray back = enc.UnscrambleBytes(QString::fromLatin1(stored));
            QCOMPARE(back.size(), 1);
            const int got = static_cast<quint8>(back.at(0));
            if (b == 0) {
                // 0 and 255 scramble alike, so a zero byte comes back as 255 unless the start is 255.
                QCOMPARE(got, start == 255 ? 0 : 255);
            } else if (b == 255 && start == 255) {
                QCOMPARE(got, 0);
            } else {
                QCOMPARE(got, b);
            }
        }
    }

    // All byte values 1..255 in one text, each after a scrambled value that is not 255.
    QByteArray all;
    for (int b = 1; b < 256; ++b) {
        all.append(static_cast<char>(b));
    }
    const QByteArray stored = enc.ScrambleBytes(all, 0);
    QByteArray expected = all;
    for (int i = 0; i < all.size(); ++i) {
        const int prev = QByteArray::fromHex(stored.mid(2 * i, 2)).at(0) & 0xFF;
        if (prev == 255 && (all.at(i) & 0xFF) == 255) {
            expected[i] = 0;
        }
    }
    QCOMPARE(enc.UnscrambleBytes(QString::fromLatin1(stored)), expected);
}

void tst_VarnEncryption::scramblesDiffer()
{
    TVarnEncryption enc;
    enc.Key = QStringLiteral("Q-Lumen");
    const QString first = enc.Scramble(QStringLiteral("secret"));
    bool differs = false;
    // A random start repeats one time in 256; twenty tries all alike means no randomness.
    for (int i = 0; i < 20 && !differs; ++i) {
        const QString again = enc.Scramble(QStringLiteral("secret"));
        QCOMPARE(enc.Unscramble(again), QStringLiteral("secret"));
        differs = again != first;
    }
    QVERIFY(differs);
    QCOMPARE(enc.Unscramble(first), QStringLiteral("secret"));
}

void tst_VarnEncryption::defaultKey()
{
    TVarnEncryption empty;
    TVarnEncryption named;
    named.Key = QStringLiteral("Vel Orn");
    TVarnEncryption program;
    program.Key = QStringLiteral("Q-Lumen");
    const QString clear = QStringLiteral("a text longer than the key, so the key wraps");
    const QString stored = empty.Scramble(clear);
    QCOMPARE(named.Unscramble(stored), clear);
    QVERIFY(program.Unscramble(stored) != clear);
    // A key that only starts like the default one does not match past its length.
    TVarnEncryption shorter;
    shorter.Key = QStringLiteral("Vel O");
    QVERIFY(shorter.Unscramble(stored) != clear);
}

void tst_VarnEncryption::emptyInputSkipsExecute()
{
    TVarnEncryption enc;
    enc.Output = QStringLiteral("stale");
    QCOMPARE(enc.Scramble(QString()), QString());
    QCOMPARE(enc.Output, QString());
    enc.Output = QStringLiteral("stale");
    QCOMPARE(enc.Unscramble(QString()), QString());
    QCOMPARE(enc.Action, TVarnEncryption::atDecryption);
}

void tst_VarnEncryption::malformed_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("message");

    QTest::newRow("one char") << "A"
                              << "'$' is not a valid integer value";
    QTest::newRow("two chars") << "A1"
                               << "'$' is not a valid integer value";
    QTest::newRow("bad start pair") << "G100"
                                    << "'$G1' is not a valid integer value";
    QTest::newRow("bad later pair") << "0041ZZ"
                                    << "'$ZZ' is not a valid integer value";
    QTest::newRow("blank in pair") << "00 1"
                                   << "'$ 1' is not a valid integer value";
    QTest::newRow("sign in pair") << "00-1"
                                  << "'$-1' is not a valid integer value";
    QTest::newRow("plain password") << "secret"
                                    << "'$se' is not a valid integer value";
    QTest::newRow("bad single third char") << "00G"
                                           << "'$G' is not a valid integer value";
}

void tst_VarnEncryption::malformed()
{
    QFETCH(QString, stored);
    QFETCH(QString, message);

    TVarnEncryption enc;
    enc.Key = QStringLiteral("Q-Lumen");
    enc.Output = QStringLiteral("before");
    enc.Input = stored;
    enc.Action = TVarnEncryption::atDecryption;
    try {
        enc.Execute();
        QFAIL("no EConvertError");
    } catch (const EConvertError& e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(enc.Output, QStringLiteral("before"));

    // The program's calling order: the failure leaves the emptied Output.
    QVERIFY_THROWS_EXCEPTION(EConvertError, enc.Unscramble(stored));
    QCOMPARE(enc.Output, QString());
}

void tst_VarnEncryption::oddLengthStoredText()
{
    // A lone character is read as a pair of its own only in third place; after that the
    // loop stops before a last lone character.
    TVarnEncryption enc;
    enc.Key = QStringLiteral("Q-Lumen");
    QCOMPARE(enc.UnscrambleBytes(QStringLiteral("0010")), QByteArray("A"));
    QCOMPARE(enc.UnscrambleBytes(QStringLiteral("00100")), QByteArray("A"));
    QCOMPARE(enc.UnscrambleBytes(QStringLiteral("001")), enc.UnscrambleBytes(QStringLiteral("0001")));
}

QTEST_GUILESS_MAIN(tst_VarnEncryption)
#include "tst_VarnEncryption.moc"
