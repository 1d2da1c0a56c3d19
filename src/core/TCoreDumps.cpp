#include "core/TCoreDumps.h"

#include <cerrno>
#include <cstring>

#include <sys/resource.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

bool failed(QString* error, const char* call)
{
    if (error) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(call), QString::fromLocal8Bit(std::strerror(errno)));
    }
    return false;
}

} // namespace

bool TCoreDumps::Disable(QString* error)
{
    // The hard limit too, so that nothing in the process can raise it again.
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_CORE, &none) != 0) {
        return failed(error, "setrlimit(RLIMIT_CORE)");
    }
#ifdef __linux__
    // A core pattern that pipes to a handler ignores the limit; not being dumpable does not.
    if (prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0) {
        return failed(error, "prctl(PR_SET_DUMPABLE)");
    }
#endif
    return true;
}
