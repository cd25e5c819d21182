// A face's background and the back-buffer copy of the window procedures.
// The window-message enums come before windows.h defines the same names.
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"

#include <windows.h>

#include <cstring>

#include <objidl.h>
#include <gdiplus.h>

#include "gui/backend/paint_helpers.hpp"

namespace qor::gui::paint {

namespace {

bool win8_or_later() {
    int32_t major = 0, minor = 0, build = 0, product = 0;
    if (ws().version) ws().version(&major, &minor, &build, &product);
    return major > 6 || (major == 6 && minor >= 2);
}

// GDI+ starts on first use and stays up for the process.
bool gdiplus_ready() {
    static bool tried = false, ok = false;
    if (!tried) {
        tried = true;
        ULONG_PTR token = 0;
        Gdiplus::GdiplusStartupInput input;
        ok = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }
    return ok;
}

}  // namespace

int32_t paint_background(uint32_t hwnd_word, void* hdc_ptr) {
    HWND hwnd = reinterpret_cast<HWND>(uintptr_t(hwnd_word));
    HDC hdc = static_cast<HDC>(hdc_ptr);
    const Cell* face = faces::of_window(hwnd_word);
    const Cell* colour = face ? faces::facet(face, faces::COLOR) : nullptr;
    RECT rc;
    GetClientRect(hwnd, &rc);
    bool is_tuple = colour && type_of(colour) == TYPE_TUPLE;
    uint8_t b[12] = {};
    uint32_t count = 0;
    if (is_tuple) {
        std::memcpy(b, &colour->data1, 12);
        count = (colour->header >> 19) & 15;
    }
    bool opaque = !is_tuple || count < 4 || b[3] == 0;
    if (win8_or_later() || opaque) {
        if (is_tuple) {
            HBRUSH brush = CreateSolidBrush(RGB(b[0], b[1], b[2]));
            FillRect(hdc, &rc, brush);
            DeleteObject(brush);
            return 1;
        }
        if (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) return 0;
        FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (!gdiplus_ready()) return 0;
    // ARGB with the alpha inverted; an opaque alpha becomes 0xFE.
    uint32_t alpha = 255u - b[3];
    if (alpha == 255) alpha = 0xFE;
    Gdiplus::ARGB argb = alpha << 24 | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
    Gdiplus::GpSolidFill* fill = nullptr;
    Gdiplus::GpGraphics* graphics = nullptr;
    Gdiplus::DllExports::GdipCreateSolidFill(argb, &fill);
    Gdiplus::DllExports::GdipCreateFromHDC(hdc, &graphics);
    if (fill && graphics)
        Gdiplus::DllExports::GdipFillRectangleI(graphics, fill, rc.left, rc.top, rc.right - rc.left,
                                                rc.bottom - rc.top);
    if (graphics) Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    if (fill) Gdiplus::DllExports::GdipDeleteBrush(fill);
    return 1;
}

void blit_back_buffer(uint32_t hwnd_word, bool alpha, void* hdc_ptr, int32_t x, int32_t y, void* source_dc) {
    HWND hwnd = reinterpret_cast<HWND>(uintptr_t(hwnd_word));
    HDC hdc = static_cast<HDC>(hdc_ptr);
    PAINTSTRUCT ps;
    bool own = !hdc;
    if (own) hdc = BeginPaint(hwnd, &ps);
    HDC source = reinterpret_cast<HDC>(uintptr_t(uint32_t(ws().window_word ? ws().window_word(hwnd_word, -4) : 0)));
    if (!source) source = static_cast<HDC>(source_dc);
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (source && hdc) {
        if (alpha) {
            BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            AlphaBlend(hdc, x, y, rc.right, rc.bottom, source, 0, 0, rc.right, rc.bottom, blend);
        } else {
            BitBlt(hdc, x, y, rc.right, rc.bottom, source, 0, 0, SRCCOPY);
        }
    }
    if (own) EndPaint(hwnd, &ps);
}

}  // namespace qor::gui::paint
