#pragma once

#include <QList>

// Column widths of the mail list scaled to a new window width, keeping the
// proportions the user set by dragging column borders.
class TColumnScale {
public:
    // numerator / denominator rounded to the nearest integer, halves to the even one.
    static qint64 BankersRound(qint64 numerator, qint64 denominator);
    // Each width becomes (clientWidth - one pixel per grid line) * width / sum.
    static QList<int> Rescale(const QList<int>& widths, int clientWidth);
};
