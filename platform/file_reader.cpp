// The reader thread. Callers queue a job and wait for it at most
// kReaderWaitMs. A reader whose call outlives that is left to finish on its
// own, the file it was on is refused from then on (at once, without
// touching it), and a fresh reader serves everyone else; when the stuck call
// returns its thread ends and the file is tried again. Only
// kMaxAbandonedReaders are left so: a second file stalling meanwhile makes
// requests fail at once until a stuck call returns, so stalls never cost a
// thread per visit.
#include "platform/file_reader.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

// One stuck thread for a stalled file, however often it is visited.
const size_t kMaxAbandonedReaders = 1;

enum JobKind { JOB_OPEN, JOB_READ, JOB_CALL };

// One request, shared by the caller and the reader so that a caller who gave
// up leaves at once: the reader's bytes land in the job's own buffer, and
// only a caller still waiting copies them out.
struct Job {
  JobKind kind = JOB_OPEN;
  std::wstring path;           // open; a call's key
  ReaderCallFunction call;     // call
  dev_t device = 0;            // open: the file's, once seen (0: not yet)
  ino_t inode = 0;
  FileObject* file = nullptr;  // read: the file (a reference); open: the result
  DWORD count = 0;             // read, call
  std::unique_ptr<char[]> bytes;
  long result = -1;
  bool done = false;
  ~Job() { HandleRelease(file); }
};
typedef std::shared_ptr<Job> JobPtr;

// The file an abandoned reader is stuck on: a path whose open did not
// return, the file whose read did not, or a call's key.
struct Stall {
  uint64_t reader;
  bool isRead;
  std::wstring path;
  dev_t device;
  ino_t inode;
};

struct ReaderState {
  std::mutex lock;
  std::condition_variable wake;      // the live reader: a job is queued
  std::condition_variable answered;  // callers: a job is done
  std::deque<JobPtr> queue;
  uint64_t live = 0;  // the reader that takes jobs; 0 for none
  uint64_t lastId = 0;
  JobPtr current;          // the live reader's job
  bool liveStuck = false;  // the live reader outlived a wait with no spare left
  std::vector<Stall> stalls;  // one per abandoned reader
};

// Never freed: a stuck reader may outlive every static destructor.
ReaderState& State() {
  static ReaderState* state = new ReaderState;
  return *state;
}

bool SameFile(const Stall& s, dev_t device, ino_t inode) {
  return s.device == device && s.inode == inode && (device != 0 || inode != 0);
}

bool SameFile(const Stall& s, const FileObject* f) { return SameFile(s, f->device, f->inode); }

bool KnownToStall(const ReaderState& s, const Job& job) {
  for (const Stall& stall : s.stalls) {
    if (job.kind == JOB_READ ? SameFile(stall, job.file) : !stall.isRead && stall.path == job.path)
      return true;
  }
  return false;
}

// The reader, before it opens a file: one that a stuck reader is on is not
// touched again. Notes the file on the job, so that an open that sticks
// names it too.
thread_local Job* opening = nullptr;
bool RefuseKnownStall(const struct stat* st) {
  ReaderState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  opening->device = st->st_dev;
  opening->inode = st->st_ino;
  for (const Stall& stall : s.stalls)
    if (SameFile(stall, st->st_dev, st->st_ino)) return true;
  return false;
}

void ReaderLoop(uint64_t id);

// Called with the lock held. False when no thread could be made.
bool StartReader(ReaderState& s) {
  s.live = ++s.lastId;
  try {
    std::thread(ReaderLoop, s.live).detach();
  } catch (...) {
    s.live = 0;
    return false;
  }
  return true;
}

// The live reader's call outlived a caller's wait: leave it, and start
// another, unless too many are stuck already. Lock held.
void GiveUpOnLive(ReaderState& s) {
  if (s.stalls.size() >= kMaxAbandonedReaders) {
    s.liveStuck = true;
    return;
  }
  const Job& job = *s.current;
  Stall stall = {s.live, job.kind == JOB_READ, job.path, job.device, job.inode};
  if (job.kind == JOB_READ) {
    stall.device = job.file->device;
    stall.inode = job.file->inode;
  }
  s.stalls.push_back(stall);
  s.current = nullptr;
  s.liveStuck = false;
  StartReader(s);
}

// An abandoned reader's call returned: its file is tried again, and a live
// reader stuck for want of a spare can now be left. Lock held.
void Retire(ReaderState& s, uint64_t id) {
  for (size_t i = 0; i < s.stalls.size(); i++) {
    if (s.stalls[i].reader == id) {
      s.stalls.erase(s.stalls.begin() + (long)i);
      break;
    }
  }
  if (s.liveStuck && s.current) GiveUpOnLive(s);
}

