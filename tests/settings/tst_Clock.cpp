#include "settings/TClock.h"

#include <QElapsedTimer>
#include <QtTest>

class TestClock : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { TClock::SetReal(); }

    void dayCounts_data();
    void dayCounts();
    void fixedClock();
    void waitWithFixedClockDoesNotSleep();
};

void TestClock::dayCounts_data()
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

void TestClock::dayCounts()
{
    QFETCH(QDateTime, dateTime);
    QFETCH(double, days);
    QVERIFY(qAbs(TClock::FromDateTime(dateTime) - days) < 1e-9);
    QCOMPARE(TClock::ToDateTime(days), dateTime);
    QCOMPARE(TClock::ToDateTime(TClock::FromDateTime(dateTime)), dateTime);
}

void TestClock::fixedClock()
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

void TestClock::waitWithFixedClockDoesNotSleep()
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

QTEST_GUILESS_MAIN(TestClock)
#include "tst_Clock.moc"
