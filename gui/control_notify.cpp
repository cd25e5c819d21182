// Control notification rules: button clicks, the tri-state cycle, list
// selection changes and scroll-bar arithmetic.
#include "gui/control_notify.hpp"

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "gui/event_loop.hpp"

namespace qor::gui::controls {

int32_t next_check_state(int32_t state) {
    switch (state) {
    case 0: return 1;
    case 1: return 2;
    default: return 0;
    }
}

ClickAction click_action(ButtonKind kind, bool tri_state, bool checked, bool tab_held) {
    ClickAction a;
    switch (kind) {
    case ButtonKind::BUTTON:
        a.event = EVT_CLICK;
        break;
    case ButtonKind::TOGGLE:
        a.read_back = true;
        a.event = EVT_CHANGE;
        break;
    case ButtonKind::CHECK:
        a.cycle = tri_state;
        a.read_back = true;
        a.event = EVT_CHANGE;
        break;
    case ButtonKind::RADIO:
        // Choosing the radio that is already on, or tabbing onto it, is no choice.
        if (checked || tab_held) break;
        a.read_back = true;
        a.event = EVT_CLICK;
        break;
    case ButtonKind::OTHER:
        break;
    }
    return a;
}

bool selection_is_new(const Cell* selected, int32_t index) {
    if (!selected || type_of(selected) != TYPE_INTEGER) return true;
    return int64_t(integer::get_value(selected)) != int64_t(index) + 1;
}

namespace {

// range x ratio truncated, kept where the conversion is defined (a huge or
// infinite ratio just goes to the end).
int64_t scaled(int64_t range, double ratio) {
    double d = double(range) * ratio;
    if (!(d == d)) return 0;
    if (d > 4294967296.0) return 4294967296LL;
    if (d < -4294967296.0) return -4294967296LL;
    return int64_t(d);
}

}  // namespace

bool scroll_position(uint32_t request, int32_t track, int32_t min, int32_t max, int32_t position,
                     double step_ratio, double page_ratio, int32_t* out) {
    if (request == SCROLL_END) return false;
    int64_t range = int64_t(max) - min;
    int64_t p = position;
    switch (request) {
    case SCROLL_LINE_UP: p -= scaled(range, step_ratio); break;
    case SCROLL_LINE_DOWN: p += scaled(range, step_ratio); break;
    case SCROLL_PAGE_UP: p -= scaled(range, page_ratio); break;
    case SCROLL_PAGE_DOWN: p += scaled(range, page_ratio); break;
    case SCROLL_THUMB_TRACK: p = track; break;
    default: break;
    }
    // Pages are kept in range too: a position past the end would give the
    // face a `data` above 1.
    if (p < min) p = min;
    if (p > max) p = max;
    *out = int32_t(p);
    return true;
}

double ratio_of(const Cell* value, double fallback) {
    if (!value) return fallback;
    switch (type_of(value)) {
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
        double v = float_::get_value(value);
        return v == v ? v : fallback;
    }
    case TYPE_INTEGER: return integer::get_value(value);
    default: return fallback;
    }
}

}  // namespace qor::gui::controls