// The call itself, without the lock.
void Perform(Job* job) {
  if (job->kind == JOB_OPEN) {
    struct stat st;
    opening = job;
    const int fd = OpenRegularFile(job->path.c_str(), &st, RefuseKnownStall);
    opening = nullptr;
    if (fd < 0) return;
    const int64_t modified = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    job->file =
        new (std::nothrow) FileObject(fd, st.st_dev, st.st_ino, (int64_t)st.st_size, modified);
    if (!job->file) {
      close(fd);
      return;
    }
    job->result = 0;
    return;
  }
  if (job->kind == JOB_CALL) {
    job->result = job->call(job->bytes.get(), job->count);
    return;
  }
  char* out = job->bytes.get();
  DWORD total = 0;
  while (total < job->count) {
    const ssize_t n = ::read(job->file->fd, out + total, job->count - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    if (n == 0) break;
    total += (DWORD)n;
  }
  job->result = (long)total;
}

void ReaderLoop(uint64_t id) {
  // The reader serves the window's thread too: it takes the process's own
  // priority, not the thumbnail worker's that may have started it (a
  // reader at the worker's nice 19 would make every read of a loaded
  // machine wait for a time slice). Without the right to raise it, it
  // stays as it was.
  setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), getpriority(PRIO_PROCESS, (id_t)getpid()));
  ReaderState& s = State();
  std::unique_lock<std::mutex> hold(s.lock);
  for (;;) {
    s.wake.wait(hold, [&] { return !s.queue.empty(); });
    JobPtr job = s.queue.front();
    s.queue.pop_front();
    if (KnownToStall(s, *job)) {  // queued before its file stalled
      job->done = true;
      s.answered.notify_all();
      continue;
    }
    s.current = job;
    hold.unlock();
    Perform(job.get());
    hold.lock();
    job->done = true;
    s.answered.notify_all();
    const bool abandoned = id != s.live;
    if (abandoned) {
      Retire(s, id);
    } else {
      s.current = nullptr;
      s.liveStuck = false;
    }
    hold.unlock();
    job = nullptr;  // the caller's copy, if any, releases the rest
    if (abandoned) return;
    hold.lock();
  }
}

// Queues job and waits for it. False when it failed, was refused, or had
// no answer in time.
bool Submit(const JobPtr& job) {
  ReaderState& s = State();
  std::unique_lock<std::mutex> hold(s.lock);
  if (s.liveStuck || KnownToStall(s, *job)) return false;
  if (s.live == 0 && !StartReader(s)) return false;
  s.queue.push_back(job);
  s.wake.notify_all();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReaderWaitMs);
  if (s.answered.wait_until(hold, deadline, [&] { return job->done; })) return job->result >= 0;
  bool queued = false;
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    if (*it == job) {
      s.queue.erase(it);
      queued = true;
      break;
    }
  }
  // Still queued, the live call was queued earlier and has outlived its own
  // caller's wait too: it is left here, for that caller (the worker, at nice
  // 19 on a loaded machine) may not run for seconds, and every request
  // queued meanwhile would fail behind it.
  if (s.current && (queued || s.current == job)) GiveUpOnLive(s);
  return false;
}

}  // namespace

void PrepareFileReads() {
  ReaderState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  if (s.live == 0 && !s.liveStuck) StartReader(s);
}

FileObject* ReaderOpen(const WCHAR* path) {
  if (!path) return nullptr;
  try {
    JobPtr job = std::make_shared<Job>();
    job->kind = JOB_OPEN;
    job->path = path;
    if (!Submit(job)) return nullptr;
    FileObject* file = job->file;
    job->file = nullptr;
    return file;
  } catch (...) {  // out of memory: no file
    return nullptr;
  }
}

long ReaderRead(FileObject* file, void* buffer, DWORD count) {
  if (!file) return -1;
  if (count == 0) return 0;
  try {
    JobPtr job = std::make_shared<Job>();
    job->kind = JOB_READ;
    HandleAddRef(file);
    job->file = file;
    job->count = count;
    job->bytes.reset(new char[count]);
    if (!Submit(job)) return -1;
    memcpy(buffer, job->bytes.get(), (size_t)job->result);
    return job->result;
  } catch (...) {  // out of memory; never through a C library's frames
    return -1;
  }
}

long ReaderCall(const WCHAR* key, ReaderCallFunction call, void* buffer, DWORD count) {
  if (!key || !call) return -1;
  try {
    JobPtr job = std::make_shared<Job>();
    job->kind = JOB_CALL;
    job->path = key;
    job->call = std::move(call);
    job->count = count;
    if (count) job->bytes.reset(new char[count]);
    if (!Submit(job)) return -1;
    if (buffer && job->result > 0) {
      if (job->result > (long)count) return -1;
      memcpy(buffer, job->bytes.get(), (size_t)job->result);
    }
    return job->result;
  } catch (...) {  // out of memory
    return -1;
  }
}
