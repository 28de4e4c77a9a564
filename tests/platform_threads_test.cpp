#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "platform/threads.h"

namespace {

std::atomic<int> policySeen{-1};
std::atomic<int> niceSeen{-100};
std::atomic<bool> release{false};

DWORD LowerThenWait(void*) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  policySeen = sched_getscheduler(0);
  niceSeen = getpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid));
  while (!release) Sleep(1);
  return 0;
}

TEST(Threads, LowestPriorityIsBelowTheCallerAndStaysOnItsThread) {
  release = false;
  int callerNice = getpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid));
  ASSERT_TRUE(PlatformStartThread(LowerThenWait, nullptr));
  while (policySeen == -1) Sleep(1);
  EXPECT_EQ(PlatformRunningThreads(), 1);
  // Nice 19 in the normal class: the idle class could starve the worker
  // while it holds the list lock.
  EXPECT_EQ(policySeen, SCHED_OTHER);
  EXPECT_EQ(niceSeen, 19);
  EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);  // the caller is untouched
  EXPECT_EQ(getpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid)), callerNice);
  release = true;
  PlatformWaitForThreads();
  EXPECT_EQ(PlatformRunningThreads(), 0);
  EXPECT_FALSE(SetThreadPriority((HANDLE)1, THREAD_PRIORITY_LOWEST));  // only the calling thread
}

TEST(Threads, TickCountMovesWithSleep) {
  DWORD before = GetTickCount();
  Sleep(30);
  DWORD elapsed = GetTickCount() - before;  // modulo 2^32, as on the device
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
}

}  // namespace
