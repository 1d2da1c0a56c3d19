#include "app/TStallProbe.h"

TStallProbe::TStallProbe(QObject* parent) : QObject(parent)
{
    const QString path = qEnvironmentVariable("MAILVANE_STALL_LOG");
    if (path.isEmpty()) {
        return;
    }
    m_log.setFileName(path);
    if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    m_clock.start();
    m_timer.setInterval(5);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TStallProbe::tick);
    m_timer.start();
}

void TStallProbe::tick()
{
    const qint64 now = m_clock.elapsed();
    const qint64 gap = now - m_last;
    m_last = now;
    if (gap > 20) {
        m_log.write(QByteArray::number(now) + ' ' + QByteArray::number(gap) + '\n');
        m_log.flush();
    }
}
