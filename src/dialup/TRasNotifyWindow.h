#pragma once

#include "dialup/RasRecords.h"

#include <QObject>

class TRAS;

// Hidden receiver of dial progress. The library may post from any thread; posts become
// queued events, so the owner handles them on this object's thread and in order.
class TRasNotifyWindow : public QObject {
    Q_OBJECT
public:
    explicit TRasNotifyWindow(TRAS* owner);
    ~TRasNotifyWindow() override;

    // What the library is handed in place of a window handle.
    RASNOTIFYWINDOW Notifier(uint32_t message) const;

    // Cuts the tie to the owner: later and pending notifications are dropped.
    void Detach();
    bool Dispatching() const { return m_dispatching > 0; }

    static void Post(void* window, uint32_t message, uint32_t state, uint32_t error);

protected:
    bool event(QEvent* event) override;

private:
    TRAS* m_owner;
    quintptr m_id;
    int m_dispatching = 0;
};
