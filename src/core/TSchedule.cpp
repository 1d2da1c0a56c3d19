#include "core/TSchedule.h"

#include "core/TClock.h"

#include <cmath>

namespace {
constexpr qint64 kMsPerDay = 86400000;
constexpr qint64 kMsPerHour = 3600000;

// Whole milliseconds: fractions of a day cannot hold most hours exactly.
qint64 toMs(double days)
{
    return qRound64(days * kMsPerDay);
}
} // namespace

double TSchedule::NextCheck(double now, bool scheduleCheck, int checkInterval, const bool scheduleHours[24],
                            double previous)
{
    if (!scheduleCheck) {
        return now + checkInterval / 1440.0;
    }
    const qint64 total = toMs(now);
    qint64 day = total / kMsPerDay;
    if (total % kMsPerDay < 0) {
        --day;
    }
    const qint64 msOfDay = total - day * kMsPerDay;
    const double today = static_cast<double>(day);
    for (int h = 1; h <= 24; ++h) {
        if (scheduleHours[h - 1] && h * kMsPerHour > msOfDay) {
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

void TSchedule::Plan(double& nextCheckTime, bool scheduleCheck, int checkInterval, const bool scheduleHours[24])
{
    nextCheckTime = NextCheck(TClock::Now(), scheduleCheck, checkInterval, scheduleHours, nextCheckTime);
    m_deadline = scheduleCheck ? -1 : TClock::Monotonic() + qint64(checkInterval) * 60000;
}

bool TSchedule::Due(double& nextCheckTime) const
{
    const double now = TClock::Now();
    if (m_deadline < 0) {
        return toMs(now) >= toMs(nextCheckTime);
    }
    const qint64 left = m_deadline - TClock::Monotonic();
    nextCheckTime = now + static_cast<double>(left) / kMsPerDay;
    return left <= 0;
}
