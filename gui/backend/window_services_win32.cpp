// Showing, redrawing and capturing windows, and the monitors, on Windows.

#include <vector>

#include "gui/backend/faces_backend.hpp"
#include "gui/face_slots.hpp"

// After the portable headers: their message names are macros of windows.h.
#include <windows.h>

namespace qor::gui::win32 {

namespace {

HWND to_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

constexpr int32_t SLOT_NOT_SHOWN = -48;   // a top-level window made but not shown yet
constexpr UINT PW_RENDER_FULL_CONTENT = 2;

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

GetDpiForMonitorFn dpi_for_monitor() {
    static GetDpiForMonitorFn fn = [] {
        HMODULE shcore = LoadLibraryW(L"shcore.dll");
        return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                            reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")))
                      : nullptr;
    }();
    return fn;
}

double monitor_scale(HMONITOR m) {
    UINT x = 96, y = 96;
    if (GetDpiForMonitorFn fn = dpi_for_monitor(); !fn || fn(m, 0, &x, &y) != S_OK) {
        HDC dc = GetDC(nullptr);
        x = UINT(GetDeviceCaps(dc, LOGPIXELSX));
        ReleaseDC(nullptr, dc);
    }
    return x / 96.0;
}

struct Enumeration {
    Screen* out;
    int32_t room;
    int32_t count;
};

BOOL CALLBACK each_monitor(HMONITOR m, HDC, LPRECT r, LPARAM data) noexcept {
    // A callback of the system: nothing may unwind through it.
    try {
        auto* e = reinterpret_cast<Enumeration*>(data);
        if (e->count >= e->room) return FALSE;
        MONITORINFO info{sizeof info, {}, {}, 0};
        GetMonitorInfoW(m, &info);
        Screen s{r->left, r->top, r->right - r->left, r->bottom - r->top, monitor_scale(m),
                 int32_t(reinterpret_cast<intptr_t>(m))};
        // The primary monitor first.
        if (info.dwFlags & MONITORINFOF_PRIMARY) {
            for (int32_t i = e->count; i > 0; --i) e->out[i] = e->out[i - 1];
            e->out[0] = s;
        } else {
            e->out[e->count] = s;
        }
        e->count++;
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

void show_window(uint32_t hwnd) {
    HWND w = to_hwnd(hwnd);
    bool mark = ws().window_word(hwnd, SLOT_NOT_SHOWN) != 0;
    if (IsWindowVisible(w) && !mark) {
        UpdateWindow(w);
        return;
    }
    if (GetCapture()) ReleaseCapture();
    ws().set_window_word(hwnd, SLOT_NOT_SHOWN, 0);
    ShowWindow(w, SW_SHOWDEFAULT);
    UpdateWindow(w);
    SetForegroundWindow(w);
    const Cell* selected = faces::facet(faces::of_window(hwnd), faces::SELECTED);
    if (uint32_t target = selected ? faces::handle_of(selected) : 0) SetFocus(to_hwnd(target));
}

void redraw(uint32_t hwnd) {
    InvalidateRect(to_hwnd(hwnd), nullptr, FALSE);
    UpdateWindow(to_hwnd(hwnd));
}

void refresh_window(uint32_t hwnd) { UpdateWindow(to_hwnd(hwnd)); }

bool capture_window(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels) {
    HWND w = to_hwnd(hwnd);
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

int32_t screens(Screen* out, int32_t room) {
    Enumeration e{out, room, 0};
    EnumDisplayMonitors(nullptr, nullptr, each_monitor, reinterpret_cast<LPARAM>(&e));
    return e.count;
}

int32_t current_screen() {
    POINT p{};
    GetCursorPos(&p);
    return int32_t(reinterpret_cast<intptr_t>(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST)));
}

}  // namespace qor::gui::win32
