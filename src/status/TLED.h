#pragma once

#include <QImage>
#include <QWidget>

class QTimer;

enum class TLEDColorType { Red, Blue, Green, Yellow, Fuchsia, Grey, Aqua, White };
enum class TLEDState { LEDOn, LEDOff };

// A small round signal light that can blink.
class TLED : public QWidget {
    Q_OBJECT
public:
    explicit TLED(QWidget* parent = nullptr);

    TLEDColorType Color() const { return m_color; }
    void SetColor(TLEDColorType color);

    TLEDState State() const { return m_state; }
    void SetState(TLEDState state);

    bool Blinking() const { return m_blinking; }
    void SetBlinking(bool on);

    int BlinkInterval() const;
    void SetBlinkInterval(int ms);

    bool BlinkPhase() const { return m_blinkPhase; }
    // Whether the lit picture is the one on screen right now.
    bool ShowsLit() const { return m_showsLit; }

    // One step of the blink timer.
    void TimerTimer();

    // The 15 x 15 picture of a colour, lit or unlit.
    static QImage Picture(TLEDColorType color, bool lit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* m_timer;
    TLEDColorType m_color = TLEDColorType::Red;
    TLEDState m_state = TLEDState::LEDOn;
    bool m_blinking = false;
    bool m_blinkPhase = false;
    bool m_showsLit = true;
};
