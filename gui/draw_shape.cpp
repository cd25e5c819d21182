// The shape sub-dialect: path commands with absolute (word!) or relative
// (lit-word!) coordinates, built into one path on the canvas.  `shape`
// fills and strokes it; a clip makes it the clip's mask.
#include <exception>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/raise_seam.hpp"
#include "gui/draw_dialect.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::draw {

namespace {

struct PathState {
    Point current{0, 0};
    bool  after_curve = false;   // the last segment was a curve
    Point control{0, 0};         // that curve's last control point
};

Point plus(Point a, Point b) { return Point{a.x + b.x, a.y + b.y}; }
Point reflect(Point centre, Point p) { return Point{2 * centre.x - p.x, 2 * centre.y - p.y}; }

// Points in groups of `size`; at least `least` points, whole groups only.
std::vector<Point> take_groups(Cursor& c, size_t size, size_t least) {
    uint32_t start = c.at;
    std::vector<Point> points;
    while (next_is_point(c)) points.push_back(take_point(c));
    if (points.size() < least) c.invalid(c.at);
    if (points.size() % size) c.invalid(start + uint32_t(points.size() - points.size() % size));
    return points;
}

void walk(Canvas& canvas, const Cell* shape, PathState& s);

void command(Canvas& canvas, Cursor& c, PathState& s) {
    Cell key = c.value();
    uint32_t key_at = c.at++;
    bool rel = type_of(&key) == TYPE_LIT_WORD;
    auto is = [&](const char* k) { return is_keyword(&key, k); };
    auto at = [&](Point p) { return rel ? plus(s.current, p) : p; };

    if (is("move")) {
        s.current = at(take_point(c));
        s.after_curve = false;
        return canvas.path_move(s.current);
    }
    if (is("line")) {
        take_point(c);
        --c.at;
        while (next_is_point(c)) {
            s.current = at(take_point(c));
            canvas.path_line(s.current);
        }
        s.after_curve = false;
        return;
    }
    if (is("hline") || is("vline")) {
        float n = take_number(c);
        float& coord = is("hline") ? s.current.x : s.current.y;
        coord = rel ? coord + n : n;
        s.after_curve = false;
        return canvas.path_line(s.current);
    }
    if (is("arc")) {
        Point end = at(take_point(c));
        float rx = take_number(c), ry = take_number(c), angle = take_number(c);
        bool sweep = false, large = false;
        for (int i = 0; i < 2; ++i) {
            Cell w = c.value();
            if (!c.more() || type_of(&w) != TYPE_WORD) break;
            if (!sweep && is_keyword(&w, "sweep")) sweep = true;
            else if (!large && is_keyword(&w, "large")) large = true;
            else break;
            ++c.at;
        }
        s.current = end;
        s.after_curve = false;
        return canvas.path_arc(end, rx, ry, angle, sweep, large);
    }
    if (is("curve")) {
        std::vector<Point> p = take_groups(c, 3, 3);
        for (size_t i = 0; i < p.size(); i += 3) {
            Point base = s.current;
            Point c1 = rel ? plus(base, p[i]) : p[i], c2 = rel ? plus(base, p[i + 1]) : p[i + 1];
            Point end = rel ? plus(base, p[i + 2]) : p[i + 2];
            canvas.path_curve(c1, c2, end);
            s.current = end;
            s.control = c2;
            s.after_curve = true;
        }
        return;
    }
    if (is("qcurve")) {
        std::vector<Point> p = take_groups(c, 2, 2);
        for (size_t i = 0; i < p.size(); i += 2) {
            Point base = s.current;
            Point ctl = rel ? plus(base, p[i]) : p[i], end = rel ? plus(base, p[i + 1]) : p[i + 1];
            canvas.path_qcurve(ctl, end);
            s.current = end;
            s.control = ctl;
            s.after_curve = true;
        }
        return;
    }
    if (is("curv")) {
        std::vector<Point> p = take_groups(c, 2, 2);
        for (size_t i = 0; i < p.size(); i += 2) {
            Point base = s.current;
            Point c1 = s.after_curve ? reflect(base, s.control) : base;
            Point c2 = rel ? plus(base, p[i]) : p[i], end = rel ? plus(base, p[i + 1]) : p[i + 1];
            canvas.path_curve(c1, c2, end);
            s.current = end;
            s.control = c2;
            s.after_curve = true;
        }
        return;
    }
    if (is("qcurv")) {
        std::vector<Point> p = take_groups(c, 1, 1);
        for (Point q : p) {
            Point base = s.current;
            Point ctl = s.after_curve ? reflect(base, s.control) : base;
            Point end = rel ? plus(base, q) : q;
            canvas.path_qcurve(ctl, end);
            s.current = end;
            s.control = ctl;
            s.after_curve = true;
        }
        return;
    }
    if (is("close")) {
        s.after_curve = false;
        return canvas.path_close();
    }
    c.invalid(key_at);
}

void walk(Canvas& canvas, const Cell* shape, PathState& s) {
    Cell blk = *shape;
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
        case TYPE_LIT_WORD:
            command(canvas, c, s);
            break;
        case TYPE_SET_WORD: {
            Cell after = c.block_at(c.at + 1);
            gc::CellRoot keep_after(&after);
            context::set_word_value(&v, &after);
            ++c.at;
            break;
        }
        case TYPE_BLOCK:
            ++c.at;
            walk(canvas, &v, s);   // the same path goes on
            break;
        default:
            c.invalid(c.at);
        }
    }
}

}  // namespace

void parse_shape(Canvas& canvas, const Cell* shape, bool draw) {
    PathState s;
    canvas.begin_path(draw);
    std::exception_ptr failure;
    try {
        walk(canvas, shape, s);
    } catch (...) {
        failure = std::current_exception();
    }
    // A failed path is ended without drawing and without clipping.
    if (failure) {
        canvas.drop_path();
        std::rethrow_exception(failure);
    }
    if (draw) canvas.end_path();
    else canvas.clip_path();
}

}  // namespace qor::gui::draw
