#include "widgets/TPaintThrottle.h"

#include "core/TClock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

TPaintThrottle::TPaintThrottle(QWidget* window, int intervalMs, QObject* parent)
    : QObject(parent), m_window(window), m_interval(intervalMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TPaintThrottle::release);
    if (m_window) {
        m_window->installEventFilter(this);
    }
}

TPaintThrottle::~TPaintThrottle()
{
    if (m_window) {
        m_window->removeEventFilter(this);
    }
    release();
}

void TPaintThrottle::release()
{
    m_timer.stop();
    if (m_holding) {
        m_holding = false;
        m_flushing = true;
        if (m_window) {
            // The held request was swallowed: the window waits for a new one before it
            // asks again.
            QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
        }
    }
}

void TPaintThrottle::Changed()
{
    if (m_window && !m_holding) {
        m_window->update();
    }
}

void TPaintThrottle::Flush()
{
    if (!m_window) {
        return;
    }
    m_flushing = true;
    m_window->update();
    release();
}

bool TPaintThrottle::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest) {
        return QObject::eventFilter(watched, event);
    }
    const qint64 now = TClock::Monotonic();
    const qint64 since = now - m_lastPaint;
    if (!m_flushing && m_painted && since >= 0 && since < m_interval) {
        m_holding = true;
        if (!m_timer.isActive()) {
            m_timer.start(int(m_interval - since));
        }
        return true;
    }
    m_flushing = false;
    m_lastPaint = now;
    m_painted = true;
    ++m_paints;
    return false;
}
