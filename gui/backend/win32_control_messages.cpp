// What the native child controls tell their window: WM_COMMAND
// notifications (clicks, edits, focus, list selections), WM_NOTIFY (tab
// changes, calendar choices, button painting), the scrolls of sliders and
// scroll bars, and the WM_CTLCOLOR... colouring.  Each becomes an event of
// the control's face, with the control as the event's window.  The rules
// are gui/control_notify's; this file reads and sets the controls.  It runs
// inside the window procedure's barrier.
#include "gui/backend/win32_backend.hpp"

#include "datatypes/context.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/control_notify.hpp"
#include "gui/controls.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "runtime/collector.hpp"

#include <commctrl.h>

namespace qor::gui::win32 {

namespace {

using controls::ButtonKind;

constexpr UINT CODE_CLICK = 0, CODE_SELECTION = 1, CODE_FOCUS_OR_UNCHECK = 3, CODE_FOCUS = 4,
               CODE_EDIT = 5;
constexpr int32_t FACET_STEPS = faces::FACET_COUNT;   // a scroller's step ratio, after the facets

// A field of an object by name (fonts and paras), or null.
const Cell* field(const Cell* object, const char* name) {
    if (!object || type_of(object) != TYPE_OBJECT) return nullptr;
    int32_t symbol = symbol::find(name, true);
    if (symbol <= 0) return nullptr;
    int32_t index = context::find_symbol(object::context_of(object), symbol, true);
    return index >= 0 ? object::values_head(object) + index : nullptr;
}

// The colour of the face's font, -1 when it has none.
int32_t font_colour(const Cell* face) {
    const Cell* font = faces::facet(face, faces::FONT);
    if (!font || type_of(font) != TYPE_OBJECT) return -1;
    return controls::facet_colour(field(font, "color"));
}

ButtonKind button_kind(const Cell* face) {
    if (faces::type_is(face, "button")) return ButtonKind::BUTTON;
    if (faces::type_is(face, "toggle")) return ButtonKind::TOGGLE;
    if (faces::type_is(face, "check")) return ButtonKind::CHECK;
    if (faces::type_is(face, "radio")) return ButtonKind::RADIO;
    return ButtonKind::OTHER;
}

bool has_state_block(const Cell* face) {
    const Cell* state = faces::facet(face, faces::STATE);
    return state && type_of(state) == TYPE_BLOCK;
}

// The control's top-level window learns which of its faces was used last
// (the focus goes back there when the window is activated).
void mark_selected(HWND control, const Cell* face) {
    HWND root = GetAncestor(control, GA_ROOTOWNER);
    Cell* root_face = root ? faces::of_window(from_hwnd(root)) : nullptr;
    if (Cell* selected = faces::facet(root_face, faces::SELECTED)) *selected = *face;
}

// The events of one notification go out with the control as their window;
// the message record's window word is put back afterwards.
class ControlEvents {
public:
    explicit ControlEvents(HWND control) : control_(from_hwnd(control)) {
        LoopState& s = loop_state();
        msg_ = s.current_msg ? s.current_msg : ensure_msg(control_);
        saved_window_ = msg_->hwnd;
    }
    ~ControlEvents() { msg_->hwnd = saved_window_; }
    ControlEvents(const ControlEvents&) = delete;
    ControlEvents& operator=(const ControlEvents&) = delete;

