#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM and SIGINT (a logout, `kill`, Ctrl+C) end the program through its normal close,
// so settings and window geometry are saved. The signal handler only writes a byte to a
// pipe; the event loop does the rest.
class TTermSignal : public QObject {
public:
    explicit TTermSignal(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TTermSignal() override;

private:
    std::function<void()> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;
};
