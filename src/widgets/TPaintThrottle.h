#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

// Paints a window at most once an interval while a running check reports progress many
// times a second. The first change after a quiet spell is painted at once; the changes
// that follow within the interval hold the window's painting, and one paint at the end
// of the interval shows them all. Intervals run on TClock's monotonic clock.
class TPaintThrottle : public QObject {
    Q_OBJECT
public:
    explicit TPaintThrottle(QWidget* window, int intervalMs = 50, QObject* parent = nullptr);
    ~TPaintThrottle() override;

    // Something shown in the window changed.
    void Changed();
    // Paints the window now, held changes included.
    void Flush();

    bool Holding() const { return m_holding; }
    // Paints made so far.
    int Paints() const { return m_paints; }

private:
    void release();

    QPointer<QWidget> m_window;
    QTimer m_timer;
    int m_interval;
    qint64 m_lastPaint = 0;
    bool m_painted = false;
    bool m_holding = false;
    int m_paints = 0;
};
