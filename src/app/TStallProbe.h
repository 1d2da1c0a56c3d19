#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

// Measures how long the GUI thread goes without running its event loop, for benchmarks:
// with MAILVANE_STALL_LOG set to a file name, a 5 ms timer notes every gap over 20 ms
// there as "<ms since start> <gap ms>", one line each. Without it the probe does nothing.
class TStallProbe : public QObject {
    Q_OBJECT
public:
    explicit TStallProbe(QObject* parent = nullptr);

private:
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    QFile m_log;
};
