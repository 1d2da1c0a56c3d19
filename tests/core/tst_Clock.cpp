#include "core/TClock.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

class tst_Clock : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TClock::SetReal(); }

    void dayCounts_data();
    void dayCounts();
    void fixedClock();
    void waitWithFixedClockDoesNotSleep();
    void monotonicIgnoresWallJumps();
    void timeText_data();
    void timeText();
};

void tst_Clock::dayCounts_data()
{
    QTest::addColumn<QDateTime>("dateTime");
    QTest::addColumn<double>("days");

    QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
    QTest::newRow("one hour") << QDateTime(QDate(1899, 12, 30), QTime(1, 0)) << 1.0 / 24;
    QTest::newRow("one minute") << QDateTime(QDate(1899, 12, 30), QTime(0, 1)) << 1.0 / 1440;
    QTest::newRow("1900-01-01") << QDateTime(QDate(1900, 1, 1), QTime(0, 0)) << 2.0;
    QTest::newRow("noon 2000-01-01") << QDateTime(QDate(2000, 1, 1), QTime(12, 0)) << 36526.5;
    QTest::newRow("18:00 2024-02-29") << QDateTime(QDate(2024, 2, 29), QTime(18, 0)) << 45351.75;
    QTest::newRow("last second of a day")
        << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59)) << 45657.0 + 86399.0 / 86400;
}

void tst_Clock::dayCounts()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(double, days);
    QVERIFY(qAbs(TClock::FromDateTime(dateTime) - days) < 1e-9);
    QCOMPARE(TClock::ToDateTime(days), dateTime);
    QCOMPARE(TClock::ToDateTime(TClock::FromDateTime(dateTime)), dateTime);
}

void tst_Clock::fixedClock()
{
    const QDateTime start(QDate(2024, 5, 1), QTime(23, 30));
    TClock::SetFixed(start);
    QVERIFY(TClock::IsFixed());
    QCOMPARE(TClock::CurrentDateTime(), start);
    const double before = TClock::Now();
    QCOMPARE(before, TClock::FromDateTime(start));

    TClock::Advance(3600 * 1000);
    QVERIFY(qAbs(TClock::Now() - before - 1.0 / 24) < 1e-9);
    QCOMPARE(TClock::CurrentDateTime(), QDateTime(QDate(2024, 5, 2), QTime(0, 30)));

    TClock::SetReal();
    QVERIFY(!TClock::IsFixed());
    QVERIFY(qAbs(TClock::CurrentDateTime().secsTo(QDateTime::currentDateTime())) < 5);
    // Advancing a real clock changes nothing.
    TClock::Advance(86400LL * 1000 * 10);
    QVERIFY(qAbs(TClock::Now() - TClock::FromDateTime(QDateTime::currentDateTime())) < 1.0 / 1440);
}

void tst_Clock::waitWithFixedClockDoesNotSleep()
{
    const QDateTime start(QDate(2024, 5, 1), QTime(8, 0));
    TClock::SetFixed(start);
    QElapsedTimer timer;
    timer.start();
    TClock::Wait(90);
    TClock::Wait(0);
    TClock::Wait(-5);
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(TClock::CurrentDateTime(), start.addSecs(90));
}

void tst_Clock::monotonicIgnoresWallJumps()
{
    const QDateTime start(QDate(2024, 5, 1), QTime(8, 0));
    TClock::SetFixed(start);
    const qint64 m0 = TClock::Monotonic();
    TClock::JumpWall(-3600 * 1000);
    QCOMPARE(TClock::CurrentDateTime(), start.addSecs(-3600));
    QCOMPARE(TClock::Monotonic(), m0);
    TClock::Advance(1500);
    QCOMPARE(TClock::Monotonic(), m0 + 1500);
    QCOMPARE(TClock::CurrentDateTime(), start.addSecs(-3600).addMSecs(1500));
    TClock::Advance(-1000);
    QCOMPARE(TClock::Monotonic(), m0 + 1500);
    // Back to the real clock after a long fixed run: still no step backwards.
    TClock::Advance(86400LL * 1000);
    const qint64 fixedEnd = TClock::Monotonic();
    TClock::SetReal();
    QVERIFY(TClock::Monotonic() >= fixedEnd);
}

void tst_Clock::timeText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("hour"); // how 13 o'clock is written
    QTest::newRow("zh_TW") << "zh_TW"
                           << "1";
    QTest::newRow("en_US") << "en_US"
                           << "1";
    QTest::newRow("de_DE") << "de_DE"
                           << "13";
    QTest::newRow("zh_CN") << "zh_CN"
                           << "13";
    QTest::newRow("ja_JP") << "ja_JP"
                           << "13";
    QTest::newRow("ko_KR") << "ko_KR"
                           << "1";
    QTest::newRow("fa_IR, zone in brackets") << "fa_IR"
                                             << "۱۳";
}

void tst_Clock::timeText()
{
    QFETCH(QString, locale);
    QFETCH(QString, hour);
    const QLocale l(locale);
    const QString text = TClock::TimeText(QTime(13, 4, 5), l);
    QString rest = text;
    rest.remove(l.pmText(), Qt::CaseInsensitive);
    // No zone, no brackets left behind, no pattern letter printed as it is.
    QVERIFY2(!rest.contains(QRegularExpression(QStringLiteral("[A-Za-z\\[\\]()]"))), qPrintable(text));
    QVERIFY2(text == text.trimmed(), qPrintable(text));
    // Hour, minutes and seconds each stand as a number of their own ("1" of "下午1:04:05").
    const auto number = [](const QString& digits) {
        return QRegularExpression(QStringLiteral("(?<!\\d)") + digits + QStringLiteral("(?!\\d)"));
    };
    QVERIFY2(text.contains(number(hour)), qPrintable(text));
    QVERIFY2(text.contains(number(l.zeroDigit() + QStringLiteral("?") + l.toString(4))), qPrintable(text));
    QVERIFY2(text.contains(number(l.zeroDigit() + QStringLiteral("?") + l.toString(5))), qPrintable(text));
    if (hour == QLatin1String("1")) {
        QVERIFY2(text.contains(l.pmText()), qPrintable(text));
    }
}

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_Clock.moc"
