// The routines of system/view/platform and the event routines: thin
// wrappers that check their arguments and call the window system.
#include "gui/platform_routines.hpp"

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/tuple.hpp"
#include "gui/draw_routines.hpp"
#include "gui/event.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/face_window.hpp"
#include "gui/facet_sync.hpp"
#include "gui/fonts.hpp"
#include "gui/window_proc.hpp"
#include "gui/window_system.hpp"
#include "library/routines.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace {

Cell* answer(const Cell& v) {
    *routines::result_cell() = v;
    return routines::result_cell();
}
Cell none() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell logic(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }

Cell rgb(uint32_t colorref) {
    uint8_t bytes[tuple::MAX_COUNT] = {uint8_t(colorref), uint8_t(colorref >> 8), uint8_t(colorref >> 16)};
    Cell t{TYPE_TUPLE, 0, 0, 0};
    tuple::set_count(&t, 3);
    tuple::put_bytes(&t, bytes);
    return t;
}

Cell* make_null_handle(Cell* const*) { return answer(handle::make(0, handle::CLASS_NONE)); }

// [position size scale id] per monitor.
Cell* fetch_all_screens(Cell* const*) {
    Screen screens[16];
    int32_t n = ws().screens(screens, 16);
    Cell list = block::make(n * 4);
    gc::CellRoot keep(&list);
    for (int32_t i = 0; i < n; ++i) {
        Cell rec = block::make(4);
        gc::CellRoot keep_rec(&rec);
        Cell pos = pair::make(screens[i].x, screens[i].y);
        Cell size = pair::make(screens[i].width, screens[i].height);
        Cell scale = float_::make(screens[i].scale);
        Cell id = integer::make(screens[i].id);
        for (const Cell* c : {&pos, &size, &scale, &id}) block::append_copy(&rec, c);
        block::append_copy(&list, &rec);
    }
    return answer(list);
}

Cell* get_current_screen(Cell* const*) { return answer(integer::make(ws().current_screen())); }

Cell* get_screen_size(Cell* const* args) {
    Screen screens[16];
    int32_t n = ws().screens(screens, 16);
    int32_t id = integer::get_value(args[0]);
    for (int32_t i = 0; i < n; ++i)
        if (screens[i].id == id)   // in logical units
            return answer(pair::make(int32_t(screens[i].width / screens[i].scale),
                                     int32_t(screens[i].height / screens[i].scale)));
    return answer(pair::make(0, 0));
}

Cell* size_text(Cell* const* args) {
    Cell* face = args[0];
    Cell* value = args[1];
    const Cell* text;
    if (type_of(value) == TYPE_STRING) text = value;
    else if (type_of(value) == TYPE_NONE) text = faces::facet(face, faces::TEXT);
    else number_support::raise_invalid_type(type_of(value));
    if (!text || type_of(text) != TYPE_STRING) return answer(none());
    double w = 0, h = 0;
    if (!ws().text_size(face, text, &w, &h)) return answer(none());
    return answer(point::make2d(w, h));
}

Cell* returns_none(Cell* const*) { return answer(none()); }

Cell* destroy_view(Cell* const* args) {
    free_face(args[0], true);
    if (args[1]->data1) {
        LoopState& s = loop_state();
        s.exit_count++;
        s.loop_depth--;
    }
    return answer(none());
}

Cell* update_view(Cell* const* args) {
    Cell* v = args[0];
    if (type_of(v) == TYPE_BLOCK) {
        gui::update_views(v);
        return answer(none());
    }
    if (type_of(v) != TYPE_OBJECT) number_support::raise_invalid_type(type_of(v));
    if (!faces::type_is(v, "screen")) gui::update_view(v);
    return answer(none());
}

Cell* on_change_facet(Cell* const* args) {
    update_facet(args);
    return answer(none());
}

Cell* update_font(Cell* const* args) {
    fonts::update_font(args[0], integer::get_value(args[1]));
    return answer(none());
}

