#include "core/TExceptionHook.h"

#include "core/EAbort.h"
#include "core/EMailvane.h"

#include <cstdio>

TExceptionHook::Handler& TExceptionHook::handler()
{
    static Handler instance;
    return instance;
}

void TExceptionHook::SetHandler(Handler h)
{
    handler() = std::move(h);
}

void TExceptionHook::Report(const QString& message) noexcept
{
    try {
        if (handler()) {
            handler()(message);
        } else {
            std::fprintf(stderr, "Mailvane: %s\n", message.toLocal8Bit().constData());
        }
    } catch (...) {
        // A failure inside the report itself must not escape into Qt.
        std::fprintf(stderr, "Mailvane: %s\n", message.toLocal8Bit().constData());
    }
}

void TExceptionHook::Run(const std::function<void()>& body) noexcept
{
    try {
        body();
    } catch (const EAbort&) {
        // The silent abort ends a command without a word.
    } catch (const EMailvane& e) {
        Report(e.message());
    } catch (const std::exception& e) {
        Report(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        Report(QStringLiteral("Unknown failure"));
    }
}
