// The recording stand-in: one log line per canvas operation, numbers in
// their shortest form (integers without a point, else up to three decimals).
#include "gui/draw_recorder.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "datatypes/image_backend.hpp"
#include "gui/face_slots.hpp"

namespace qor::gui::draw::recorder {

namespace {

std::vector<std::string> g_log;

std::string num(float v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    double r = std::round(double(v) * 1000.0) / 1000.0;
    if (r == 0) r = 0;   // no "-0"
    char buf[48];
    if (r == std::floor(r) && std::fabs(r) < 1e15) std::snprintf(buf, sizeof buf, "%.0f", r);
    else {
        std::snprintf(buf, sizeof buf, "%.3f", r);
        std::string s = buf;
        while (s.back() == '0') s.pop_back();
        return s;
    }
    return buf;
}

std::string pt(Point p) { return num(p.x) + "x" + num(p.y); }

std::string colour(uint32_t c) {
    std::string s = std::to_string(c & 0xFF) + "." + std::to_string((c >> 8) & 0xFF) + "." +
                    std::to_string((c >> 16) & 0xFF);
    if (c >> 24) s += "." + std::to_string(c >> 24);
    return s;
}

const char* target_name(int32_t t) { return t == TARGET_PEN ? "pen" : t == TARGET_FILL ? "fill" : "canvas"; }

std::string points(const std::vector<Point>& ps) {
    std::string s;
    for (Point p : ps) s += " " + pt(p);
    return s;
}

std::string brush(const ImageBrush& b) {
    static const char* const TILES[] = {"tile", "flip-x", "flip-y", "flip-xy", "clamp"};
    std::string s;
    if (b.has_start) s += " from " + pt(b.start);
    if (b.has_end) s += " to " + pt(b.end);
    return s + " " + TILES[b.tile];
}

void out(const std::string& line) { g_log.push_back(line); }

class Recorder final : public Canvas {
public:
    void solid(int32_t t, uint32_t c) override { out(std::string(target_name(t)) + " " + colour(c)); }
    void brush_off(int32_t t) override { out(std::string(target_name(t)) + " off"); }
    void gradient(int32_t t, const Gradient& g) override {
        static const char* const KINDS[] = {"linear", "radial", "diamond"};
        static const char* const SPREADS[] = {"pad", "repeat", "reflect"};
        std::string s = std::string(target_name(t)) + " " + KINDS[g.kind];
        for (const GradientStop& st : g.stops) s += " " + colour(st.colour) + "@" + num(st.offset);
        if (!g.fixed) s += " fitted";
        for (int32_t i = 0; i < g.point_count; ++i) s += " " + pt(g.points[i]);
        if (g.kind != GRADIENT_LINEAR && g.fixed) s += " r" + num(g.radius);
        if (g.focal) s += " focal";
        s += std::string(" ") + SPREADS[g.spread];
        if (g.has_matrix)
            s += " matrix " + num(g.matrix.m11) + " " + num(g.matrix.m12) + " " + num(g.matrix.m21) + " " +
                 num(g.matrix.m22) + " " + num(g.matrix.dx) + " " + num(g.matrix.dy);
        out(s);
    }
    void begin_pattern(int32_t t) override { out(std::string(target_name(t)) + " pattern begin"); }
    void end_pattern(int32_t t, bool made, Point size, const ImageBrush& b) override {
        out(std::string(target_name(t)) + " pattern " + (made ? "end " + pt(size) + brush(b) : "failed"));
    }
    void bitmap_brush(int32_t t, const Cell* image, const ImageBrush& b) override {
        out(std::string(target_name(t)) + " bitmap " + std::to_string(image_backend::width_of(image)) + "x" +
            std::to_string(image_backend::height_of(image)) + brush(b));
    }
    void line_width(float w) override { out("line-width " + num(w)); }
    void line_join(int32_t j) override { out("line-join " + std::to_string(j)); }
    void line_cap(int32_t c) override { out("line-cap " + std::to_string(c)); }
    void line_pattern(const std::vector<float>& d) override {
        std::string s = "line-pattern";
        if (d.empty()) s += " solid";
        for (float f : d) s += " " + num(f);
        out(s);
    }
    void anti_alias(bool on) override { out(on ? "anti-alias on" : "anti-alias off"); }
    void line(const std::vector<Point>& ps) override { out("line" + points(ps)); }
    void polygon(const std::vector<Point>& ps) override { out("polygon" + points(ps)); }
    void box(Point a, Point b, float r) override {
        // Corners in any order give the same rectangle.
        Point lo{std::fmin(a.x, b.x), std::fmin(a.y, b.y)}, hi{std::fmax(a.x, b.x), std::fmax(a.y, b.y)};
        out("box " + pt(lo) + " " + pt(hi) + (r != 0 ? " r" + num(r) : ""));
    }
    void ellipse(Point c, float rx, float ry) override { out("ellipse " + pt(c) + " " + num(rx) + " " + num(ry)); }
    void arc(Point c, Point r, float b, float s, bool closed) override {
        out("arc " + pt(c) + " " + pt(r) + " " + num(b) + " " + num(s) + (closed ? " closed" : ""));
    }
    void curve(const Point* p, int32_t n) override {
        out("curve" + points(std::vector<Point>(p, p + n)));
    }
    void spline(const std::vector<Point>& ps, bool closed) override {
        out("spline" + points(ps) + (closed ? " closed" : ""));
    }
    void text(Point at, const Cell* v) override {
        out("text " + pt(at) + (type_of(v) == TYPE_STRING ? " string" : " face"));
    }
    void font(const Cell*) override { out("font"); }
    void image(const ImagePlacement& p) override {
        std::string s = "image " + std::to_string(image_backend::width_of(&p.image)) + "x" +
                        std::to_string(image_backend::height_of(&p.image));
        for (int32_t i = 0; i < p.count; ++i) s += " " + pt(p.points[i]);
        if (p.count == 3) s += " (" + pt(p.points[3]) + ")";
        if (p.crop) s += " crop " + pt(p.crop_offset) + " " + pt(p.crop_size);
        out(s);
    }
    void shadow_off() override { out("shadow off"); }
    void shadow(const Shadow& s) override {
        out("shadow " + num(s.dx) + "x" + num(s.dy) + " " + num(s.blur) + " " + num(s.spread) + " " +
            colour(s.colour) + (s.inset ? " inset" : ""));
    }
    void begin_path(bool draw) override { out(draw ? "path begin" : "clip-path begin"); }
    void path_move(Point p) override { out("  move " + pt(p)); }
    void path_line(Point p) override { out("  line " + pt(p)); }
    void path_arc(Point e, float rx, float ry, float a, bool sweep, bool large) override {
        out("  arc " + pt(e) + " " + num(rx) + " " + num(ry) + " " + num(a) + (sweep ? " sweep" : "") +
            (large ? " large" : ""));
    }
    void path_curve(Point c1, Point c2, Point e) override { out("  curve " + pt(c1) + " " + pt(c2) + " " + pt(e)); }
    void path_qcurve(Point c, Point e) override { out("  qcurve " + pt(c) + " " + pt(e)); }
    void path_close() override { out("  close"); }
    void end_path() override { out("path draw"); }
    void clip_path() override { out("clip-path push"); }
    void drop_path() override { out("path dropped"); }
    void clip_rect(Point a, Point b) override { out("clip " + pt(a) + " " + pt(b)); }
    void pop_clip() override { out("clip pop"); }
    bool push_state() override {
        out("push");
        return true;
    }
    void pop_state() override { out("pop"); }
    void transform(int32_t t, const Matrix& m) override {
        out(std::string("matrix ") + target_name(t) + " " + num(m.m11) + " " + num(m.m12) + " " + num(m.m21) + " " +
            num(m.m22) + " " + num(m.dx) + " " + num(m.dy));
    }
    void reset_matrix(int32_t t) override { out(std::string("reset-matrix ") + target_name(t)); }
    void invert_matrix(int32_t t) override { out(std::string("invert-matrix ") + target_name(t)); }
};

Canvas* open_window(uint32_t, const Cell* face, bool layered) {
    std::string s = "begin window";
    if (const Cell* size = faces::facet(face, faces::SIZE); size && type_of(size) == TYPE_PAIR)
        s += " " + std::to_string(int32_t(size->data2)) + "x" + std::to_string(int32_t(size->data3));
    out(s + (layered ? " layered" : ""));
    return new Recorder;
}

Canvas* open_image(const Cell* image) {
    out("begin image " + std::to_string(image_backend::width_of(image)) + "x" +
        std::to_string(image_backend::height_of(image)));
    return new Recorder;
}

void close(Canvas* canvas, bool) {
    out("end");
    delete canvas;
}

void release_window(uint32_t) {}
void use_gpu(bool hardware) { out(hardware ? "device gpu" : "device warp"); }

const Backend RECORDER = {"record", open_window, open_image, close, release_window, use_gpu};

}  // namespace

const Backend& backend() { return RECORDER; }
const std::vector<std::string>& log() { return g_log; }
void clear_log() { g_log.clear(); }

}  // namespace qor::gui::draw::recorder
