#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QtGlobal>

// The longest time the event loop went without serving a 10 ms timer, from construction
// until Longest() is asked.
class TLoopGap {
public:
    TLoopGap()
    {
        m_clock.start();
        m_ticker.setInterval(10);
        QObject::connect(&m_ticker, &QTimer::timeout, &m_ticker, [this] { note(); });
        m_ticker.start();
    }

    qint64 Elapsed() const { return m_clock.elapsed(); }
    // Counts the gap running now as well; stops watching.
    qint64 Longest()
    {
        note();
        m_ticker.stop();
        return m_longest;
    }

private:
    void note()
    {
        m_longest = qMax(m_longest, m_clock.elapsed() - m_last);
        m_last = m_clock.elapsed();
    }

    QElapsedTimer m_clock;
    QTimer m_ticker;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
