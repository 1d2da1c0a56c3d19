#include "widgets/TFXGraphic.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

class tst_FXGraphic : public QObject {
    Q_OBJECT
private slots:
    void coverage_data();
    void coverage();
    void labelGrid();
    void order_data();
    void order();
    void outOfRange();
    void clamps();
    void runReproducesPicture_data();
    void runReproducesPicture();
};

namespace {

// The picture as one number per pixel, so that any misplaced copy shows.
QVector<int> replay(const QVector<TFxCopy>& copies, int w, int h, QVector<int>* writes = nullptr)
{
    QVector<int> screen(w * h, -1);
    if (writes) {
        writes->fill(0, w * h);
    }
    for (const TFxCopy& copy : copies) {
        for (int y = 0; y < copy.Dest.height(); ++y) {
            for (int x = 0; x < copy.Dest.width(); ++x) {
                const int dx = copy.Dest.x() + x;
                const int dy = copy.Dest.y() + y;
                const int sx = copy.Source.x() + x;
                const int sy = copy.Source.y() + y;
                if (dx < 0 || dy < 0 || dx >= w || dy >= h || sx < 0 || sy < 0 || sx >= w || sy >= h) {
                    return {}; // a copy outside the picture is a fault in itself
                }
                screen[dy * w + dx] = sy * w + sx;
                if (writes) {
                    ++(*writes)[dy * w + dx];
                }
            }
        }
    }
    return screen;
}

QPoint blockOf(const TFxCopy& copy, int box)
{
    return QPoint(copy.Dest.x() / box + 1, copy.Dest.y() / box + 1);
}

} // namespace

void tst_FXGraphic::coverage_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("box");
    const QList<QPair<QSize, int>> sizes = {{{101, 31}, 5}, {{10, 10}, 2}, {{7, 13}, 3}, {{1, 1}, 2},
                                            {{64, 48}, 8},  {{33, 5}, 4},  {{5, 40}, 6}, {{1300, 11}, 5}};
    for (int effect = 0; effect <= TFXGraphic::MaxEffect; ++effect) {
        for (const auto& s : sizes) {
            QTest::addRow("effect %d, %dx%d / %d", effect, s.first.width(), s.first.height(), s.second)
                << effect << s.first << s.second;
        }
    }
}

// Every pixel ends up showing its own source pixel, and (the drip apart, which lets strips
// fall through the rows above) every pixel is copied exactly once.
void tst_FXGraphic::coverage()
{
    QFETCH(int, effect);
    QFETCH(QSize, size);
    QFETCH(int, box);
    QRandomGenerator random(7);
    const auto copies = TFXGraphic::Transition(effect, size.width(), size.height(), box, &random);
    QVector<int> writes;
    const QVector<int> screen = replay(copies, size.width(), size.height(), &writes);
    QCOMPARE(screen.size(), size.width() * size.height());
    for (int i = 0; i < screen.size(); ++i) {
        QCOMPARE(screen[i], i);
        if (effect != 37) {
            QCOMPARE(writes[i], 1);
        }
    }
    if (effect != 37) {
        for (const TFxCopy& copy : copies) {
            QCOMPARE(copy.Source, copy.Dest);
        }
    }
}

// A 100 x 30 label reveals a 101 x 31 area: 21 columns, the last one pixel wide, and 7 rows.
void tst_FXGraphic::labelGrid()
{
    const auto copies = TFXGraphic::Transition(1, 101, 31, 5);
    QCOMPARE(copies.size(), 21 * 7);
    QSet<int> lefts;
    QSet<int> tops;
    for (const TFxCopy& copy : copies) {
        lefts.insert(copy.Dest.x());
        tops.insert(copy.Dest.y());
    }
    QCOMPARE(lefts.size(), 21);
    QCOMPARE(tops.size(), 7);
    QCOMPARE(copies.last().Dest, QRect(100, 30, 1, 1));
    QCOMPARE(copies.at(6).Dest, QRect(0, 30, 5, 1));
    QCOMPARE(copies.at(7).Dest, QRect(5, 0, 5, 5)); // column 2 starts after all of column 1
}

