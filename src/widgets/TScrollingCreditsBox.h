#pragma once

#include <QFrame>
#include <QPointer>
#include <QTimer>

// A bordered box whose child widgets scroll upwards like film credits: a child that has
// left at the top comes back below the one that came back last. Children belong in
// Client(), the area inside the border; scrolling runs while the box is shown.
class TScrollingCreditsBox : public QFrame {
    Q_OBJECT
public:
    enum TBorderStyle { bsNone, bsSingle };

    // Fast enough to look smooth, slow enough to read.
    static constexpr int TimerInterval = 35;

    explicit TScrollingCreditsBox(QWidget* parent = nullptr);

    QWidget* Client() const { return m_client; }

    int CompSpace() const { return m_compSpace; }
    void SetCompSpace(int pixels) { m_compSpace = pixels; }
    int ScrollStep() const { return m_scrollStep; }
    void SetScrollStep(int pixels) { m_scrollStep = pixels; }
    bool Paused() const { return m_paused; }
    void SetPaused(bool paused) { m_paused = paused; }
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle style);

    const QTimer& Timer() const { return m_timer; }
    // One scroll step.
    void TimerTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_client;
    QTimer m_timer;
    QPointer<QWidget> m_lastMoved;
    int m_compSpace = 10;
    int m_scrollStep = 1;
    bool m_paused = false;
    TBorderStyle m_borderStyle = bsNone;
};
