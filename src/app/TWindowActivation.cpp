#include "app/TWindowActivation.h"

#include <QWidget>

namespace {

TWindowActivation::Observer& observer()
{
    static TWindowActivation::Observer watcher;
    return watcher;
}

} // namespace

void TWindowActivation::Activate(QWidget* window, const QString& token)
{
    if (observer()) {
        observer()(window, token);
    }
    if (!token.isEmpty()) {
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    }
    window->raise();
    window->activateWindow();
    // The plugin clears it once used; elsewhere a stale token must not reach the mail
    // program this process starts later.
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

void TWindowActivation::SetObserver(Observer watcher)
{
    observer() = std::move(watcher);
}
