// A scriptable stand-in for the remote-access library, loaded by the tests at run time.

#include "FakeRasControl.h"

#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define FAKERAS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

const uint32_t kErrorNoAnswer = 678;
const uint32_t kErrorInvalidParameter = 87;
const uint32_t kErrorInvalidSize = 632;

struct Connection {
    RASHANDLE handle = 0;
    std::string entry;
    uint32_t state = 0;
    uint32_t error = 0;
    int mode = FakeRasConnects;
    int pollsLeft = 0;
    bool dialled = false;
};

struct DialScript {
    int mode;
    int polls;
    uint32_t result;
};

struct Fake {
    std::recursive_mutex mutex;
    std::vector<std::string> entries;
    std::vector<Connection> connections;
    int mode = FakeRasConnects;
    int polls = 1;
    std::deque<DialScript> script;
    uint32_t dialResult = 0;
    uint32_t hangUpResult = 0;
    uint32_t statusResult = 0;
    std::map<uint32_t, std::string> errorTexts;
    std::string deviceName = "Modem";
    std::string deviceType = "modem";
    void (*statusHook)(void*) = nullptr;
    void* statusContext = nullptr;
    RASNOTIFYWINDOW notifier = {};
    uint32_t notifierType = 0;
    RASDIALPARAMS lastParams = {};
    std::string lastPhoneBook;
    bool lastPhoneBookNull = true;
    RASHANDLE nextHandle = 0x100;
    RASHANDLE lastHangUp = 0;
    RASHANDLE lastDial = 0;
    int dials = 0;
    int hangUps = 0;
    int statusQueries = 0;
    int calls = 0;
};

Fake& fake()
{
    static Fake f;
    return f;
}

Connection* find(RASHANDLE handle)
{
    for (Connection& c : fake().connections) {
        if (c.handle == handle) {
            return &c;
        }
    }
    return nullptr;
}

void copyText(char* field, size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::strncpy(field, text.c_str(), size - 1);
}

void notePhoneBook(const char* phoneBook)
{
    fake().lastPhoneBookNull = phoneBook == nullptr;
    fake().lastPhoneBook = phoneBook ? phoneBook : "";
}

} // namespace

FAKERAS_EXPORT uint32_t RasDialA(void* dialExtensions, const char* phoneBook, RASDIALPARAMS* params,
                                 uint32_t notifierType, void* notifier, RASHANDLE* handle)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    ++f.dials;
    notePhoneBook(phoneBook);
    if (dialExtensions != nullptr || params == nullptr || handle == nullptr ||
        params->dwSize != sizeof(RASDIALPARAMS)) {
        return kErrorInvalidParameter;
    }
    f.lastParams = *params;
    f.notifierType = notifierType;
    if (notifierType == RAS_NOTIFIER_WINDOW && notifier != nullptr) {
        f.notifier = *static_cast<RASNOTIFYWINDOW*>(notifier);
    }
    DialScript how{f.mode, f.polls, f.dialResult};
    if (!f.script.empty()) {
        how = f.script.front();
        f.script.pop_front();
    }
    Connection c;
    c.handle = f.nextHandle++;
    c.entry = params->szEntryName;
    c.mode = how.mode;
    c.pollsLeft = how.polls;
    c.dialled = true;
    c.state = (how.mode == FakeRasConnects && how.polls == 0) ? RAS_StateConnected : 0;
    f.connections.push_back(c);
    f.lastDial = c.handle;
    *handle = c.handle;
    return how.result;
}

FAKERAS_EXPORT uint32_t RasHangUpA(RASHANDLE handle)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    ++f.hangUps;
    f.lastHangUp = handle;
    if (!find(handle)) {
        return RAS_ErrorInvalidHandle;
    }
    if (f.hangUpResult != 0) {
        return f.hangUpResult;
    }
    for (auto it = f.connections.begin(); it != f.connections.end(); ++it) {
        if (it->handle == handle) {
            f.connections.erase(it);
            break;
        }
    }
    return 0;
}

