// The Windows clipboard side against what other programs put there.  Runs
// only where the test can open a clipboard of its own.
#include "services/clipboard.hpp"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>

namespace {

using qor::clipboard::Content;

HGLOBAL global_copy(const void* data, size_t size) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!h) return nullptr;
    void* p = GlobalLock(h);
    std::memcpy(p, data, size);
    GlobalUnlock(h);
    return h;
}

// The clipboard belongs to the window station: each test process makes its
// own, so tests that run at the same time (and Qor scripts using the
// clipboard) do not see each other's data.
HDESK private_desktop() {
    static HDESK desktop = [] {
        std::wstring name = L"qor-clipboard-test-" + std::to_wstring(GetCurrentProcessId());
        HWINSTA station = CreateWindowStationW(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
        if (!station || !SetProcessWindowStation(station)) return HDESK(nullptr);
        HDESK d = CreateDesktopW(L"tests", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        if (!d || !SetThreadDesktop(d)) return HDESK(nullptr);
        return d;
    }();
    return desktop;
}

// Puts the formats on the clipboard as another program would; false when
// the clipboard cannot be opened here.
bool put_formats(bool text, bool files, bool dib) {
    if (!private_desktop() || !OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    if (text) SetClipboardData(CF_UNICODETEXT, global_copy(L"from elsewhere", sizeof L"from elsewhere"));
    if (files) {
        std::string block(sizeof(DROPFILES), '\0');
        DROPFILES header{};
        header.pFiles = sizeof(DROPFILES);
        header.fWide = TRUE;
        std::memcpy(block.data(), &header, sizeof header);
        const wchar_t names[] = L"C:\\x\\a.txt\0C:\\b.txt\0";
        block.append(reinterpret_cast<const char*>(names), sizeof names);
        SetClipboardData(CF_HDROP, global_copy(block.data(), block.size()));
    }
    if (dib) {
        BITMAPINFOHEADER bmp{};
        bmp.biSize = sizeof bmp;
        bmp.biWidth = 1;
        bmp.biHeight = 1;
        bmp.biPlanes = 1;
        bmp.biBitCount = 32;
        bmp.biCompression = BI_RGB;
        char bytes[sizeof bmp + 4] = {};
        std::memcpy(bytes, &bmp, sizeof bmp);
        SetClipboardData(CF_DIB, global_copy(bytes, sizeof bytes));
    }
    CloseClipboard();
    return true;
}

#define NEED_CLIPBOARD(text, files, dib) \
    if (!put_formats(text, files, dib)) GTEST_SKIP() << "no clipboard of its own can be opened here"

TEST(ClipboardWin32, TextComesBeforeFiles) {
    NEED_CLIPBOARD(true, true, false);
    Content c = qor::clipboard::read_content();
    ASSERT_EQ(c.kind, Content::TEXT);
    EXPECT_EQ(c.text, "from elsewhere");
}

TEST(ClipboardWin32, FilesOfAnotherProgram) {
    NEED_CLIPBOARD(false, true, false);
    Content c = qor::clipboard::read_content();
    ASSERT_EQ(c.kind, Content::FILES);
    ASSERT_EQ(c.files.size(), 2u);
    EXPECT_EQ(c.files[0], "C:\\x\\a.txt");
    EXPECT_EQ(c.files[1], "C:\\b.txt");
}

// A DIB that is not 32-bit BGRA with an alpha mask goes through GDI, opaque.
TEST(ClipboardWin32, PlainDibReadsThroughGdi) {
    NEED_CLIPBOARD(false, false, true);
    Content c = qor::clipboard::read_content();
    ASSERT_EQ(c.kind, Content::IMAGE);
    EXPECT_EQ(c.width, 1u);
    EXPECT_EQ(c.height, 1u);
    ASSERT_EQ(c.pixels.size(), 1u);
    EXPECT_EQ(c.pixels[0] >> 24, 255u);
}

// A 32-bit BGRA DIB with an alpha mask keeps its alpha; bottom-up rows are
// turned over.
TEST(ClipboardWin32, BitfieldDibKeepsAlpha) {
    NEED_CLIPBOARD(false, false, false);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    struct {
        BITMAPINFOHEADER h;
        DWORD            masks[4];
        uint32_t         pixels[2];
    } dib{};
    dib.h.biSize = sizeof dib.h;
    dib.h.biWidth = 1;
    dib.h.biHeight = 2;
    dib.h.biPlanes = 1;
    dib.h.biBitCount = 32;
    dib.h.biCompression = BI_BITFIELDS;
    dib.masks[0] = 0x00FF0000u, dib.masks[1] = 0x0000FF00u, dib.masks[2] = 0x000000FFu, dib.masks[3] = 0xFF000000u;
    dib.pixels[0] = 0x80102030u;   // the bottom row
    dib.pixels[1] = 0xFF405060u;
    SetClipboardData(CF_DIB, global_copy(&dib, sizeof dib));
    CloseClipboard();
    Content c = qor::clipboard::read_content();
    ASSERT_EQ(c.kind, Content::IMAGE);
    ASSERT_EQ(c.pixels.size(), 2u);
    EXPECT_EQ(c.pixels[0], 0xFF405060u);
    EXPECT_EQ(c.pixels[1], 0x80102030u);
}

// Writing an image puts both a PNG and a DIB; reading takes the PNG back
// with its alpha.
TEST(ClipboardWin32, WrittenImageIsPngAndDib) {
    NEED_CLIPBOARD(false, false, false);
    Content image;
    image.kind = Content::IMAGE;
    image.width = 2;
    image.height = 1;
    image.pixels = {0xFFFF0000u, 0x4000FF00u};
    ASSERT_TRUE(qor::clipboard::write_content(image));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_NE(GetClipboardData(RegisterClipboardFormatW(L"PNG")), nullptr);
    HANDLE dib = GetClipboardData(CF_DIB);
    ASSERT_NE(dib, nullptr);
    const auto* h = static_cast<const BITMAPV5HEADER*>(GlobalLock(dib));
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->bV5Size, 124u);
    EXPECT_EQ(h->bV5Height, -1);
    EXPECT_EQ(h->bV5AlphaMask, 0xFF000000u);
    GlobalUnlock(dib);
    CloseClipboard();
    Content back = qor::clipboard::read_content();
    ASSERT_EQ(back.kind, Content::IMAGE);
    EXPECT_EQ(back.pixels, image.pixels);
}

// What is written is a DROPFILES list that another program reads.
TEST(ClipboardWin32, WrittenFilesAreADropList) {
    NEED_CLIPBOARD(false, false, false);
    Content files;
    files.kind = Content::FILES;
    files.files = {"C:\\d\xC3\xA9j\xC3\xA0\\1.txt", "D:\\2"};
    ASSERT_TRUE(qor::clipboard::write_content(files));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HDROP drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
    ASSERT_NE(drop, nullptr);
    EXPECT_EQ(DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0), 2u);
    wchar_t name[MAX_PATH];
    DragQueryFileW(drop, 0, name, MAX_PATH);
    EXPECT_STREQ(name, L"C:\\d\u00E9j\u00E0\\1.txt");
    DragQueryFileW(drop, 1, name, MAX_PATH);
    EXPECT_STREQ(name, L"D:\\2");
    CloseClipboard();

    Content nothing;
    ASSERT_TRUE(qor::clipboard::write_content(nothing));
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP));
    CloseClipboard();
}

DWORD WINAPI read_elsewhere(LPVOID content) {
    SetThreadDesktop(private_desktop());
    *static_cast<Content*>(content) = qor::clipboard::read_content();
    return 0;
}

// Held by someone else: the read answers a failure and gives up quickly.
TEST(ClipboardWin32, HeldClipboardFails) {
    NEED_CLIPBOARD(true, false, false);
    HWND other = CreateWindowW(L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(OpenClipboard(other));
    // The same thread may open it again while it holds it: the owner check
    // is per window, so open it from another thread.
    Content c;
    HANDLE t = CreateThread(nullptr, 0, read_elsewhere, &c, 0, nullptr);
    ASSERT_NE(t, nullptr);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    CloseClipboard();
    DestroyWindow(other);
    EXPECT_EQ(c.kind, Content::FAILED);
}

}  // namespace
