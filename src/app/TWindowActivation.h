#pragma once

#include <QString>

#include <functional>

class QWidget;

// Brings a top-level window to the front. On Wayland a client may do that only with an
// activation token the desktop handed over (a notification's click, a second start); Qt's
// Wayland plugin takes it from XDG_ACTIVATION_TOKEN at the activation request.
class TWindowActivation {
public:
    static void Activate(QWidget* window, const QString& token);

    // Tests watch what reaches the activation; empty: nobody watches.
    using Observer = std::function<void(QWidget* window, const QString& token)>;
    static void SetObserver(Observer observer);
};
