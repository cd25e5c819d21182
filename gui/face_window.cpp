// Facets of new windows, and capture.
#include "gui/face_window.hpp"

#include <initializer_list>

#include "datatypes/image_backend.hpp"
#include "gui/face_slots.hpp"
#include "gui/fonts.hpp"
#include "gui/window_proc.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace {

bool set(const Cell* c) { return c && type_of(c) != TYPE_NONE; }

bool any_type(const Cell* face, std::initializer_list<const char*> types) {
    for (const char* t : types)
        if (faces::type_is(face, t)) return true;
    return false;
}

}  // namespace

void apply_initial_facets(uint32_t hwnd, Cell* face_in) {
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    WindowSystem& w = ws();
    w.set_window_word(hwnd, 16, int32_t(faces::get_flags(faces::facet(&face, faces::FLAGS))));
    if (w.set_font) w.set_font(hwnd, fonts::face_font(&face));
    auto apply = [&](int32_t facet) {
        if (w.apply_facet) w.apply_facet(hwnd, &face, facet);
    };
    Cell* options = faces::facet(&face, faces::OPTIONS);
    if (options && type_of(options) == TYPE_BLOCK) apply(faces::OPTIONS);
    if (any_type(&face, {"slider", "progress", "scroller", "toggle", "check", "radio", "drop-down",
                         "drop-list", "text-list", "tab-panel", "calendar"}))
        apply(faces::DATA);
    if (any_type(&face, {"field", "area", "text-list", "drop-down", "drop-list", "tab-panel"}) &&
        set(faces::facet(&face, faces::SELECTED)))
        apply(faces::SELECTED);
    if (any_type(&face, {"button", "toggle"}) && set(faces::facet(&face, faces::IMAGE))) apply(faces::IMAGE);
    if (faces::type_is(&face, "area") && w.set_text) w.set_text(hwnd, &face);
    Cell* rate = faces::facet(&face, faces::RATE);
    if (set(rate)) {
        Cell copy = *rate;
        apply_rate(hwnd, &copy);
    }
}

void face_to_image(const Cell* face_in, Cell* out) {
    *out = Cell{TYPE_NONE, 0, 0, 0};
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    WindowSystem& w = ws();
    if (!w.capture_window) return;
    uint32_t hwnd = 0;
    if (!faces::type_is(&face, "screen")) {
        hwnd = faces::handle_of(&face);
        if (!hwnd) return;
    }
    int32_t width = 0, height = 0;
    if (!w.capture_window(hwnd, &width, &height, nullptr) || width <= 0 || height <= 0) return;
    image_backend::Bitmap* bitmap = image_backend::alloc_bitmap(uint32_t(width), uint32_t(height));
    if (!bitmap) return;
    if (!w.capture_window(hwnd, &width, &height, bitmap->pixels())) {
        image_backend::discard(bitmap);
        return;
    }
    *out = image_backend::adopt(bitmap);
}

}  // namespace qor::gui
