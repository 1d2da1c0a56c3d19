#include "widgets/TFXGraphic.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

namespace {

// Rounds halves to the even neighbour, as the block arithmetic always has.
int nearest(double x)
{
    return static_cast<int>(std::nearbyint(x));
}

// Collects the copies of one transition. Blocks are numbered from 1; a block outside
// the grid or one already copied is skipped, so every block is copied exactly once.
class Builder {
public:
    Builder(int width, int height, int box)
        : W(width), H(height), b(box), C((width + box - 1) / box), R((height + box - 1) / box),
          m_done(static_cast<size_t>(std::max(C * R, 0)), false)
    {
    }

    const int W;
    const int H;
    const int b;
    const int C;
    const int R;
    QVector<TFxCopy> copies;

    QRect blockRect(int c, int r) const
    {
        const QPoint from((c - 1) * b, (r - 1) * b);
        const QPoint to(std::min(c * b, W), std::min(r * b, H));
        return QRect(from, QSize(to.x() - from.x(), to.y() - from.y()));
    }
    QRect rowStrip(int r) const { return QRect(0, (r - 1) * b, W, std::min(r * b, H) - (r - 1) * b); }
    QRect columnStrip(int c) const { return QRect((c - 1) * b, 0, std::min(c * b, W) - (c - 1) * b, H); }

    void block(int c, int r)
    {
        if (c < 1 || c > C || r < 1 || r > R) {
            return;
        }
        auto done = m_done.begin() + ((r - 1) * C + (c - 1));
        if (*done) {
            return;
        }
        *done = true;
        const QRect rect = blockRect(c, r);
        copies.push_back({rect, rect});
    }
    void row(int r, bool leftToRight = true)
    {
        for (int i = 1; i <= C; ++i) {
            block(leftToRight ? i : C - i + 1, r);
        }
    }
    void column(int c, bool topDown = true)
    {
        for (int i = 1; i <= R; ++i) {
            block(c, topDown ? i : R - i + 1);
        }
    }
    void strip(const QRect& rect) { copies.push_back({rect, rect}); }

    // Anti-diagonal d (c + r = d + 1 from the top-left corner), walked from its top-right end;
    // flipX / flipY mirror the grid so that the same walk starts at another corner.
    void diagonal(int d, bool flipX, bool flipY)
    {
        for (int r = 1; r <= R; ++r) {
            const int c = d + 1 - r;
            block(flipX ? C - c + 1 : c, flipY ? R - r + 1 : r);
        }
    }
    int diagonals() const { return C + R - 1; }

private:
    std::vector<bool> m_done;
};

void stripes(Builder& g, bool vertical)
{
    // Four bands that run in opposite directions; the last band also takes the
    // columns (rows) left over when their number is not a multiple of four.
    const int across = vertical ? g.C : g.R;
    const int along = vertical ? g.R : g.C;
    const int q = nearest(across / 4.0);
    for (int h = 1; h <= along; ++h) {
        const int back = along - h + 1;
        auto put = [&](int a, int l) { vertical ? g.block(a, l) : g.block(l, a); };
        for (int i = 1; i <= q; ++i) {
            put(i, h);
            put(q + i, back);
            put(2 * q + i, h);
            put(3 * q + i, back);
        }
        for (int a = 4 * q + 1; a <= across; ++a) {
            put(a, back);
        }
    }
}

void randomOrder(QVector<int>& items, QRandomGenerator* random)
{
    QRandomGenerator* gen = random ? random : QRandomGenerator::global();
    for (int i = static_cast<int>(items.size()) - 1; i > 0; --i) {
        std::swap(items[i], items[static_cast<int>(gen->bounded(i + 1))]);
    }
}

} // namespace

TFXGraphic::TFXGraphic(QWidget* parent) : QWidget(parent) {}

void TFXGraphic::SetEffect(int effect)
{
    m_effect = std::clamp(effect, 0, MaxEffect);
    update();
}

void TFXGraphic::SetBoxWidth(int width)
{
    m_boxWidth = std::clamp(width, 2, 255);
    update();
}

void TFXGraphic::SetSource(const QImage& image)
{
    m_source = image;
    update();
}

