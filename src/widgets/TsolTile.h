#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

// Covers its area with copies of one picture from the top-left corner, optionally
// with one colour see-through (the colour of the picture's bottom-left pixel).
class TsolTile : public QWidget {
    Q_OBJECT
public:
    explicit TsolTile(QWidget* parent = nullptr);

    const QImage& Image() const { return m_image; }
    void SetImage(const QImage& image);

    QColor TranColor() const { return m_tranColor; }
    void SetTranColor(const QColor& color);

    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool on);

    // Where each copy lands for a given area and picture size (cut by the area's edge).
    static QList<QRect> TileRects(const QSize& area, const QSize& tile);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void imageChanged();

    QImage m_image;
    QImage m_prepared;
    QColor m_tranColor = Qt::black;
    bool m_transparent = false;
};
