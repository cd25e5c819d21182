// What may follow `pen` and `fill-pen`: off, a colour, a gradient (with
// or without its geometry, or in the older form with an offset), a pattern
// drawn from a block, or a bitmap.
#include <exception>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "gui/draw_dialect.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::draw {

namespace {

// Colours, each with an optional float! offset; at least two.
void take_stops(Cursor& c, Gradient& g) {
    std::vector<uint32_t> colours;
    std::vector<int32_t> given;   // index into offsets, -1 when none
    std::vector<float> offsets;
    for (;;) {
        Cell v = c.value();
        uint32_t colour;
        if (!c.more() || !colour_of(&v, &colour)) break;
        if (int32_t(colours.size()) == MAX_STOPS) c.invalid(c.at);
        colours.push_back(colour);
        ++c.at;
        Cell o = c.value();
        if (c.more() && type_of(&o) == TYPE_FLOAT && is_number(&o)) {
            given.push_back(int32_t(offsets.size()));
            offsets.push_back(float(cell_float(&o)));
            ++c.at;
        } else {
            given.push_back(-1);
        }
    }
    if (colours.size() < 2) c.invalid(c.at);
    float step = 1.0f / float(colours.size() - 1), running = 0.0f;
    for (size_t i = 0; i < colours.size(); ++i) {
        float offset;
        if (given[i] >= 0) {
            running = offsets[size_t(given[i])];
            offset = running;
        } else {
            offset = running;
            running += step;
        }
        g.stops.push_back(GradientStop{offset, colours[i]});
    }
}

void take_spread(Cursor& c, Gradient& g) {
    Cell v = c.value();
    if (!c.more() || type_of(&v) != TYPE_WORD) return;
    if (is_keyword(&v, "pad")) g.spread = SPREAD_PAD;
    else if (is_keyword(&v, "repeat")) g.spread = SPREAD_REPEAT;
    else if (is_keyword(&v, "reflect")) g.spread = SPREAD_REFLECT;
    else return;
    ++c.at;
}

void take_tile(Cursor& c, ImageBrush& b) {
    static const char* const WORDS[] = {"tile", "flip-x", "flip-y", "flip-xy", "clamp"};
    Cell v = c.value();
    if (!c.more() || type_of(&v) != TYPE_WORD) return;
    for (int32_t i = 0; i < 5; ++i)
        if (is_keyword(&v, WORDS[i])) {
            b.tile = i;
            ++c.at;
            return;
        }
}

void take_corners(Cursor& c, ImageBrush& b) {
    if (next_is_point(c)) {
        b.has_start = true;
        b.start = take_point(c);
        if (next_is_point(c)) {
            b.has_end = true;
            b.end = take_point(c);
        }
    }
    take_tile(c, b);
}

void gradient(Canvas& canvas, Cursor& c, int32_t target, int32_t kind) {
    Gradient g;
    g.kind = kind;
    if (next_is_point(c)) {
        // Older form: offset, start and stop along the axis, then angle and
        // scales, then the stops.
        Point offset = take_point(c);
        Cell v = c.value();
        if (!c.more() || type_of(&v) != TYPE_INTEGER) c.invalid(c.at);
        float start = float(integer::get_value(&v));
        ++c.at;
        v = c.value();
        if (!c.more() || type_of(&v) != TYPE_INTEGER) c.invalid(c.at);
        float stop = float(integer::get_value(&v));
        ++c.at;
        float extra[3] = {0, 1, 1};
        for (int i = 0; i < 3 && next_is_number(c); ++i) extra[i] = take_number(c);
        take_stops(c, g);
        take_spread(c, g);
        g.fixed = true;
        if (kind == GRADIENT_LINEAR) {
            g.point_count = 2;
            g.points[0] = Point{offset.x + start, offset.y};
            g.points[1] = Point{offset.x + stop, offset.y};
        } else {
            g.point_count = 1;
            g.points[0] = offset;
            g.radius = stop - start;
        }
        g.has_matrix = true;
        g.matrix = identity();
        if (extra[0] != 0) g.matrix = multiply(rotation(extra[0], Point{0, 0}), g.matrix);
        if (extra[1] != 1 || extra[2] != 1) g.matrix = multiply(scaling(extra[1], extra[2], Point{0, 0}), g.matrix);
        return canvas.gradient(target, g);
    }
    take_stops(c, g);
    if (next_is_point(c)) {
        g.fixed = true;
        g.points[g.point_count++] = take_point(c);
        if (kind == GRADIENT_LINEAR) {
            g.points[g.point_count++] = take_point(c);
        } else if (kind == GRADIENT_RADIAL) {
            g.radius = take_number(c);
            if (next_is_point(c)) {
                g.points[g.point_count++] = take_point(c);
                g.focal = true;
            }
        } else {
            g.points[g.point_count++] = take_point(c);
            if (next_is_point(c)) g.points[g.point_count++] = take_point(c);
        }
    }
    take_spread(c, g);
    canvas.gradient(target, g);
}

void pattern(Canvas& canvas, Cursor& c, int32_t target) {
    Point size = take_point(c);
    ImageBrush b;
    take_corners(c, b);
    Cell body = c.value();
    if (!c.more() || type_of(&body) != TYPE_BLOCK) c.invalid(c.at);
    ++c.at;
    gc::CellRoot keep(&body);
    canvas.begin_pattern(target);
    std::exception_ptr failure;
    try {
        parse_commands(canvas, &body);
    } catch (...) {
        failure = std::current_exception();
    }
    canvas.end_pattern(target, !failure, size, b);
    if (failure) std::rethrow_exception(failure);
}

void bitmap(Canvas& canvas, Cursor& c, int32_t target) {
    Cell w = c.value();
    const Cell* img = c.more() && type_of(&w) == TYPE_WORD ? word_value(&w) : nullptr;
    if (!img || type_of(img) != TYPE_IMAGE) c.invalid(c.at);
    Cell image = *img;
    gc::CellRoot keep(&image);
    ++c.at;
    ImageBrush b;
    take_corners(c, b);
    canvas.bitmap_brush(target, &image, b);
}

}  // namespace

void parse_pen(Canvas& canvas, Cursor& c, int32_t target) {
    Cell v = c.value();
    if (!c.more()) c.invalid(c.at);
    uint32_t colour;
    if (colour_of(&v, &colour)) {
        ++c.at;
        return canvas.solid(target, colour);
    }
    if (type_of(&v) != TYPE_WORD) c.invalid(c.at);
    ++c.at;
    if (is_keyword(&v, "off")) return canvas.brush_off(target);
    if (is_keyword(&v, "linear")) return gradient(canvas, c, target, GRADIENT_LINEAR);
    if (is_keyword(&v, "radial")) return gradient(canvas, c, target, GRADIENT_RADIAL);
    if (is_keyword(&v, "diamond")) return gradient(canvas, c, target, GRADIENT_DIAMOND);
    if (is_keyword(&v, "pattern")) return pattern(canvas, c, target);
    if (is_keyword(&v, "bitmap")) return bitmap(canvas, c, target);
    c.invalid(c.at - 1);
}

}  // namespace qor::gui::draw