    int32_t make(uint32_t code, uint32_t flags = 0) {
        msg_->hwnd = control_;
        return make_event(msg_, flags, code);
    }

private:
    uint32_t control_;
    Message* msg_;
    uint32_t saved_window_;
};

void button_click(HWND control, Cell* face, ControlEvents& events) {
    ButtonKind kind = button_kind(face);
    bool tri = kind == ButtonKind::CHECK &&
               (faces::get_flags(faces::facet(face, faces::FLAGS)) & faces::FACE_TRI_STATE);
    bool checked = kind == ButtonKind::RADIO && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    bool tab_held = kind == ButtonKind::RADIO && (GetKeyState(VK_TAB) & 0x8000);
    controls::ClickAction action = controls::click_action(kind, tri, checked, tab_held);
    if (action.cycle) {
        int32_t state = int32_t(SendMessageW(control, BM_GETCHECK, 0, 0));
        SendMessageW(control, BM_SETCHECK, WPARAM(controls::next_check_state(state)), 0);
    }
    if (action.read_back) read_back(from_hwnd(control), face);
    if (!action.event) return;
    mark_selected(control, face);
    events.make(action.event);
}

// A list's current item changed: a select event when it is news to the
// face, then, unless the actor stopped it, `selected` follows and a change
// event tells so.
void list_selection(HWND control, Cell* face, ControlEvents& events) {
    UINT get = faces::type_is(face, "text-list") ? LB_GETCURSEL : CB_GETCURSEL;
    int32_t index = int32_t(SendMessageW(control, get, 0, 0));
    if (!controls::selection_is_new(faces::facet(face, faces::SELECTED), index)) return;
    int32_t answer = events.make(EVT_SELECT, uint32_t(index));
    if (!has_state_block(face) || !IsWindow(control)) return;   // the actor closed it
    index = int32_t(SendMessageW(control, get, 0, 0));
    Cell* selected = faces::facet(face, faces::SELECTED);
    if (!selected || !controls::selection_is_new(selected, index)) return;
    *selected = integer::make(index + 1);
    if (answer == 1) events.make(EVT_CHANGE);
}

void command(HWND hwnd, WPARAM wparam, LPARAM lparam) {
    HWND control = reinterpret_cast<HWND>(lparam);
    Cell* face_ptr = control ? faces::of_window(from_hwnd(control)) : nullptr;
    if (!face_ptr) return;
    Cell face = *face_ptr;
    gc::CellRoot keep(&face);
    ControlEvents events(control);
    switch (HIWORD(wparam)) {
    case CODE_CLICK:
        button_click(control, &face, events);
        break;
    case CODE_FOCUS_OR_UNCHECK:
        if (faces::type_is(&face, "radio")) {
            if (SendMessageW(control, BM_GETCHECK, 0, 0) != BST_CHECKED) events.make(EVT_CHANGE);
            break;
        }
        mark_selected(control, &face);
        events.make(EVT_FOCUS);
        break;
    case EN_CHANGE:
        if (!faces::of_window(from_hwnd(hwnd))) break;
        events.make(EVT_CHANGE, uint32_t(-1));
        if (faces::type_is(&face, "area") && IsWindow(control)) area_scroll_bars(from_hwnd(control), &face, nullptr);
        break;
    case EN_SETFOCUS:
    case CODE_FOCUS:
        mark_selected(control, &face);
        if (faces::type_is(&face, "field") || faces::type_is(&face, "area"))
            sync_selection(from_hwnd(control), &face);
        if (faces::type_is(&face, "drop-down") || faces::type_is(&face, "drop-list")) events.make(EVT_UNFOCUS);
        else events.make(EVT_FOCUS);
        break;
    case EN_KILLFOCUS:
        events.make(EVT_UNFOCUS);
        break;
    case CODE_SELECTION:
        list_selection(control, &face, events);
        break;
    case CODE_EDIT:
        if (faces::type_is(&face, "text-list")) events.make(EVT_UNFOCUS);
        else if (!faces::type_is(&face, "radio")) events.make(EVT_CHANGE, uint32_t(-1));
        break;
    default:
        break;
    }
}

// The text of a button face drawn in its font's colour; the control draws
// the rest (a check box its box, to the left of the text).
LRESULT paint_button(const NMCUSTOMDRAW* draw, const Cell* face) {
    if (!(faces::type_is(face, "check") || faces::type_is(face, "radio") || faces::type_is(face, "button") ||
          faces::type_is(face, "toggle")))
        return 0;
    if (draw->dwDrawStage != CDDS_PREPAINT || (draw->uItemState & CDIS_DISABLED)) return 0;
    const Cell* font = faces::facet(face, faces::FONT);
    if (!font || type_of(font) != TYPE_OBJECT) return 0;
    HDC dc = draw->hdc;
    int old_mode = SetBkMode(dc, TRANSPARENT);
    int32_t colour = font_colour(face);
    if (colour > 0) SetTextColor(dc, COLORREF(colour));
    RECT r = draw->rc;
    if (faces::type_is(face, "check") || faces::type_is(face, "radio")) r.left += faces::to_pixels(16);
    const Cell* text = faces::facet(face, faces::TEXT);
    if (text && type_of(text) == TYPE_STRING) {
        UINT format = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
        const Cell* para = faces::facet(face, faces::PARA);
        if (para && type_of(para) == TYPE_OBJECT) {
            const Cell* align = field(para, "align");
            const Cell* v_align = field(para, "v-align");
            format = DT_SINGLELINE;
            format |= faces::word_is(align, "left") ? DT_LEFT : faces::word_is(align, "right") ? DT_RIGHT : DT_CENTER;
            format |= faces::word_is(v_align, "top") ? DT_TOP
                      : faces::word_is(v_align, "bottom") ? DT_BOTTOM : DT_VCENTER;
        }
        std::wstring w = wide_text(text);
        DrawTextW(dc, w.c_str(), int(w.size()), &r, format);
    }
    SetBkMode(dc, old_mode);
    return CDRF_SKIPDEFAULT;
}

bool notify(const NMHDR* header, LRESULT* result) {
    Cell* face_ptr = faces::of_window(from_hwnd(header->hwndFrom));
    if (!face_ptr) {
        *result = 0;
        return true;
    }
    Cell face = *face_ptr;
    gc::CellRoot keep(&face);
    switch (header->code) {
    case TCN_SELCHANGING:
        *result = tab_notify(from_hwnd(header->hwndFrom), header->code, &face);
        return true;
    case TCN_SELCHANGE:
        tab_notify(from_hwnd(header->hwndFrom), header->code, &face);
        return false;
    case MCN_SELCHANGE: {
        read_back(from_hwnd(header->hwndFrom), &face);
        ControlEvents events(header->hwndFrom);
        events.make(EVT_CHANGE);
        return false;
    }
    case NM_CUSTOMDRAW: {
        LRESULT answer = paint_button(reinterpret_cast<const NMCUSTOMDRAW*>(header), &face);
        if (!answer) return false;
        *result = answer;
        return true;
    }
    default:
        return false;
    }
}

// A slider moved or a scroll bar was used: its face's data follows and a
// change event is made.  The end of a scroll changes nothing.
void control_scroll(HWND control, WPARAM wparam) {
    Cell* face_ptr = faces::of_window(from_hwnd(control));
    if (!face_ptr) return;
    Cell face = *face_ptr;
    gc::CellRoot keep(&face);
    if (faces::type_is(&face, "scroller")) {
        SCROLLINFO si{};
        si.cbSize = sizeof si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        if (!GetScrollInfo(control, SB_CTL, &si)) return;
        double step = controls::ratio_of(faces::facet(&face, FACET_STEPS), 0.1);
        double page = controls::ratio_of(faces::facet(&face, faces::SELECTED), 0.0);
        int32_t position;
        if (!controls::scroll_position(LOWORD(wparam), int16_t(HIWORD(wparam)), si.nMin, si.nMax, si.nPos, step,
                                       page, &position))
            return;
        si.fMask = SIF_POS;
        si.nPos = position;
        SetScrollInfo(control, SB_CTL, &si, TRUE);
        read_back(from_hwnd(control), &face);   // as the bar took it
    } else if (faces::type_is(&face, "slider")) {
        read_back(from_hwnd(control), &face);
    }
    ControlEvents events(control);
    events.make(EVT_CHANGE);
}

// WM_CTLCOLOR...: a control with a face is painted in its `color` and its
// font's colour; without either the system colours stay.
bool colour(UINT msg, HDC dc, HWND control, LRESULT* result) {
    Message record{};
    if (const Message* current = loop_state().current_msg) record = *current;
    record.hwnd = from_hwnd(control);
    uint32_t window = faces::event_window(&record);
    Cell* face = window == 0xFFFFFFFFu ? nullptr : faces::of_window(window);
    if (!face) return false;
    int32_t text_colour = font_colour(face);
    if (text_colour >= 0) SetTextColor(dc, COLORREF(text_colour));
    int32_t back = controls::facet_colour(faces::facet(face, faces::COLOR));
    if (back >= 0) {
        SetBkColor(dc, COLORREF(back));
        if (text_colour < 0) SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetDCBrushColor(dc, COLORREF(back));
        *result = reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
        return true;
    }
    if (text_colour < 0) return false;
    if (msg == WM_CTLCOLORSTATIC) {
        SetBkMode(dc, TRANSPARENT);
        *result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    } else {
        *result = reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }
    return true;
}

}  // namespace

// The control_message hook: true when the message is answered (the result
// is then the window procedure's), false when the default procedure goes on.
bool control_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    switch (msg) {
    case WM_COMMAND:
        command(hwnd, wparam, lparam);
        return false;
    case WM_NOTIFY:
        return lparam && notify(reinterpret_cast<const NMHDR*>(lparam), result);
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lparam) control_scroll(reinterpret_cast<HWND>(lparam), wparam);
        *result = 0;
        return true;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        return colour(msg, reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam), result);
    default:
        return false;
    }
}

}  // namespace qor::gui::win32
