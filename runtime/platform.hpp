// The platform layer: the runtime's one road to the operating system.
// Everything above it is portable; this header is implemented twice, by
// platform_win32.cpp (the product) and platform_posix.cpp (the native build
// that the sanitizer test suite uses), and both sides behave alike.
//
// Text crosses this layer as UTF-16 (char16_t, NUL-terminated), as the wide
// Windows functions take it; the POSIX side converts to and from UTF-8.
// Operations answer the platform's status unchanged; only the page allocator
// reports failure by a throw.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qor::platform {

// Committed, zero-filled, read-write pages (read-write-execute when
// `executable`).  Failure throws THROW_OS_ALLOC; release failure THROW_OS_FREE.
void* virtual_alloc(size_t size, bool executable = false);
void  virtual_free(void* address, size_t size);

// Start-up: GDI+, COM (apartment-threaded), the console writer, and the
// standard output and error streams in UTF-16 text mode.
void init();
int  gdiplus_startup();     // 0 on success; the token is kept for shut-down
void gdiplus_shutdown();

// --- Standard streams ----------------------------------------------------
enum StdStream : int { STD_IN = 0, STD_OUT = 1, STD_ERR = 2 };

// Takes the three standard handles again (start-up and after alloc_console).
void take_std_handles();
// The kept handle (a HANDLE on Windows, a file descriptor on POSIX).
intptr_t std_handle(StdStream which);
// True when the stream is a file or a pipe (not a console or terminal, and
// not missing).
bool is_redirected(StdStream which);
// Writes all bytes to the stream; false when it could not.  A missing
// stream (a GUI process started without one) swallows the bytes.
bool write_std(StdStream which, const void* bytes, size_t count);

int alloc_console();   // non-zero on success
int free_console();

// --- Current directory and environment -----------------------------------
// A new tracked-heap buffer holding the current directory, NUL-terminated;
// *length receives its length without the NUL.  The caller frees it with
// heap::free.  Null (length 0) when the directory cannot be read.
char16_t* get_current_dir(int32_t* length);
int       set_current_dir(const char16_t* path);   // non-zero on success

// Sets a variable, or deletes it when value is null; non-zero on success.
int     set_env(const char16_t* name, const char16_t* value);
// Copies the value into buffer (size units, NUL included) and answers its
// length; when it does not fit, answers the size needed (NUL included) and
// leaves the buffer alone; 0 when the variable does not exist.
int32_t get_env(const char16_t* name, char16_t* buffer, int32_t size);

// --- Time ------------------------------------------------------------------
// Sleeps seconds x 1000 milliseconds, at least 1 millisecond.
void     sleep(double seconds);
// The current UTC time of day in seconds; with `precise` the fraction of
// the second is added at 100-nanosecond resolution.
double   time_of_day(bool precise);
// Today's date, UTC or local, packed as year << 17 | month << 12 | day << 7
// | zone (zone 0 for UTC).
uint32_t date_today(bool utc);

// Pure pieces of the above, shared by both sides.
// File time: 100-nanosecond units since 1 January 1601 UTC.
uint32_t filetime_mod_10000(uint64_t filetime);   // without a 64-bit division
double   time_of_day_from_filetime(uint64_t filetime, bool precise);
uint32_t zone_bits(int32_t offset_minutes);       // 7-bit zone of an offset east of UTC
uint32_t pack_date(int32_t year, uint32_t month, uint32_t day, uint32_t zone);

// --- Threads (no caller in the system; kept for completeness) ------------
using ThreadHandle = void*;
using ThreadFunc = uint32_t (*)(void* argument);

ThreadHandle thread_start(ThreadFunc func, void* argument);   // null on failure
int          thread_close(ThreadHandle thread);               // non-zero on success
int          thread_kill(ThreadHandle thread);                // exit code -1
[[noreturn]] void thread_exit(uint32_t code);
// 1 when the thread ended (its exit code in *exit_code), 0 on time-out, -1 on failure.
int          thread_wait(ThreadHandle thread, uint32_t milliseconds, uint32_t* exit_code);
uint32_t     thread_id();
void         thread_yield();

// --- Process ---------------------------------------------------------------
// Flushes the C streams and ends the process with `status`.
[[noreturn]] void exit_process(int status);

}  // namespace qor::platform
