#pragma once

#include <QEvent>
#include <cstdint>

// One dial progress notification as it reaches the notification window.
class TRasDialEvent : public QEvent {
public:
    TRasDialEvent(int type, uint32_t state, uint32_t error)
        : QEvent(static_cast<QEvent::Type>(type)), State(state), Error(error)
    {
    }

    const uint32_t State;
    const uint32_t Error;
};
