// Detached POSIX threads with a running count, and thread priority.
#include "platform/threads.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <new>

namespace {

// The current-thread pseudo-handle; never a real object.
HANDLE const kCurrentThread = (HANDLE)(intptr_t)-2;
const int kLowestNice = 19;

// Never destroyed: a worker may still end while the process exits.
std::mutex& countLock = *new std::mutex();
std::condition_variable& countChanged = *new std::condition_variable();
int running = 0;

struct Start {
  LPTHREAD_START_ROUTINE proc;
  void* parameter;
};

void* Trampoline(void* raw) {
  Start start = *(Start*)raw;
  delete (Start*)raw;
  start.proc(start.parameter);
  std::lock_guard<std::mutex> hold(countLock);
  running--;
  countChanged.notify_all();
  return nullptr;
}

}  // namespace

BOOL PlatformStartThread(LPTHREAD_START_ROUTINE proc, void* parameter) {
  if (!proc) return FALSE;
#ifdef __GLIBC__
  // Every folder gets a new worker, and each new thread may get its own
  // malloc arena, which keeps the freed decode buffers resident: resident
  // memory then climbs by megabytes over thousands of folder changes. One
  // arena for all threads keeps it flat; the window thread and one worker
  // hardly contend for its lock.
  static bool oneArena = mallopt(M_ARENA_MAX, 1) == 1;
  (void)oneArena;
#endif
  Start* start = new (std::nothrow) Start{proc, parameter};
  if (!start) return FALSE;
  {
    std::lock_guard<std::mutex> hold(countLock);
    running++;
  }
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int failed = pthread_create(&thread, &attr, Trampoline, start);
  pthread_attr_destroy(&attr);
  if (failed) {
    delete start;
    std::lock_guard<std::mutex> hold(countLock);
    running--;
    countChanged.notify_all();
    return FALSE;
  }
  return TRUE;
}

HANDLE GetCurrentThread() { return kCurrentThread; }

BOOL SetThreadPriority(HANDLE thread, int priority) {
  if (thread != kCurrentThread) return FALSE;
  if (priority < THREAD_PRIORITY_LOWEST) return TRUE;  // nothing above normal is asked for
  // Nice 19 rather than the idle class: an idle-class thread holding a lock
  // that the window's thread waits for can be kept off the processor for as
  // long as normal threads are busy, while nice 19 still gets a small share.
  // Linux applies a nice value to the thread id alone.
  return setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), kLowestNice) == 0 ? TRUE : FALSE;
}

int PlatformRunningThreads() {
  std::lock_guard<std::mutex> hold(countLock);
  return running;
}

void PlatformWaitForThreads() {
  std::unique_lock<std::mutex> hold(countLock);
  countChanged.wait(hold, [] { return running == 0; });
}
