#pragma once

#include <QDateTime>
#include <QLocale>

// The program's one clock. Date-times are day counts (days since 1899-12-30, the time
// of day as the fraction, local time), so one hour is 1/24 and one minute 1/1440.
// Tests fix the clock and move it forward instead of sleeping.
class TClock {
public:
    static double Now();
    static QDateTime CurrentDateTime();

    static double FromDateTime(const QDateTime& dt);
    static QDateTime ToDateTime(double days);

    // A plain wait that does not pump events; with a fixed clock it only advances it.
    static void Wait(int seconds);

    // Milliseconds on a clock that only runs forward; setting the wall clock leaves it alone.
    static qint64 Monotonic();

    // The time of day with hours, minutes and seconds as the locale writes it, without
    // the zone and without pattern letters Qt cannot render.
    static QString TimeText(const QTime& time, const QLocale& locale = QLocale());

    static void SetFixed(const QDateTime& dt);
    // Moves the fixed wall clock and the monotonic clock together.
    static void Advance(qint64 milliseconds);
    // Moves the fixed wall clock alone, as a correction or a summer-time change does.
    static void JumpWall(qint64 milliseconds);
    static void SetReal();
    static bool IsFixed();

private:
    static QDateTime& fixed();
};
