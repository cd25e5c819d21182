// Native controls on Windows: facet values pushed into the common controls,
// in-place list edits, state read back, edit options, area scroll bars,
// scroll bars of scroller! objects and text measuring of controls.  The
// rules come from gui/controls.hpp.

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/date.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/controls.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <commctrl.h>

#ifndef EM_SETCUEBANNER
#define EM_SETCUEBANNER 0x1501
#endif

namespace qor::gui::win32 {

namespace {

constexpr int32_t SLOT_AUX = -4;

HWND as_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

std::wstring wide(const std::string& s) {
    std::u16string u = dialogs::utf16(s);
    return std::wstring(u.begin(), u.end());
}

std::string utf8_of(const wchar_t* s, size_t n) {
    std::u16string u(s, s + n);
    return dialogs::utf8(u);
}

bool is(Cell* face, const char* type) { return faces::type_is(face, type); }

// L: the larger of the face's width and height in pixels.
int32_t steps_of(HWND hwnd, bool* vertical) {
    RECT r{};
    GetClientRect(hwnd, &r);
    int32_t w = r.right - r.left, h = r.bottom - r.top;
    *vertical = controls::vertical_slider(w, h);
    return w > h ? w : h;
}

std::vector<uint32_t> text_points(Cell* face) {
    Cell* text = faces::facet(face, faces::TEXT);
    if (!text || type_of(text) != TYPE_STRING) return {};
    std::string s = string::to_utf8(text);
    std::vector<uint32_t> out;
    std::u16string u = dialogs::utf16(s);
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t c = u[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
        out.push_back(c);
    }
    return out;
}

// Width in pixels of the longest item, in the list's own font.
void update_extent(HWND list, const std::string& longest) {
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    std::wstring w = wide(longest);
    SIZE size{};
    GetTextExtentPoint32W(dc, w.c_str(), int(w.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    SendMessageW(list, LB_SETHORIZONTALEXTENT, WPARAM(size.cx + 4), 0);
}

void fill_list(HWND hwnd, Cell* data, bool combo) {
    SendMessageW(hwnd, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    std::vector<std::string> items = controls::list_items(data);
    for (const std::string& it : items) {
        std::wstring w = wide(it);
        SendMessageW(hwnd, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, LPARAM(w.c_str()));
    }
    if (combo) return;
    int32_t longest = controls::longest_item(items);
    if (longest >= 0) {
        ws().set_window_word(uint32_t(uintptr_t(hwnd)), SLOT_AUX, int32_t(items[size_t(longest)].size()));
        update_extent(hwnd, items[size_t(longest)]);
    }
}

void select_tab(HWND tab, int32_t index) {
    HWND parent = GetParent(tab);
    NMHDR nm{tab, UINT_PTR(GetDlgCtrlID(tab)), UINT(TCN_SELCHANGING)};
    SendMessageW(parent, WM_NOTIFY, nm.idFrom, LPARAM(&nm));
    SendMessageW(tab, TCM_SETCURFOCUS, WPARAM(index), 0);
    nm.code = UINT(TCN_SELCHANGE);
    SendMessageW(parent, WM_NOTIFY, nm.idFrom, LPARAM(&nm));
}

void set_check(HWND hwnd, Cell* face) {
    bool tri = faces::get_flags(faces::facet(face, faces::FLAGS)) & faces::FACE_TRI_STATE;
    int32_t s = controls::check_state(faces::facet(face, faces::DATA), tri);
    SendMessageW(hwnd, BM_SETCHECK, WPARAM(s == controls::INDETERMINATE ? BST_INDETERMINATE
                                            : s == controls::CHECKED ? BST_CHECKED : BST_UNCHECKED), 0);
}

}  // namespace

void push_data(uint32_t h, Cell* face) {
    HWND hwnd = as_hwnd(h);
    Cell keep_face = *face;
    gc::CellRoot keep(&keep_face);
    Cell* data = faces::facet(&keep_face, faces::DATA);
    Cell* selected = faces::facet(&keep_face, faces::SELECTED);
    if (is(&keep_face, "text-list")) {
        fill_list(hwnd, data, false);
        push_selected(h, &keep_face);
    } else if (is(&keep_face, "drop-down") || is(&keep_face, "drop-list")) {
        fill_list(hwnd, data, true);
        Cell* text = faces::facet(&keep_face, faces::TEXT);
        if (is(&keep_face, "drop-down") && text && type_of(text) == TYPE_STRING) {
            std::wstring w = wide(string::to_utf8(text));
            SetWindowTextW(hwnd, w.c_str());
        } else if (selected && type_of(selected) == TYPE_INTEGER) {
            SendMessageW(hwnd, CB_SETCURSEL, WPARAM(integer::get_value(selected) - 1), 0);
        }
    } else if (is(&keep_face, "tab-panel")) {
        SendMessageW(hwnd, TCM_DELETEALLITEMS, 0, 0);
        int32_t count = 0;
        if (data && type_of(data) == TYPE_BLOCK)
            for (uint32_t i = 0; i < block::length(data); ++i) {
                Cell* v = block::item(data, i);
                if (type_of(v) != TYPE_STRING) continue;
                std::wstring w = wide(string::to_utf8(v));
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = w.data();
                item.cchTextMax = int(w.size());
                item.iImage = -1;
                SendMessageW(hwnd, TCM_INSERTITEMW, WPARAM(count++), LPARAM(&item));
            }
        int32_t n = controls::tab_selection(selected, count);
        if (selected) *selected = integer::make(n);
        if (n > 0) select_tab(hwnd, n - 1);
    } else if (is(&keep_face, "calendar")) {
        if (data && type_of(data) == TYPE_DATE) {
            SYSTEMTIME st{};
            st.wYear = WORD(controls::calendar_year(date::year_of(data->data1)));
            st.wMonth = WORD(date::month_of(data->data1));
            st.wDay = WORD(date::day_of(data->data1));
            SendMessageW(hwnd, MCM_SETCURSEL, 0, LPARAM(&st));
        } else {
            read_back(h, &keep_face);
        }
    } else if (is(&keep_face, "check") || is(&keep_face, "toggle")) {
        set_check(hwnd, &keep_face);
    } else if (is(&keep_face, "radio")) {
        set_check(hwnd, &keep_face);
        if (!(data && type_of(data) == TYPE_LOGIC && data->data1))
            SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(0, 3), LPARAM(hwnd));
    } else if (is(&keep_face, "progress")) {
        bool vertical;
        int32_t steps = steps_of(hwnd, &vertical), pos;
        if (controls::unit_position(data, steps, false, &pos)) SendMessageW(hwnd, PBM_SETPOS, WPARAM(pos), 0);
    } else if (is(&keep_face, "slider")) {
        bool vertical;
        int32_t steps = steps_of(hwnd, &vertical), pos;
        if (controls::unit_position(data, steps, vertical, &pos)) SendMessageW(hwnd, TBM_SETPOS, TRUE, LPARAM(pos));
    } else if (is(&keep_face, "scroller")) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE;
        GetScrollInfo(hwnd, SB_CTL, &si);
        int32_t pos;
        if (controls::scroller_position(data, si.nMin, si.nMax, &pos)) {
            si.fMask = SIF_RANGE | SIF_POS;
            si.nPos = pos;
            SetScrollInfo(hwnd, SB_CTL, &si, TRUE);
        }
    } else if (is(&keep_face, "rich-text")) {
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

void push_selected(uint32_t h, Cell* face) {
    HWND hwnd = as_hwnd(h);
    Cell* selected = faces::facet(face, faces::SELECTED);
    if (!selected) return;
    if (is(face, "text-list")) {
        SendMessageW(hwnd, LB_SETCURSEL, WPARAM(controls::list_selection(selected)), 0);
    } else if (is(face, "drop-down") || is(face, "drop-list")) {
        SendMessageW(hwnd, CB_SETCURSEL, WPARAM(controls::list_selection(selected)), 0);
    } else if (is(face, "tab-panel")) {
        int32_t count = int32_t(SendMessageW(hwnd, TCM_GETITEMCOUNT, 0, 0));
        int32_t n = controls::tab_selection(selected, count);
        if (n > 0) select_tab(hwnd, n - 1);
    } else if (is(face, "field") || is(face, "area")) {
        int32_t from, to;
        controls::edit_selection(selected, text_points(face), &from, &to);
        SendMessageW(hwnd, EM_SETSEL, WPARAM(from), LPARAM(to));
    } else if (is(face, "scroller")) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE;
        GetScrollInfo(hwnd, SB_CTL, &si);
        int32_t page;
        if (controls::scroller_page(selected, si.nMin, si.nMax, &page)) {
            si.fMask = SIF_RANGE | SIF_PAGE;
            si.nPage = UINT(page);
            SetScrollInfo(hwnd, SB_CTL, &si, TRUE);
        }
    }
}

void push_list_change(uint32_t h, Cell* face, const Cell* action, int32_t index, int32_t part, bool same) {
    HWND hwnd = as_hwnd(h);
    bool combo = !is(face, "text-list");
    std::vector<controls::ListOp> ops =
        controls::list_change(faces::facet(face, faces::DATA), action, index, part, same);
    for (const controls::ListOp& op : ops) {
        switch (op.kind) {
        case controls::ListOp::RESET:
            SendMessageW(hwnd, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
            break;
        case controls::ListOp::REMOVE:
            SendMessageW(hwnd, combo ? CB_DELETESTRING : LB_DELETESTRING, WPARAM(op.position), 0);
            break;
        case controls::ListOp::INSERT: {
            int32_t count = int32_t(SendMessageW(hwnd, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
            int32_t p = op.position > count ? count : op.position;
            std::wstring w = wide(op.text);
            SendMessageW(hwnd, combo ? CB_INSERTSTRING : LB_INSERTSTRING, WPARAM(p), LPARAM(w.c_str()));
            if (!combo) {
                int32_t longest = ws().window_word(h, SLOT_AUX);
                if (int32_t(op.text.size()) > longest) {
                    ws().set_window_word(h, SLOT_AUX, int32_t(op.text.size()));
                    update_extent(hwnd, op.text);
                }
            }
            break;
        }
        }
    }
}

bool read_back(uint32_t h, Cell* face) {
    HWND hwnd = as_hwnd(h);
    Cell* data = faces::facet(face, faces::DATA);
    if (!data) return false;
    if (is(face, "check") || is(face, "toggle") || is(face, "radio")) {
        LRESULT s = SendMessageW(hwnd, BM_GETCHECK, 0, 0);
        *data = controls::check_data(s == BST_INDETERMINATE ? controls::INDETERMINATE
                                     : s == BST_CHECKED ? controls::CHECKED : controls::UNCHECKED);
        return true;
    }
    if (is(face, "slider")) {
        bool vertical;
        int32_t steps = steps_of(hwnd, &vertical);
        *data = float_::make(controls::slider_data(int32_t(SendMessageW(hwnd, TBM_GETPOS, 0, 0)), steps, vertical));
        return true;
    }
    if (is(face, "scroller")) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_ALL;
        GetScrollInfo(hwnd, SB_CTL, &si);
        double range = si.nMax - si.nMin;
        if (range <= 0) return true;
        *data = float_::make((si.nPos - si.nMin) / range);
        if (Cell* selected = faces::facet(face, faces::SELECTED))
            *selected = float_::make(si.nPage / range, TYPE_PERCENT);
        return true;
    }
    if (is(face, "calendar")) {
        SYSTEMTIME st{};
        SendMessageW(hwnd, MCM_GETCURSEL, 0, LPARAM(&st));
        *data = date::make(date::pack(st.wYear, st.wMonth, st.wDay, 0, false), 0.0);
        return true;
    }
    return false;
}

void sync_selection(uint32_t h, Cell* face) {
    DWORD from = 0, to = 0;
    SendMessageW(as_hwnd(h), EM_GETSEL, WPARAM(&from), LPARAM(&to));
    if (Cell* selected = faces::facet(face, faces::SELECTED))
        *selected = controls::selection_value(int32_t(from), int32_t(to), text_points(face));
}

void get_text(uint32_t h, Cell* face, int32_t index) {
    HWND hwnd = as_hwnd(h);
    int32_t length = index == -1 ? int32_t(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0))
                                 : int32_t(SendMessageW(hwnd, CB_GETLBTEXTLEN, WPARAM(index), 0));
    if (length < 0) return;
    Cell* text = faces::facet(face, faces::TEXT);
    if (!text) return;
    std::vector<wchar_t> buffer(size_t(length) + 1, L'\0');
    if (length > 0) {
        if (index == -1) SendMessageW(hwnd, WM_GETTEXT, WPARAM(length + 1), LPARAM(buffer.data()));
        else SendMessageW(hwnd, CB_GETLBTEXT, WPARAM(index), LPARAM(buffer.data()));
    }
    Cell s = string::from_utf8(utf8_of(buffer.data(), size_t(length)).c_str());
    if (Cell* t = faces::facet(face, faces::TEXT)) *t = s;
}

void set_hint(uint32_t h, const Cell* options) {
    std::string hint;
    if (!controls::hint_text(options, &hint)) return;
    std::wstring w = wide(hint);
    SendMessageW(as_hwnd(h), EM_SETCUEBANNER, 0, LPARAM(w.c_str()));
}

void set_tabs(uint32_t h, const Cell* options) {
    DWORD stop = DWORD(controls::tab_stop(options));
    SendMessageW(as_hwnd(h), EM_SETTABSTOPS, 1, LPARAM(&stop));
}

void area_scroll_bars(uint32_t h, Cell* face, const Cell* given) {
    HWND hwnd = as_hwnd(h);
    const Cell* text = given ? given : faces::facet(face, faces::TEXT);
    if (!text || type_of(text) != TYPE_STRING) {
        ShowScrollBar(hwnd, SB_BOTH, FALSE);
        return;
    }
    bool wrap = false;
    Cell* para = faces::facet(face, faces::PARA);
    if (para && type_of(para) == TYPE_OBJECT) {
        int32_t symbol = symbol::find("wrap?", true);
        int32_t slot = symbol > 0 ? context::find_symbol(object::context_of(para), symbol, true) : -1;
        const Cell* v = slot >= 0 ? object::values_head(para) + slot : nullptr;
        wrap = v && type_of(v) == TYPE_LOGIC && v->data1;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    HDC dc = GetDC(hwnd);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    DWORD cell = GetTabbedTextExtentW(dc, L"M", 1, 0, nullptr);
    int32_t cell_w = LOWORD(cell), cell_h = HIWORD(cell);
    auto to_wide = [](const std::u32string& line) {
        std::wstring w;
        for (char32_t c : line) {
            if (c > 0xFFFF) {
                c -= 0x10000;
                w += wchar_t(0xD800 + (c >> 10));
                w += wchar_t(0xDC00 + (c & 0x3FF));
            } else {
                w += wchar_t(c);
            }
        }
        return w;
    };
    auto wrapped_height = [&](const std::u32string& line) {
        std::wstring w = to_wide(line);
        RECT r{0, 0, client.right, 0};
        DrawTextW(dc, w.c_str(), int(w.size()), &r, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
        return int32_t(r.bottom - r.top);
    };
    auto line_width = [&](const std::u32string& line) {
        std::wstring w = to_wide(line);
        return int32_t(LOWORD(GetTabbedTextExtentW(dc, w.c_str(), int(w.size()), 0, nullptr)));
    };
    std::vector<uint32_t> points;
    std::u16string u = dialogs::utf16(string::to_utf8(text));
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t c = u[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < u.size()) c = 0x10000 + ((c - 0xD800) << 10) + (u[++i] - 0xDC00);
        points.push_back(c);
    }
    controls::ScrollBars bars = controls::area_scroll_bars(points, wrap, client.right, client.bottom, cell_w,
                                                           cell_h, wrapped_height, line_width);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    ShowScrollBar(hwnd, SB_VERT, bars.vertical);
    ShowScrollBar(hwnd, SB_HORZ, bars.horizontal);
}

void update_scroller(uint32_t h, const Cell* scroller, int32_t field) {
    // fields: position page-size min-size max-size visible? vertical? parent on-change*
    auto value = [&](int32_t i) -> const Cell* {
        return faces::facet(scroller, i);   // an object's values by index, as facets are
    };
    const Cell* vertical = value(5);
    int bar = vertical && type_of(vertical) == TYPE_LOGIC && vertical->data1 ? SB_VERT : SB_HORZ;
    auto number = [&](int32_t i) {
        const Cell* v = value(i);
        if (!v) return 0;
        if (type_of(v) == TYPE_INTEGER) return integer::get_value(v);
        if (type_of(v) == TYPE_FLOAT) return int32_t(float_::get_value(v));
        return 0;
    };
    HWND hwnd = as_hwnd(h);
    SCROLLINFO si{};
    si.cbSize = sizeof si;
    switch (field) {
    case 0:
        si.fMask = SIF_POS | SIF_DISABLENOSCROLL;
        si.nPos = number(0);
        SetScrollInfo(hwnd, bar, &si, TRUE);
        break;
    case 1: case 3:
        si.fMask = SIF_PAGE | SIF_RANGE | SIF_DISABLENOSCROLL;
        si.nPage = UINT(number(1));
        si.nMin = 1;
        si.nMax = number(3);
        SetScrollInfo(hwnd, bar, &si, TRUE);
        break;
    case 4: {
        const Cell* visible = value(4);
        ShowScrollBar(hwnd, bar, visible && type_of(visible) == TYPE_LOGIC && visible->data1);
        break;
    }
    default:
        return;
    }
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

int32_t tab_notify(uint32_t tab, uint32_t code, Cell* face_in) {
    HWND hwnd = as_hwnd(tab);
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    int32_t current = int32_t(SendMessageW(hwnd, TCM_GETCURSEL, 0, 0));
    Message record{};
    if (LoopState& s = loop_state(); s.current_msg) record = *s.current_msg;
    record.hwnd = tab;
    if (code == UINT(TCN_SELCHANGING)) return make_event(&record, uint32_t(current), EVT_SELECT) == 0 ? TRUE : FALSE;
    if (code != UINT(TCN_SELCHANGE)) return 0;
    Cell* pane = faces::facet(&face, faces::PANE);
    Cell* selected = faces::facet(&face, faces::SELECTED);
    int32_t old = selected && type_of(selected) == TYPE_INTEGER ? integer::get_value(selected) - 1 : -1;
    if (pane && type_of(pane) == TYPE_BLOCK && old != current) {
        uint32_t n = block::length(pane);
        if (current >= 0 && uint32_t(current) < n) {
            Cell* page = block::item(pane, uint32_t(current));
            if (Cell* visible = faces::facet(page, faces::VISIBLE)) *visible = Cell{TYPE_LOGIC, 1, 0, 0};
            if (HWND w = as_hwnd(faces::handle_of(page))) {
                ShowWindow(w, SW_SHOW);
                BringWindowToTop(w);
            }
        }
        if (old >= 0 && uint32_t(old) < n) {
            Cell* page = block::item(pane, uint32_t(old));
            if (Cell* visible = faces::facet(page, faces::VISIBLE)) *visible = Cell{TYPE_LOGIC, 0, 0, 0};
            if (HWND w = as_hwnd(faces::handle_of(page))) ShowWindow(w, SW_HIDE);
        }
    }
    make_event(&record, uint32_t(current + 1), EVT_CHANGE);   // a tab-panel's change carries the 1-based tab
    if (Cell* sel = faces::facet(&face, faces::SELECTED)) *sel = integer::make(current + 1);
    return 0;
}

bool control_text_size(uint32_t h, Cell*, const Cell* text, double* w, double* hgt) {
    HWND hwnd = as_hwnd(h);
    HDC dc = GetWindowDC(hwnd ? hwnd : GetDesktopWindow());
    HGDIOBJ font = hwnd ? reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)) : nullptr;
    if (!font) font = GetStockObject(DEFAULT_GUI_FONT);
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring s = wide(string::to_utf8(text));
    RECT r{0, 0, 0x7FFFFFFF, 0};
    DrawTextW(dc, s.c_str(), int(s.size()), &r, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
    SelectObject(dc, old);
    ReleaseDC(hwnd ? hwnd : GetDesktopWindow(), dc);
    double scale = ws().scale();
    *w = (r.right - r.left) / scale;
    *hgt = (r.bottom - r.top) / scale;
    return true;
}

}  // namespace qor::gui::win32