FAKERAS_EXPORT uint32_t RasGetConnectStatusA(RASHANDLE handle, RASCONNSTATUS* status)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    ++f.statusQueries;
    if (f.statusHook) {
        f.statusHook(f.statusContext);
    }
    if (status == nullptr || status->dwSize != sizeof(RASCONNSTATUS)) {
        return kErrorInvalidSize;
    }
    if (f.statusResult != 0) {
        return f.statusResult;
    }
    Connection* c = find(handle);
    if (!c) {
        return RAS_ErrorInvalidHandle;
    }
    if (c->dialled && c->state != RAS_StateConnected && c->state != RAS_StateDisconnected) {
        if (c->mode == FakeRasHangs) {
            c->state = 2;
        } else if (--c->pollsLeft <= 0) {
            c->state = c->mode == FakeRasConnects ? RAS_StateConnected : RAS_StateDisconnected;
            c->error = c->mode == FakeRasConnects ? 0 : kErrorNoAnswer;
        } else {
            c->state = 2;
        }
    }
    status->rasconnstate = c->state;
    status->dwError = c->error;
    copyText(status->szDeviceName, sizeof(status->szDeviceName), f.deviceName);
    copyText(status->szDeviceType, sizeof(status->szDeviceType), f.deviceType);
    return 0;
}

FAKERAS_EXPORT uint32_t RasEnumConnectionsA(RASCONN* connections, uint32_t* bufferSize, uint32_t* count)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    if (!connections || !bufferSize || !count || connections[0].dwSize != sizeof(RASCONN)) {
        return kErrorInvalidSize;
    }
    const size_t room = *bufferSize / sizeof(RASCONN);
    const size_t total = f.connections.size();
    for (size_t i = 0; i < total && i < room; ++i) {
        RASCONN& r = connections[i];
        std::memset(&r, 0, sizeof(r));
        r.dwSize = sizeof(RASCONN);
        r.hrasconn = f.connections[i].handle;
        copyText(r.szEntryName, sizeof(r.szEntryName), f.connections[i].entry);
        copyText(r.szDeviceName, sizeof(r.szDeviceName), f.deviceName);
        copyText(r.szDeviceType, sizeof(r.szDeviceType), f.deviceType);
    }
    *count = static_cast<uint32_t>(total);
    if (total > room) {
        *bufferSize = static_cast<uint32_t>(total * sizeof(RASCONN));
        return RAS_ErrorBufferTooSmall;
    }
    return 0;
}

FAKERAS_EXPORT uint32_t RasEnumEntriesA(const char* reserved, const char* phoneBook, RASENTRYNAME* entries,
                                        uint32_t* bufferSize, uint32_t* count)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    notePhoneBook(phoneBook);
    if (reserved != nullptr) {
        return kErrorInvalidParameter;
    }
    if (!entries || !bufferSize || !count || entries[0].dwSize != sizeof(RASENTRYNAME)) {
        return kErrorInvalidSize;
    }
    const size_t room = *bufferSize / sizeof(RASENTRYNAME);
    const size_t total = f.entries.size();
    for (size_t i = 0; i < total && i < room; ++i) {
        entries[i].dwSize = sizeof(RASENTRYNAME);
        copyText(entries[i].szEntryName, sizeof(entries[i].szEntryName), f.entries[i]);
    }
    *count = static_cast<uint32_t>(total);
    if (total > room) {
        *bufferSize = static_cast<uint32_t>(total * sizeof(RASENTRYNAME));
        return RAS_ErrorBufferTooSmall;
    }
    return 0;
}

#ifndef FAKERAS_WITHOUT_TEXTS
FAKERAS_EXPORT uint32_t RasGetErrorStringA(uint32_t code, char* buffer, uint32_t size)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    ++f.calls;
    if (!buffer || size == 0) {
        return kErrorInvalidParameter;
    }
    auto it = f.errorTexts.find(code);
    if (it == f.errorTexts.end()) {
        return kErrorInvalidParameter;
    }
    std::strncpy(buffer, it->second.c_str(), size);
    return 0;
}
#endif

FAKERAS_EXPORT void FakeRas_Reset(void)
{
    Fake& f = fake();
    std::lock_guard<std::recursive_mutex> lock(f.mutex);
    f.entries.clear();
    f.connections.clear();
    f.mode = FakeRasConnects;
    f.polls = 1;
    f.script.clear();
    f.dialResult = 0;
    f.hangUpResult = 0;
    f.statusResult = 0;
    f.errorTexts.clear();
    f.deviceName = "Modem";
    f.deviceType = "modem";
    f.statusHook = nullptr;
    f.statusContext = nullptr;
    f.notifier = RASNOTIFYWINDOW{};
    f.notifierType = 0;
    f.lastParams = RASDIALPARAMS{};
    f.lastPhoneBook.clear();
    f.lastPhoneBookNull = true;
    f.lastHangUp = 0;
    f.lastDial = 0;
    f.dials = f.hangUps = f.statusQueries = f.calls = 0;
}

