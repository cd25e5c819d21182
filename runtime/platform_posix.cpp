// POSIX side of the platform layer (the native build).  It mirrors the Win32
// side: UTF-16 at the interface, converted to UTF-8 for the system.
#include "runtime/platform.hpp"

#include "runtime/barrier.hpp"
#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/throw.hpp"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qor::platform {

void* virtual_alloc(size_t size, bool executable) {
    int prot = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = mmap(nullptr, size, prot, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw Thrown{THROW_OS_ALLOC};
    return p;
}

void virtual_free(void* address, size_t size) {
    if (munmap(address, size) != 0) throw Thrown{THROW_OS_FREE};
}

void init() {
    gdiplus_startup();
    console::init();
}

// No GDI+ here: start-up succeeds and there is nothing to shut down.
int  gdiplus_startup() { return 0; }
void gdiplus_shutdown() {}

// --- Standard streams ----------------------------------------------------

void take_std_handles() {}

intptr_t std_handle(StdStream which) { return intptr_t(which); }

bool is_redirected(StdStream which) {
    struct stat st;
    if (fstat(int(which), &st) != 0) return false;
    return S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

bool write_std(StdStream which, const void* bytes, size_t count) {
    auto p = static_cast<const char*>(bytes);
    while (count > 0) {
        ssize_t n = ::write(int(which), p, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EBADF;   // a closed stream swallows the output
        }
        p += n;
        count -= size_t(n);
    }
    return true;
}

int alloc_console() { return 0; }
int free_console() { return 0; }

// --- Current directory and environment -----------------------------------

static std::string to_utf8(const char16_t* s) {
    return raw_utf::utf16_to_utf8(std::u16string_view(s));
}

static char16_t* heap_utf16(const std::u16string& s, int32_t* length) {
    auto out = static_cast<char16_t*>(heap::alloc((s.size() + 1) * sizeof(char16_t)));
    std::memcpy(out, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    *length = int32_t(s.size());
    return out;
}

char16_t* get_current_dir(int32_t* length) {
    *length = 0;
    char* cwd = getcwd(nullptr, 0);
    if (!cwd) return nullptr;
    std::u16string wide = raw_utf::utf8_to_utf16(cwd);
    std::free(cwd);
    return heap_utf16(wide, length);
}

int set_current_dir(const char16_t* path) { return chdir(to_utf8(path).c_str()) == 0; }

int set_env(const char16_t* name, const char16_t* value) {
    std::string n = to_utf8(name);
    if (n.empty() || n.find('=') != std::string::npos) return 0;
    if (!value) return unsetenv(n.c_str()) == 0;
    return setenv(n.c_str(), to_utf8(value).c_str(), 1) == 0;
}

int32_t get_env(const char16_t* name, char16_t* buffer, int32_t size) {
    const char* v = getenv(to_utf8(name).c_str());
    if (!v) return 0;
    std::u16string wide = raw_utf::utf8_to_utf16(v);
    int32_t needed = int32_t(wide.size()) + 1;
    if (!buffer || size < needed) return needed;
    std::memcpy(buffer, wide.c_str(), size_t(needed) * sizeof(char16_t));
    return needed - 1;
}

// --- Time ------------------------------------------------------------------

void sleep(double seconds) {
    double ms = seconds * 1000.0;
    // At least 1 ms; NaN and negative requests too.  Longer than ~49 days
    // is cut there, as the Win32 side's 32-bit count requires.
    uint32_t n = !(ms >= 1.0) ? 1u : ms >= 4294967294.0 ? 4294967294u : uint32_t(ms);
    struct timespec ts = {time_t(n / 1000u), long(n % 1000u) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// 100 ns units between 1 January 1601 and 1 January 1970.
static const uint64_t EPOCH_1601 = 116444736000000000ull;

static uint64_t filetime_now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(int64_t(ts.tv_sec)) * 10000000u + uint64_t(ts.tv_nsec) / 100u + EPOCH_1601;
}

double time_of_day(bool precise) { return time_of_day_from_filetime(filetime_now(), precise); }

uint32_t date_today(bool utc) {
    time_t now = time(nullptr);
    struct tm tm;
    if (utc) {
        gmtime_r(&now, &tm);
        return pack_date(tm.tm_year + 1900, uint32_t(tm.tm_mon + 1), uint32_t(tm.tm_mday), 0);
    }
    localtime_r(&now, &tm);
    // tm_gmtoff already holds the daylight saving offset.
    int32_t offset = int32_t(tm.tm_gmtoff / 60);
    return pack_date(tm.tm_year + 1900, uint32_t(tm.tm_mon + 1), uint32_t(tm.tm_mday), zone_bits(offset));
}

// --- Threads ---------------------------------------------------------------

namespace {
struct ThreadStart {
    ThreadFunc func;
    void* argument;
};
struct Thread {
    pthread_t id;
    bool joined;
    uint32_t code;
};
}  // namespace

static void* thread_entry(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    // The thread's first frame is the system's: nothing may unwind past it.
    uint32_t code = barrier([&] { return start.func(start.argument); }, uint32_t(0xFFFFFFFFu));
    return reinterpret_cast<void*>(uintptr_t(code));
}

ThreadHandle thread_start(ThreadFunc func, void* argument) {
    auto start = new ThreadStart{func, argument};
    auto t = new Thread{};
    if (pthread_create(&t->id, nullptr, thread_entry, start) != 0) {
        delete start;
        delete t;
        return nullptr;
    }
    return t;
}

int thread_close(ThreadHandle thread) {
    auto t = static_cast<Thread*>(thread);
    if (!t) return 0;
    if (!t->joined) pthread_detach(t->id);
    delete t;
    return 1;
}

int thread_kill(ThreadHandle thread) {
    auto t = static_cast<Thread*>(thread);
    if (!t || t->joined) return 0;
    return pthread_cancel(t->id) == 0;
}

void thread_exit(uint32_t code) { pthread_exit(reinterpret_cast<void*>(uintptr_t(code))); }

int thread_wait(ThreadHandle thread, uint32_t milliseconds, uint32_t* exit_code) {
    auto t = static_cast<Thread*>(thread);
    if (!t) return -1;
    if (!t->joined) {
        void* result = nullptr;
        int rc;
        if (milliseconds == 0xFFFFFFFFu) {
            rc = pthread_join(t->id, &result);
        } else {
            struct timespec deadline;
            clock_gettime(CLOCK_REALTIME, &deadline);
            uint64_t ns = uint64_t(deadline.tv_nsec) + uint64_t(milliseconds % 1000u) * 1000000u;
            deadline.tv_sec += time_t(milliseconds / 1000u + ns / 1000000000u);
            deadline.tv_nsec = long(ns % 1000000000u);
            rc = pthread_timedjoin_np(t->id, &result, &deadline);
        }
        if (rc == ETIMEDOUT || rc == EBUSY) return 0;
        if (rc != 0) return -1;
        t->joined = true;
        t->code = result == PTHREAD_CANCELED ? 0xFFFFFFFFu : uint32_t(reinterpret_cast<uintptr_t>(result));
    }
    if (exit_code) *exit_code = t->code;
    return 1;
}

uint32_t thread_id() { return uint32_t(syscall(SYS_gettid)); }

void thread_yield() { sched_yield(); }

// --- Process ---------------------------------------------------------------

void exit_process(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace qor::platform
