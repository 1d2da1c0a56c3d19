#pragma once

#include <QtGlobal>

// The check schedule's arithmetic on day counts (a day is 1.0, the time of day the fraction).
class TSchedule {
public:
    // Interval mode: now + interval minutes. Hour-list mode: the first listed hour h
    // (1..24, 24 = the coming midnight) strictly later than now today, else the first
    // listed hour tomorrow; with no hour listed the previous value stays.
    static double NextCheck(double now, bool scheduleCheck, int checkInterval, const bool scheduleHours[24],
                            double previous);

    // Sets nextCheckTime from the clock. Interval mode also keeps the deadline on the
    // monotonic clock, so that setting the wall clock neither stalls nor hurries it.
    void Plan(double& nextCheckTime, bool scheduleCheck, int checkInterval, const bool scheduleHours[24]);

    // True once the planned time is reached. In interval mode nextCheckTime is first
    // moved along with any change of the wall clock, so that it shows when the check
    // will really come.
    bool Due(double& nextCheckTime) const;

private:
    qint64 m_deadline = -1; // monotonic milliseconds; interval mode only
};