Cell* update_para(Cell* const* args) {
    fonts::update_para(args[0], integer::get_value(args[1]));
    return answer(none());
}

// request-font selected mono?: [name points bold? italic?] of the choice, or none.
Cell* request_font(Cell* const* args) {
    FontSpec spec{};
    int32_t dpi = int32_t(ws().scale() * 96 + 0.5);
    if (type_of(args[0]) == TYPE_OBJECT && object::field_count(args[0]) > fonts::PARENT) {
        spec = fonts::spec_of(args[0], dpi);
    } else {
        const char16_t courier[] = u"Courier New";
        for (int i = 0; courier[i]; ++i) spec.name[i] = uint16_t(courier[i]);
        spec.height = -(dpi * 11) / 72;
    }
    int32_t points = 0;
    if (!ws().request_font || !ws().request_font(&spec, args[1]->data1 != 0, &points)) return answer(none());
    std::string name;
    for (const uint16_t* c = spec.name; *c; ++c) {   // UTF-16 to UTF-8
        uint32_t cp = *c;
        if (cp >= 0xD800 && cp < 0xDC00 && c[1] >= 0xDC00 && c[1] < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (*++c - 0xDC00);
        if (cp < 0x80) name += char(cp);
        else if (cp < 0x800) name += {char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
        else if (cp < 0x10000) name += {char(0xE0 | cp >> 12), char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
        else name += {char(0xF0 | cp >> 18), char(0x80 | (cp >> 12 & 0x3F)), char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
    }
    Cell list = block::make(4);
    gc::CellRoot keep(&list);
    Cell items[] = {string::from_utf8(name.data(), name.size()), integer::make(points), logic(spec.weight == 700),
                    logic(spec.italic)};
    for (const Cell& c : items) block::append_copy(&list, &c);
    return answer(list);
}

Cell* face_to_image(Cell* const* args) {
    Cell out{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&out);
    gui::face_to_image(args[0], &out);
    return answer(out);
}

Cell* refresh_window(Cell* const* args) {
    ws().refresh_window(handle::value_of(args[0]));
    return answer(none());
}

Cell* redraw(Cell* const* args) {
    if (uint32_t h = faces::handle_of(args[0])) ws().redraw(h);
    return answer(none());
}

Cell* show_window(Cell* const* args) {
    ws().show_window(handle::value_of(args[0]));
    return answer(none());
}

Cell* make_view(Cell* const* args) {
    Cell face = *args[0];
    gc::CellRoot keep(&face);
    faces::get_flags(faces::facet(&face, faces::FLAGS));   // a bad flag word raises first
    Cell* rate = faces::facet(&face, faces::RATE);
    if (rate && type_of(rate) != TYPE_NONE && type_of(rate) != TYPE_INTEGER && type_of(rate) != TYPE_TIME)
        raise_error("script", "invalid-facet-type", rate);
    uint32_t hwnd = ws().make_view(&face, handle::value_of(args[1]));
    if (hwnd) apply_initial_facets(hwnd, &face);
    return answer(handle::make(hwnd, handle::CLASS_WINDOW));
}

Cell* do_event_loop(Cell* const* args) { return answer(logic(do_events(args[0]->data1 != 0))); }

Cell* exit_event_loop(Cell* const*) {
    ws().post_quit();
    return answer(none());
}

Cell* text_box_metrics(Cell* const* args) {
    if (!faces::type_is(args[0], "rich-text")) {
        Cell* t = faces::facet(args[0], faces::TYPE);
        raise_error("script", "face-type", t ? t : args[0]);
    }
    Cell* text = faces::facet(args[0], faces::TEXT);
    if (!text || type_of(text) != TYPE_STRING || !ws().text_box_metrics) return answer(none());
    Cell face = *args[0], arg = *args[1], out = none();
    gc::CellRoot keep(&face), keep_arg(&arg), keep_out(&out);
    if (!ws().text_box_metrics(&face, &arg, integer::get_value(args[2]), &out)) return answer(none());
    return answer(out);
}

Cell* set_dark_mode(Cell* const* args) {
    if (uint32_t h = faces::handle_of(args[0]))
        ws().set_dark_mode(h, args[1]->data1 != 0, faces::type_is(args[0], "window"));
    return answer(none());
}

Cell* support_dark_mode(Cell* const*) { return answer(logic(ws().support_dark_mode())); }

// Starts the backend; answers [version build product dpi scroller text window panel].
Cell* backend_start(Cell* const*) {
    ws().start();
    int32_t major = 0, minor = 0, build = 0, product = 0;
    ws().version(&major, &minor, &build, &product);
    Cell info = block::make(8);
    gc::CellRoot keep(&info);
    uint8_t v[tuple::MAX_COUNT] = {uint8_t(major), uint8_t(minor), 0};
    Cell version{TYPE_TUPLE, 0, 0, 0};
    tuple::set_count(&version, 3);
    tuple::put_bytes(&version, v);
    int32_t scroller_w = 17, scroller_h = 17;
    uint32_t text = 0x000000, window = 0xFFFFFF, panel = 0xF0F0F0;
    if (ws().system_metrics) ws().system_metrics(&scroller_w, &scroller_h, &text, &window, &panel);
    Cell items[] = {
        version, integer::make(build), integer::make(product),
        integer::make(int32_t(ws().scale() * 96 + 0.5)), pair::make(scroller_w, scroller_h),
        rgb(text), rgb(window), rgb(panel),
    };
    for (const Cell& c : items) block::append_copy(&info, &c);
    return answer(info);
}

Cell* event_q(Cell* const* args) { return answer(logic(type_of(args[0]) == TYPE_EVENT)); }

Cell* find_flag_q(Cell* const* args) { return answer(logic(event::find_flag(args[0], args[1]))); }

// send-event-os event queued?: the made event as input to its face's window.
Cell* send_event_os(Cell* const* args) {
    Cell* e = args[0];
    if (!(e->header & event::EVENT_MADE) || !e->data2) return answer(logic(false));
    Cell blk{TYPE_BLOCK, 0, e->data2, 0};
    Cell face = *block::item(&blk, 0);
    uint32_t hwnd = faces::handle_of(&face);
    if (!hwnd) return answer(logic(false));
    Cell offset = *block::item(&blk, 2);
    int32_t x = 0, y = 0;
    if (type_of(&offset) == TYPE_PAIR) {
        x = faces::to_pixels(pair::x_of(&offset));
        y = faces::to_pixels(pair::y_of(&offset));
    } else if (type_of(&offset) == TYPE_POINT2D) {
        x = faces::to_pixels(point::coordinate(&offset, 0));
        y = faces::to_pixels(point::coordinate(&offset, 1));
    }
    uint32_t code = e->data1, bits = e->data3;
    uint32_t mk = 0;
    if (bits & FLAG_CONTROL) mk |= MK_CONTROL;
    if (bits & FLAG_SHIFT) mk |= MK_SHIFT;
    if (bits & FLAG_DOWN) mk |= MK_LBUTTON;
    if (bits & FLAG_ALT_DOWN) mk |= MK_RBUTTON;
    if (bits & FLAG_MID_DOWN) mk |= MK_MBUTTON;
    if (bits & FLAG_AUX_DOWN) mk |= MK_XBUTTON1;
    Message m{hwnd, 0, 0, pack_xy(x, y), 0, 0, 0};
    ws().message_pos(&m.x, &m.y);
    switch (code) {
    case EVT_DOWN: m.message = WM_LBUTTONDOWN; m.wparam = MK_LBUTTON | mk; break;
    case EVT_UP: m.message = WM_LBUTTONUP; m.wparam = mk; break;
    case EVT_MID_DOWN: m.message = WM_MBUTTONDOWN; m.wparam = MK_MBUTTON | mk; break;
    case EVT_MID_UP: m.message = WM_MBUTTONUP; m.wparam = mk; break;
    case EVT_ALT_DOWN: m.message = WM_RBUTTONDOWN; m.wparam = MK_RBUTTON | mk; break;
    case EVT_ALT_UP: m.message = WM_RBUTTONUP; m.wparam = mk; break;
    case EVT_AUX_DOWN: m.message = WM_XBUTTONDOWN; m.wparam = 0x10020 | mk; break;
    case EVT_AUX_UP: m.message = WM_XBUTTONUP; m.wparam = 0x10000 | mk; break;
    case EVT_DBL_CLICK: m.message = WM_LBUTTONDBLCLK; m.wparam = MK_LBUTTON | mk; break;
    case EVT_OVER:
        m.message = (bits & FLAG_AWAY) ? WM_MOUSELEAVE : WM_MOUSEMOVE;
        if (m.message == WM_MOUSEMOVE) loop_state().last_mouse_pos = -1;
        break;
    case EVT_KEY: m.message = WM_CHAR; m.wparam = bits & 0xFFFF; break;
    case EVT_KEY_DOWN: m.message = WM_KEYDOWN; m.wparam = ws().vk_of_char(bits & 0xFFFF); break;
    case EVT_KEY_UP: m.message = WM_KEYUP; m.wparam = ws().vk_of_char(bits & 0xFFFF); break;
    default: return answer(logic(false));
    }
    if (args[1]->data1) {
        ws().post_message(hwnd, m.message, m.wparam, m.lparam);
        return answer(logic(true));
    }
    LoopState& s = loop_state();
    int32_t saved_flags = s.forced_flags;
    if (code == EVT_KEY || code == EVT_KEY_DOWN || code == EVT_KEY_UP)
        s.forced_flags = int32_t(bits & 0x73C00000u);
    if (pre_dispatch(&m) >= 1) {
        Message* saved = s.current_msg;
        s.current_msg = &m;
        ws().dispatch(&m);
        s.current_msg = saved;
    }
    s.forced_flags = saved_flags;
    return answer(logic(true));
}

const routines::Entry PLATFORM[] = {
    {"gui-make-null-handle", make_null_handle},
    {"gui-fetch-all-screens", fetch_all_screens},
    {"gui-get-current-screen", get_current_screen},
    {"gui-get-screen-size", get_screen_size},
    {"gui-size-text", size_text},
    {"gui-on-change-facet", on_change_facet},
    {"gui-update-text", returns_none},
    {"gui-update-font", update_font},
    {"gui-update-para", update_para},
    {"gui-destroy-view", destroy_view},
    {"gui-detach-image", returns_none},
    {"gui-update-view", update_view},
    {"gui-refresh-window", refresh_window},
    {"gui-redraw", redraw},
    {"gui-show-window", show_window},
    {"gui-make-view", make_view},
    {"gui-draw-image", draw::draw_image_routine},
    {"gui-draw-face", draw::draw_face_routine},
    {"gui-do-event-loop", do_event_loop},
    {"gui-exit-event-loop", exit_event_loop},
    {"gui-request-font", request_font},
    {"gui-text-box-metrics", text_box_metrics},
    {"gui-update-scroller", returns_none},
    {"gui-set-dark-mode", set_dark_mode},
    {"gui-support-dark-mode?", support_dark_mode},
    {"gui-toggle-GPU", draw::toggle_gpu_routine},
    {"gui-backend-start", backend_start},
    {"gui-face-to-image", face_to_image},
    {"event?", event_q},
    {"find-flag?", find_flag_q},
    {"send-event-os", send_event_os},
    {nullptr, nullptr},
};

}  // namespace

const routines::Entry* platform_entries() { return PLATFORM; }

}  // namespace qor::gui
