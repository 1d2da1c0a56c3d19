#include "mailbox/TColumnScale.h"

#include <numeric>

qint64 TColumnScale::BankersRound(qint64 numerator, qint64 denominator)
{
    if (denominator < 0) {
        numerator = -numerator;
        denominator = -denominator;
    }
    qint64 q = numerator / denominator;
    qint64 r = numerator % denominator;
    if (r < 0) {
        // Floor division, so the remainder is never negative.
        q -= 1;
        r += denominator;
    }
    if (2 * r > denominator || (2 * r == denominator && (q % 2) != 0)) {
        ++q;
    }
    return q;
}

QList<int> TColumnScale::Rescale(const QList<int>& widths, int clientWidth)
{
    const qint64 sum = std::accumulate(widths.begin(), widths.end(), qint64(0));
    if (sum <= 0) {
        return widths;
    }
    const qint64 room = qMax(0, clientWidth - int(widths.size()));
    QList<int> result;
    result.reserve(widths.size());
    for (const int w : widths) {
        result.append(int(BankersRound(room * w, sum)));
    }
    return result;
}