FAKERAS_EXPORT void FakeRas_AddEntry(const char* name)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().entries.push_back(name);
}

FAKERAS_EXPORT RASHANDLE FakeRas_AddConnection(const char* entryName, uint32_t state)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    Connection c;
    c.handle = fake().nextHandle++;
    c.entry = entryName;
    c.state = state;
    fake().connections.push_back(c);
    return c.handle;
}

FAKERAS_EXPORT int FakeRas_ConnectionCount(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return static_cast<int>(fake().connections.size());
}

FAKERAS_EXPORT void FakeRas_SetConnectionStatus(RASHANDLE handle, uint32_t state, uint32_t error)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    if (Connection* c = find(handle)) {
        c->state = state;
        c->error = error;
        c->dialled = false;
    }
}

FAKERAS_EXPORT void FakeRas_SetDevice(const char* name, const char* type)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().deviceName = name;
    fake().deviceType = type;
}

FAKERAS_EXPORT void FakeRas_SetDialMode(int mode, int polls)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().mode = mode;
    fake().polls = polls;
}

FAKERAS_EXPORT void FakeRas_QueueDial(int mode, int polls, uint32_t result)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().script.push_back(DialScript{mode, polls, result});
}

FAKERAS_EXPORT void FakeRas_SetDialResult(uint32_t result)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().dialResult = result;
}

FAKERAS_EXPORT void FakeRas_SetHangUpResult(uint32_t result)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().hangUpResult = result;
}

FAKERAS_EXPORT void FakeRas_SetStatusResult(uint32_t result)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().statusResult = result;
}

FAKERAS_EXPORT void FakeRas_SetErrorText(uint32_t code, const char* text)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().errorTexts[code] = text;
}

FAKERAS_EXPORT void FakeRas_SetStatusHook(void (*hook)(void*), void* context)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    fake().statusHook = hook;
    fake().statusContext = context;
}

FAKERAS_EXPORT void FakeRas_Notify(uint32_t state, uint32_t error)
{
    RASNOTIFYWINDOW n;
    {
        // What is told is also what a status query answers from now on.
        std::lock_guard<std::recursive_mutex> lock(fake().mutex);
        n = fake().notifier;
        if (Connection* c = find(fake().lastDial)) {
            c->dialled = false;
            if (error != 0) {
                c->error = error;
            } else {
                c->state = state;
            }
        }
    }
    if (n.Post) {
        n.Post(n.Window, n.Message, state, error);
    }
}

FAKERAS_EXPORT void FakeRas_NotifyFromThread(const uint32_t* states, const uint32_t* errors, int count)
{
    std::vector<uint32_t> s(states, states + count);
    std::vector<uint32_t> e(errors, errors + count);
    std::thread poster([s, e] {
        for (size_t i = 0; i < s.size(); ++i) {
            FakeRas_Notify(s[i], e[i]);
        }
    });
    poster.join();
}

FAKERAS_EXPORT int FakeRas_DialCount(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().dials;
}

FAKERAS_EXPORT int FakeRas_HangUpCount(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().hangUps;
}

FAKERAS_EXPORT int FakeRas_StatusCount(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().statusQueries;
}

FAKERAS_EXPORT int FakeRas_CallCount(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().calls;
}

FAKERAS_EXPORT RASHANDLE FakeRas_LastHangUpHandle(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().lastHangUp;
}

FAKERAS_EXPORT const RASDIALPARAMS* FakeRas_LastDialParams(void)
{
    return &fake().lastParams;
}

FAKERAS_EXPORT const char* FakeRas_LastPhoneBook(void)
{
    return fake().lastPhoneBookNull ? nullptr : fake().lastPhoneBook.c_str();
}

FAKERAS_EXPORT uint32_t FakeRas_LastNotifierType(void)
{
    std::lock_guard<std::recursive_mutex> lock(fake().mutex);
    return fake().notifierType;
}
