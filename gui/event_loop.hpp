// The event loop, its pre-dispatch of input messages, and the event builder
// that turns a message into the global event! value and hands it to
// system/view/awake.  Portable code over the window system's entries
// (gui/window_system.hpp); everything runs on the main thread.
#pragma once
#include <cstdint>

#include "gui/messages.hpp"
#include "runtime/cell.hpp"

namespace qor::gui {

// Event type codes, in the order of their codes (1-based).
enum EventType : uint32_t {
    EVT_DOWN = 1, EVT_UP, EVT_MID_DOWN, EVT_MID_UP, EVT_ALT_DOWN, EVT_ALT_UP, EVT_AUX_DOWN,
    EVT_AUX_UP, EVT_CLICK, EVT_DBL_CLICK, EVT_WHEEL, EVT_OVER, EVT_KEY, EVT_KEY_DOWN,
    EVT_KEY_UP, EVT_IME, EVT_FOCUS, EVT_UNFOCUS, EVT_ENTER, EVT_ZOOM, EVT_PAN, EVT_ROTATE,
    EVT_TWO_TAP, EVT_PRESS_TAP, EVT_SELECT, EVT_CHANGE, EVT_MENU, EVT_CLOSE, EVT_MOVE,
    EVT_RESIZE, EVT_MOVING, EVT_RESIZING, EVT_TIME, EVT_DRAWING, EVT_SCROLL, EVT_MINIMIZE,
    EVT_MAXIMIZE, EVT_RESTORE,
    EVT_LAST = EVT_RESTORE,
};

// Flag bits of an event's word 3 (bits 22-31); the low 22 bits hold the key.
enum EventFlag : uint32_t {
    FLAG_AUX_DOWN = 0x00400000, FLAG_ALT_DOWN = 0x00800000, FLAG_MID_DOWN = 0x01000000,
    FLAG_DOWN = 0x02000000, FLAG_AWAY = 0x04000000, FLAG_CONTROL = 0x10000000,
    FLAG_SHIFT = 0x20000000, FLAG_ALT = 0x40000000, FLAG_COMMAND = 0x80000000,
    KEY_MASK = 0x003FFFFF,
};

// The loop's module state.
struct LoopState {
    int32_t  loop_depth = 0;        // blocking loops entered, lowered by window destruction
    int32_t  exit_count = 0;        // loop exits still to perform
    Message* current_msg = nullptr; // the message being dispatched
    int32_t  forced_flags = -1;     // replaces the keyboard state when >= 0
    int32_t  last_mouse_pos = -1;   // lParam of the last WM_MOUSEMOVE; -1 after a leave
    uint32_t hover_window = 0;
    uint32_t pressed_window = 0;
    uint32_t released_window = 0;
    int32_t  right_click_x = 0, right_click_y = 0;
    bool     draining = false;
    // Event builder
    int32_t  pending_key_code = -1; // virtual key of a special key, -1 for a character key
    uint32_t high_surrogate = 0;
    bool     ime_composing = false;
    uint32_t events_built = 0;      // events handed to awake (benchmarks)
};
LoopState& loop_state();
void reset_loop_state();

// Runs the loop: with no_wait one message at most; answers whether a
// message was taken.
bool do_events(bool no_wait);
void do_events_pending();
// 1 or more: translate and dispatch the message; 0: swallow it.
int32_t pre_dispatch(Message* msg);

// Fills the event cell from the message and calls system/view/awake inside a
// frame that stops everything.  Answers 1 (go on with the default handling)
// or 0 (the dispatcher answered stop).
int32_t make_event(Message* msg, uint32_t flags, uint32_t code);
// Points current_msg at a record of the window when no message is being
// dispatched (window-level events raised outside a dispatch).
Message* ensure_msg(uint32_t hwnd);

uint32_t modifier_flags(bool keys_only);
uint32_t key_flags();
uint32_t mouse_flags(uint32_t wparam);
int32_t  key_code(int32_t vk, int32_t lparam);
bool     is_char_key(uint32_t vk);

// The global event cell and the message record it reads.
Cell*    event_cell();
const Message* event_message();

// Set-up with each boot of the runtime (roots, the event cell).
void init_event_builder();

}  // namespace qor::gui
