#include "net/TCallTimer.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <climits>

bool ArmCallTimer(QTimer& timer, int timeoutSeconds, const QDeadlineTimer& sessionEnd)
{
    qint64 ms = timeoutSeconds > 0 ? qint64(timeoutSeconds) * 1000 : -1;
    if (!sessionEnd.isForever()) {
        const qint64 left = sessionEnd.remainingTime();
        ms = ms < 0 ? left : qMin(ms, left);
    }
    if (ms == 0) {
        return false;
    }
    if (ms > 0) {
        timer.setSingleShot(true);
        timer.start(static_cast<int>(qMin<qint64>(ms, INT_MAX)));
    }
    return true;
}
