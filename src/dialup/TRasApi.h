#pragma once

#include "dialup/RasRecords.h"

#include <QString>

// Run-time binding of the remote-access library. Each entry point loads the library on
// first use (once; it stays loaded) and looks its function up by name; when either is
// missing the call answers -1 without doing anything.
class TRasApi {
public:
    static constexpr const char* DefaultLibraryName = "librasapi32.so";

    // Loads the library and releases it at once: can dial-up be used at all?
    static bool IsPresent();

    // Which library to bind: a name found through the library path, or a full path.
    // Forgets the functions bound so far (the library already loaded stays loaded).
    static void SetLibraryName(const QString& name);
    static QString LibraryName();

    static int RasDialA(void* dialExtensions, const char* phoneBook, RASDIALPARAMS* params, uint32_t notifierType,
                        void* notifier, RASHANDLE* handle);
    static int RasHangUpA(RASHANDLE handle);
    static int RasGetConnectStatusA(RASHANDLE handle, RASCONNSTATUS* status);
    static int RasEnumConnectionsA(RASCONN* connections, uint32_t* bufferSize, uint32_t* count);
    static int RasEnumEntriesA(const char* reserved, const char* phoneBook, RASENTRYNAME* entries, uint32_t* bufferSize,
                               uint32_t* count);
    static int RasGetErrorStringA(uint32_t code, char* buffer, uint32_t size);

private:
    static void* resolve(int index, const char* name);
};
