#include "app/TFormMain.h"
#include "core/TClock.h"
#include "core/TSchedule.h"
#include "status/TFormStatus.h"
#include "widgets/TColorStringGrid.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_Schedule : public QObject {
    Q_OBJECT
private slots:
    void cleanup();
    void nextCheck_data();
    void nextCheck();
    void tickOnListedHour_data();
    void tickOnListedHour();
    void rhythmAcrossClockChanges_data();
    void rhythmAcrossClockChanges();
    void clockCells_data();
    void clockCells();

private:
    TFormMain* start(const QString& ini);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TFormMain> m_main;
};

void tst_Schedule::cleanup()
{
    m_main.reset();
    m_dir.reset();
    TClock::SetReal();
    QLocale::setDefault(QLocale::c());
}

TFormMain* tst_Schedule::start(const QString& ini)
{
    m_dir = std::make_unique<QTemporaryDir>();
    const QString path = m_dir->filePath(QStringLiteral("Mailvane.ini"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("[Option]\nStartupCheck=0\n%1").arg(ini).toUtf8());
    f.close();
    m_main = std::make_unique<TFormMain>(path);
    m_main->Timer->stop(); // the test ticks by hand
    m_main->show();
    m_main->CreateStatusWindow();
    m_main->Startings();
    return m_main.get();
}

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

void tst_Schedule::tickOnListedHour_data()
{
    QTest::addColumn<int>("hour");
    for (int h = 0; h < 24; ++h) {
        QTest::addRow("%02d:00", h) << h;
    }
}

void tst_Schedule::tickOnListedHour()
{
    // Every hour listed: a tick exactly on one hour plans the next, never the same again.
    QFETCH(int, hour);
    bool flags[24];
    std::fill(std::begin(flags), std::end(flags), true);
    const QDateTime now(QDate(2026, 12, 8), QTime(hour, 0));
    const double next = TSchedule::NextCheck(TClock::FromDateTime(now), true, 3, flags, 0);
    QCOMPARE(TClock::ToDateTime(next), now.addSecs(3600));
}

void tst_Schedule::rhythmAcrossClockChanges_data()
{
    QTest::addColumn<QDateTime>("begin");
    QTest::addColumn<QString>("ini");
    QTest::addColumn<int>("jumpAt");      // second of the run at which the wall clock is set
    QTest::addColumn<int>("jumpSeconds"); // by how much
    QTest::addColumn<QList<int>>("passes");

    const QString every3 = QStringLiteral("[Schedule]\nAutoCheck=3\n");
    QList<int> rhythm;
    for (int second = 180; second <= 3600; second += 180) {
        rhythm << second;
    }
    // 00:58 UTC is 02:58 summer time; at 01:00 UTC Berlin's clocks go back to 02:00.
    QTest::newRow("summer time ends") << QDateTime(QDate(2026, 10, 25), QTime(0, 58), Qt::UTC).toLocalTime() << every3
                                      << 0 << 0 << rhythm;
    const QDateTime morning(QDate(2026, 3, 10), QTime(10, 0));
    QTest::newRow("clock set back 10 min") << morning << every3 << 100 << -600 << rhythm;
    QTest::newRow("clock set forward 1 h") << morning << every3 << 100 << 3600 << rhythm;
    // Hour-list mode follows the wall clock, whichever way it is set.
    QTest::newRow("hour list, clock set back")
        << QDateTime(QDate(2026, 3, 10), QTime(10, 58)) << QStringLiteral("[Schedule]\nScheduleCheck=1\nSchedule=11\n")
        << 60 << -1800 << QList<int>{1920};
    QTest::newRow("hour list, clock set forward")
        << morning << QStringLiteral("[Schedule]\nScheduleCheck=1\nSchedule=11,12\n") << 30 << 3600
        << QList<int>{30, 3600};
}

void tst_Schedule::rhythmAcrossClockChanges()
{
    QFETCH(QDateTime, begin);
    QFETCH(QString, ini);
    QFETCH(int, jumpAt);
    QFETCH(int, jumpSeconds);
    QFETCH(QList<int>, passes);
    TClock::SetFixed(begin);
    start(ini);
    QList<int> seen;
    for (int second = 1; second <= 3600; ++second) {
        TClock::Advance(1000);
        if (second == jumpAt) {
            TClock::JumpWall(qint64(jumpSeconds) * 1000);
        }
        // A check pass starts by zeroing the mail count.
        FormStatus->SetCell(1, QStringLiteral("-"));
        m_main->TimerTimer();
        if (FormStatus->Cell(1) == QLatin1String("0")) {
            seen << second;
        }
    }
    QCOMPARE(seen, passes);
}

void tst_Schedule::clockCells_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("zh_TW") << QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan);
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("de_DE") << QLocale(QLocale::German, QLocale::Germany);
}

void tst_Schedule::clockCells()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    TClock::SetFixed(QDateTime(QDate(2026, 12, 8), QTime(13, 4, 5)));
    start(QStringLiteral("[Schedule]\nAutoCheck=20\n"));
    TClock::Advance(1000);
    m_main->TimerTimer();
    TColorStringGrid* grid = FormStatus->ColorStringGrid;
    const QFontMetrics metrics(grid->font());
    for (const auto& [row, digits] : {std::pair{4, "04:06"}, std::pair{5, "24:05"}}) {
        const QString text = FormStatus->Cell(row);
        QString rest = text;
        rest.remove(locale.pmText());
        QVERIFY2(!rest.contains(QRegularExpression(QStringLiteral("[A-Za-z\\[\\]]"))), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String(digits)), qPrintable(text));
        QVERIFY2(metrics.horizontalAdvance(text) <= grid->ColWidths(1) - 4, qPrintable(text));
    }
}

int main(int argc, char* argv[])
{
    // A zone with summer time, set before Qt first reads the zone.
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    tst_Schedule test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_Schedule.moc"
