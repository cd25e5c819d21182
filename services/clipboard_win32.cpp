// The Windows clipboard: CF_UNICODETEXT, CF_HDROP and images ("PNG",
// "JFIF", "GIF", CF_DIB, CF_BITMAP).
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
#include "services/image_codecs.hpp"

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

// A decoded image file into the content; false when it does not decode.
bool take_bitmap(image_backend::Bitmap* b, Content& out) {
    if (!b) return false;
    out.width = b->width;
    out.height = b->height;
    out.pixels.assign(b->pixels(), b->pixels() + b->count());
    image_backend::discard(b);
    return true;
}

// The registered image-file formats, tried in order; the first present is
// decoded as an image file.
ReadOutcome read_image_file(Content& out) {
    for (const wchar_t* name : {L"PNG", L"JFIF", L"GIF"}) {
        UINT format = RegisterClipboardFormatW(name);
        HANDLE data = format ? GetClipboardData(format) : nullptr;
        if (!data) continue;
        const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(data));
        if (!bytes) return ReadOutcome::FAILED;
        std::string reason;
        bool ok = take_bitmap(image_codecs::decode(bytes, uint32_t(GlobalSize(data)), &reason), out);
        GlobalUnlock(data);
        return ok ? ReadOutcome::FOUND : ReadOutcome::ABSENT;
    }
    return ReadOutcome::ABSENT;
}

// A 32-bit BGRA CF_DIB with an alpha mask is taken as it is (bottom-up rows
// turned over); any other bitmap goes through GDI, opaque.
ReadOutcome read_dib(Content& out) {
    HANDLE data = GetClipboardData(CF_DIB);
    if (!data) return ReadOutcome::ABSENT;
    const uint8_t* dib = static_cast<const uint8_t*>(GlobalLock(data));
    if (!dib) return ReadOutcome::FAILED;
    size_t size = GlobalSize(data);
    BITMAPINFOHEADER h{};
    if (size >= sizeof h) std::memcpy(&h, dib, sizeof h);
    DWORD masks[4] = {};
    if (size >= sizeof h + sizeof masks) std::memcpy(masks, dib + sizeof h, sizeof masks);
    bool direct = size >= sizeof h && h.biPlanes == 1 && h.biBitCount == 32 && h.biCompression == BI_BITFIELDS &&
                  masks[0] == 0x00FF0000u && masks[1] == 0x0000FF00u && masks[2] == 0x000000FFu &&
                  masks[3] == 0xFF000000u && h.biWidth > 0 && h.biHeight != 0;
    if (direct) {
        uint32_t w = uint32_t(h.biWidth), hh = uint32_t(h.biHeight < 0 ? -h.biHeight : h.biHeight);
        size_t offset = h.biSize + (h.biSize == sizeof h ? 12 : 0);
        uint64_t bytes = uint64_t(w) * hh * 4;
        if (w > image_backend::MAX_SIDE || hh > image_backend::MAX_SIDE || bytes > image_backend::MAX_BYTES ||
            offset + bytes > size) {
            GlobalUnlock(data);
            return ReadOutcome::ABSENT;
        }
        out.width = w;
        out.height = hh;
        out.pixels.resize(size_t(w) * hh);
        for (uint32_t y = 0; y < hh; y++) {
            uint32_t from = h.biHeight < 0 ? y : hh - 1 - y;
            std::memcpy(out.pixels.data() + size_t(y) * w, dib + offset + size_t(from) * w * 4, size_t(w) * 4);
        }
        GlobalUnlock(data);
        return ReadOutcome::FOUND;
    }
    GlobalUnlock(data);
    HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0 ||
        uint32_t(info.bmWidth) > image_backend::MAX_SIDE || uint32_t(info.bmHeight) > image_backend::MAX_SIDE)
        return ReadOutcome::ABSENT;
    BITMAPINFO want{};
    want.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    want.bmiHeader.biWidth = info.bmWidth;
    want.bmiHeader.biHeight = -info.bmHeight;
    want.bmiHeader.biPlanes = 1;
    want.bmiHeader.biBitCount = 32;
    want.bmiHeader.biCompression = BI_RGB;
    out.width = uint32_t(info.bmWidth);
    out.height = uint32_t(info.bmHeight);
    out.pixels.resize(size_t(out.width) * out.height);
    HDC dc = GetDC(nullptr);
    int rows = GetDIBits(dc, bitmap, 0, out.height, out.pixels.data(), &want, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (rows != int(out.height)) return ReadOutcome::ABSENT;
    for (uint32_t& p : out.pixels) p |= 0xFF000000u;   // GDI bitmaps carry no alpha
    return ReadOutcome::FOUND;
}

