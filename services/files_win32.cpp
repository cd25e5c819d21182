// The file service on Windows: names in the local form (drive letters,
// backslashes), passed to the wide-character calls as UTF-16.
#include <windows.h>

#include "datatypes/file_path.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "runtime/raw_utf.hpp"
#include "services/files.hpp"
#include "services/files_os.hpp"

namespace qor::files {

std::string os_name(const Cell* file) {
    Cell local = string::make(string::length(file) + 8);
    gc::CellRoot keep(&local);
    file::to_local_path(file, &local, false);
    return string::to_utf8(&local);
}

}  // namespace qor::files

namespace qor::files::os {

namespace {

std::wstring wide(const std::string& utf8) {
    std::u16string w = raw_utf::utf8_to_utf16(utf8);
    return std::wstring(w.begin(), w.end());
}

std::string narrow(const wchar_t* w) {
    std::u16string s;
    for (; *w; ++w) s += char16_t(*w);
    return raw_utf::utf16_to_utf8(s);
}

HANDLE as_handle(Handle h) { return reinterpret_cast<HANDLE>(h); }

void fill_time(const FILETIME& ft, Info& info) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st)) return;
    info.year = st.wYear;
    info.month = st.wMonth;
    info.day = st.wDay;
    info.hour = st.wHour;
    info.minute = st.wMinute;
    info.second = st.wSecond;
    info.nanoseconds = int32_t(st.wMilliseconds) * 1000000;
}

}  // namespace

Handle open(const std::string& name, uint32_t mode) {
    DWORD access = (mode & READ) ? GENERIC_READ : GENERIC_WRITE;
    DWORD disposition = (mode & READ) ? OPEN_EXISTING : (mode & (APPEND | SEEK)) ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h = CreateFileW(wide(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? BAD_HANDLE : reinterpret_cast<Handle>(h);
}

int64_t size(Handle h) {
    LARGE_INTEGER n;
    if (GetFileType(as_handle(h)) != FILE_TYPE_DISK) return 0;
    return GetFileSizeEx(as_handle(h), &n) ? int64_t(n.QuadPart) : -1;
}

bool seek(Handle h, int64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = offset;
    return SetFilePointerEx(as_handle(h), to, nullptr, FILE_BEGIN) != 0;
}

bool seek_end(Handle h) {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    return SetFilePointerEx(as_handle(h), zero, nullptr, FILE_END) != 0;
}

int64_t read(Handle h, void* buffer, size_t n) {
    DWORD got = 0;
    if (!ReadFile(as_handle(h), buffer, DWORD(n), &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    return int64_t(got);
}

int64_t write(Handle h, const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
        DWORD put = 0;
        DWORD chunk = n - done > 0x10000000 ? 0x10000000 : DWORD(n - done);
        if (!WriteFile(as_handle(h), p + done, chunk, &put, nullptr) || put == 0) return -1;
        done += put;
    }
    return int64_t(done);
}

bool close(Handle h) { return CloseHandle(as_handle(h)) != 0; }

Info query(const std::string& name) {
    Info info;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide(name).c_str(), GetFileExInfoStandard, &data)) return info;
    info.exists = true;
    info.directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info.regular = !info.directory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    info.size = int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    fill_time(data.ftLastWriteTime, info);
    return info;
}

bool remove_file(const std::string& name) { return DeleteFileW(wide(name).c_str()) != 0; }
bool remove_dir(const std::string& name) { return RemoveDirectoryW(wide(name).c_str()) != 0; }
bool rename(const std::string& from, const std::string& to) {
    return _wrename(wide(from).c_str(), wide(to).c_str()) == 0;
}
bool make_dir(const std::string& name) { return CreateDirectoryW(wide(name).c_str(), nullptr) != 0; }

bool list_dir(const std::string& name, std::vector<Entry>& out) {
    std::string pattern = name;
    if (!pattern.empty() && pattern.back() == '.') pattern.pop_back();
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(wide(pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::string entry = narrow(found.cFileName);
        if (entry == "." || entry == "..") continue;
        out.push_back({entry, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return true;
}

std::vector<std::string> drives() {
    std::vector<std::string> out;
    wchar_t buffer[512];
    DWORD n = GetLogicalDriveStringsW(511, buffer);
    if (n == 0 || n > 511) return out;
    for (const wchar_t* p = buffer; *p; p += wcslen(p) + 1) {
        std::string d = narrow(p);
        for (char& c : d)
            if (c == '\\') c = '/';
        out.push_back(d);
    }
    return out;
}

std::string real_name(const std::string& name) { return name; }

std::string temporary_beside(const std::string& name) {
    static unsigned counter = 0;
    return name + ".qor-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + ".tmp";
}

bool replace(const std::string& temporary, const std::string& target) {
    // The old file's attributes go to the new content (a hidden file stays
    // hidden); a read-only file was refused before anything was written.
    DWORD attributes = GetFileAttributesW(wide(target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(wide(temporary).c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return MoveFileExW(wide(temporary).c_str(), wide(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace qor::files::os
