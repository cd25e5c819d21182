// Windows of the faces that are controls (buttons, fields, lists, bars...):
// class, styles and extended styles from the face's type, flags, para,
// visible?, enabled? and size, then CreateWindowExW.  Windows, panels and
// base faces are made by the window system's own make_view, which hands
// the other types here.
#include <cstdio>
#include <initializer_list>
#include <string>

#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/string.hpp"
#include "gui/backend/faces_backend.hpp"
#include "gui/face_slots.hpp"
#include "gui/fonts.hpp"

// After the portable headers: their message names are macros of windows.h.
#include <windows.h>
#include <commctrl.h>

namespace qor::gui::win32 {

namespace {

struct ControlClass {
    const char*    type;
    const wchar_t* window_class;
    DWORD          style;
    bool           client_edge;   // WS_EX_CLIENTEDGE unless no-border
};

const ControlClass CONTROLS[] = {
    {"button", L"QorButton", BS_MULTILINE, false},
    {"toggle", L"QorButton", BS_PUSHLIKE | BS_AUTOCHECKBOX, false},
    {"check", L"QorButton", WS_TABSTOP, false},
    {"radio", L"QorButton", WS_TABSTOP | BS_RADIOBUTTON, false},
    {"group-box", L"QorPanel", 0, false},
    {"tab-panel", L"QorTabpanel", 0, false},
    {"field", L"QorField", WS_TABSTOP | ES_AUTOHSCROLL, true},
    {"area", L"QorArea", WS_VSCROLL | WS_TABSTOP | ES_AUTOVSCROLL | ES_MULTILINE, true},
    {"text", L"QorFace", 0, false},
    {"text-list", L"QorListBox", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, true},
    {"drop-down", L"QorCombo", CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_HASSTRINGS, false},
    {"drop-list", L"QorCombo", CBS_DROPDOWNLIST | CBS_HASSTRINGS, false},
    {"progress", L"QorProgress", 0, false},
    {"slider", L"QorSlider", 0, false},
    {"scroller", L"QorScroller", 0, false},
    {"calendar", L"QorCalendar", 0x190, false},
};

std::wstring wide(const Cell* s) {
    std::string utf8 = string::to_utf8(s);
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

bool logic_false(const Cell* c) { return c && type_of(c) == TYPE_LOGIC && !c->data1; }

void geometry(const Cell* face, int32_t facet, int32_t* x, int32_t* y) {
    *x = *y = 0;
    const Cell* c = faces::facet(face, facet);
    if (!c) return;
    if (type_of(c) == TYPE_PAIR) {
        *x = faces::to_pixels(pair::x_of(c));
        *y = faces::to_pixels(pair::y_of(c));
    } else if (type_of(c) == TYPE_POINT2D) {
        *x = faces::to_pixels(point::coordinate(c, 0));
        *y = faces::to_pixels(point::coordinate(c, 1));
    }
}

}  // namespace

uint32_t make_control(Cell* face, uint32_t parent) {
    const ControlClass* kind = nullptr;
    for (const ControlClass& c : CONTROLS)
        if (faces::type_is(face, c.type)) kind = &c;
    if (!kind) return 0;
    uint32_t flags = faces::get_flags(faces::facet(face, faces::FLAGS));
    const Cell* para = faces::facet(face, faces::PARA);
    bool has_para = para && type_of(para) == TYPE_OBJECT;
    int32_t x, y, w, h;
    geometry(face, faces::OFFSET, &x, &y);
    geometry(face, faces::SIZE, &w, &h);

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | kind->style;
    DWORD ex = 0;
    if (!logic_false(faces::facet(face, faces::VISIBLE))) style |= WS_VISIBLE;
    if (has_para) style |= fonts::para_bits(face);
    if (logic_false(faces::facet(face, faces::ENABLED))) style |= WS_DISABLED;
    if (flags & faces::FACE_SCROLLABLE) style |= WS_HSCROLL | WS_VSCROLL;
    if (kind->client_edge && !(flags & faces::FACE_NO_BORDER)) ex |= WS_EX_CLIENTEDGE;
    if (faces::type_is(face, "check"))
        style |= (flags & faces::FACE_TRI_STATE) ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
    else if (faces::type_is(face, "field")) {
        if (flags & faces::FACE_PASSWORD) style |= ES_PASSWORD;
        if (!has_para) style |= ES_NOHIDESEL;
    } else if (faces::type_is(face, "area") && !has_para)
        style |= WS_HSCROLL | ES_NOHIDESEL | ES_AUTOHSCROLL;
    else if (faces::type_is(face, "progress") && h > w)
        style |= PBS_VERTICAL;
    else if (faces::type_is(face, "slider") && h > w)
        style |= TBS_VERT | TBS_DOWNISLEFT;
    else if (faces::type_is(face, "scroller") && h > w)
        style |= SBS_VERT;

    const Cell* text = faces::facet(face, faces::TEXT);
    std::wstring title = text && type_of(text) == TYPE_STRING && !faces::type_is(face, "area") ? wide(text)
                                                                                               : std::wstring();
    HWND made = CreateWindowExW(ex, kind->window_class, title.c_str(), style, x, y, w, h,
                                reinterpret_cast<HWND>(static_cast<uintptr_t>(parent)), nullptr,
                                GetModuleHandleW(nullptr), face);
    if (!made) {
        std::fputs("*** View Error: CreateWindowEx failed!\n", stdout);
        return 0;
    }
    uint32_t hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(made));
    const Cell* size = faces::facet(face, faces::SIZE);
    if (size && type_of(size) == TYPE_PAIR) ws().set_window_word(hwnd, -12, 0x10);
    if (faces::type_is(face, "group-box")) {
        // The frame is a button of its own over the panel, kept in the aux slot.
        HWND frame = CreateWindowExW(0, L"BUTTON", title.c_str(), (style & ~kind->style) | WS_GROUP | BS_GROUPBOX,
                                     0, 0, w, h, made, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(frame, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ws().set_window_word(hwnd, -4, int32_t(reinterpret_cast<intptr_t>(frame)));
    } else if (faces::type_is(face, "scroller")) {
        SCROLLINFO si{sizeof si, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 100, 10, 0, 0};
        SetScrollInfo(made, SB_CTL, &si, TRUE);
    }
    BringWindowToTop(made);
    faces::link_window(hwnd, face);
    return hwnd;
}

}  // namespace qor::gui::win32
