#include "widgets/TsolTile.h"

#include <QPainter>
#include <QtTest>

namespace {

// Every pixel different, so a copy placed or cut wrongly shows.
QImage patterned(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 8, y * 12, 200));
        }
    }
    return image;
}

// The tile drawn over a green parent.
QImage renderOverGreen(TsolTile& tile)
{
    QImage out(tile.size(), QImage::Format_RGB32);
    out.fill(Qt::green);
    QPainter p(&out);
    tile.render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    p.end();
    return out;
}

} // namespace

class tst_solTile : public QObject {
    Q_OBJECT

private slots:
    void tileRects_data();
    void tileRects();
    void paintsCutCopies();
    void transparentColour();
    void monochromeSeeThroughIsWhite();
    void emptyImageDrawsNothing();
};

void tst_solTile::tileRects_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QSize>("tile");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QSize>("lastCopy");

    QTest::newRow("64x64 with 30x20") << QSize(64, 64) << QSize(30, 20) << 3 << 4 << QSize(4, 4);
    QTest::newRow("exact fit") << QSize(60, 40) << QSize(30, 20) << 2 << 2 << QSize(30, 20);
    QTest::newRow("picture larger than the area") << QSize(64, 64) << QSize(100, 80) << 1 << 1 << QSize(64, 64);
    QTest::newRow("one pixel over") << QSize(31, 21) << QSize(30, 20) << 2 << 2 << QSize(1, 1);
    QTest::newRow("empty picture") << QSize(64, 64) << QSize(0, 0) << 0 << 0 << QSize();
    QTest::newRow("picture of zero height") << QSize(64, 64) << QSize(30, 0) << 0 << 0 << QSize();
}

void tst_solTile::tileRects()
{
    QFETCH(QSize, area);
    QFETCH(QSize, tile);
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(QSize, lastCopy);

    const QList<QRect> rects = TsolTile::TileRects(area, tile);
    QCOMPARE(rects.size(), columns * rows);
    if (rects.isEmpty()) {
        return;
    }
    QCOMPARE(rects.first().topLeft(), QPoint(0, 0));
    QCOMPARE(rects.last().size(), lastCopy);
    QCOMPARE(rects.last().topLeft(), QPoint((columns - 1) * tile.width(), (rows - 1) * tile.height()));
    QRegion covered;
    for (const QRect& r : rects) {
        QVERIFY(!covered.intersects(r));
        covered += r;
    }
    QCOMPARE(covered, QRegion(QRect(QPoint(0, 0), area)));
}

void tst_solTile::paintsCutCopies()
{
    TsolTile tile;
    QCOMPARE(tile.size(), QSize(64, 64));
    const QImage image = patterned(30, 20);
    tile.SetImage(image);
    const QImage out = renderOverGreen(tile);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            QCOMPARE(out.pixel(x, y), image.pixel(x % 30, y % 20));
        }
    }
}

void tst_solTile::transparentColour()
{
    QImage image(30, 20, QImage::Format_RGB32);
    image.fill(Qt::blue);
    image.setPixel(0, 19, qRgb(255, 0, 0));
    image.setPixel(10, 5, qRgb(255, 0, 0));
    image.setPixel(11, 5, qRgb(254, 0, 0));

    TsolTile tile;
    tile.SetImage(image);
    QCOMPARE(tile.TranColor(), QColor(Qt::red));
    QCOMPARE(renderOverGreen(tile).pixel(10, 5), qRgb(255, 0, 0));

    tile.SetTransparent(true);
    QImage out = renderOverGreen(tile);
    QCOMPARE(out.pixel(10, 5), qRgb(0, 255, 0));
    QCOMPARE(out.pixel(40, 25), qRgb(0, 255, 0));
    QCOMPARE(out.pixel(0, 19), qRgb(0, 255, 0));
    QCOMPARE(out.pixel(11, 5), qRgb(254, 0, 0));
    QCOMPARE(out.pixel(12, 5), qRgb(0, 0, 255));

    // Switching it off again shows the picture unharmed.
    tile.SetTransparent(false);
    QCOMPARE(renderOverGreen(tile).pixel(10, 5), qRgb(255, 0, 0));
    QCOMPARE(tile.Image().pixel(10, 5), qRgb(255, 0, 0));
}

void tst_solTile::monochromeSeeThroughIsWhite()
{
    QImage mono(16, 16, QImage::Format_Mono);
    mono.fill(0);
    mono.setColor(0, qRgb(0, 0, 0));
    mono.setColor(1, qRgb(255, 255, 255));
    mono.setPixel(3, 3, 1);
    TsolTile tile;
    tile.SetImage(mono);
    QCOMPARE(tile.TranColor(), QColor(Qt::white));
    tile.SetTransparent(true);
    const QImage out = renderOverGreen(tile);
    QCOMPARE(out.pixel(3, 3), qRgb(0, 255, 0));
    QCOMPARE(out.pixel(4, 3), qRgb(0, 0, 0));
}

void tst_solTile::emptyImageDrawsNothing()
{
    TsolTile tile;
    tile.SetImage(patterned(30, 20));
    tile.SetImage(QImage());
    QCOMPARE(tile.Image().size(), QSize(0, 0));
    const QImage out = renderOverGreen(tile);
    QCOMPARE(out.pixel(5, 5), qRgb(0, 255, 0));
}

QTEST_MAIN(tst_solTile)
#include "tst_solTile.moc"
