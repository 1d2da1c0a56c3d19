#include "app/TSchedule.h"
#include "settings/TClock.h"

#include <QTest>

class tst_Schedule : public QObject {
    Q_OBJECT
private slots:
    void nextCheck_data();
    void nextCheck();
};

static double at(const char* when)
{
    return TClock::FromDateTime(QDateTime::fromString(QLatin1String(when), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
}

void tst_Schedule::nextCheck_data()
{
    QTest::addColumn<double>("now");
    QTest::addColumn<bool>("hourMode");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QList<int>>("hours");
    QTest::addColumn<double>("expected");

    const double previous = at("2026-01-01 00:00:00.000");
    QTest::newRow("interval counts from the tick")
        << at("2026-03-10 10:00:00.400") << false << 3 << QList<int>() << at("2026-03-10 10:03:00.400");
    QTest::newRow("interval zero is due at once")
        << at("2026-03-10 10:00:00.000") << false << 0 << QList<int>() << at("2026-03-10 10:00:00.000");
    const QList<int> four{6, 12, 18, 24};
    QTest::newRow("later today") << at("2026-03-10 13:00:00.000") << true << 3 << four << at("2026-03-10 18:00:00.000");
    QTest::newRow("hour 24 is the coming midnight")
        << at("2026-03-10 18:00:01.000") << true << 3 << four << at("2026-03-11 00:00:00.000");
    QTest::newRow("right after midnight")
        << at("2026-03-11 00:00:01.000") << true << 3 << four << at("2026-03-11 06:00:00.000");
    QTest::newRow("the hour just reached is not chosen again")
        << at("2026-03-10 06:00:00.000") << true << 3 << four << at("2026-03-10 12:00:00.000");
    QTest::newRow("tomorrow's first hour")
        << at("2026-03-10 13:00:00.000") << true << 3 << QList<int>{6, 12} << at("2026-03-11 06:00:00.000");
    QTest::newRow("no hour keeps the previous time")
        << at("2026-03-10 13:00:00.000") << true << 3 << QList<int>() << previous;
    QTest::newRow("month end rolls over")
        << at("2026-03-31 23:30:00.000") << true << 3 << QList<int>{1} << at("2026-04-01 01:00:00.000");
}

void tst_Schedule::nextCheck()
{
    QFETCH(double, now);
    QFETCH(bool, hourMode);
    QFETCH(int, interval);
    QFETCH(QList<int>, hours);
    QFETCH(double, expected);
    bool flags[24] = {};
    for (int h : hours) {
        flags[h - 1] = true;
    }
    const double previous = at("2026-01-01 00:00:00.000");
    const double next = TSchedule::NextCheck(now, hourMode, interval, flags, previous);
    // Compare to the millisecond.
    QCOMPARE(TClock::ToDateTime(next), TClock::ToDateTime(expected));
}

QTEST_GUILESS_MAIN(tst_Schedule)
#include "tst_Schedule.moc"
