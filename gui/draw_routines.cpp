// The entries of drawing: the backend in use, the paint of a face's window,
// the platform routines draw-image and draw-face, and draw-driver.
#include "gui/draw_routines.hpp"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/string.hpp"
#include "gui/draw_dialect.hpp"
#include "gui/draw_recorder.hpp"
#include "gui/face_slots.hpp"
#include "gui/rich_text_styles.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::draw {

namespace {

Cell* answer(const Cell& v) {
    *routines::result_cell() = v;
    return routines::result_cell();
}

bool g_record = false;   // draw-driver/record: tests ask for the stand-in

bool record_asked() {
    if (g_record) return true;
    const char* v = std::getenv("QOR_DRAW_BACKEND");
    return v && std::strcmp(v, "record") == 0;
}

// The paints in progress: a window's canvas while its drawing event runs.
struct OpenPaint {
    uint32_t hwnd;
    Canvas*  canvas;
};
OpenPaint g_open[8];
int32_t   g_open_count = 0;

}  // namespace

const Backend& image_backend() {
    const Backend* native = native_backend();
    return native && !record_asked() ? *native : recorder::backend();
}

const Backend& window_backend() {
    const Backend* native = native_backend();
    if (!native || record_asked() || std::strcmp(ws().name, "headless") == 0) return recorder::backend();
    return *native;
}

Canvas* open_canvas(uint32_t hwnd) {
    for (int32_t i = g_open_count - 1; i >= 0; --i)
        if (g_open[i].hwnd == hwnd) return g_open[i].canvas;
    return nullptr;
}

void release_window(uint32_t hwnd) {
    if (const Backend* native = native_backend()) native->release_window(hwnd);
}

void paint_face(uint32_t hwnd, const Cell* face, void (*drawing_event)(uint32_t hwnd)) {
    try {
        Cell f = *face;
        gc::CellRoot keep(&f);
        Cell* facet = faces::facet(&f, faces::DRAW);
        Cell cmds = facet ? *facet : Cell{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_cmds(&cmds);
        if (!drawing_event || g_open_count == 8) {
            do_draw(hwnd, &f, nullptr, &cmds, false, true);
            return;
        }
        // The drawing stays open while the drawing event runs, so that
        // draw-face of an actor draws into this paint.
        const Backend& backend = window_backend();
        Canvas* canvas = backend.open_window(hwnd, &f, false);
        if (!canvas) return;
        g_open[g_open_count++] = OpenPaint{hwnd, canvas};
        struct Close {
            const Backend& backend;
            Canvas* canvas;
            ~Close() {
                --g_open_count;
                backend.close(canvas, false);
            }
        } close{backend, canvas};
        if (type_of(&cmds) == TYPE_BLOCK) parse_commands_caught(*canvas, &cmds);
        drawing_event(hwnd);
    } catch (...) {
        // Nothing may leave a window procedure.
    }
}

Cell* draw_image_routine(Cell* const* args) {
    Cell* image = args[0];
    if (type_of(image) != TYPE_IMAGE) number_support::raise_invalid_type(type_of(image));
    if (image_backend::width_of(image) == 0 || image_backend::height_of(image) == 0) return answer(Cell{TYPE_NONE, 0, 0, 0});
    do_draw(0, nullptr, image, args[1], false, false);
    image_backend::touch(image);
    return answer(Cell{TYPE_NONE, 0, 0, 0});
}

namespace {

const Cell* field(const Cell* object, const char* name) {
    if (!object || type_of(object) != TYPE_OBJECT) return nullptr;
    int32_t sym = symbol::find(name, true);
    return sym > 0 ? context::value_by_symbol(sym, reinterpret_cast<Node>(object->data1)) : nullptr;
}

}  // namespace

// toggle-GPU: the device is made again, on the GPU unless system/view/GPU?
// is false.
Cell* toggle_gpu_routine(Cell* const*) {
    int32_t sym = symbol::find("system", true);
    const Cell* system = sym > 0 ? context::global_value_pointer(sym) : nullptr;
    const Cell* gpu = field(field(system, "view"), "GPU?");
    window_backend().use_gpu(!(gpu && type_of(gpu) == TYPE_LOGIC && gpu->data1 == 0));
    return answer(Cell{TYPE_NONE, 0, 0, 0});
}

Cell* draw_face_routine(Cell* const* args) {
    faces::get_flags(faces::facet(args[0], faces::FLAGS));
    uint32_t hwnd = faces::handle_of(args[0]);
    Canvas* canvas = hwnd ? open_canvas(hwnd) : nullptr;
    if (canvas && type_of(args[1]) == TYPE_BLOCK) {
        Cell cmds = *args[1];
        gc::CellRoot keep(&cmds);
        parse_commands_caught(*canvas, &cmds);
    }
    return answer(Cell{TYPE_NONE, 0, 0, 0});
}

namespace {

// draw-driver/log: the recorder's lines so far; the log is emptied.
Cell* driver_log(Cell* const*) {
    Cell list = block::make(int32_t(recorder::log().size()));
    gc::CellRoot keep(&list);
    for (const std::string& line : recorder::log()) {
        Cell s = string::from_utf8(line.data(), line.size());
        block::append_copy(&list, &s);
    }
    recorder::clear_log();
    return answer(list);
}

// draw-driver/paint face: what the window procedure does on WM_PAINT.
Cell* driver_paint(Cell* const* args) {
    uint32_t hwnd = faces::handle_of(args[0]);
    if (hwnd) paint_face(hwnd, args[0]);
    return answer(Cell{TYPE_LOGIC, hwnd ? 1u : 0u, 0, 0});
}

// draw-driver/styles text styles: what the style walker sets, a line each.
class StyleLog final : public rich_text::StyleSink {
public:
    std::vector<std::string> lines;
    void colour(rich_text::Range r, uint32_t c) override { add(r, "colour " + std::to_string(c & 0xFFFFFF)); }
    void family(rich_text::Range r, const Cell*) override { add(r, "family"); }
    void size(rich_text::Range r, float p) override { add(r, "size " + std::to_string(int32_t(p))); }
    void bold(rich_text::Range r) override { add(r, "bold"); }
    void italic(rich_text::Range r) override { add(r, "italic"); }
    void underline(rich_text::Range r) override { add(r, "underline"); }
    void strike(rich_text::Range r) override { add(r, "strike"); }
    void backdrop(rich_text::Range r, uint32_t c) override { add(r, "backdrop " + std::to_string(c & 0xFFFFFF)); }

private:
    void add(rich_text::Range r, const std::string& what) {
        lines.push_back(what + " " + std::to_string(r.start) + "+" + std::to_string(r.length));
    }
};

Cell* driver_styles(Cell* const* args) {
    StyleLog log;
    rich_text::walk(log, args[1], args[0]);
    Cell list = block::make(int32_t(log.lines.size()));
    gc::CellRoot keep(&list);
    for (const std::string& line : log.lines) {
        Cell s = string::from_utf8(line.data(), line.size());
        block::append_copy(&list, &s);
    }
    return answer(list);
}

// draw-driver/record on?: every drawing goes to the recorder (or not).
Cell* driver_record(Cell* const* args) {
    g_record = args[0]->data1 != 0;
    recorder::clear_log();
    return nullptr;
}

const routines::Entry DRIVER[] = {
    {"draw-log", driver_log},
    {"draw-record", driver_record},
    {"draw-styles", driver_styles},
    {"draw-paint", driver_paint},
    {nullptr, nullptr},
};

}  // namespace

const routines::Entry* driver_entries() { return DRIVER; }

}  // namespace qor::gui::draw
