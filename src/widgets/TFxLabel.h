#pragma once

#include "widgets/TFXGraphic.h"

#include <QColor>
#include <QString>

// A caption with a three-dimensional look (raised or recessed text, bevels, a border
// band, an optional black frame), painted off-screen and shown through a transition.
class TFxLabel : public TFXGraphic {
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    enum TTextStyle { tsNone, tsRaised, tsRecessed };
    enum TBevel { bvNone, bvLowered, bvRaised };
    enum TBorderStyle { bsNone, bsSingle };

    static constexpr int MaxCaption = 255;

    explicit TFxLabel(QWidget* parent = nullptr);
    TFxLabel(const QString& caption, QWidget* parent);

    TAlignment Alignment() const { return m_alignment; }
    void SetAlignment(TAlignment value);
    TTextStyle TextStyle() const { return m_textStyle; }
    void SetTextStyle(TTextStyle value);
    TBevel BevelOuter() const { return m_bevelOuter; }
    void SetBevelOuter(TBevel value);
    TBevel BevelInner() const { return m_bevelInner; }
    void SetBevelInner(TBevel value);
    int BevelWidth() const { return m_bevelWidth; }
    void SetBevelWidth(int value);
    int BorderWidth() const { return m_borderWidth; }
    void SetBorderWidth(int value);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle value);
    QColor Color() const { return m_color; }
    void SetColor(const QColor& value);
    QColor FontColor() const { return m_fontColor; }
    void SetFontColor(const QColor& value);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    // The part of the caption that is drawn.
    QString DisplayText() const { return m_caption.left(MaxCaption); }

    // Makes the off-screen picture anew at the control's size and paints the label into it.
    const QImage& PaintBitmap();
    const QImage& Bitmap() const { return m_bitmap; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void drawBevel(QPainter& painter, QRect& rect, TBevel bevel) const;
    int frameWidth() const;

    TAlignment m_alignment = taCenter;
    TTextStyle m_textStyle = tsRaised;
    TBevel m_bevelOuter = bvRaised;
    TBevel m_bevelInner = bvNone;
    int m_bevelWidth = 1;
    int m_borderWidth = 0;
    TBorderStyle m_borderStyle = bsNone;
    QColor m_color;
    QColor m_fontColor;
    QString m_caption;
    QImage m_bitmap;
};