void tst_FXGraphic::order_data()
{
    QTest::addColumn<int>("effect");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QPoint>>("firstBlocks"); // (column, row) from 1

    const QSize grid(20, 12); // 10 columns, 6 rows of 2 px
    QTest::newRow("right to left") << 2 << grid << QList<QPoint>{{10, 1}, {10, 2}};
    QTest::newRow("bottom to top") << 4 << grid << QList<QPoint>{{1, 6}, {2, 6}};
    QTest::newRow("wipe in") << 5 << grid << QList<QPoint>{{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {10, 1}};
    QTest::newRow("wipe out") << 6 << grid << QList<QPoint>{{5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}, {5, 6}, {6, 1}};
    QTest::newRow("vertical wipe out") << 8 << grid << QList<QPoint>{{1, 3}, {2, 3}};
    QTest::newRow("diagonal TL-BR") << 18 << grid << QList<QPoint>{{1, 1}, {2, 1}, {1, 2}, {3, 1}, {2, 2}, {1, 3}};
    QTest::newRow("diagonal BR-TL") << 21 << grid << QList<QPoint>{{10, 6}, {9, 6}, {10, 5}};
    QTest::newRow("vertical stripes") << 27 << grid << QList<QPoint>{{1, 1}, {3, 6}, {5, 1}, {7, 6}, {2, 1}};
    QTest::newRow("horizontal stripes") << 28 << QSize(12, 16) << QList<QPoint>{{1, 1}, {6, 3}, {1, 5}, {6, 7}};
    QTest::newRow("checkerboard") << 36 << grid << QList<QPoint>{{1, 1}, {3, 1}};
    QTest::newRow("spray") << 38 << grid << QList<QPoint>{{2, 2}, {2, 5}, {5, 2}};
    QTest::newRow("swirl in") << 39 << QSize(6, 6)
                              << QList<QPoint>{{1, 1}, {2, 1}, {3, 1}, {3, 2}, {3, 3}, {2, 3}, {1, 3}, {1, 2}, {2, 2}};
    QTest::newRow("horizontal snake") << 40 << QSize(6, 4) << QList<QPoint>{{1, 1}, {2, 1}, {3, 1}, {3, 2}, {2, 2}};
}

void tst_FXGraphic::order()
{
    QFETCH(int, effect);
    QFETCH(QSize, size);
    QFETCH(QList<QPoint>, firstBlocks);
    const auto copies = TFXGraphic::Transition(effect, size.width(), size.height(), 2);
    QVERIFY(copies.size() >= firstBlocks.size());
    for (int i = 0; i < firstBlocks.size(); ++i) {
        QCOMPARE(blockOf(copies.at(i), 2), firstBlocks.at(i));
    }
}

void tst_FXGraphic::outOfRange()
{
    QVERIFY(TFXGraphic::Transition(42, 100, 30, 5).isEmpty());
    QVERIFY(TFXGraphic::Transition(-1, 100, 30, 5).isEmpty());
    const auto plain = TFXGraphic::Transition(0, 100, 30, 5);
    QCOMPARE(plain.size(), 1);
    QCOMPARE(plain.first().Dest, QRect(0, 0, 100, 30));
}

void tst_FXGraphic::clamps()
{
    TFXGraphic graphic;
    QCOMPARE(graphic.Effect(), 0);
    QCOMPARE(graphic.BoxWidth(), 5);
    graphic.SetEffect(60);
    QCOMPARE(graphic.Effect(), 41);
    graphic.SetEffect(-4);
    QCOMPARE(graphic.Effect(), 0);
    graphic.SetBoxWidth(1);
    QCOMPARE(graphic.BoxWidth(), 2);
    graphic.SetBoxWidth(300);
    QCOMPARE(graphic.BoxWidth(), 255);
}

void tst_FXGraphic::runReproducesPicture_data()
{
    QTest::addColumn<int>("effect");
    for (int effect : {0, 1, 15, 17, 27, 35, 37, 41}) {
        QTest::addRow("effect %d", effect) << effect;
    }
}

// Painting through the transition, grid overhang included, gives back the picture.
void tst_FXGraphic::runReproducesPicture()
{
    QFETCH(int, effect);
    QImage source(23, 17, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            source.setPixel(x, y, qRgb(x * 10, y * 14, (x * y) % 256));
        }
    }
    QImage screen(source.size(), QImage::Format_RGB32);
    screen.fill(Qt::white);
    QPainter painter(&screen);
    TFXGraphic::Run(painter, source, effect, 4);
    painter.end();
    QCOMPARE(screen, source);
}

QTEST_MAIN(tst_FXGraphic)
#include "tst_FXGraphic.moc"
