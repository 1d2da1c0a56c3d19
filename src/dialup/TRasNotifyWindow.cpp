#include "dialup/TRasNotifyWindow.h"

#include "core/TExceptionHook.h"
#include "dialup/TRAS.h"
#include "dialup/TRasDialEvent.h"

#include <QCoreApplication>
#include <QHash>
#include <QMutex>

namespace {

// The library keeps only an id, never a pointer: a late post from another thread
// then finds no window instead of a freed one. Ids are not reused.
struct Registry {
    QMutex mutex;
    QHash<quintptr, TRasNotifyWindow*> windows;
    quintptr lastId = 0;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

TRasNotifyWindow::TRasNotifyWindow(TRAS* owner) : m_owner(owner)
{
    setObjectName(QStringLiteral("NotifyWindow"));
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    m_id = ++r.lastId;
    r.windows.insert(m_id, this);
}

TRasNotifyWindow::~TRasNotifyWindow()
{
    Detach();
}

RASNOTIFYWINDOW TRasNotifyWindow::Notifier(uint32_t message) const
{
    RASNOTIFYWINDOW n;
    n.Post = &TRasNotifyWindow::Post;
    n.Window = reinterpret_cast<void*>(m_id);
    n.Message = message;
    return n;
}

void TRasNotifyWindow::Detach()
{
    {
        Registry& r = registry();
        QMutexLocker lock(&r.mutex);
        r.windows.remove(m_id);
    }
    m_owner = nullptr;
    QCoreApplication::removePostedEvents(this);
}

void TRasNotifyWindow::Post(void* window, uint32_t message, uint32_t state, uint32_t error)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    TRasNotifyWindow* target = r.windows.value(reinterpret_cast<quintptr>(window), nullptr);
    if (target) {
        // Posting under the lock keeps the window alive until the event is queued.
        QCoreApplication::postEvent(target, new TRasDialEvent(static_cast<int>(message), state, error));
    }
}

bool TRasNotifyWindow::event(QEvent* event)
{
    if (!m_owner) {
        return dynamic_cast<TRasDialEvent*>(event) ? true : QObject::event(event);
    }
    bool handled = false;
    ++m_dispatching;
    TExceptionHook::Run([&] { handled = m_owner->DialEventHandler(event); });
    --m_dispatching;
    return handled || QObject::event(event);
}
