// The decisions behind native-control notifications, as portable code: what
// a click does to each kind of button, how a tri-state check box cycles,
// whether a list's selection change is news to its face, and where a scroll
// bar's thumb goes for each scroll request.  The Windows side
// (gui/backend/win32_control_messages.cpp) reads the control and sends the
// events these rules choose.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::gui::controls {

// A check box's next state on a click: unchecked, checked, indeterminate,
// unchecked again (0, 1, 2; anything else starts over).
int32_t next_check_state(int32_t state);

enum class ButtonKind { BUTTON, TOGGLE, CHECK, RADIO, OTHER };

// What a click (notification code 0) of a button control does.
struct ClickAction {
    bool     cycle = false;       // step the tri-state cycle before reading back
    bool     read_back = false;   // refresh `data` from the control
    uint32_t event = 0;           // the event type to make, 0 for none
};
// `checked`: the radio was already checked before the click; `tab_held`:
// the click is the keyboard focus arriving with Tab, not a choice.
ClickAction click_action(ButtonKind kind, bool tri_state, bool checked, bool tab_held);

// Whether a list's new current index (0-based, -1 for none) differs from
// the face's `selected` (1-based integer): only then is a select event due.
bool selection_is_new(const Cell* selected, int32_t index);

// SB_ requests of a scroll bar.
enum ScrollRequest : uint32_t {
    SCROLL_LINE_UP = 0, SCROLL_LINE_DOWN = 1, SCROLL_PAGE_UP = 2, SCROLL_PAGE_DOWN = 3,
    SCROLL_THUMB_POSITION = 4, SCROLL_THUMB_TRACK = 5, SCROLL_TOP = 6, SCROLL_BOTTOM = 7,
    SCROLL_END = 8,
};
// A scroll bar's new position for a request.  Lines move by the range times
// the face's step ratio, pages by the range times its page ratio (`selected`),
// both truncated; the thumb goes where it is dragged (`track`, the signed
// high word of the message).  The result stays within min..max.  Answers
// false for the end of a scroll, which changes nothing and makes no event.
bool scroll_position(uint32_t request, int32_t track, int32_t min, int32_t max, int32_t position,
                     double step_ratio, double page_ratio, int32_t* out);

// A ratio facet (the step of a scroller, its page in `selected`): a float!,
// percent! or integer! as a number, anything else `fallback`.
double ratio_of(const Cell* value, double fallback);

}  // namespace qor::gui::controls
