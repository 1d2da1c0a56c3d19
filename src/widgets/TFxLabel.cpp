#include "widgets/TFxLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

TFxLabel::TFxLabel(QWidget* parent) : TFXGraphic(parent)
{
    m_color = palette().color(QPalette::Button);
    m_fontColor = palette().color(QPalette::WindowText);
    resize(100, 30);
    PaintBitmap();
}

TFxLabel::TFxLabel(const QString& caption, QWidget* parent) : TFxLabel(parent)
{
    SetCaption(caption);
}

void TFxLabel::SetAlignment(TAlignment value)
{
    if (value != m_alignment) {
        m_alignment = value;
        update();
    }
}

void TFxLabel::SetTextStyle(TTextStyle value)
{
    if (value != m_textStyle) {
        m_textStyle = value;
        update();
    }
}

void TFxLabel::SetBevelOuter(TBevel value)
{
    m_bevelOuter = value;
    update();
}

void TFxLabel::SetBevelInner(TBevel value)
{
    m_bevelInner = value;
    update();
}

void TFxLabel::SetBevelWidth(int value)
{
    m_bevelWidth = std::max(value, 0);
    update();
}

void TFxLabel::SetBorderWidth(int value)
{
    m_borderWidth = std::max(value, 0);
    update();
}

void TFxLabel::SetBorderStyle(TBorderStyle value)
{
    if (value != m_borderStyle) {
        m_borderStyle = value;
        update();
    }
}

void TFxLabel::SetColor(const QColor& value)
{
    m_color = value;
    update();
}

void TFxLabel::SetFontColor(const QColor& value)
{
    m_fontColor = value;
    update();
}

void TFxLabel::SetCaption(const QString& value)
{
    m_caption = value;
    updateGeometry();
    PaintBitmap();
    update();
}

void TFxLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        PaintBitmap();
        update();
    }
    TFXGraphic::changeEvent(event);
}

int TFxLabel::frameWidth() const
{
    return (m_borderStyle == bsSingle ? 1 : 0) + (m_bevelOuter != bvNone ? m_bevelWidth : 0) + m_borderWidth +
           (m_bevelInner != bvNone ? m_bevelWidth : 0);
}

QSize TFxLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth();
    const int textWidth = metrics.horizontalAdvance(DisplayText()) + 2; // room for the raised offsets
    return QSize(textWidth + frame, metrics.height() + 2 + frame);
}

void TFxLabel::drawBevel(QPainter& painter, QRect& rect, TBevel bevel) const
{
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    const QColor topLeft = bevel == bvRaised ? light : dark;
    const QColor bottomRight = bevel == bvRaised ? dark : light;
    for (int i = 0; i < m_bevelWidth && rect.width() > 0 && rect.height() > 0; ++i) {
        painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), topLeft);
        painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), topLeft);
        painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
        painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
        rect.adjust(1, 1, -1, -1);
    }
}

const QImage& TFxLabel::PaintBitmap()
{
    m_bitmap = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&m_bitmap);
    QRect rect = m_bitmap.rect();

    if (m_borderStyle == bsSingle) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
        rect.adjust(1, 1, -1, -1);
    }
    if (m_bevelOuter != bvNone) {
        drawBevel(painter, rect, m_bevelOuter);
    }
    // The border band is drawn in Color, so filling before shrinking paints it too.
    painter.fillRect(rect, m_color);
    rect.adjust(m_borderWidth, m_borderWidth, -m_borderWidth, -m_borderWidth);
    if (m_bevelInner != bvNone) {
        drawBevel(painter, rect, m_bevelInner);
    }
    painter.fillRect(rect, m_color);

    painter.setFont(font());
    const int h = QFontMetrics(font()).boundingRect(QStringLiteral("W")).height();
    rect = QRect(rect.left(), rect.top() + (rect.height() - h) / 2, rect.width(), h);

    int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs;
    flags |= m_alignment == taLeftJustify    ? Qt::AlignLeft
             : m_alignment == taRightJustify ? Qt::AlignRight
                                             : Qt::AlignHCenter;
    const QString text = DisplayText();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    if (m_textStyle != tsNone) {
        const bool raised = m_textStyle == tsRaised;
        painter.setPen(raised ? dark : light);
        painter.drawText(rect.translated(1, 1), flags, text);
        painter.setPen(raised ? light : dark);
        painter.drawText(rect.translated(-1, -1), flags, text);
    }
    painter.setPen(isEnabled() ? m_fontColor : palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect, flags, text);
    return m_bitmap;
}

void TFxLabel::paintEvent(QPaintEvent* event)
{
    replaceSource(PaintBitmap());
    TFXGraphic::paintEvent(event);
}
