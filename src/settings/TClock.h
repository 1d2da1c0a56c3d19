#pragma once

#include <QDateTime>

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

    static void SetFixed(const QDateTime& dt);
    static void Advance(qint64 milliseconds);
    static void SetReal();
    static bool IsFixed();

private:
    static QDateTime& fixed();
};
