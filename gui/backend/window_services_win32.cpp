// Capturing a window, or the whole screen, into pixels on Windows.

#include "gui/backend/faces_backend.hpp"
#include "gui/face_slots.hpp"

// After the portable headers: their message names are macros of windows.h.
#include <windows.h>

namespace qor::gui::win32 {

namespace {

HWND to_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

constexpr UINT PW_RENDER_FULL_CONTENT = 2;

}  // namespace

bool capture_window(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels) {
    HWND w = to_hwnd(hwnd);
    if (hwnd && is_camera(hwnd)) return camera_frame(hwnd, width, height, pixels);   // a frame, not the window
    if (hwnd) {
        RECT r{};
        if (!GetWindowRect(w, &r)) return false;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
    } else {
        *width = GetSystemMetrics(SM_CXSCREEN);
        *height = GetSystemMetrics(SM_CYSCREEN);
    }
    if (!pixels) return true;
    HDC source = GetDC(hwnd ? w : nullptr);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = *width;
    bi.bmiHeader.biHeight = -*height;   // top-down rows
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap && bits;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (hwnd) {
            ok = PrintWindow(w, memory, PW_RENDER_FULL_CONTENT) || PrintWindow(w, memory, 0);
        } else {
            ok = BitBlt(memory, 0, 0, *width, *height, source, 0, 0, SRCCOPY | CAPTUREBLT);
        }
        GdiFlush();
        const uint32_t* from = static_cast<const uint32_t*>(bits);
        for (int32_t i = 0; i < *width * *height; ++i) pixels[i] = from[i] | 0xFF000000u;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(hwnd ? w : nullptr, source);
    return ok;
}

}  // namespace qor::gui::win32
