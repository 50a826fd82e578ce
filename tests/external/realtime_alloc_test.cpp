// Counts allocations, frees and lock or sleep calls made on a thread while
// it is inside perform, by replacing the allocator and interposing the
// pthread and sleep calls in this test program. Counting is per thread, so
// other threads (and the test's own bookkeeping) are not counted.
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include "realtime_scenario.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

thread_local bool t_inPerform = false;
std::atomic<long> g_allocations{0};
std::atomic<long> g_frees{0};
std::atomic<long> g_waits{0};

void countAllocation() {
  if (t_inPerform) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
void countFree(void* p) {
  if (t_inPerform && p) g_frees.fetch_add(1, std::memory_order_relaxed);
}
void countWait() {
  if (t_inPerform) g_waits.fetch_add(1, std::memory_order_relaxed);
}

// The next definitions of the interposed calls, looked up once before any
// thread starts. While a lookup is under way (dlsym may lock) a call passes
// as a no-op: the process is still single-threaded then.
template <typename Fn>
Fn next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
using LockFn = int (*)(pthread_mutex_t*);
using RwFn = int (*)(pthread_rwlock_t*);
using CondFn = int (*)(pthread_cond_t*, pthread_mutex_t*);
using SleepFn = int (*)(const timespec*, timespec*);
using YieldFn = int (*)();
LockFn g_lock, g_trylock;
RwFn g_rdlock, g_wrlock;
CondFn g_condWait;
SleepFn g_nanosleep;
YieldFn g_yield;

__attribute__((constructor(101))) void resolveNext() {
  g_lock = next<LockFn>("pthread_mutex_lock");
  g_trylock = next<LockFn>("pthread_mutex_trylock");
  g_rdlock = next<RwFn>("pthread_rwlock_rdlock");
  g_wrlock = next<RwFn>("pthread_rwlock_wrlock");
  g_condWait = next<CondFn>("pthread_cond_wait");
  g_nanosleep = next<SleepFn>("nanosleep");
  g_yield = next<YieldFn>("sched_yield");
}

void* allocateOrThrow(std::size_t size) {
  countAllocation();
  void* p = __libc_malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
  countAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  countAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) {
  countAllocation();
  return __libc_realloc(p, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  countAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
  countAllocation();
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : 12;  // ENOMEM
}
void free(void* p) {
  countFree(p);
  __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* m) {
  countWait();
  return g_lock ? g_lock(m) : 0;
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
  countWait();
  return g_trylock ? g_trylock(m) : 0;
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
  countWait();
  return g_rdlock ? g_rdlock(l) : 0;
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
  countWait();
  return g_wrlock ? g_wrlock(l) : 0;
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  countWait();
  return g_condWait ? g_condWait(c, m) : 0;
}
int nanosleep(const timespec* duration, timespec* rest) {
  countWait();
  return g_nanosleep ? g_nanosleep(duration, rest) : 0;
}
int sched_yield() {
  countWait();
  return g_yield ? g_yield() : 0;
}
}  // extern "C"

void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  countAllocation();
  return __libc_malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  countAllocation();
  return __libc_malloc(size ? size : 1);
}
void operator delete(void* p) noexcept {
  countFree(p);
  __libc_free(p);
}
void operator delete[](void* p) noexcept {
  countFree(p);
  __libc_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  countFree(p);
  __libc_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  countFree(p);
  __libc_free(p);
}

namespace omber::external {
namespace {

struct InPerform {
  InPerform() { t_inPerform = true; }
  ~InPerform() { t_inPerform = false; }
};

void resetCounts() {
  g_allocations = 0;
  g_frees = 0;
  g_waits = 0;
}

// Keeps the compiler from removing an allocation whose result is unused.
void keep(void* p) { asm volatile("" : : "r"(p) : "memory"); }

TEST(RealtimeCounters, CountWhatHappensInsidePerformOnly) {
  resetCounts();
  void* outside = std::malloc(16);
  keep(outside);
  std::free(outside);
  EXPECT_EQ(g_allocations.load(), 0);
  {
    InPerform scope;
    void* inside = std::malloc(16);
    keep(inside);
    std::free(inside);
    int* object = new int(3);
    keep(object);
    delete object;
    std::mutex mutex;
    mutex.lock();
    mutex.unlock();
  }
  EXPECT_EQ(g_allocations.load(), 2);
  EXPECT_EQ(g_frees.load(), 2);
  EXPECT_EQ(g_waits.load(), 1);
}

TEST(RealtimePerform, NeverAllocatesFreesOrLocksThroughEveryCommandKind) {
  for (const double rate : {44100.0, 48000.0}) {
    Instance instance([](const std::string&) {});
    resetCounts();
    const auto stats = testing::runEveryCommandKind(
        instance,
        [](Instance& target, const double* const* ins, double* const* outs, long frames) {
          InPerform scope;
          target.perform(ins, 2, outs, 2, frames);
        },
        rate);
    EXPECT_GT(stats.commandsApplied, 300) << rate;
    EXPECT_GT(stats.capturedBytes, 0u) << rate;
    EXPECT_EQ(g_allocations.load(), 0) << rate;
    EXPECT_EQ(g_frees.load(), 0) << rate;
    EXPECT_EQ(g_waits.load(), 0) << rate;
  }
}

}  // namespace
}  // namespace omber::external
