// The file service on POSIX systems: names are the text as it stands, and
// the file calls are the system's own (64-bit offsets in the 32-bit build).
#define _FILE_OFFSET_BITS 64
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "datatypes/string.hpp"
#include "services/files.hpp"
#include "services/files_os.hpp"

namespace qor::files {

std::string os_name(const Cell* file) { return string::to_utf8(file); }

}  // namespace qor::files

namespace qor::files::os {

Handle open(const std::string& name, uint32_t mode) {
    int flags;
    if (mode & READ) flags = O_RDONLY;
    else if (mode & (APPEND | SEEK)) flags = O_WRONLY | O_CREAT;
    else flags = O_WRONLY | O_CREAT | O_TRUNC;
    int fd;
    do fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return BAD_HANDLE;
    // A directory opens for reading here but is not a file to read.
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return BAD_HANDLE;
    }
    return fd;
}

int64_t size(Handle h) {
    struct stat st;
    if (fstat(int(h), &st) != 0) return -1;
    // Pipes and devices report no size: they are read to their end.
    return S_ISREG(st.st_mode) ? int64_t(st.st_size) : 0;
}

bool seek(Handle h, int64_t offset) { return lseek(int(h), off_t(offset), SEEK_SET) == off_t(offset); }

bool seek_end(Handle h) { return lseek(int(h), 0, SEEK_END) >= 0; }

int64_t read(Handle h, void* buffer, size_t n) {
    for (;;) {
        ssize_t got = ::read(int(h), buffer, n);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

int64_t write(Handle h, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
        ssize_t put = ::write(int(h), p + done, n - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += size_t(put);
    }
    return int64_t(done);
}

bool close(Handle h) { return ::close(int(h)) == 0; }

Info query(const std::string& name) {
    Info info;
    struct stat st;
    if (stat(name.c_str(), &st) != 0) return info;
    info.exists = true;
    info.directory = S_ISDIR(st.st_mode);
    info.regular = S_ISREG(st.st_mode);
    info.shared = st.st_nlink > 1;
    info.size = int64_t(st.st_size);
    time_t seconds = st.st_mtim.tv_sec;
    struct tm utc;
    if (gmtime_r(&seconds, &utc)) {
        info.year = utc.tm_year + 1900;
        info.month = utc.tm_mon + 1;
        info.day = utc.tm_mday;
        info.hour = utc.tm_hour;
        info.minute = utc.tm_min;
        info.second = utc.tm_sec;
        info.nanoseconds = int32_t(st.st_mtim.tv_nsec);
    }
    return info;
}

bool remove_file(const std::string& name) { return unlink(name.c_str()) == 0; }
bool remove_dir(const std::string& name) { return rmdir(name.c_str()) == 0; }
bool rename(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
bool make_dir(const std::string& name) { return mkdir(name.c_str(), 0777) == 0; }

bool list_dir(const std::string& name, std::vector<Entry>& out) {
    DIR* dir = opendir(name.empty() ? "." : name.c_str());
    if (!dir) return false;
    std::string base = name.empty() || name.back() == '/' ? name : name + '/';
    while (struct dirent* e = readdir(dir)) {
        std::string entry = e->d_name;
        if (entry == "." || entry == "..") continue;
        bool is_dir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            is_dir = stat((base + entry).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        out.push_back({entry, is_dir});
    }
    closedir(dir);
    return true;
}

std::vector<std::string> drives() { return {}; }

std::string real_name(const std::string& name) {
    char* resolved = realpath(name.c_str(), nullptr);
    if (!resolved) return name;
    std::string out = resolved;
    free(resolved);
    return out;
}

std::string temporary_beside(const std::string& name) {
    static unsigned counter = 0;
    return name + ".qor-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + ".tmp";
}

bool replace(const std::string& temporary, const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0) {
        chmod(temporary.c_str(), st.st_mode & 07777);
        // Keeping the owner may be refused to an ordinary user: the
        // content still goes in.
        if (chown(temporary.c_str(), st.st_uid, st.st_gid) != 0) {}
    }
    return std::rename(temporary.c_str(), target.c_str()) == 0;
}

}  // namespace qor::files::os
