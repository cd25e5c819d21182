// The Windows clipboard: CF_UNICODETEXT and CF_HDROP.
//
// Reading copies what it finds into plain C++ strings while the clipboard
// is open and makes no value, so nothing can raise while it is held; the
// guard closes it on every way out all the same.
#include "services/clipboard.hpp"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "runtime/raw_utf.hpp"

namespace qor::clipboard {

namespace {

// Open on behalf of the registered window: three attempts; after a failed
// one the thread's queue is peeked (nothing removed) and it sleeps 1 ms.
bool open_clipboard() {
    HWND owner = static_cast<HWND>(owner_window());
    for (int attempt = 0; attempt < 3; attempt++) {
        if (OpenClipboard(owner)) return true;
        if (attempt == 2) break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(1);
    }
    return false;
}

struct OpenGuard {
    bool open;
    OpenGuard() : open(open_clipboard()) {}
    ~OpenGuard() {
        if (open) CloseClipboard();
    }
    // Closes now; false when the system refused.
    bool close() {
        open = false;
        return CloseClipboard() != 0;
    }
    OpenGuard(const OpenGuard&) = delete;
    OpenGuard& operator=(const OpenGuard&) = delete;
};

// A global memory block for SetClipboardData, freed unless handed over.
struct Global {
    HGLOBAL handle = nullptr;
    ~Global() {
        if (handle) GlobalFree(handle);
    }
    // GMEM_MOVEABLE memory holding the bytes; false when it cannot be made.
    bool fill(const void* data, size_t size) {
        handle = GlobalAlloc(GMEM_MOVEABLE, size);
        if (!handle) return false;
        void* p = GlobalLock(handle);
        if (!p) return false;
        std::memcpy(p, data, size);
        GlobalUnlock(handle);   // answers 0 once the lock count is 0: not a failure
        return true;
    }
};

enum class ReadOutcome { FOUND, ABSENT, FAILED };

// CF_UNICODETEXT up to its NUL, and never past the block's end.
ReadOutcome read_text(std::string& out) {
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return ReadOutcome::ABSENT;
    const char16_t* text = static_cast<const char16_t*>(GlobalLock(data));
    if (!text) return ReadOutcome::FAILED;
    size_t units = GlobalSize(data) / sizeof(char16_t);
    size_t n = 0;
    while (n < units && text[n]) n++;
    out = raw_utf::utf16_to_utf8(std::u16string_view(text, n));
    GlobalUnlock(data);
    return ReadOutcome::FOUND;
}

// CF_HDROP: every file name of the list; a name is fetched into a buffer of
// at least 260 characters, grown for longer names.
ReadOutcome read_files(std::vector<std::string>& out) {
    HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    if (!drop) return ReadOutcome::ABSENT;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
    std::u16string buffer(MAX_PATH, u'\0');
    for (UINT i = 0; i < count; i++) {
        UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length + 1 > buffer.size()) buffer.resize(length + 1);
        UINT got = DragQueryFileW(drop, i, reinterpret_cast<LPWSTR>(buffer.data()), UINT(buffer.size()));
        if (got == 0 && length != 0) return ReadOutcome::FAILED;
        if (got == 0) continue;   // some readers count the end of an empty list as a name
        out.push_back(raw_utf::utf16_to_utf8(std::u16string_view(buffer.data(), got)));
    }
    return ReadOutcome::FOUND;
}

// The DROPFILES block: the header (the list at offset 20, wide names) and
// every name with its NUL, then the closing NUL.
std::string drop_files_block(const std::vector<std::string>& files) {
    DROPFILES header{};
    static_assert(sizeof(DROPFILES) == 20, "the list follows a 20-byte header");
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::u16string names;
    for (const std::string& f : files) {
        names += raw_utf::utf8_to_utf16(f);
        names += u'\0';
    }
    names += u'\0';
    // An empty list still ends with two NULs, as readers look for an empty
    // name after a terminated one.
    if (files.empty()) names += u'\0';
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(char16_t));
    return block;
}

}  // namespace

Content read_content() {
    Content content;
    std::string text;
    std::vector<std::string> files;
    ReadOutcome outcome;
    {
        OpenGuard clipboard;
        if (!clipboard.open) {
            content.kind = Content::FAILED;
            return content;
        }
        outcome = read_text(text);
        if (outcome == ReadOutcome::FOUND) content.kind = Content::TEXT;
        else if (outcome == ReadOutcome::ABSENT && (outcome = read_files(files)) == ReadOutcome::FOUND)
            content.kind = Content::FILES;
        // Image formats ("PNG", "JFIF", "GIF", CF_DIB) wait for image!: they
        // read as nothing usable.
    }
    if (outcome == ReadOutcome::FAILED) content.kind = Content::FAILED;
    content.text = std::move(text);
    content.files = std::move(files);
    return content;
}

bool write_content(const Content& content) {
    // The memory is prepared before the clipboard is opened.
    Global memory;
    UINT format = 0;
    if (content.kind == Content::TEXT) {
        std::u16string text = raw_utf::utf8_to_utf16(content.text);
        if (!memory.fill(text.c_str(), (text.size() + 1) * sizeof(char16_t))) return false;
        format = CF_UNICODETEXT;
    } else if (content.kind == Content::FILES) {
        std::string block = drop_files_block(content.files);
        if (!memory.fill(block.data(), block.size())) return false;
        format = CF_HDROP;
    }
    OpenGuard clipboard;
    if (!clipboard.open) return false;
    if (!EmptyClipboard()) return false;
    bool taken = true;
    if (format) {
        if (SetClipboardData(format, memory.handle)) memory.handle = nullptr;   // the system owns it now
        else taken = false;
    }
    return clipboard.close() && taken;
}

}  // namespace qor::clipboard