QVector<TFxCopy> TFXGraphic::Transition(int effect, int width, int height, int boxWidth, QRandomGenerator* random)
{
    if (width <= 0 || height <= 0 || effect < 0 || effect > MaxEffect) {
        return {};
    }
    if (effect == 0) {
        const QRect all(0, 0, width, height);
        return {{all, all}};
    }
    Builder g(width, height, std::max(boxWidth, 1));
    const int C = g.C;
    const int R = g.R;

    switch (effect) {
    case 1: // Left To Right
        for (int c = 1; c <= C; ++c)
            g.column(c);
        break;
    case 2: // Right To Left
        for (int c = C; c >= 1; --c)
            g.column(c);
        break;
    case 3: // Top To Bottom
        for (int r = 1; r <= R; ++r)
            g.row(r);
        break;
    case 4: // Bottom To Top
        for (int r = R; r >= 1; --r)
            g.row(r);
        break;
    case 5: // Horizontal Wipe In
        for (int k = 0; k <= nearest(C / 2.0); ++k) {
            g.column(k + 1);
            g.column(C - k);
        }
        break;
    case 6: // Horizontal Wipe Out
        for (int u = nearest(C / 2.0); u <= C; ++u) {
            g.column(u);
            g.column(C - u);
        }
        break;
    case 7: // Vertical Wipe In
        for (int k = 0; k <= nearest(R / 2.0); ++k) {
            g.row(k + 1);
            g.row(R - k);
        }
        break;
    case 8: // Vertical Wipe Out
        for (int w = nearest(R / 2.0); w <= R; ++w) {
            g.row(R - w);
            g.row(w);
        }
        break;
    case 9: // Horizontal Interlace: odd rows, then even rows
        for (int r = 1; r <= R; r += 2)
            g.row(r);
        for (int r = 2; r <= R; r += 2)
            g.row(r);
        break;
    case 10: // Vertical Interlace: odd columns, then even columns
        for (int c = 1; c <= C; c += 2)
            g.column(c);
        for (int c = 2; c <= C; c += 2)
            g.column(c);
        break;
    case 11: // Horizontal Double Pass: odd rows going down, even rows coming back up
        for (int r = 1; r <= R; r += 2)
            g.row(r);
        for (int r = R; r >= 1; --r)
            if (r % 2 == 0)
                g.row(r, false);
        break;
    case 12: // Vertical Double Pass
        for (int c = 1; c <= C; c += 2)
            g.column(c);
        for (int c = C; c >= 1; --c)
            if (c % 2 == 0)
                g.column(c, false);
        break;
    case 13: // Horizontal Double Pass 2: every other block of each row down, the rest up
        for (int r = 1; r <= R; ++r)
            for (int c = 1; c <= C; c += 2)
                g.block(c, r);
        for (int r = R; r >= 1; --r)
            for (int c = C; c >= 1; --c)
                if (c % 2 == 0)
                    g.block(c, r);
        break;
    case 14: // Vertical Double Pass 2
        for (int c = 1; c <= C; ++c)
            for (int r = 1; r <= R; r += 2)
                g.block(c, r);
        for (int c = C; c >= 1; --c)
            for (int r = R; r >= 1; --r)
                if (r % 2 == 0)
                    g.block(c, r);
        break;
    case 15: // Vertical Blind: every fourth column strip, four passes
        for (int o = 1; o <= 4; ++o)
            for (int c = o; c <= C; c += 4)
                g.strip(g.columnStrip(c));
        break;
    case 16: // Horizontal Blind
        for (int o = 1; o <= 4; ++o)
            for (int r = o; r <= R; r += 4)
                g.strip(g.rowStrip(r));
        break;
    case 17: // Double Blind: each slat of four rows opens from both its edges
        for (int o : {1, 4, 2, 3})
            for (int r = o; r <= R; r += 4)
                g.strip(g.rowStrip(r));
        break;
    case 18: // Diagonal TL-BR
        for (int d = 1; d <= g.diagonals(); ++d)
            g.diagonal(d, false, false);
        break;
    case 19: // Diagonal BL-TR
        for (int d = 1; d <= g.diagonals(); ++d)
            g.diagonal(d, false, true);
        break;
    case 20: // Diagonal TR-BL
        for (int d = 1; d <= g.diagonals(); ++d)
            g.diagonal(d, true, false);
        break;
    case 21: // Diagonal BR-TL
        for (int d = 1; d <= g.diagonals(); ++d)
            g.diagonal(d, true, true);
        break;
    case 22: // Double Diagonal TL-BR: from both corners towards the middle
        for (int d = 1; d <= g.diagonals(); ++d) {
            g.diagonal(d, false, false);
            g.diagonal(d, true, true);
        }
        break;
    case 23: // Double Diagonal TR-BL
        for (int d = 1; d <= g.diagonals(); ++d) {
            g.diagonal(d, true, false);
            g.diagonal(d, false, true);
        }
        break;
    case 24:   // Diagonal Out TL-BR: from the middle diagonal out to both corners
    case 25: { // Diagonal Out TR-BL
        const bool flip = effect == 25;
        const int mid = (g.diagonals() + 1) / 2;
        for (int k = 0; k <= g.diagonals(); ++k) {
            g.diagonal(mid - k, flip, false);
            g.diagonal(mid + k, flip, false);
        }
        break;
    }
    case 26: // Diagonal Quad: one block from each corner per step
        for (int d = 1; d <= g.diagonals(); ++d)
            for (int r = 1; r <= R; ++r) {
                const int c = d + 1 - r;
                g.block(c, r);
                g.block(C - c + 1, r);
                g.block(c, R - r + 1);
                g.block(C - c + 1, R - r + 1);
            }
        break;
    case 27: // Vertical Stripes
        stripes(g, true);
        break;
    case 28: // Horizontal Stripes
        stripes(g, false);
        break;
    case 29: // Vertical Big Stripes: left half down, right half up
        for (int h = 1; h <= R; ++h) {
            for (int c = 1; c <= (C + 1) / 2; ++c)
                g.block(c, h);
            for (int c = (C + 1) / 2 + 1; c <= C; ++c)
                g.block(c, R - h + 1);
        }
        break;
    case 30: // Horizontal Big Stripes: top half left to right, bottom half right to left
        for (int h = 1; h <= C; ++h) {
            for (int r = 1; r <= (R + 1) / 2; ++r)
                g.block(h, r);
            for (int r = (R + 1) / 2 + 1; r <= R; ++r)
                g.block(C - h + 1, r);
        }
        break;
    case 31: // Kaleidoscope: each block of the top-left quarter with its three mirror images
        for (int r = 1; r <= (R + 1) / 2; ++r)
            for (int c = 1; c <= (C + 1) / 2; ++c) {
                g.block(c, r);
                g.block(C - c + 1, r);
                g.block(c, R - r + 1);
                g.block(C - c + 1, R - r + 1);
            }
        break;
    case 32: // Double Wipe Out: from the centre lines outwards, both ways at once
        for (int k = 0; k <= std::max(C, R); ++k) {
            g.column((C + 1) / 2 - k);
            g.column(C / 2 + 1 + k);
            g.row((R + 1) / 2 - k);
            g.row(R / 2 + 1 + k);
        }
        break;
    case 33: // Double Wipe In: from all four edges inwards
        for (int k = 0; k <= std::max(C, R); ++k) {
            g.column(1 + k);
            g.column(C - k);
            g.row(1 + k);
            g.row(R - k);
        }
        break;
    case 34: { // Random Lines
        QVector<int> rows;
        for (int r = 1; r <= R; ++r)
            rows.push_back(r);
        randomOrder(rows, random);
        for (int r : rows)
            g.row(r);
        break;
    }
    case 35: { // Random Block
        QVector<int> blocks;
        for (int i = 0; i < C * R; ++i)
            blocks.push_back(i);
        randomOrder(blocks, random);
        for (int i : blocks)
            g.block(i % C + 1, i / C + 1);
        break;
    }
    case 36: // Checkerboard
        for (int r = 1; r <= R; ++r)
            for (int c = r % 2; c <= C; c += 2)
                g.block(c, r);
        for (int r = 1; r <= R; ++r)
            for (int c = (r + 1) % 2; c <= C; c += 2)
                g.block(c, r);
        break;
    case 37: // Screen Drip: each strip falls from the top to its own place
        for (int r = R; r >= 1; --r)
            for (int k = 1; k <= r; ++k) {
                const QRect from = g.rowStrip(r);
                g.copies.push_back({from, QRect(0, (k - 1) * g.b, from.width(), from.height())});
            }
        break;
    case 38: { // Spray
        static const int starts[9][2] = {{2, 2}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {2, 3}, {1, 3}, {1, 2}, {1, 1}};
        for (const auto& s : starts)
            for (int c = s[0]; c <= C; c += 3)
                for (int r = s[1]; r <= R; r += 3)
                    g.block(c, r);
        break;
    }
    case 39: { // Swirl In
        int left = 1, top = 1, right = C, bottom = R;
        while (left <= right && top <= bottom) {
            for (int c = left; c <= right; ++c)
                g.block(c, top);
            for (int r = top + 1; r <= bottom; ++r)
                g.block(right, r);
            for (int c = right - 1; c >= left; --c)
                g.block(c, bottom);
            for (int r = bottom - 1; r > top; --r)
                g.block(left, r);
            ++left, ++top, --right, --bottom;
        }
        break;
    }
    case 40: // Horizontal Snake
        for (int r = 1; r <= R; ++r)
            g.row(r, r % 2 == 1);
        break;
    case 41: // Vertical Snake
        for (int c = 1; c <= C; ++c)
            g.column(c, c % 2 == 1);
        break;
    default:
        break;
    }
    return g.copies;
}

void TFXGraphic::Run(QPainter& painter, const QImage& source, int effect, int boxWidth)
{
    if (source.isNull()) {
        return;
    }
    // The block grid reaches one pixel past the right and bottom edges; those pixels clip away.
    const auto copies = Transition(effect, source.width() + 1, source.height() + 1, boxWidth);
    const QRect bounds = source.rect();
    for (const TFxCopy& copy : copies) {
        const QRect from = copy.Source.intersected(bounds);
        if (!from.isEmpty()) {
            painter.drawImage(from.topLeft() - copy.Source.topLeft() + copy.Dest.topLeft(), source, from);
        }
    }
}

void TFXGraphic::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Run(painter, m_source, m_effect, m_boxWidth);
}
