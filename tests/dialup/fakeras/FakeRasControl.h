#pragma once

// Control side of the simulated remote-access library: tests script it through these.

#include "dialup/RasRecords.h"

#ifdef __cplusplus
extern "C" {
#endif

enum FakeRasDialMode {
    // State 8192 from the k-th status poll on (k 0: at once).
    FakeRasConnects = 0,
    // State 8193 with error 678 from the k-th status poll on.
    FakeRasNoAnswer = 1,
    // Stays in state 2 for ever.
    FakeRasHangs = 2
};

void FakeRas_Reset(void);

void FakeRas_AddEntry(const char* name);
// A connection that exists outside the program; answers its handle.
RASHANDLE FakeRas_AddConnection(const char* entryName, uint32_t state);
int FakeRas_ConnectionCount(void);
void FakeRas_SetConnectionStatus(RASHANDLE handle, uint32_t state, uint32_t error);
void FakeRas_SetDevice(const char* name, const char* type);

// How every following dial goes; a queued script takes precedence, one dial each.
void FakeRas_SetDialMode(int mode, int polls);
void FakeRas_QueueDial(int mode, int polls, uint32_t result);
// A refused dial answers this code; it still hands out a handle, as the platform does.
void FakeRas_SetDialResult(uint32_t result);
void FakeRas_SetHangUpResult(uint32_t result);
// A non-zero value makes every status query fail with it.
void FakeRas_SetStatusResult(uint32_t result);
void FakeRas_SetErrorText(uint32_t code, const char* text);
// Called at the start of every status query.
void FakeRas_SetStatusHook(void (*hook)(void*), void* context);

// Posts dial progress through the notifier of the last dial; its status follows.
void FakeRas_Notify(uint32_t state, uint32_t error);
// The same from a thread of its own; returns when all are posted.
void FakeRas_NotifyFromThread(const uint32_t* states, const uint32_t* errors, int count);

int FakeRas_DialCount(void);
int FakeRas_HangUpCount(void);
int FakeRas_StatusCount(void);
int FakeRas_CallCount(void);
RASHANDLE FakeRas_LastHangUpHandle(void);
const RASDIALPARAMS* FakeRas_LastDialParams(void);
// NULL when the last dial or enumeration of entries named no phone book.
const char* FakeRas_LastPhoneBook(void);
uint32_t FakeRas_LastNotifierType(void);

#ifdef __cplusplus
}
#endif
