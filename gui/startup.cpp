// The GUI's start-up, and the routines that drive the window system from a
// script (scripted input for the headless stand-in, the log of its calls).
#include "gui/startup.hpp"

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/image.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "gui/draw_routines.hpp"
#include "gui/event.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/face_window.hpp"
#include "gui/headless.hpp"
#include "gui/menus.hpp"
#include "gui/platform_routines.hpp"
#include "gui/control_routines.hpp"
#include "gui/window_system.hpp"
#include "library/routines.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace {

Cell* answer(const Cell& v) {
    *routines::result_cell() = v;
    return routines::result_cell();
}

uint32_t window_of(const Cell* v) {
    if (type_of(v) == TYPE_HANDLE) return handle::value_of(v);
    if (type_of(v) == TYPE_INTEGER) return uint32_t(integer::get_value(v));
    return faces::handle_of(v);
}

// post-message target message wparam lparam: queues a message for the
// window of a face (or a handle).
Cell* post_message(Cell* const* args) {
    uint32_t hwnd = window_of(args[0]);
    if (hwnd)
        ws().post_message(hwnd, uint32_t(integer::get_value(args[1])), uint32_t(integer::get_value(args[2])),
                          integer::get_value(args[3]));
    return answer(Cell{TYPE_LOGIC, hwnd ? 1u : 0u, 0, 0});
}

// hold-key vk down?: the stand-in's keyboard state.
Cell* hold_key(Cell* const* args) {
    headless::hold_key(integer::get_value(args[0]), args[1]->data1 != 0);
    return nullptr;
}

// gui-log: the stand-in's calls so far, as strings; the log is emptied.
Cell* gui_log(Cell* const*) {
    Cell list = block::make(int32_t(headless::log().size()));
    gc::CellRoot keep(&list);
    for (const std::string& line : headless::log()) {
        Cell s = string::from_utf8(line.data(), line.size());
        block::append_copy(&list, &s);
    }
    headless::clear_log();
    return answer(list);
}

// gui-backend-name: which window system runs.
Cell* backend_name(Cell* const*) {
    const char* name = ws().name;
    return answer(string::from_utf8(name, std::char_traits<char>::length(name)));
}

// gui-loop-counters: [loop-depth exit-count].
Cell* loop_counters(Cell* const*) {
    Cell list = block::make(2);
    gc::CellRoot keep(&list);
    Cell a = integer::make(loop_state().loop_depth), b = integer::make(loop_state().exit_count);
    block::append_copy(&list, &a);
    block::append_copy(&list, &b);
    return answer(list);
}

Cell* face_slots_used(Cell* const*) { return answer(integer::make(faces::used())); }

// gui-live: [windows fonts] the stand-in holds alive.
Cell* live(Cell* const*) {
    Cell list = block::make(2);
    gc::CellRoot keep(&list);
    Cell a = integer::make(headless::live_windows()), b = integer::make(headless::live_fonts());
    block::append_copy(&list, &a);
    block::append_copy(&list, &b);
    return answer(list);
}

// gui-pump: dispatches every queued message (closes posted to destroyed faces).
Cell* pump(Cell* const*) {
    do_events_pending();
    return nullptr;
}

const routines::Entry DRIVING[] = {
    {"gui-post-message", post_message},
    {"gui-hold-key", hold_key},
    {"gui-log", gui_log},
    {"gui-backend-name", backend_name},
    {"gui-loop-counters", loop_counters},
    {"gui-face-slots-used", face_slots_used},
    {"gui-live", live},
    {"gui-pump", pump},
    {nullptr, nullptr},
};

}  // namespace

void register_types() { event::init(); }

void register_routines() {
    routines::add_entries(platform_entries());
    routines::add_entries(dialog_entries());
    routines::add_entries(DRIVING);
    routines::add_entries(draw::driver_entries());
}

void before_library() {
    register_routines();
    reset_loop_state();
    menus::reset();
    headless::reset();
    faces::init();
    init_event_builder();
    image::set_face_capture(face_to_image);
}

}  // namespace qor::gui
