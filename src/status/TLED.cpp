#include "status/TLED.h"

#include "core/TExceptionHook.h"

#include <QPainter>
#include <QRadialGradient>
#include <QTimer>

namespace {

struct LedColours {
    QColor lit;
    QColor unlit;
};

LedColours coloursOf(TLEDColorType color)
{
    switch (color) {
    case TLEDColorType::Red:
        return {QColor(255, 0, 0), QColor(128, 0, 0)};
    case TLEDColorType::Blue:
        return {QColor(0, 0, 255), QColor(0, 0, 128)};
    case TLEDColorType::Green:
        return {QColor(0, 255, 0), QColor(0, 128, 0)};
    case TLEDColorType::Yellow:
        return {QColor(255, 255, 0), QColor(128, 128, 0)};
    case TLEDColorType::Fuchsia:
        return {QColor(255, 0, 255), QColor(128, 0, 128)};
    case TLEDColorType::Grey:
        // A grey light goes black when it is off.
        return {QColor(192, 192, 192), QColor(0, 0, 0)};
    case TLEDColorType::Aqua:
        return {QColor(0, 255, 255), QColor(0, 128, 128)};
    case TLEDColorType::White:
        return {QColor(255, 255, 255), QColor(128, 128, 128)};
    }
    return {QColor(255, 0, 0), QColor(128, 0, 0)};
}

QImage drawPicture(TLEDColorType color, bool lit)
{
    const LedColours c = coloursOf(color);
    const QColor body = lit ? c.lit : c.unlit;
    QImage img(15, 15, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // Sunken rim, then the lens with a highlight toward the upper left.
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(0.5, 0.5, 14, 14));
    QRadialGradient lens(QPointF(5.5, 5.0), 9.0);
    lens.setColorAt(0.0, lit ? body.lighter(170) : body.lighter(125));
    lens.setColorAt(0.5, body);
    lens.setColorAt(1.0, lit ? body.darker(140) : body.darker(160));
    p.setPen(QPen(body.darker(200), 1));
    p.setBrush(lens);
    p.drawEllipse(QRectF(1.5, 1.5, 12, 12));
    if (lit) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(QRectF(4, 3.5, 3.5, 2.5));
    }
    return img;
}

} // namespace

TLED::TLED(QWidget* parent) : QWidget(parent), m_timer(new QTimer(this))
{
    setFixedSize(17, 17);
    setAttribute(Qt::WA_TranslucentBackground);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, [this] { TExceptionHook::Run([this] { TimerTimer(); }); });
}

QImage TLED::Picture(TLEDColorType color, bool lit)
{
    static QImage cache[8][2];
    QImage& slot = cache[static_cast<int>(color)][lit ? 1 : 0];
    if (slot.isNull()) {
        slot = drawPicture(color, lit);
    }
    return slot;
}

void TLED::SetColor(TLEDColorType color)
{
    m_color = color;
    m_showsLit = m_state == TLEDState::LEDOn;
    update();
}

void TLED::SetState(TLEDState state)
{
    m_state = state;
    m_showsLit = m_state == TLEDState::LEDOn;
    update();
}

void TLED::SetBlinking(bool on)
{
    m_blinking = on;
    if (on) {
        // The picture first changes at the first tick.
        m_blinkPhase = true;
        m_timer->start();
    } else {
        m_timer->stop();
        m_showsLit = m_state == TLEDState::LEDOn;
        update();
    }
}

int TLED::BlinkInterval() const
{
    return m_timer->interval();
}

void TLED::SetBlinkInterval(int ms)
{
    m_timer->setInterval(ms);
}

void TLED::TimerTimer()
{
    m_showsLit = !m_blinkPhase;
    m_blinkPhase = !m_blinkPhase;
    update();
}

void TLED::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(1, 1, Picture(m_color, m_showsLit));
}
