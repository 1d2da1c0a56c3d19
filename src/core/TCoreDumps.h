#pragma once

#include <QString>

// Keeps the mail passwords the process holds out of core files: no core dump is written,
// and the process is not dumpable (no core on a crash, no ptrace attach by the same user).
class TCoreDumps {
public:
    // Turns both off for the rest of the process's life; false with the reason when the
    // system refused either.
    static bool Disable(QString* error = nullptr);
};
