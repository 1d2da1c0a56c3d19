#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// Paints a window at most once an interval while a running check reports progress many
// times a second. Widgets ask for their paints as usual; the window's update requests
// that come within an interval of the last paint are held, and one paint at the end of
// the interval shows every change since, only the regions that changed. Paints happen in
// the event loop, which runs during every wait of a check: the check never stops to
// paint. Intervals run on TClock's monotonic clock.
class TPaintThrottle : public QObject {
    Q_OBJECT
public:
    explicit TPaintThrottle(QWidget* window, int intervalMs = 50, QObject* parent = nullptr);
    ~TPaintThrottle() override;

    // Something shown in the window changed.
    void Changed();
    // Has the window painted at the next pass of the event loop, held changes included,
    // whatever the interval.
    void Flush();

    bool Holding() const { return m_holding; }
    // Paints made so far.
    int Paints() const { return m_paints; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void release();

    QPointer<QWidget> m_window;
    QTimer m_timer;
    int m_interval;
    qint64 m_lastPaint = 0;
    bool m_painted = false;
    bool m_holding = false;
    bool m_flushing = false;
    int m_paints = 0;
};
