// The draw dialect's walker and its entry.  The walker only checks and
// converts: every mark on the target is made by the Canvas it calls.
#include "gui/draw_dialect.hpp"

#include <cmath>
#include <exception>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "evaluator/call.hpp"
#include "runtime/collector.hpp"
#include "runtime/throw.hpp"

namespace qor::gui::draw {

// ---- Cursor and argument classes ------------------------------------------------------

Cursor cursor_of(const Cell* block) {
    Cursor c{cell_node(block), block->data1, block->data1};
    return c;
}

bool Cursor::more() const {
    Cell b{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(node), 0};
    return at < block::total_length(&b);
}

Cell Cursor::value() const {
    if (!more()) return Cell{TYPE_NONE, 0, 0, 0};
    Cell b{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(node), 0};
    return *block::cell_at(&b, at);
}

Cell Cursor::block_at(uint32_t i) const {
    Cell b{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(node), 0};
    uint32_t tail = block::total_length(&b);
    b.data1 = i < tail ? i : tail;
    return b;
}

void Cursor::invalid(uint32_t i) const {
    Cell at_value = block_at(i);
    raise_error("script", "draw-invalid", &at_value);
}

bool is_point(const Cell* v) {
    if (type_of(v) == TYPE_PAIR) return true;
    if (type_of(v) != TYPE_POINT2D) return false;
    return std::isfinite(point::coordinate(v, 0)) && std::isfinite(point::coordinate(v, 1));
}

bool is_number(const Cell* v) {
    if (type_of(v) == TYPE_INTEGER) return true;
    return type_of(v) == TYPE_FLOAT && std::isfinite(float(cell_float(v)));
}

bool is_scale(const Cell* v) {
    return is_number(v) || (type_of(v) == TYPE_PERCENT && std::isfinite(float(cell_float(v))));
}

Point point_of(const Cell* v) {
    if (type_of(v) == TYPE_PAIR) return Point{float(pair::x_of(v)), float(pair::y_of(v))};
    return Point{point::coordinate(v, 0), point::coordinate(v, 1)};
}

float number_of(const Cell* v) {
    if (type_of(v) == TYPE_INTEGER) return float(integer::get_value(v));
    return float(cell_float(v));   // float! and percent! (50% is 0.5)
}

const Cell* word_value(const Cell* word) {
    if (!is_word_kind(type_of(word)) || int32_t(word->data3) < 0 || !word->data1) return nullptr;
    const Cell* v = nullptr;
    Cell w = *word;
    // A word of a function that is not running has no value to give.
    if (catch_level(THROW_ERROR, [&] { v = context::get_word_value(&w); })) {
        errors::clear();
        set_thrown(0);
        return nullptr;
    }
    return v;
}

namespace {

bool tuple_colour(const Cell* t, uint32_t* colour) {
    if (type_of(t) != TYPE_TUPLE) return false;
    uint32_t n = tuple::count(t);
    if (n != 3 && n != 4) return false;
    uint8_t b[tuple::MAX_COUNT];
    tuple::get_bytes(t, b);
    *colour = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(n == 4 ? b[3] : 0) << 24;
    return true;
}

}  // namespace

bool colour_of(const Cell* v, uint32_t* colour) {
    if (type_of(v) == TYPE_TUPLE) return tuple_colour(v, colour);
    if (type_of(v) != TYPE_WORD) return false;
    const Cell* value = word_value(v);
    return value && tuple_colour(value, colour);
}

bool is_keyword(const Cell* v, const char* keyword) {
    if (!is_word_kind(type_of(v))) return false;
    int32_t want = symbol::find(keyword, true);
    return want > 0 && symbol::resolve_alias(word::symbol_of(v)) == symbol::resolve_alias(want);
}

// ---- Matrices --------------------------------------------------------------------------

Matrix identity() { return Matrix{1, 0, 0, 1, 0, 0}; }

Matrix multiply(const Matrix& a, const Matrix& b) {
    return Matrix{a.m11 * b.m11 + a.m12 * b.m21,     a.m11 * b.m12 + a.m12 * b.m22,
                  a.m21 * b.m11 + a.m22 * b.m21,     a.m21 * b.m12 + a.m22 * b.m22,
                  a.dx * b.m11 + a.dy * b.m21 + b.dx, a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

Matrix translation(float dx, float dy) { return Matrix{1, 0, 0, 1, dx, dy}; }

Matrix rotation(float degrees, Point c) {
    double r = double(degrees) * 3.14159265358979323846 / 180.0;
    float s = float(std::sin(r)), k = float(std::cos(r));
    Matrix m{k, s, -s, k, 0, 0};
    m.dx = c.x - c.x * k + c.y * s;
    m.dy = c.y - c.x * s - c.y * k;
    return m;
}

Matrix scaling(float sx, float sy, Point c) { return Matrix{sx, 0, 0, sy, c.x - sx * c.x, c.y - sy * c.y}; }

Matrix skewing(float x_degrees, float y_degrees, Point c) {
    float tx = float(std::tan(double(x_degrees) * 3.14159265358979323846 / 180.0));
    float ty = float(std::tan(double(y_degrees) * 3.14159265358979323846 / 180.0));
    return Matrix{1, ty, tx, 1, -c.y * tx, -c.x * ty};
}

bool invert(Matrix* m) {
    double det = double(m->m11) * m->m22 - double(m->m12) * m->m21;
    if (det == 0 || !std::isfinite(det)) return false;
    Matrix r{float(m->m22 / det), float(-m->m12 / det), float(-m->m21 / det), float(m->m11 / det), 0, 0};
    r.dx = -(m->dx * r.m11 + m->dy * r.m21);
    r.dy = -(m->dx * r.m12 + m->dy * r.m22);
    *m = r;
    return true;
}

// ---- The walk --------------------------------------------------------------------------

bool next_is_point(const Cursor& c) {
    Cell v = c.value();
    return c.more() && is_point(&v);
}

bool next_is_number(const Cursor& c) {
    Cell v = c.value();
    return c.more() && is_number(&v);
}

Point take_point(Cursor& c) {
    Cell v = c.value();
    if (!c.more() || !is_point(&v)) c.invalid(c.at);
    ++c.at;
    return point_of(&v);
}

float take_number(Cursor& c) {
    Cell v = c.value();
    if (!c.more() || !is_number(&v)) c.invalid(c.at);
    ++c.at;
    return number_of(&v);
}

namespace {

// Runs `walk` with the state saved; the state is restored on every exit,
// and an error of the walk goes on afterwards.
template <class Apply, class Undo>
void scoped(Canvas& canvas, const Cell& body, Apply&& apply, Undo&& undo) {
    bool saved = canvas.push_state();
    std::exception_ptr failure;
    try {
        apply();
        parse_commands(canvas, &body);
    } catch (...) {
        failure = std::current_exception();
    }
    undo();
    if (saved) canvas.pop_state();
    if (failure) std::rethrow_exception(failure);
}

// Takes one scale; the cursor moves past it.
float need_scale(Cursor& c) {
    Cell v = c.value();
    if (!c.more() || !is_scale(&v)) c.invalid(c.at);
    ++c.at;
    return number_of(&v);
}

bool next_is_block(const Cursor& c) {
    Cell v = c.value();
    return c.more() && type_of(&v) == TYPE_BLOCK;
}
bool next_is_keyword(const Cursor& c, const char* keyword) {
    Cell v = c.value();
    return c.more() && type_of(&v) == TYPE_WORD && is_keyword(&v, keyword);
}

std::vector<Point> points_from(Cursor& c) {
    std::vector<Point> points;
    while (next_is_point(c)) {
        Cell v = c.value();
        points.push_back(point_of(&v));
        ++c.at;
    }
    return points;
}

// 'pen or 'fill-pen after a transformation keyword.
int32_t transform_target(Cursor& c) {
    Cell v = c.value();
    if (!c.more() || type_of(&v) != TYPE_LIT_WORD) return TARGET_CANVAS;
    if (is_keyword(&v, "pen")) return ++c.at, TARGET_PEN;
    if (is_keyword(&v, "fill-pen")) return ++c.at, TARGET_FILL;
    return TARGET_CANVAS;
}

// A transformation, then its optional scoped block.
void apply_transform(Canvas& canvas, Cursor& c, int32_t target, const Matrix& m) {
    if (next_is_block(c)) {
        Cell body = c.value();
        ++c.at;
        gc::CellRoot keep(&body);
        scoped(canvas, body, [&] { canvas.transform(target, m); }, [] {});
        return;
    }
    canvas.transform(target, m);
}

void do_image(Canvas& canvas, Cursor& c) {
    Cell v = c.value();
    const Cell* img = &v;
    if (c.more() && type_of(&v) == TYPE_WORD) img = word_value(&v);
    if (!c.more() || !img || type_of(img) != TYPE_IMAGE) c.invalid(c.at);
    ImagePlacement p;
    p.image = *img;
    gc::CellRoot keep(&p.image);
    ++c.at;
    while (next_is_point(c)) {
        if (p.count == 4) c.invalid(c.at);   // more than four corners mean nothing
        Cell pt = c.value();
        p.points[p.count++] = point_of(&pt);
        ++c.at;
    }
    uint32_t ignored;
    Cell key = c.value();
    if (c.more() && colour_of(&key, &ignored)) ++c.at;   // accepted, no effect
    if (next_is_keyword(c, "border")) {
        ++c.at;
    } else if (next_is_keyword(c, "crop")) {
        ++c.at;
        p.crop = true;
        p.crop_offset = take_point(c);
        p.crop_size = take_point(c);
    }
    if (p.count == 3) {
        p.points[3] = Point{p.points[0].x, p.points[2].y};
    }
    if (image_backend::width_of(&p.image) == 0 || image_backend::height_of(&p.image) == 0) return;
    canvas.image(p);
}

void do_shadow(Canvas& canvas, Cursor& c) {
    if (next_is_keyword(c, "off")) {
        ++c.at;
        canvas.shadow_off();
        return;
    }
    Cell v = c.value();
    if (!c.more() || type_of(&v) != TYPE_PAIR) c.invalid(c.at);
    ++c.at;
    Shadow s{float(pair::x_of(&v)), float(pair::y_of(&v)), 0, 0, 0, false};
    Cell n = c.value();
    if (c.more() && type_of(&n) == TYPE_INTEGER) {
        s.blur = float(integer::get_value(&n));
        ++c.at;
        n = c.value();
        if (c.more() && type_of(&n) == TYPE_INTEGER) {
            s.spread = float(integer::get_value(&n));
            ++c.at;
        }
    }
    Cell col = c.value();
    if (c.more() && colour_of(&col, &s.colour)) ++c.at;
    if (next_is_keyword(c, "inset")) {
        ++c.at;
        s.inset = true;
    }
    canvas.shadow(s);
}

void do_clip(Canvas& canvas, Cursor& c) {
    bool shape = false;
    Point a{}, b{};
    Cell shape_block{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&shape_block);
    if (next_is_block(c)) {
        shape = true;
        shape_block = c.value();
        ++c.at;
    } else {
        a = take_point(c);
        b = take_point(c);
    }
    // The mode is accepted; every clip intersects with those in force.
    for (const char* mode : {"replace", "intersect", "union", "xor", "exclude"})
        if (next_is_keyword(c, mode)) {
            ++c.at;
            break;
        }
    auto apply = [&] {
        if (shape) parse_shape(canvas, &shape_block, false);
        else canvas.clip_rect(a, b);
    };
    if (next_is_block(c)) {
        Cell body = c.value();
        ++c.at;
        gc::CellRoot keep_body(&body);
        bool applied = false;
        scoped(canvas, body, [&] { apply(); applied = true; }, [&] { if (applied) canvas.pop_clip(); });
        return;
    }
    apply();
}

void do_text(Canvas& canvas, Cursor& c) {
    Point at = take_point(c);
    Cell v = c.value();
    if (!c.more() || (type_of(&v) != TYPE_STRING && type_of(&v) != TYPE_OBJECT)) c.invalid(c.at);
    ++c.at;
    gc::CellRoot keep(&v);
    canvas.text(at, &v);
}

void do_font(Canvas& canvas, Cursor& c) {
    Cell v = c.value();
    const Cell* f = &v;
    if (c.more() && type_of(&v) == TYPE_WORD) f = word_value(&v);
    if (!c.more() || !f || type_of(f) != TYPE_OBJECT) c.invalid(c.at);
    ++c.at;
    Cell font = *f;
    gc::CellRoot keep(&font);
    canvas.font(&font);
}

void do_matrix(Canvas& canvas, Cursor& c, uint32_t before) {
    int32_t target = transform_target(c);
    if (target != TARGET_CANVAS) before = c.at - 1;
    Cell v = c.value();
    if (!c.more() || type_of(&v) != TYPE_BLOCK) c.invalid(c.at);
    float m[6];
    if (block::length(&v) != 6) c.invalid(before);
    for (uint32_t i = 0; i < 6; ++i) {
        Cell* item = block::item(&v, i);
        if (!is_number(item)) c.invalid(before);
        m[i] = number_of(item);
    }
    ++c.at;
    canvas.transform(target, Matrix{m[0], m[1], m[2], m[3], m[4], m[5]});
}

// One command at c.at (the keyword); leaves c.at after its last argument.
void do_command(Canvas& canvas, Cursor& c) {
    Cell key = c.value();
    uint32_t key_at = c.at++;
    auto is = [&](const char* k) { return is_keyword(&key, k); };

    if (is("pen")) return parse_pen(canvas, c, TARGET_PEN);
    if (is("fill-pen")) return parse_pen(canvas, c, TARGET_FILL);
    if (is("line-width")) return canvas.line_width(take_number(c));
    if (is("line-join") || is("line-cap") || is("anti-alias")) {
        Cell w = c.value();
        if (!c.more() || type_of(&w) != TYPE_WORD) c.invalid(c.at);
        ++c.at;
        if (is("anti-alias")) return canvas.anti_alias(!is_keyword(&w, "off"));
        if (is("line-join")) {
            int32_t join = is_keyword(&w, "bevel") ? 1 : is_keyword(&w, "round") ? 2 : is_keyword(&w, "miter-bevel") ? 3 : 0;
            return canvas.line_join(join);
        }
        return canvas.line_cap(is_keyword(&w, "square") ? 1 : is_keyword(&w, "round") ? 2 : 0);
    }
    if (is("line-pattern")) {
        std::vector<float> dashes;
        for (Cell v = c.value(); c.more() && type_of(&v) == TYPE_INTEGER; v = c.value()) {
            dashes.push_back(float(integer::get_value(&v)));
            ++c.at;
        }
        return canvas.line_pattern(dashes);
    }
    if (is("line") || is("polygon") || is("triangle")) {
        bool triangle = is("triangle");
        size_t least = is("line") ? 2 : 3;
        uint32_t start = c.at;
        std::vector<Point> points;
        if (triangle) {
            for (int i = 0; i < 3; ++i) points.push_back(take_point(c));
        } else {
            points = points_from(c);
            if (points.size() < least) c.invalid(start + uint32_t(points.size()));
        }
        if (is("line")) return canvas.line(points);
        return canvas.polygon(points);
    }
    if (is("box")) {
        Point a = take_point(c), b = take_point(c);
        float radius = next_is_number(c) ? take_number(c) : 0;
        return canvas.box(a, b, radius);
    }
    if (is("circle")) {
        Point centre = take_point(c);
        float rx = take_number(c);
        float ry = next_is_number(c) ? take_number(c) : rx;
        return canvas.ellipse(centre, rx, ry);
    }
    if (is("ellipse")) {
        Point p = take_point(c), size = take_point(c);
        return canvas.ellipse(Point{p.x + size.x / 2, p.y + size.y / 2}, size.x / 2, size.y / 2);
    }
    if (is("arc")) {
        Point centre = take_point(c), radii = take_point(c);
        float begin = take_number(c), sweep = take_number(c);
        bool closed = next_is_keyword(c, "closed");
        if (closed) ++c.at;
        return canvas.arc(centre, radii, begin, sweep, closed);
    }
    if (is("curve")) {
        Point p[4];
        for (int i = 0; i < 3; ++i) p[i] = take_point(c);
        int32_t n = 3;
        if (next_is_point(c)) p[n++] = take_point(c);
        return canvas.curve(p, n);
    }
    if (is("spline")) {
        uint32_t start = c.at;
        std::vector<Point> points = points_from(c);
        if (points.size() < 2) c.invalid(start + uint32_t(points.size()));
        bool closed = next_is_keyword(c, "closed");
        if (closed) ++c.at;
        return canvas.spline(points, closed);
    }
    if (is("text")) return do_text(canvas, c);
    if (is("font")) return do_font(canvas, c);
    if (is("image")) return do_image(canvas, c);
    if (is("shadow")) return do_shadow(canvas, c);
    if (is("clip")) return do_clip(canvas, c);
    if (is("shape")) {
        if (!next_is_block(c)) c.invalid(c.at);
        Cell shape = c.value();
        ++c.at;
        gc::CellRoot keep(&shape);
        return parse_shape(canvas, &shape, true);
    }
    if (is("push")) {
        if (!next_is_block(c)) c.invalid(c.at);
        Cell body = c.value();
        ++c.at;
        gc::CellRoot keep(&body);
        return scoped(canvas, body, [] {}, [] {});
    }
    if (is("rotate")) {
        int32_t target = transform_target(c);
        float angle = take_number(c);
        Point centre = next_is_point(c) ? take_point(c) : Point{0, 0};
        return apply_transform(canvas, c, target, rotation(angle, centre));
    }
    if (is("scale")) {
        int32_t target = transform_target(c);
        float sx = need_scale(c), sy = need_scale(c);
        Point centre = next_is_point(c) ? take_point(c) : Point{0, 0};
        return apply_transform(canvas, c, target, scaling(sx, sy, centre));
    }
    if (is("translate")) {
        int32_t target = transform_target(c);
        Point d = take_point(c);
        return apply_transform(canvas, c, target, translation(d.x, d.y));
    }
    if (is("skew")) {
        int32_t target = transform_target(c);
        float x = take_number(c);
        float y = next_is_number(c) ? take_number(c) : 0;
        Point centre = next_is_point(c) ? take_point(c) : Point{0, 0};
        return apply_transform(canvas, c, target, skewing(x, y, centre));
    }
    if (is("transform")) {
        int32_t target = transform_target(c);
        Point centre = next_is_point(c) ? take_point(c) : Point{0, 0};
        float angle = take_number(c);
        float sx = need_scale(c), sy = need_scale(c);
        Point d = take_point(c);
        // As rotate, scale and translate written in that order: the last
        // one given acts first.
        Matrix m = multiply(translation(d.x, d.y), multiply(scaling(sx, sy, centre), rotation(angle, centre)));
        return apply_transform(canvas, c, target, m);
    }
    if (is("matrix")) return do_matrix(canvas, c, key_at);
    if (is("reset-matrix")) return canvas.reset_matrix(transform_target(c));
    if (is("invert-matrix")) return canvas.invert_matrix(transform_target(c));
    c.invalid(key_at);
}

}  // namespace

void parse_commands(Canvas& canvas, const Cell* commands) {
    Cell blk = *commands;
    gc::CellRoot keep(&blk);
    cycle_stack::Guard guard;
    Node node = cell_node(&blk);
    if (cycle_stack::find(node)) raise_error("script", "draw-infinite", &blk);
    cycle_stack::push(node);
    Cursor c = cursor_of(&blk);
    while (c.more()) {
        Cell v = c.value();
        switch (type_of(&v)) {
        case TYPE_WORD:
            do_command(canvas, c);
            break;
        case TYPE_SET_WORD: {
            Cell at = c.block_at(c.at + 1);
            gc::CellRoot keep_at(&at);
            context::set_word_value(&v, &at);
            ++c.at;
            break;
        }
        case TYPE_BLOCK:
            ++c.at;
            parse_commands(canvas, &v);
            break;
        default:
            c.invalid(c.at);
        }
    }
}

// ---- The entry -------------------------------------------------------------------------

namespace {

// Prints a caught error the way the console prints one.
void print_error(const Cell* error) {
    Cell err = *error;
    gc::CellRoot keep(&err);
    const Cell* print = context::global_value_pointer(symbol::intern("print"));
    if (!print) return;
    Cell fn = *print, result{TYPE_UNSET, 0, 0, 0};
    gc::CellRoot keep_fn(&fn), keep_result(&result);
    try {
        interp::call_function(&fn, &err, 1, &result);
    } catch (...) {
    }
}

}  // namespace

void parse_commands_caught(Canvas& canvas, const Cell* commands) {
    Cell cmds = *commands;
    Cell error{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&cmds), keep_error(&error);
    try {
        parse_commands(canvas, &cmds);
        return;
    } catch (const Thrown& t) {
        if (t.code == THROW_ERROR) error = *errors::last_raised();
    } catch (...) {
    }
    set_thrown(0);
    if (type_of(&error) == TYPE_ERROR) print_error(&error);
    errors::clear();
}

void do_draw(uint32_t hwnd, const Cell* face, const Cell* image, const Cell* commands, bool layered,
             bool catch_errors) {
    Cell cmds = *commands;
    Cell target_face = face ? *face : Cell{TYPE_NONE, 0, 0, 0};
    Cell target_image = image ? *image : Cell{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&cmds), keep_face(&target_face), keep_image(&target_image);
    bool walk = type_of(&cmds) == TYPE_BLOCK && block::length(&cmds) > 0;
    if (!hwnd && !walk) return;
    errors::clear();
    const Backend& backend = hwnd ? window_backend() : image_backend();
    Canvas* canvas = hwnd ? backend.open_window(hwnd, &target_face, layered) : backend.open_image(&target_image);
    if (!canvas) return;
    std::exception_ptr failure;
    Cell error{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_error(&error);
    if (walk) {
        try {
            parse_commands(*canvas, &cmds);
        } catch (const Thrown& t) {
            failure = std::current_exception();
            if (t.code == THROW_ERROR) error = *errors::last_raised();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    backend.close(canvas, layered);
    if (!failure) return;
    if (!catch_errors) std::rethrow_exception(failure);
    set_thrown(0);
    if (type_of(&error) == TYPE_ERROR) print_error(&error);
    errors::clear();
}

}  // namespace qor::gui::draw
