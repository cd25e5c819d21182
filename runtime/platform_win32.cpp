// Win32 side of the platform layer (the product).
#include "runtime/platform.hpp"

#include "runtime/barrier.hpp"
#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"
#include "runtime/throw.hpp"

#include <windows.h>
#include <objbase.h>
#include <gdiplus.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <process.h>

namespace qor::platform {

static const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

void* virtual_alloc(size_t size, bool executable) {
    void* p = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE,
                           executable ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE);
    if (!p) throw Thrown{THROW_OS_ALLOC};
    return p;
}

void virtual_free(void* address, size_t /*size*/) {
    if (!VirtualFree(address, 0, MEM_RELEASE)) throw Thrown{THROW_OS_FREE};
}

// Switches a C stream to UTF-16 text mode, unless the process has no such
// stream (a GUI process started without one).
static void set_utf16_mode(FILE* stream) {
    int fd = _fileno(stream);
    if (fd >= 0 && _get_osfhandle(fd) != intptr_t(INVALID_HANDLE_VALUE)) _setmode(fd, 0x20000);
}

void init() {
    gdiplus_startup();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    console::init();
    set_utf16_mode(stdout);
    set_utf16_mode(stderr);
}

static ULONG_PTR gdiplus_token = 0;

int gdiplus_startup() {
    Gdiplus::GdiplusStartupInput input;   // version 1, no callback
    return int(Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr));
}

void gdiplus_shutdown() {
    if (gdiplus_token) Gdiplus::GdiplusShutdown(gdiplus_token);
    gdiplus_token = 0;
}

// --- Standard streams ----------------------------------------------------

static HANDLE std_handles[3];
static bool handles_taken = false;

void take_std_handles() {
    std_handles[STD_IN] = GetStdHandle(STD_INPUT_HANDLE);
    std_handles[STD_OUT] = GetStdHandle(STD_OUTPUT_HANDLE);
    std_handles[STD_ERR] = GetStdHandle(STD_ERROR_HANDLE);
    handles_taken = true;
}

static HANDLE handle_of(StdStream which) {
    if (handles_taken) return std_handles[which];
    static const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    return GetStdHandle(ids[which]);
}

intptr_t std_handle(StdStream which) { return intptr_t(handle_of(which)); }

static bool is_missing(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }

bool is_redirected(StdStream which) {
    HANDLE h = handle_of(which);
    if (is_missing(h)) return false;
    DWORD type = GetFileType(h);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

bool write_std(StdStream which, const void* bytes, size_t count) {
    HANDLE h = handle_of(which);
    if (is_missing(h)) return true;
    auto p = static_cast<const char*>(bytes);
    while (count > 0) {
        DWORD chunk = count > 0x10000000u ? 0x10000000u : DWORD(count), written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        count -= written;
    }
    return true;
}

int alloc_console() {
    int ok = AllocConsole();
    take_std_handles();
    return ok;
}

int free_console() { return FreeConsole(); }

// --- Current directory and environment -----------------------------------

char16_t* get_current_dir(int32_t* length) {
    *length = 0;
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    // The directory may change between the two calls: retry until it fits.
    while (needed > 0) {
        auto buf = static_cast<char16_t*>(heap::alloc(size_t(needed) * sizeof(char16_t)));
        DWORD n = GetCurrentDirectoryW(needed, reinterpret_cast<wchar_t*>(buf));
        if (n > 0 && n < needed) {
            *length = int32_t(n);
            return buf;
        }
        heap::free(buf);
        needed = n;
    }
    return nullptr;
}

int set_current_dir(const char16_t* path) { return SetCurrentDirectoryW(wide(path)); }

int set_env(const char16_t* name, const char16_t* value) {
    return SetEnvironmentVariableW(wide(name), value ? wide(value) : nullptr);
}

int32_t get_env(const char16_t* name, char16_t* buffer, int32_t size) {
    if (size < 0) size = 0;
    return int32_t(GetEnvironmentVariableW(wide(name), reinterpret_cast<wchar_t*>(buffer), DWORD(size)));
}

// --- Time ------------------------------------------------------------------

void sleep(double seconds) {
    double ms = seconds * 1000.0;
    // At least 1 ms (NaN and negative requests too); never INFINITE.
    DWORD n = !(ms >= 1.0) ? 1u : ms >= 4294967294.0 ? 4294967294u : DWORD(ms);
    Sleep(n);
}

double time_of_day(bool precise) {
    // One reading serves both the seconds and their fraction.
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    uint64_t t = uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    return time_of_day_from_filetime(t, precise);
}

uint32_t date_today(bool utc) {
    SYSTEMTIME st;
    if (utc) {
        GetSystemTime(&st);
        return pack_date(st.wYear, st.wMonth, st.wDay, 0);
    }
    GetLocalTime(&st);
    TIME_ZONE_INFORMATION tz;
    DWORD id = GetTimeZoneInformation(&tz);
    int32_t bias = int32_t(tz.Bias) + (id == TIME_ZONE_ID_DAYLIGHT ? int32_t(tz.DaylightBias) : 0);
    return pack_date(st.wYear, st.wMonth, st.wDay, zone_bits(-bias));
}

// --- Threads ---------------------------------------------------------------

namespace {
struct ThreadStart {
    ThreadFunc func;
    void* argument;
};
}  // namespace

static unsigned __stdcall thread_entry(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    // The thread's first frame is the system's: nothing may unwind past it.
    return barrier([&] { return start.func(start.argument); }, uint32_t(0xFFFFFFFFu));
}

ThreadHandle thread_start(ThreadFunc func, void* argument) {
    auto start = new ThreadStart{func, argument};
    uintptr_t h = _beginthreadex(nullptr, 0, thread_entry, start, 0, nullptr);
    if (h == 0 || h == uintptr_t(-1)) {
        delete start;
        return nullptr;
    }
    return reinterpret_cast<ThreadHandle>(h);
}

int thread_close(ThreadHandle thread) { return CloseHandle(thread); }

int thread_kill(ThreadHandle thread) { return TerminateThread(thread, DWORD(-1)); }

void thread_exit(uint32_t code) {
    _endthreadex(code);
    __builtin_unreachable();
}

int thread_wait(ThreadHandle thread, uint32_t milliseconds, uint32_t* exit_code) {
    DWORD rc = WaitForSingleObject(thread, milliseconds);
    if (rc == WAIT_TIMEOUT) return 0;
    if (rc != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    if (!GetExitCodeThread(thread, &code)) return -1;
    if (exit_code) *exit_code = code;
    return 1;
}

uint32_t thread_id() { return GetCurrentThreadId(); }

void thread_yield() { SwitchToThread(); }

// --- Process ---------------------------------------------------------------

void exit_process(int status) {
    std::fflush(nullptr);
    ExitProcess(UINT(status));
}

}  // namespace qor::platform
