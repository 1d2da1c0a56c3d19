#include "core/TClock.h"

#include <QElapsedTimer>
#include <QThread>
#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);

struct MonotonicState {
    QElapsedTimer timer;
    qint64 offset = 0;  // keeps the real clock ahead of where a fixed clock left it
    qint64 fixedMs = 0; // the monotonic time while the clock is fixed
};

MonotonicState& mono()
{
    static MonotonicState state;
    if (!state.timer.isValid()) {
        state.timer.start();
    }
    return state;
}

qint64 realMonotonic()
{
    return mono().timer.elapsed() + mono().offset;
}

bool isPatternLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
} // namespace

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

qint64 TClock::Monotonic()
{
    return IsFixed() ? mono().fixedMs : realMonotonic();
}

QString TClock::TimeText(const QTime& time, const QLocale& locale)
{
    // The long format brings the zone ("t") and, for some locales, the day period "B",
    // which Qt prints as a plain letter; keep the rest of the locale's pattern.
    const QString pattern = locale.timeFormat(QLocale::LongFormat);
    const bool twelveHour = pattern.contains(QLatin1Char('h'));
    const bool hasAmPm = pattern.contains(QLatin1Char('a'), Qt::CaseInsensitive);
    QString out;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\'')) {
            const int end = pattern.indexOf(QLatin1Char('\''), i + 1);
            const int stop = end < 0 ? pattern.size() - 1 : end;
            out += pattern.mid(i, stop - i + 1);
            i = stop;
            continue;
        }
        if (!isPatternLetter(c)) {
            out += c;
            continue;
        }
        int run = 1;
        while (i + run < pattern.size() && pattern.at(i + run) == c) {
            ++run;
        }
        if (QStringLiteral("hHmsapAP").contains(c)) {
            out += pattern.mid(i, run);
        } else if (c == QLatin1Char('B') && twelveHour && !hasAmPm) {
            out += QStringLiteral("AP");
        }
        i += run - 1;
    }
    out.remove(QStringLiteral("[]"));
    out.remove(QStringLiteral("()"));
    out = out.simplified();
    const bool complete = out.contains(QLatin1Char('m')) && out.contains(QLatin1Char('s')) &&
                          out.contains(QLatin1Char('h'), Qt::CaseInsensitive);
    return locale.toString(time, complete ? out : QStringLiteral("HH:mm:ss"));
}

void TClock::SetFixed(const QDateTime& dt)
{
    if (!IsFixed()) {
        mono().fixedMs = realMonotonic();
    }
    fixed() = dt;
}

void TClock::Advance(qint64 milliseconds)
{
    if (fixed().isValid()) {
        fixed() = fixed().addMSecs(milliseconds);
        // The monotonic clock never runs backwards.
        mono().fixedMs += qMax<qint64>(0, milliseconds);
    }
}

void TClock::JumpWall(qint64 milliseconds)
{
    if (fixed().isValid()) {
        fixed() = fixed().addMSecs(milliseconds);
    }
}

void TClock::SetReal()
{
    if (IsFixed()) {
        mono().offset = qMax(mono().offset, mono().fixedMs - mono().timer.elapsed());
    }
    fixed() = QDateTime();
}

bool TClock::IsFixed()
{
    return fixed().isValid();
}
