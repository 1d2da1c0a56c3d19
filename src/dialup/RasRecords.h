#pragma once

// Records and entry points of the remote-access library, ANSI flavour. Plain C so the
// library itself can be built from it; sizes are fixed by the library's ABI.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t RASHANDLE;

enum {
    RAS_MaxEntryName = 256,
    RAS_MaxPhoneNumber = 128,
    RAS_MaxCallbackNumber = 128,
    RAS_MaxUserName = 256,
    RAS_MaxPassword = 256,
    RAS_MaxDomain = 15,
    RAS_MaxDeviceType = 16,
    RAS_MaxDeviceName = 128
};

enum { RAS_ErrorInvalidHandle = 6, RAS_ErrorNotEnoughMemory = 8, RAS_ErrorBufferTooSmall = 603 };

enum { RAS_StateConnected = 0x2000, RAS_StateDisconnected = 0x2001 };

// Notifier type with all bits set: the notifier is a RASNOTIFYWINDOW.
#define RAS_NOTIFIER_WINDOW 0xFFFFFFFFu

typedef struct RASDIALPARAMS {
    uint32_t dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
    char szPhoneNumber[RAS_MaxPhoneNumber + 1];
    char szCallbackNumber[RAS_MaxCallbackNumber + 1];
    char szUserName[RAS_MaxUserName + 1];
    char szPassword[RAS_MaxPassword + 1];
    char szDomain[RAS_MaxDomain + 1];
    char reserved[3];
} RASDIALPARAMS;

typedef struct RASCONNSTATUS {
    uint32_t dwSize;
    uint32_t rasconnstate;
    uint32_t dwError;
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char reserved[2];
} RASCONNSTATUS;

typedef struct RASCONN {
    uint32_t dwSize;
    RASHANDLE hrasconn;
    char szEntryName[RAS_MaxEntryName + 1];
    char szDeviceType[RAS_MaxDeviceType + 1];
    char szDeviceName[RAS_MaxDeviceName + 1];
    char reserved[1];
} RASCONN;

typedef struct RASENTRYNAME {
    uint32_t dwSize;
    char szEntryName[RAS_MaxEntryName + 1];
    char reserved[3];
} RASENTRYNAME;

// Stands in for the notification window: the library posts dial progress through
// Post(Window, Message, state, error), from any thread. It copies the record at dial time.
typedef void (*RASPOSTPROC)(void* window, uint32_t message, uint32_t state, uint32_t error);
typedef struct RASNOTIFYWINDOW {
    RASPOSTPROC Post;
    void* Window;
    uint32_t Message;
} RASNOTIFYWINDOW;

typedef uint32_t (*PFN_RasDialA)(void* dialExtensions, const char* phoneBook, RASDIALPARAMS* params,
                                 uint32_t notifierType, void* notifier, RASHANDLE* handle);
typedef uint32_t (*PFN_RasHangUpA)(RASHANDLE handle);
typedef uint32_t (*PFN_RasGetConnectStatusA)(RASHANDLE handle, RASCONNSTATUS* status);
typedef uint32_t (*PFN_RasEnumConnectionsA)(RASCONN* connections, uint32_t* bufferSize, uint32_t* count);
typedef uint32_t (*PFN_RasEnumEntriesA)(const char* reserved, const char* phoneBook, RASENTRYNAME* entries,
                                        uint32_t* bufferSize, uint32_t* count);
typedef uint32_t (*PFN_RasGetErrorStringA)(uint32_t code, char* buffer, uint32_t size);

#ifdef __cplusplus
}

static_assert(sizeof(RASDIALPARAMS) == 1052, "RASDIALPARAMS layout");
static_assert(sizeof(RASCONNSTATUS) == 160, "RASCONNSTATUS layout");
static_assert(sizeof(RASCONN) == 412, "RASCONN layout");
static_assert(sizeof(RASENTRYNAME) == 264, "RASENTRYNAME layout");
static_assert(offsetof(RASCONN, szEntryName) == 8, "RASCONN entry name follows the handle");
#endif