// The CF_DIB of an image: a V5 header for top-down 32-bit BGRA with an
// alpha mask, then the pixels.
std::string dib_block(const Content& c) {
    BITMAPV5HEADER h{};
    static_assert(sizeof h == 124);
    h.bV5Size = sizeof h;
    h.bV5Width = LONG(c.width);
    h.bV5Height = -LONG(c.height);
    h.bV5Planes = 1;
    h.bV5BitCount = 32;
    h.bV5Compression = BI_BITFIELDS;
    h.bV5SizeImage = c.width * c.height * 4;
    h.bV5RedMask = 0x00FF0000u;
    h.bV5GreenMask = 0x0000FF00u;
    h.bV5BlueMask = 0x000000FFu;
    h.bV5AlphaMask = 0xFF000000u;
    h.bV5CSType = 0x57696E20u;   // 'Win '
    h.bV5Intent = 4;
    std::string block(reinterpret_cast<const char*>(&h), sizeof h);
    block.append(reinterpret_cast<const char*>(c.pixels.data()), c.pixels.size() * 4);
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
        if (outcome == ReadOutcome::ABSENT && (outcome = read_image_file(content)) == ReadOutcome::FOUND)
            content.kind = Content::IMAGE;
        if (outcome == ReadOutcome::ABSENT && (outcome = read_dib(content)) == ReadOutcome::FOUND)
            content.kind = Content::IMAGE;
    }
    if (outcome == ReadOutcome::FAILED) content.kind = Content::FAILED;
    content.text = std::move(text);
    content.files = std::move(files);
    return content;
}

bool write_content(const Content& content) {
    // The memory is prepared before the clipboard is opened.
    Global memory, second;
    UINT format = 0, second_format = 0;
    if (content.kind == Content::TEXT) {
        std::u16string text = raw_utf::utf8_to_utf16(content.text);
        if (!memory.fill(text.c_str(), (text.size() + 1) * sizeof(char16_t))) return false;
        format = CF_UNICODETEXT;
    } else if (content.kind == Content::FILES) {
        std::string block = drop_files_block(content.files);
        if (!memory.fill(block.data(), block.size())) return false;
        format = CF_HDROP;
    } else if (content.kind == Content::IMAGE && !content.pixels.empty()) {
        image_backend::Bitmap* b = image_backend::alloc_bitmap(content.width, content.height);
        if (!b) return false;
        std::memcpy(b->pixels(), content.pixels.data(), content.pixels.size() * 4);
        std::vector<uint8_t> png;
        bool encoded = image_codecs::encode(b, image_backend::FORMAT_PNG, &png);
        image_backend::discard(b);
        if (!encoded || !memory.fill(png.data(), png.size())) return false;
        format = RegisterClipboardFormatW(L"PNG");
        std::string dib = dib_block(content);
        if (!second.fill(dib.data(), dib.size())) return false;
        second_format = CF_DIB;
    }
    OpenGuard clipboard;
    if (!clipboard.open) return false;
    if (!EmptyClipboard()) return false;
    bool taken = true;
    if (format) {
        if (SetClipboardData(format, memory.handle)) memory.handle = nullptr;   // the system owns it now
        else taken = false;
    }
    if (second_format) {
        if (SetClipboardData(second_format, second.handle)) second.handle = nullptr;
        else taken = false;
    }
    return clipboard.close() && taken;
}

}  // namespace qor::clipboard
