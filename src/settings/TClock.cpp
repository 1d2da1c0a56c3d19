#include "settings/TClock.h"

#include <QThread>
#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
}

QDateTime& TClock::fixed()
{
    static QDateTime value;
    return value;
}

QDateTime TClock::CurrentDateTime()
{
    return fixed().isValid() ? fixed() : QDateTime::currentDateTime();
}

double TClock::Now()
{
    return FromDateTime(CurrentDateTime());
}

double TClock::FromDateTime(const QDateTime& dt)
{
    const double days = static_cast<double>(kEpoch.daysTo(dt.date()));
    return days + dt.time().msecsSinceStartOfDay() / 86400000.0;
}

QDateTime TClock::ToDateTime(double days)
{
    double whole = 0;
    double frac = std::modf(days, &whole);
    if (frac < 0) {
        // Negative day counts keep the time of day positive, as a day count does.
        frac = -frac;
    }
    qint64 ms = qRound64(frac * 86400000.0);
    if (ms >= 86400000) {
        ms = 86399999;
    }
    return QDateTime(kEpoch.addDays(static_cast<qint64>(whole)), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

void TClock::Wait(int seconds)
{
    if (seconds <= 0) {
        return;
    }
    if (IsFixed()) {
        Advance(qint64(seconds) * 1000);
    } else {
        QThread::sleep(static_cast<unsigned long>(seconds));
    }
}

void TClock::SetFixed(const QDateTime& dt)
{
    fixed() = dt;
}

void TClock::Advance(qint64 milliseconds)
{
    if (fixed().isValid()) {
        fixed() = fixed().addMSecs(milliseconds);
    }
}

void TClock::SetReal()
{
    fixed() = QDateTime();
}

bool TClock::IsFixed()
{
    return fixed().isValid();
}
