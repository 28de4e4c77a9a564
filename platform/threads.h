// Threads: started with one argument and no handle kept; the calling thread
// may lower its own priority below the window's.
#pragma once

#include "platform/wintypes.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(void* parameter);

// The handheld's scale: 0 (highest) to 7, normal 3.
#define THREAD_PRIORITY_NORMAL 3
#define THREAD_PRIORITY_LOWEST 5

// Runs proc(parameter) on a new thread with the default stack; nothing to
// join or close. TRUE when the thread started.
BOOL PlatformStartThread(LPTHREAD_START_ROUTINE proc, void* parameter);

// Pseudo-handle of the calling thread, for SetThreadPriority.
HANDLE GetCurrentThread();
// Only the calling thread can be changed. LOWEST and below: nice 19 for the
// calling thread alone.
BOOL SetThreadPriority(HANDLE thread, int priority);

// Threads started by PlatformStartThread that have not returned yet.
int PlatformRunningThreads();
// Blocks until every such thread has returned (tools and tests at exit).
void PlatformWaitForThreads();

// The backend's clock (platform/backend.h): real time, or the headless
// run's virtual time.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);
