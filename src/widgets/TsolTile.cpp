#include "widgets/TsolTile.h"

#include <QPainter>

TsolTile::TsolTile(QWidget* parent) : QWidget(parent)
{
    resize(64, 64);
}

void TsolTile::SetImage(const QImage& image)
{
    m_image = image;
    imageChanged();
}

void TsolTile::SetTranColor(const QColor& color)
{
    m_tranColor = color;
    update();
}

void TsolTile::SetTransparent(bool on)
{
    m_transparent = on;
    imageChanged();
}

void TsolTile::imageChanged()
{
    if (!m_image.isNull()) {
        // A monochrome picture's see-through colour is white; others take the bottom-left pixel.
        if (m_image.format() == QImage::Format_Mono || m_image.format() == QImage::Format_MonoLSB) {
            m_tranColor = Qt::white;
        } else {
            m_tranColor = m_image.pixelColor(0, m_image.height() - 1);
        }
    }
    m_prepared = m_image.convertToFormat(QImage::Format_ARGB32);
    if (m_transparent && !m_prepared.isNull()) {
        const QRgb key = m_tranColor.rgb() & 0xFFFFFF;
        for (int y = 0; y < m_prepared.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(m_prepared.scanLine(y));
            for (int x = 0; x < m_prepared.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == key) {
                    line[x] = 0;
                }
            }
        }
    }
    update();
}

QList<QRect> TsolTile::TileRects(const QSize& area, const QSize& tile)
{
    QList<QRect> rects;
    if (tile.width() <= 0 || tile.height() <= 0) {
        return rects;
    }
    for (int y = 0; y < area.height(); y += tile.height()) {
        for (int x = 0; x < area.width(); x += tile.width()) {
            rects.append(QRect(x, y, qMin(tile.width(), area.width() - x), qMin(tile.height(), area.height() - y)));
        }
    }
    return rects;
}

void TsolTile::paintEvent(QPaintEvent*)
{
    if (m_prepared.isNull()) {
        return;
    }
    QPainter p(this);
    for (const QRect& r : TileRects(size(), m_prepared.size())) {
        p.drawImage(r.topLeft(), m_prepared, QRect(QPoint(0, 0), r.size()));
    }
}
