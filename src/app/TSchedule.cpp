#include "app/TSchedule.h"

#include <cmath>

double TSchedule::NextCheck(double now, bool scheduleCheck, int checkInterval, const bool scheduleHours[24],
                            double previous)
{
    if (!scheduleCheck) {
        return now + checkInterval / 1440.0;
    }
    const double today = std::floor(now);
    const double t = now - today;
    for (int h = 1; h <= 24; ++h) {
        if (scheduleHours[h - 1] && h / 24.0 - t > 0) {
            return today + h / 24.0;
        }
    }
    for (int h = 1; h <= 24; ++h) {
        if (scheduleHours[h - 1]) {
            return today + 1 + h / 24.0;
        }
    }
    return previous;
}
