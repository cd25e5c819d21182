// The event builder: one global event cell refilled from each message, and
// the call of system/view/awake behind a frame that stops everything.
#include <cstring>

#include "boot/library.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "evaluator/trace.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"
#include "runtime/runtime_record.hpp"
#include "runtime/throw.hpp"

namespace qor::gui {

namespace {

// The event value handed to awake.  Word 2 points at g_message, a copy of
// the message being handled, so an event kept by a script reads the latest
// message rather than a loop frame that is gone.
Cell g_event{TYPE_EVENT, 0, 0, 0};
Message g_message{};
Message g_outside{};   // the record of events raised outside a dispatch

// One bit per virtual key: the character keys, whose character comes with
// WM_CHAR.
constexpr bool char_key(uint32_t k) {
    return k == VK_BACK || k == VK_TAB || k == VK_RETURN || k == VK_ESCAPE || k == VK_SPACE ||
           (k >= 0x30 && k <= 0x39) || (k >= 0x41 && k <= 0x5A) || (k >= 0x60 && k <= 0x6B) ||
           (k >= 0x6D && k <= 0x6F) || (k >= 0xBA && k <= 0xC0) || (k >= 0xDB && k <= 0xDF) ||
           (k >= 0xE2 && k <= 0xE4) || (k >= 0xE9 && k <= 0xF5);
}
struct CharKeys {
    uint8_t bits[32] = {};
    constexpr CharKeys() {
        for (uint32_t k = 0; k < 256; ++k)
            if (char_key(k)) bits[k >> 3] |= uint8_t(0x80 >> (k & 7));
    }
};
constexpr CharKeys CHAR_KEYS;

uint32_t fill_key(Message* msg, bool consult_ime, bool* skip) {
    LoopState& s = loop_state();
    uint32_t key = msg->wparam & 0xFFFF;
    if (key == uint32_t(VK_PROCESSKEY)) {
        s.pending_key_code = -1;
        *skip = true;
        return 0;
    }
    if ((consult_ime && s.ime_composing) || is_char_key(key))
        s.pending_key_code = -1;
    else
        s.pending_key_code = key_code(int32_t(key), msg->lparam);
    if (s.pending_key_code == -1) {
        uint32_t ch = ws().vk_to_char(key);
        if (ch != 0) key = ch & 0xFFFF;
    }
    return key | key_flags();
}

// The answer of awake: stop is 0, everything else 1.
int32_t answer_of(const Cell* result) {
    if (type_of(result) != TYPE_WORD) return 1;
    return word::spelled(result, "stop") ? 0 : 1;
}

void mark_event_roots() { gc::mark_cells(&g_event, &g_event + 1); }

// What a select or change event reads from its control first: a
// drop-down's chosen item becomes its `text`; a change with flags (the
// control's text changed) reads the whole text, unless the face asks for
// no-sync.  A tab-panel's change carries its tab in the flags instead: that
// is the event's word 3.
uint32_t read_event_text(const Message* msg, uint32_t flags, bool select) {
    WindowSystem& w = ws();
    uint32_t window = faces::event_window(msg);
    Cell* face_ptr = window == 0xFFFFFFFFu ? nullptr : faces::of_window(window);
    if (!face_ptr) return 0;
    Cell face = *face_ptr;
    gc::CellRoot keep(&face);
    if (select) {
        if (w.read_text && faces::type_is(&face, "drop-down")) w.read_text(window, &face, int32_t(flags));
        return 0;
    }
    if (faces::type_is(&face, "tab-panel")) return flags & 0xFFFF;
    if (flags && w.read_text && !(faces::get_flags(faces::facet(&face, faces::FLAGS)) & faces::FACE_NO_SYNC))
        w.read_text(window, &face, -1);
    return 0;
}

}  // namespace

bool is_char_key(uint32_t vk) { return vk < 256 && (CHAR_KEYS.bits[vk >> 3] & (0x80 >> (vk & 7))); }

int32_t key_code(int32_t vk, int32_t lparam) {
    bool extended = (uint32_t(lparam) >> 24) & 1;
    switch (vk) {
    case VK_SHIFT: return int32_t(ws().scan_to_vk((uint32_t(lparam) >> 16) & 0xFF));
    case VK_CONTROL: return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU: return extended ? VK_RMENU : VK_LMENU;
    default: return vk;
    }
}

Cell* event_cell() { return &g_event; }
const Message* event_message() { return &g_message; }

Message* ensure_msg(uint32_t hwnd) {
    LoopState& s = loop_state();
    if (!s.current_msg) {
        g_outside = Message{};
        ws().message_pos(&g_outside.x, &g_outside.y);
        s.current_msg = &g_outside;
    }
    s.current_msg->hwnd = hwnd;
    return s.current_msg;
}

void init_event_builder() {
    // The collector's roots go with each new memory manager: register again.
    gc::remove_root(mark_event_roots);
    gc::push_root(mark_event_roots);
    g_event = Cell{TYPE_EVENT, 0, 0, 0};
}

int32_t make_event(Message* msg, uint32_t flags, uint32_t code) {
    LoopState& s = loop_state();
    uint32_t word3 = 0;
    switch (code) {
    case EVT_OVER:
        word3 = flags;
        break;
    case EVT_KEY_DOWN:
    case EVT_KEY_UP: {
        bool skip = false;
        word3 = fill_key(msg, code == EVT_KEY_DOWN, &skip);
        if (skip) return 1;
        break;
    }
    case EVT_KEY: {
        uint32_t ch = msg->wparam & 0xFFFF;
        uint32_t f;
        if (ch >= 0xD800 && ch <= 0xDBFF) {
            s.high_surrogate = ch;
            return 1;
        }
        if (ch >= 0xDC00 && ch <= 0xDFFF) {
            ch = ((s.high_surrogate & 0x3FF) << 10) + 0x10000 + (ch & 0x3FF);
            s.high_surrogate = ch;
            f = 0;
        } else {
            s.high_surrogate = 0;
            f = key_flags();
        }
        if ((f & FLAG_CONTROL) && ch >= 0x61 && ch <= 0x7A) {
            ch -= 0x60;   // the control character of the letter
            s.pending_key_code = -1;
        }
        if ((s.ime_composing && (f & FLAG_SHIFT)) || s.pending_key_code == VK_LMENU ||
            s.pending_key_code == VK_RMENU)
            s.pending_key_code = -1;
        word3 = ch | f;
        break;
    }
    case EVT_SELECT:
        read_event_text(msg, flags, true);
        word3 = (flags + 1) & 0xFFFF;
        break;
    case EVT_CHANGE:
        word3 = read_event_text(msg, flags, false);
        break;
    case EVT_DOWN: case EVT_UP: case EVT_MID_DOWN: case EVT_MID_UP: case EVT_ALT_DOWN:
    case EVT_ALT_UP: case EVT_DBL_CLICK: case EVT_WHEEL:
        word3 = flags | modifier_flags(false);
        break;
    case EVT_CLICK:
        word3 = modifier_flags(true);
        break;
    case EVT_MENU:
        word3 = flags & 0xFFFF;
        break;
    default:
        break;
    }

    const Cell* awake = system_fields::value({"view", "awake"});
    if (!awake || (type_of(awake) != TYPE_FUNCTION && type_of(awake) != TYPE_ROUTINE)) return 1;

    // What a nested dispatch changes, put back on the way out.
    Message saved_message = g_message;
    Cell saved_event = g_event;
    g_message = *msg;
    g_event = Cell{TYPE_EVENT, code, uint32_t(reinterpret_cast<uintptr_t>(&g_message)), word3};
    s.events_built++;

    uint32_t window_word = msg->hwnd;
    int32_t depth = s.loop_depth;
    bool tracing = interp::tracing();
    interp::set_tracing(false);

    Cell fn = *awake;
    Cell arg = g_event;
    Cell label = *word::make_from_c_string("awake");
    Cell result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_fn(&fn), keep_arg(&arg), keep_label(&label), keep_result(&result),
        keep_saved(&saved_event);
    stack::Checkpoint cp = stack::checkpoint();
    try {
        interp::call_function_named(&label, &fn, &arg, 1, &result);
    } catch (const Thrown&) {
        // Errors of actors were printed by the dispatch; nothing else leaves.
        stack::restore(cp);
        result = Cell{TYPE_UNSET, 0, 0, 0};
    } catch (...) {
        stack::restore(cp);
        result = Cell{TYPE_UNSET, 0, 0, 0};
    }
    interp::set_tracing(tracing);
    if (s.loop_depth < depth) ws().post_quit();   // a window that ran a loop was destroyed
    runtime::record->thrown = 0;
    msg->hwnd = window_word;
    g_message = saved_message;
    g_event = saved_event;
    return answer_of(&result);
}

}  // namespace qor::gui
