#pragma once

// The check schedule's arithmetic on day counts (a day is 1.0, the time of day the fraction).
class TSchedule {
public:
    // Interval mode: now + interval minutes. Hour-list mode: the first listed hour h
    // (1..24, 24 = the coming midnight) strictly later than now today, else the first
    // listed hour tomorrow; with no hour listed the previous value stays.
    static double NextCheck(double now, bool scheduleCheck, int checkInterval, const bool scheduleHours[24],
                            double previous);
};
