#include "dialup/TRasApi.h"

#include <QFile>

#include <dlfcn.h>

namespace {

enum { fnDial, fnHangUp, fnGetConnectStatus, fnEnumConnections, fnEnumEntries, fnGetErrorString, fnCount };

struct Binding {
    QByteArray libraryName = TRasApi::DefaultLibraryName;
    void* library = nullptr;
    bool loadTried = false;
    void* functions[fnCount] = {};
    bool looked[fnCount] = {};
};

Binding& binding()
{
    static Binding b;
    return b;
}

} // namespace

bool TRasApi::IsPresent()
{
    void* library = dlopen(binding().libraryName.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        return false;
    }
    dlclose(library);
    return true;
}

void TRasApi::SetLibraryName(const QString& name)
{
    binding() = Binding();
    binding().libraryName = QFile::encodeName(name);
}

QString TRasApi::LibraryName()
{
    return QFile::decodeName(binding().libraryName);
}

void* TRasApi::resolve(int index, const char* name)
{
    Binding& b = binding();
    if (!b.loadTried) {
        b.loadTried = true;
        b.library = dlopen(b.libraryName.constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!b.library) {
        return nullptr;
    }
    if (!b.looked[index]) {
        b.looked[index] = true;
        b.functions[index] = dlsym(b.library, name);
    }
    return b.functions[index];
}

int TRasApi::RasDialA(void* dialExtensions, const char* phoneBook, RASDIALPARAMS* params, uint32_t notifierType,
                      void* notifier, RASHANDLE* handle)
{
    auto fn = reinterpret_cast<PFN_RasDialA>(resolve(fnDial, "RasDialA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(dialExtensions, phoneBook, params, notifierType, notifier, handle));
}

int TRasApi::RasHangUpA(RASHANDLE handle)
{
    auto fn = reinterpret_cast<PFN_RasHangUpA>(resolve(fnHangUp, "RasHangUpA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(handle));
}

int TRasApi::RasGetConnectStatusA(RASHANDLE handle, RASCONNSTATUS* status)
{
    auto fn = reinterpret_cast<PFN_RasGetConnectStatusA>(resolve(fnGetConnectStatus, "RasGetConnectStatusA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(handle, status));
}

int TRasApi::RasEnumConnectionsA(RASCONN* connections, uint32_t* bufferSize, uint32_t* count)
{
    auto fn = reinterpret_cast<PFN_RasEnumConnectionsA>(resolve(fnEnumConnections, "RasEnumConnectionsA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(connections, bufferSize, count));
}

int TRasApi::RasEnumEntriesA(const char* reserved, const char* phoneBook, RASENTRYNAME* entries, uint32_t* bufferSize,
                             uint32_t* count)
{
    auto fn = reinterpret_cast<PFN_RasEnumEntriesA>(resolve(fnEnumEntries, "RasEnumEntriesA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(reserved, phoneBook, entries, bufferSize, count));
}

int TRasApi::RasGetErrorStringA(uint32_t code, char* buffer, uint32_t size)
{
    auto fn = reinterpret_cast<PFN_RasGetErrorStringA>(resolve(fnGetErrorString, "RasGetErrorStringA"));
    if (!fn) {
        return -1;
    }
    return static_cast<int>(fn(code, buffer, size));
}
