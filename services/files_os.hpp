// The file service's road to the operating system: open files by handle,
// attributes, directories, deleting and renaming.  files_posix.cpp and
// files_win32.cpp implement it; names arrive as the operating system's
// name of a file in UTF-8 (files::os_name), and the Windows half passes
// them on as UTF-16.  Nothing here raises: failures answer -1, false or an
// empty result, and the callers turn them into access errors.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qor::files::os {

using Handle = intptr_t;
constexpr Handle BAD_HANDLE = -1;

// Open modes.  READ opens an existing file for reading; otherwise the file
// is opened for writing and made empty (created when missing), unless
// APPEND or SEEK keep what it holds.
enum Mode : uint32_t { READ = 1, WRITE = 2, APPEND = 4, SEEK = 8 };

Handle open(const std::string& name, uint32_t mode);
int64_t size(Handle h);                          // -1 when unknown
bool seek(Handle h, int64_t offset);             // from the start
bool seek_end(Handle h);
int64_t read(Handle h, void* buffer, size_t n);  // bytes read (0 at the end), -1 on failure
int64_t write(Handle h, const void* data, size_t n);   // bytes written, -1 on failure
bool close(Handle h);                            // false when buffered data could not be written

// What a name refers to.
struct Info {
    bool    exists = false;
    bool    directory = false;
    bool    regular = false;        // a plain file (not a device, pipe or directory)
    bool    shared = false;         // reached through a link the file must keep
    int64_t size = 0;
    // Last write time, in UTC.
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, nanoseconds = 0;
};
Info query(const std::string& name);

bool remove_file(const std::string& name);
bool remove_dir(const std::string& name);
bool rename(const std::string& from, const std::string& to);
bool make_dir(const std::string& name);

// The entries of a directory (its own and its parent's left out), UTF-8
// names; false when it cannot be listed.
struct Entry {
    std::string name;
    bool        directory;
};
bool list_dir(const std::string& name, std::vector<Entry>& out);

// The drives of the machine ("C:/"), where the system has drives; none
// elsewhere.
std::vector<std::string> drives();

// Safe replacement of a file's content: the real file a name leads to
// (through symbolic links), a fresh name beside it for a temporary, and
// the replacement of the file by the temporary in one step, the file's
// permissions carried over.
std::string real_name(const std::string& name);
std::string temporary_beside(const std::string& name);
bool replace(const std::string& temporary, const std::string& target);

}  // namespace qor::files::os
