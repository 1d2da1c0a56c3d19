#include "widgets/TPaintThrottle.h"

#include "core/TClock.h"

#include <QWidget>

TPaintThrottle::TPaintThrottle(QWidget* window, int intervalMs, QObject* parent)
    : QObject(parent), m_window(window), m_interval(intervalMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TPaintThrottle::Flush);
}

TPaintThrottle::~TPaintThrottle()
{
    release();
}

void TPaintThrottle::release()
{
    m_timer.stop();
    if (m_holding) {
        m_holding = false;
        if (m_window) {
            m_window->setUpdatesEnabled(true);
        }
    }
}

void TPaintThrottle::Changed()
{
    if (m_holding || !m_window) {
        return;
    }
    const qint64 since = TClock::Monotonic() - m_lastPaint;
    if (!m_painted || since >= m_interval || since < 0) {
        Flush();
        return;
    }
    // Disabled updates keep the dirty regions; enabling them again repaints the window.
    m_window->setUpdatesEnabled(false);
    m_holding = true;
    m_timer.start(int(m_interval - since));
}

void TPaintThrottle::Flush()
{
    release();
    if (!m_window) {
        return;
    }
    m_window->repaint();
    m_lastPaint = TClock::Monotonic();
    m_painted = true;
    ++m_paints;
}
