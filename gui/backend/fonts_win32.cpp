// GDI fonts of font! objects.

#include "gui/backend/faces_backend.hpp"

// After the portable headers: their message names are macros of windows.h.
#include <windows.h>
#include <commdlg.h>

namespace qor::gui::win32 {

namespace {

HWND to_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

constexpr wchar_t DEFAULT_FACE[] = L"Segoe UI";

}  // namespace

uint32_t make_font(const FontSpec* spec) {
    wchar_t name[32];
    int n = 0;
    for (; n < 31 && spec->name[n]; ++n) name[n] = wchar_t(spec->name[n]);
    name[n] = 0;
    const wchar_t* face = n ? name : DEFAULT_FACE;
    HFONT font = CreateFontW(spec->height, 0, 0, spec->orientation, spec->weight, spec->italic,
                             spec->underline, spec->strike, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DWORD(spec->quality), DEFAULT_PITCH, face);
    if (!font && n)   // a face the system lacks: the default one
        font = CreateFontW(spec->height, 0, 0, spec->orientation, spec->weight, spec->italic,
                           spec->underline, spec->strike, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DWORD(spec->quality), DEFAULT_PITCH, DEFAULT_FACE);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(font));
}

bool request_font(FontSpec* spec, bool mono, int32_t* points) {
    LOGFONTW lf{};
    lf.lfHeight = spec->height;
    lf.lfWeight = spec->weight;
    lf.lfItalic = spec->italic;
    lf.lfUnderline = spec->underline;
    lf.lfStrikeOut = spec->strike;
    lf.lfCharSet = DEFAULT_CHARSET;
    for (int i = 0; i < 31 && spec->name[i]; ++i) lf.lfFaceName[i] = wchar_t(spec->name[i]);
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = GetForegroundWindow();
    cf.lpLogFont = &lf;
    cf.Flags = CF_SCREENFONTS | CF_PRINTERFONTS | CF_INITTOLOGFONTSTRUCT | CF_NOVERTFONTS;
    if (mono) cf.Flags |= CF_FIXEDPITCHONLY;
    if (!ChooseFontW(&cf)) return false;
    int i = 0;
    for (; i < 31 && lf.lfFaceName[i]; ++i) spec->name[i] = uint16_t(lf.lfFaceName[i]);
    spec->name[i] = 0;
    spec->height = lf.lfHeight;
    spec->weight = lf.lfWeight == FW_BOLD ? 700 : 0;
    spec->italic = lf.lfItalic != 0;
    spec->underline = lf.lfUnderline != 0;
    spec->strike = lf.lfStrikeOut != 0;
    *points = cf.iPointSize / 10;
    return true;
}

void free_font(uint32_t font) {
    if (font) DeleteObject(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(font)));
}

void set_font(uint32_t hwnd, uint32_t font) {
    HGDIOBJ f = font ? reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(font)) : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageW(to_hwnd(hwnd), WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    InvalidateRect(to_hwnd(hwnd), nullptr, TRUE);
}

}  // namespace qor::gui::win32
