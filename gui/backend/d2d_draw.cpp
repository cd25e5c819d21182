// The Direct2D canvas: one drawing on a window's swap chain (the shared
// device context) or on an image (a WIC bitmap render target whose pixels
// are copied back into the image when the drawing closes).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

// The window-message enums come before windows.h defines the same names.
#include "gui/face_slots.hpp"
#include "datatypes/image_backend.hpp"
#include "gui/backend/d2d_device.hpp"
#include <d2d1effects.h>
#include "gui/backend/d2d_text.hpp"
#include "gui/draw_backend.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::draw {

namespace {

using d2d::release;

D2D1_POINT_2F p2(Point p) { return D2D1::Point2F(p.x, p.y); }
D2D1_MATRIX_3X2_F m32(const Matrix& m) { return D2D1::Matrix3x2F(m.m11, m.m12, m.m21, m.m22, m.dx, m.dy); }
Matrix mat(const D2D1_MATRIX_3X2_F& m) { return Matrix{m._11, m._12, m._21, m._22, m._31, m._32}; }

// A premultiplied Direct2D bitmap of an image's pixels; null without pixels.
ID2D1Bitmap* bitmap_of(ID2D1RenderTarget* rt, const Cell* image) {
    image_backend::Bitmap* bm = image_backend::bitmap(image);
    if (!bm || !bm->width || !bm->height) return nullptr;
    std::vector<uint32_t> pm(bm->count());
    const uint32_t* px = bm->pixels();
    for (uint32_t i = 0; i < bm->count(); ++i) {
        uint32_t p = px[i], a = p >> 24;
        uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
        pm[i] = a << 24 | r << 16 | g << 8 | b;
    }
    ID2D1Bitmap* out = nullptr;
    D2D1_BITMAP_PROPERTIES props =
        D2D1::BitmapProperties(D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), 96, 96);
    rt->CreateBitmap(D2D1::SizeU(bm->width, bm->height), pm.data(), bm->width * 4, &props, &out);
    return out;
}

struct Saved {
    ID2D1DrawingStateBlock* block;
    ID2D1Brush* brush[2];
    int32_t kind[2];
    uint32_t colour[2];
    ID2D1StrokeStyle* stroke;
    int32_t join, cap;
    std::vector<float> dashes;
    IDWriteTextFormat* format;
    uint32_t text_colour;
    float width;
    int32_t saved_pen_kind;
    std::vector<Shadow> shadows;
    size_t clips;
};

struct PatternFrame {
    ID2D1Image* old_target;
    ID2D1CommandList* list;
    size_t clips;
    bool saved;
};

class D2DCanvas final : public Canvas {
public:
    ID2D1DeviceContext* dc = nullptr;
    ID2D1RenderTarget* wic_target = nullptr;   // image drawings
    IWICBitmap* wic_bitmap = nullptr;
    Cell target_image{TYPE_NONE, 0, 0, 0};
    d2d::WindowTarget* window = nullptr;

    ID2D1Brush* brush[2] = {nullptr, nullptr};   // pen, fill
    int32_t kind[2] = {1, 0};                    // 0 off, 1 solid, 2 fixed gradient, 3 fitted, 4 image
    uint32_t colour[2] = {0, 0};
    ID2D1StrokeStyle* stroke = nullptr;
    int32_t join = 0, cap = 0;
    std::vector<float> dashes;
    IDWriteTextFormat* format = nullptr;
    uint32_t text_colour = 0;
    float width = 1;
    int32_t saved_pen_kind = -1;
    std::vector<Shadow> shadows;
    std::vector<bool> clips;   // true: an axis-aligned clip, false: a layer
    std::vector<Saved> states;
    std::vector<PatternFrame> patterns;
    ID2D1PathGeometry* path = nullptr;
    ID2D1GeometrySink* sink = nullptr;
    bool path_draw = false;

    ~D2DCanvas() override {
        while (!states.empty()) pop_state();
        for (ID2D1Brush*& b : brush) release(b);
        release(stroke);
        release(format);
        release(sink);
        release(path);
    }

    ID2D1Factory* factory() {
        ID2D1Factory* f = nullptr;
        dc->GetFactory(&f);
        if (f) f->Release();   // the context holds it
        return f;
    }

    int32_t slot(int32_t target) { return target == TARGET_FILL ? 1 : 0; }

    void start() {
        dc->BeginDraw();
        dc->SetAntialiasMode(D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
        dc->SetTransform(D2D1::Matrix3x2F::Identity());
        ID2D1SolidColorBrush* b = nullptr;
        dc->CreateSolidColorBrush(d2d::colour(0), &b);
        brush[0] = b;
        b = nullptr;
        dc->CreateSolidColorBrush(d2d::colour(0), &b);
        brush[1] = b;
    }

    // ---- Brushes

    // A solid brush changes its colour in place; any other is replaced.
    void solid(int32_t target, uint32_t c) override {
        int32_t s = slot(target);
        ID2D1SolidColorBrush* sb = nullptr;
        if (brush[s] &&
            SUCCEEDED(brush[s]->QueryInterface(__uuidof(ID2D1SolidColorBrush), reinterpret_cast<void**>(&sb)))) {
            sb->SetColor(d2d::colour(c));
            sb->Release();
        } else {
            replace_solid(s, c);
        }
        colour[s] = c;
        if (s == 1) {
            kind[1] = 1;
            return;
        }
        text_colour = c;
        if (width == 0) {   // the pen stays off until the width leaves 0
            saved_pen_kind = 1;
            kind[0] = 0;
        } else {
            kind[0] = 1;
        }
    }

    void replace_solid(int32_t s, uint32_t c) {
        release(brush[s]);
        ID2D1SolidColorBrush* b = nullptr;
        dc->CreateSolidColorBrush(d2d::colour(c), &b);
        brush[s] = b;
    }

    void brush_off(int32_t target) override { kind[slot(target)] = 0; }

    void gradient(int32_t target, const Gradient& g) override {
        int32_t s = slot(target);
        std::vector<D2D1_GRADIENT_STOP> stops;
        for (const GradientStop& st : g.stops) stops.push_back(D2D1::GradientStop(st.offset, d2d::colour(st.colour)));
        D2D1_EXTEND_MODE extend = g.spread == SPREAD_REPEAT    ? D2D1_EXTEND_MODE_WRAP
                                  : g.spread == SPREAD_REFLECT ? D2D1_EXTEND_MODE_MIRROR
                                                               : D2D1_EXTEND_MODE_CLAMP;
        ID2D1GradientStopCollection* collection = nullptr;
        ID2D1RenderTarget* rt = dc;
        if (FAILED(rt->CreateGradientStopCollection(stops.data(), UINT32(stops.size()), D2D1_GAMMA_2_2, extend,
                                                    &collection)))
            return;
        ID2D1Brush* made = nullptr;
        if (g.kind == GRADIENT_LINEAR) {
            ID2D1LinearGradientBrush* b = nullptr;
            Point a = g.fixed ? g.points[0] : Point{0, 0}, e = g.fixed ? g.points[1] : Point{1, 0};
            dc->CreateLinearGradientBrush(D2D1::LinearGradientBrushProperties(p2(a), p2(e)), collection, &b);
            made = b;
        } else {
            ID2D1RadialGradientBrush* b = nullptr;
            Point c = g.fixed ? g.points[0] : Point{0, 0};
            float r = g.fixed ? g.radius : 1;
            Point origin{0, 0};
            if (g.focal) origin = Point{g.points[1].x - c.x, g.points[1].y - c.y};
            dc->CreateRadialGradientBrush(D2D1::RadialGradientBrushProperties(p2(c), p2(origin), r, r), collection, &b);
            made = b;
        }
        release(collection);
        if (!made) return;
        if (g.has_matrix) made->SetTransform(m32(g.matrix));
        release(brush[s]);
        brush[s] = made;
        kind[s] = g.fixed ? 2 : 3;
        if (s == 0 && width == 0) {
            saved_pen_kind = kind[0];
            kind[0] = 0;
        }
    }

    void begin_pattern(int32_t) override {
        PatternFrame f{nullptr, nullptr, clips.size(), false};
        dc->GetTarget(&f.old_target);
        if (SUCCEEDED(dc->CreateCommandList(&f.list))) dc->SetTarget(f.list);
        f.saved = push_state();
        dc->SetTransform(D2D1::Matrix3x2F::Identity());
        patterns.push_back(f);
    }

    void end_pattern(int32_t target, bool made, Point size, const ImageBrush& spec) override {
        if (patterns.empty()) return;
        PatternFrame f = patterns.back();
        patterns.pop_back();
        while (clips.size() > f.clips) pop_clip();
        if (f.saved) pop_state();
        if (f.list) f.list->Close();
        dc->SetTarget(f.old_target);
        if (made && f.list) image_brush(slot(target), f.list, size, spec);
        release(f.list);
        release(f.old_target);
    }

    void image_brush(int32_t s, ID2D1Image* source, Point size, const ImageBrush& spec) {
        Point a = spec.has_start ? spec.start : Point{0, 0};
        Point e = spec.has_end ? Point{std::min(spec.end.x, size.x), std::min(spec.end.y, size.y)} : size;
        D2D1_EXTEND_MODE ex = D2D1_EXTEND_MODE_WRAP, ey = D2D1_EXTEND_MODE_WRAP;
        if (spec.tile == TILE_FLIP_X || spec.tile == TILE_FLIP_XY) ex = D2D1_EXTEND_MODE_MIRROR;
        if (spec.tile == TILE_FLIP_Y || spec.tile == TILE_FLIP_XY) ey = D2D1_EXTEND_MODE_MIRROR;
        if (spec.tile == TILE_CLAMP) ex = ey = D2D1_EXTEND_MODE_CLAMP;
        D2D1_IMAGE_BRUSH_PROPERTIES props =
            D2D1::ImageBrushProperties(D2D1::RectF(a.x, a.y, e.x, e.y), ex, ey, D2D1_INTERPOLATION_MODE_LINEAR);
        ID2D1ImageBrush* b = nullptr;
        if (FAILED(dc->CreateImageBrush(source, &props, nullptr, &b))) return;
        release(brush[s]);
        brush[s] = b;
        kind[s] = 4;
    }

    void bitmap_brush(int32_t target, const Cell* img, const ImageBrush& spec) override {
        int32_t s = slot(target);
        ID2D1Bitmap* bm = bitmap_of(dc, img);
        if (!bm) {
            kind[s] = 0;
            return;
        }
        image_brush(s, bm, Point{float(image_backend::width_of(img)), float(image_backend::height_of(img))}, spec);
        release(bm);
    }

    // ---- Line style

    void line_width(float w) override {
        if (w == width) return;
        if (w == 0) {
            saved_pen_kind = kind[0];
            kind[0] = 0;
        } else if (width == 0 && saved_pen_kind >= 0) {
            kind[0] = saved_pen_kind;
            saved_pen_kind = -1;
        }
        width = w;
    }

    void make_stroke() {
        release(stroke);
        std::vector<float> d;
        for (float f : dashes) d.push_back(std::max(f, 0.0f));
        bool any = std::any_of(d.begin(), d.end(), [](float f) { return f > 0; });
        D2D1_STROKE_STYLE_PROPERTIES props = D2D1::StrokeStyleProperties(
            D2D1_CAP_STYLE(cap), D2D1_CAP_STYLE(cap), D2D1_CAP_STYLE(cap), D2D1_LINE_JOIN(join), 10.0f,
            any ? D2D1_DASH_STYLE_CUSTOM : D2D1_DASH_STYLE_SOLID, 0.0f);
        ID2D1Factory* f = factory();
        f->CreateStrokeStyle(props, any ? d.data() : nullptr, any ? UINT32(d.size()) : 0, &stroke);
    }

    void line_join(int32_t j) override {
        join = j;
        make_stroke();
    }
    void line_cap(int32_t c) override {
        cap = c;
        make_stroke();
    }
    void line_pattern(const std::vector<float>& d) override {
        dashes = d;
        make_stroke();
    }
    void anti_alias(bool on) override {
        dc->SetAntialiasMode(on ? D2D1_ANTIALIAS_MODE_PER_PRIMITIVE : D2D1_ANTIALIAS_MODE_ALIASED);
    }

    // ---- Painting with fitted brushes

    // Runs f with the brush of slot s fitted to the bounds when it is fitted.
    template <class F>
    void with_brush(int32_t s, D2D1_RECT_F b, F&& f) {
        if (kind[s] == 0 || !brush[s]) return;
        if (kind[s] < 3) return f(brush[s]);
        float x0 = std::min(b.left, b.right), y0 = std::min(b.top, b.bottom);
        float w = std::fabs(b.right - b.left), h = std::fabs(b.bottom - b.top);
        ID2D1LinearGradientBrush* lin = nullptr;
        ID2D1RadialGradientBrush* rad = nullptr;
        if (kind[s] == 3 &&
            SUCCEEDED(brush[s]->QueryInterface(__uuidof(ID2D1LinearGradientBrush), reinterpret_cast<void**>(&lin)))) {
            lin->SetStartPoint(D2D1::Point2F(0, 0));
            lin->SetEndPoint(D2D1::Point2F(w, 0));
            lin->Release();
        } else if (kind[s] == 3 && SUCCEEDED(brush[s]->QueryInterface(__uuidof(ID2D1RadialGradientBrush),
                                                                      reinterpret_cast<void**>(&rad)))) {
            rad->SetCenter(D2D1::Point2F(w / 2, h / 2));
            rad->SetGradientOriginOffset(D2D1::Point2F(0, 0));
            rad->SetRadiusX(std::min(w, h) / 2);
            rad->SetRadiusY(std::min(w, h) / 2);
            rad->Release();
        }
        D2D1_MATRIX_3X2_F old;
        brush[s]->GetTransform(&old);
        brush[s]->SetTransform(m32(multiply(mat(old), translation(x0, y0))));
        f(brush[s]);
        brush[s]->SetTransform(old);
    }

    template <class Fill, class Stroke>
    void paint(D2D1_RECT_F bounds, Fill&& fill, Stroke&& strokef) {
        with_brush(1, bounds, fill);
        if (width > 0) with_brush(0, bounds, strokef);
    }

    void paint_geometry(ID2D1Geometry* g, bool filled) {
        D2D1_RECT_F b{};
        g->GetWidenedBounds(width, stroke, nullptr, 0.25f, &b);
        if (filled) with_brush(1, b, [&](ID2D1Brush* br) { dc->FillGeometry(g, br); });
        if (width > 0) with_brush(0, b, [&](ID2D1Brush* br) { dc->DrawGeometry(g, br, width, stroke); });
    }

    ID2D1PathGeometry* figure(const std::vector<Point>& pts, bool closed) {
        ID2D1PathGeometry* g = nullptr;
        ID2D1GeometrySink* sk = nullptr;
        if (FAILED(factory()->CreatePathGeometry(&g)) || FAILED(g->Open(&sk))) {
            release(g);
            return nullptr;
        }
        sk->BeginFigure(p2(pts[0]), kind[1] && closed ? D2D1_FIGURE_BEGIN_FILLED : D2D1_FIGURE_BEGIN_HOLLOW);
        for (size_t i = 1; i < pts.size(); ++i) sk->AddLine(p2(pts[i]));
        sk->EndFigure(closed ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
        sk->Close();
        release(sk);
        return g;
    }

    // ---- Primitives

    void line(const std::vector<Point>& pts) override {
        if (pts.size() == 2) {
            D2D1_RECT_F b = D2D1::RectF(pts[0].x, pts[0].y, pts[1].x, pts[1].y);
            if (width > 0) with_brush(0, b, [&](ID2D1Brush* br) { dc->DrawLine(p2(pts[0]), p2(pts[1]), br, width, stroke); });
            return;
        }
        if (ID2D1PathGeometry* g = figure(pts, false)) {
            paint_geometry(g, false);
            release(g);
        }
    }

    void polygon(const std::vector<Point>& pts) override {
        if (ID2D1PathGeometry* g = figure(pts, true)) {
            paint_geometry(g, true);
            release(g);
        }
    }

    // The shape is drawn into a bitmap of its size (plus the line width);
    // each shadow is that bitmap through the scale (for a spread) and shadow
    // effects, drawn at the shape's place moved by its offset; then the
    // shape itself.  Without effects the shape is drawn plainly.
    void with_shadows(D2D1_RECT_F r, const std::function<void()>& draw_shape) {
        if (shadows.empty()) return draw_shape();
        float dpi = d2d::devices().dpi, lw = width;
        float w = r.right - r.left + lw, h = r.bottom - r.top + lw;
        UINT pw = UINT(std::ceil(w * dpi / 96)), ph = UINT(std::ceil(h * dpi / 96));
        ID2D1Bitmap1* shape = nullptr;
        D2D1_BITMAP_PROPERTIES1 props = D2D1::BitmapProperties1(
            D2D1_BITMAP_OPTIONS_TARGET, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED),
            dpi, dpi);
        if (!pw || !ph || pw > 16384 || ph > 16384 || FAILED(dc->CreateBitmap(D2D1::SizeU(pw, ph), nullptr, 0, &props, &shape)))
            return draw_shape();
        ID2D1Image* old = nullptr;
        dc->GetTarget(&old);
        D2D1_MATRIX_3X2_F saved;
        dc->GetTransform(&saved);
        dc->SetTarget(shape);
        dc->SetTransform(D2D1::Matrix3x2F::Translation(lw / 2 - r.left, lw / 2 - r.top));
        dc->Clear(D2D1::ColorF(0, 0, 0, 0));
        draw_shape();
        dc->SetTarget(old);
        dc->SetTransform(saved);
        release(old);
        static const GUID SHADOW = {0xc67ea361, 0x1863, 0x4e69, {0x89, 0xdb, 0x69, 0x5d, 0x3e, 0x9a, 0x5b, 0x6b}};
        static const GUID SCALE = {0x9daf9369, 0x3846, 0x4d0e, {0xa4, 0x4e, 0x0c, 0x60, 0x79, 0x34, 0xa5, 0xd7}};
        D2D1_POINT_2F at = D2D1::Point2F(r.left - lw / 2, r.top - lw / 2);
        for (const Shadow& s : shadows) {
            ID2D1Effect* scale = nullptr;
            ID2D1Effect* shadow = nullptr;
            if (FAILED(dc->CreateEffect(SHADOW, &shadow))) break;
            if (s.spread != 0 && w > 0 && h > 0 && SUCCEEDED(dc->CreateEffect(SCALE, &scale))) {
                D2D1_VECTOR_2F k{(w + 2 * s.spread) / w, (h + 2 * s.spread) / h};
                scale->SetInput(0, shape);
                scale->SetValue(0 /* the scale property */, D2D1_PROPERTY_TYPE_VECTOR2, reinterpret_cast<const BYTE*>(&k),
                                sizeof k);
                shadow->SetInputEffect(0, scale);
            } else {
                shadow->SetInput(0, shape);
            }
            float deviation = s.blur / 1.8799711f;
            D2D1_COLOR_F c = d2d::colour(s.colour);
            D2D1_VECTOR_4F colour{c.r, c.g, c.b, c.a};
            shadow->SetValue(D2D1_SHADOW_PROP_BLUR_STANDARD_DEVIATION, D2D1_PROPERTY_TYPE_FLOAT,
                             reinterpret_cast<const BYTE*>(&deviation), sizeof deviation);
            shadow->SetValue(D2D1_SHADOW_PROP_COLOR, D2D1_PROPERTY_TYPE_VECTOR4, reinterpret_cast<const BYTE*>(&colour),
                             sizeof colour);
            ID2D1Image* out = nullptr;
            shadow->GetOutput(&out);
            D2D1_POINT_2F to = D2D1::Point2F(at.x + s.dx - s.spread, at.y + s.dy - s.spread);
            if (out) dc->DrawImage(out, &to);
            release(out);
            release(shadow);
            release(scale);
        }
        dc->DrawImage(shape, &at);
        release(shape);
    }

    void box(Point a, Point e, float radius) override {
        D2D1_RECT_F r = D2D1::RectF(std::min(a.x, e.x), std::min(a.y, e.y), std::max(a.x, e.x), std::max(a.y, e.y));
        D2D1_ROUNDED_RECT rr = D2D1::RoundedRect(r, radius, radius);
        with_shadows(r, [&] {
            paint(
                r, [&](ID2D1Brush* br) { radius ? dc->FillRoundedRectangle(rr, br) : dc->FillRectangle(r, br); },
                [&](ID2D1Brush* br) {
                    radius ? dc->DrawRoundedRectangle(rr, br, width, stroke) : dc->DrawRectangle(r, br, width, stroke);
                });
        });
    }

    void ellipse(Point c, float rx, float ry) override {
        D2D1_ELLIPSE el = D2D1::Ellipse(p2(c), std::fabs(rx), std::fabs(ry));
        D2D1_RECT_F r = D2D1::RectF(c.x - std::fabs(rx), c.y - std::fabs(ry), c.x + std::fabs(rx), c.y + std::fabs(ry));
        with_shadows(r, [&] {
            paint(
                r, [&](ID2D1Brush* br) { dc->FillEllipse(el, br); },
                [&](ID2D1Brush* br) { dc->DrawEllipse(el, br, width, stroke); });
        });
    }

    void arc(Point c, Point r, float begin, float sweep, bool closed) override {
        if (sweep >= 359.99899f || sweep <= -359.99899f) {
            D2D1_ELLIPSE el = D2D1::Ellipse(p2(c), std::fabs(r.x), std::fabs(r.y));
            D2D1_RECT_F b = D2D1::RectF(c.x - r.x, c.y - r.y, c.x + r.x, c.y + r.y);
            paint(
                b, [&](ID2D1Brush* br) { dc->FillEllipse(el, br); },
                [&](ID2D1Brush* br) { dc->DrawEllipse(el, br, width, stroke); });
            return;
        }
        const float rad = 3.14159265f / 180.0f;
        double a0 = double(begin * rad), a1 = double((begin + sweep) * rad);
        if (r.x != r.y) {
            a0 = std::atan2(r.x * std::sin(a0), r.y * std::cos(a0));
            a1 = std::atan2(r.x * std::sin(a1), r.y * std::cos(a1));
            if (std::fabs(a1 - a0) > 3.14159265358979) {
                if (a1 > a0) a1 -= 2 * 3.14159265358979;
                else a0 -= 2 * 3.14159265358979;
            }
        }
        D2D1_POINT_2F start = D2D1::Point2F(c.x + r.x * float(std::cos(a0)), c.y + r.y * float(std::sin(a0)));
        D2D1_POINT_2F end = D2D1::Point2F(c.x + r.x * float(std::cos(a1)), c.y + r.y * float(std::sin(a1)));
        ID2D1PathGeometry* g = nullptr;
        ID2D1GeometrySink* sk = nullptr;
        if (FAILED(factory()->CreatePathGeometry(&g)) || FAILED(g->Open(&sk))) {
            release(g);
            return;
        }
        if (closed) {
            sk->BeginFigure(p2(c), D2D1_FIGURE_BEGIN_FILLED);
            sk->AddLine(start);
        } else {
            sk->BeginFigure(start, D2D1_FIGURE_BEGIN_HOLLOW);
        }
        sk->AddArc(D2D1::ArcSegment(end, D2D1::SizeF(r.x, r.y), 0,
                                    sweep >= 0 ? D2D1_SWEEP_DIRECTION_CLOCKWISE : D2D1_SWEEP_DIRECTION_COUNTER_CLOCKWISE,
                                    (sweep >= 180 || sweep <= -180) ? D2D1_ARC_SIZE_LARGE : D2D1_ARC_SIZE_SMALL));
        sk->EndFigure(closed ? D2D1_FIGURE_END_CLOSED : D2D1_FIGURE_END_OPEN);
        sk->Close();
        release(sk);
        paint_geometry(g, closed);
        release(g);
    }

    void curve(const Point* p, int32_t n) override {
        Point c1 = p[1], c2 = p[2], e = p[n - 1];
        if (n == 3) {
            c1 = Point{(p[0].x + 2 * p[1].x) / 3, (p[0].y + 2 * p[1].y) / 3};
            c2 = Point{(p[2].x + 2 * p[1].x) / 3, (p[2].y + 2 * p[1].y) / 3};
        }
        ID2D1PathGeometry* g = nullptr;
        ID2D1GeometrySink* sk = nullptr;
        if (FAILED(factory()->CreatePathGeometry(&g)) || FAILED(g->Open(&sk))) {
            release(g);
            return;
        }
        sk->BeginFigure(p2(p[0]), D2D1_FIGURE_BEGIN_HOLLOW);
        sk->AddBezier(D2D1::BezierSegment(p2(c1), p2(c2), p2(e)));
        sk->EndFigure(D2D1_FIGURE_END_OPEN);
        sk->Close();
        release(sk);
        paint_geometry(g, false);
        release(g);
    }

    void spline(const std::vector<Point>& pts, bool closed) override {
        size_t n = pts.size();
        if (n == 2) return line(pts);
        std::vector<Point> out{pts[0]};
        size_t spans = closed ? n : n - 1;
        auto at = [&](long i) {
            if (closed) return pts[size_t((i % long(n) + long(n)) % long(n))];
            return pts[size_t(std::clamp(i, 0L, long(n) - 1))];
        };
        for (size_t i = 0; i < spans; ++i) {
            Point p0 = at(long(i) - 1), p1 = at(long(i)), q2 = at(long(i) + 1), p3 = at(long(i) + 2);
            for (int k = 1; k <= 25; ++k) {
                float t = float(k) * 0.04f, t2 = t * t, t3 = t2 * t;
                auto f = [&](float a, float b, float c, float d) {
                    return (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (3 * (b - c) + d - a) * t3) / 2;
                };
                out.push_back(Point{f(p0.x, p1.x, q2.x, p3.x), f(p0.y, p1.y, q2.y, p3.y)});
            }
        }
        if (ID2D1PathGeometry* g = figure(out, closed)) {
            paint_geometry(g, closed);
            release(g);
        }
    }

    void text(Point at, const Cell* v) override {
        IDWriteTextLayout* layout = nullptr;
        bool face_text = false;
        if (type_of(v) == TYPE_STRING) {
            if (!format) format = d2d::text_format(nullptr);
            layout = d2d::string_layout(v, format);
        } else {
            const Cell* colour_facet = faces::facet(v, faces::COLOR);
            const Cell* size = faces::facet(v, faces::SIZE);
            if (colour_facet && size && type_of(colour_facet) == TYPE_TUPLE && type_of(size) == TYPE_PAIR) {
                ID2D1SolidColorBrush* b = nullptr;
                uint8_t bytes[12];
                std::memcpy(bytes, &colour_facet->data1, 12);
                uint32_t c = bytes[0] | bytes[1] << 8 | bytes[2] << 16;
                if (SUCCEEDED(dc->CreateSolidColorBrush(d2d::colour(c), &b))) {
                    dc->FillRectangle(D2D1::RectF(at.x, at.y, at.x + float(int32_t(size->data2)),
                                                  at.y + float(int32_t(size->data3))),
                                      b);
                    b->Release();
                }
            }
            layout = d2d::face_layout(v, dc);
            face_text = true;
        }
        if (!layout) return;
        ID2D1SolidColorBrush* pen = nullptr;
        if (brush[0]) brush[0]->QueryInterface(__uuidof(ID2D1SolidColorBrush), reinterpret_cast<void**>(&pen));
        D2D1_COLOR_F old{};
        if (pen) {
            old = pen->GetColor();
            pen->SetColor(d2d::colour(text_colour));
        }
        ID2D1Brush* b = brush[0];
        ID2D1SolidColorBrush* black = nullptr;
        if (!b) {
            dc->CreateSolidColorBrush(d2d::colour(text_colour), &black);
            b = black;
        }
        if (face_text) d2d::draw_backdrops(dc, layout, p2(at));   // those of this face's styles
        if (b) dc->DrawTextLayout(p2(at), layout, b, D2D1_DRAW_TEXT_OPTIONS_ENABLE_COLOR_FONT);
        if (pen) {
            pen->SetColor(old);
            pen->Release();
        }
        release(black);
        release(layout);
    }

    void font(const Cell* f) override {
        release(format);
        format = d2d::text_format(f);
        if (const Cell* c = d2d::field(f, "color"); c && type_of(c) == TYPE_TUPLE) {
            uint8_t bytes[12];
            std::memcpy(bytes, &c->data1, 12);
            text_colour = bytes[0] | bytes[1] << 8 | bytes[2] << 16;
        }
    }

    void image(const ImagePlacement& p) override {
        ID2D1Bitmap* bm = bitmap_of(dc, &p.image);
        if (!bm) return;
        float w = float(image_backend::width_of(&p.image)), h = float(image_backend::height_of(&p.image));
        D2D1_RECT_F src = D2D1::RectF(0, 0, w, h);
        Point shift{0, 0};
        if (p.crop) {
            float x0 = std::max(p.crop_offset.x, 0.0f), y0 = std::max(p.crop_offset.y, 0.0f);
            float x1 = std::min(p.crop_offset.x + p.crop_size.x, w), y1 = std::min(p.crop_offset.y + p.crop_size.y, h);
            if (x1 <= x0 || y1 <= y0) {
                release(bm);
                return;
            }
            src = D2D1::RectF(x0, y0, x1, y1);
            shift = Point{std::min(p.crop_offset.x, 0.0f), std::min(p.crop_offset.y, 0.0f)};
        }
        float sw = src.right - src.left, sh = src.bottom - src.top;
        if (p.count <= 2) {
            Point a = p.count ? p.points[0] : Point{0, 0};
            a = Point{a.x - shift.x, a.y - shift.y};
            D2D1_RECT_F dst = p.count == 2 ? D2D1::RectF(a.x, a.y, p.points[1].x, p.points[1].y)
                                           : D2D1::RectF(a.x, a.y, a.x + sw, a.y + sh);
            dc->DrawBitmap(bm, &dst, 1.0f, D2D1_INTERPOLATION_MODE_HIGH_QUALITY_CUBIC, &src, nullptr);
        } else {
            // The unit square onto the quadrilateral, scaled by the source size.
            const Point* q = p.points;
            float dx1 = q[1].x - q[2].x, dx2 = q[3].x - q[2].x, dx3 = q[0].x - q[1].x + q[2].x - q[3].x;
            float dy1 = q[1].y - q[2].y, dy2 = q[3].y - q[2].y, dy3 = q[0].y - q[1].y + q[2].y - q[3].y;
            float g = 0, hh = 0;
            float den = dx1 * dy2 - dx2 * dy1;
            if ((dx3 != 0 || dy3 != 0) && den != 0) {
                g = (dx3 * dy2 - dx2 * dy3) / den;
                hh = (dx1 * dy3 - dx3 * dy1) / den;
            }
            float a = q[1].x - q[0].x + g * q[1].x, b = q[3].x - q[0].x + hh * q[3].x;
            float d = q[1].y - q[0].y + g * q[1].y, e = q[3].y - q[0].y + hh * q[3].y;
            D2D1_MATRIX_4X4_F m{};
            m._11 = a / sw, m._12 = d / sw, m._14 = g / sw;
            m._21 = b / sh, m._22 = e / sh, m._24 = hh / sh;
            m._33 = 1;
            m._41 = q[0].x, m._42 = q[0].y, m._44 = 1;
            D2D1_RECT_F dst = D2D1::RectF(0, 0, sw, sh);
            dc->DrawBitmap(bm, &dst, 1.0f, D2D1_INTERPOLATION_MODE_HIGH_QUALITY_CUBIC, &src, &m);
        }
        release(bm);
    }

    void shadow_off() override { shadows.clear(); }
    void shadow(const Shadow& s) override { shadows.push_back(s); }

    // ---- Paths

    void begin_path(bool draw) override {
        release(sink);
        release(path);
        path_draw = draw;
        last = Point{0, 0};
        if (FAILED(factory()->CreatePathGeometry(&path)) || FAILED(path->Open(&sink))) {
            release(path);
            return;
        }
        if (!draw) sink->SetFillMode(D2D1_FILL_MODE_WINDING);
        sink->BeginFigure(D2D1::Point2F(0, 0), begin_mode());
    }
    D2D1_FIGURE_BEGIN begin_mode() { return path_draw && !kind[1] ? D2D1_FIGURE_BEGIN_HOLLOW : D2D1_FIGURE_BEGIN_FILLED; }
    void path_move(Point p) override {
        last = p;
        if (!sink) return;
        sink->EndFigure(D2D1_FIGURE_END_OPEN);
        sink->BeginFigure(p2(p), begin_mode());
    }
    void path_line(Point p) override {
        last = p;
        if (sink) sink->AddLine(p2(p));
    }
    void path_arc(Point e, float rx, float ry, float angle, bool sweep, bool large) override {
        last = e;
        if (sink)
            sink->AddArc(D2D1::ArcSegment(p2(e), D2D1::SizeF(rx, ry), angle,
                                          sweep ? D2D1_SWEEP_DIRECTION_CLOCKWISE : D2D1_SWEEP_DIRECTION_COUNTER_CLOCKWISE,
                                          large ? D2D1_ARC_SIZE_LARGE : D2D1_ARC_SIZE_SMALL));
    }
    void path_curve(Point c1, Point c2, Point e) override {
        last = e;
        if (sink) sink->AddBezier(D2D1::BezierSegment(p2(c1), p2(c2), p2(e)));
    }
    void path_qcurve(Point c, Point e) override {
        last = e;
        if (sink) sink->AddQuadraticBezier(D2D1::QuadraticBezierSegment(p2(c), p2(e)));
    }
    void path_close() override {
        if (!sink) return;
        // The figure closes; the next begins where the last ended.
        sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        sink->BeginFigure(current_point(), begin_mode());
    }
    Point last{0, 0};
    D2D1_POINT_2F current_point() { return p2(last); }
    void end_path() override {
        if (!sink) return;
        sink->EndFigure(D2D1_FIGURE_END_OPEN);
        sink->Close();
        release(sink);
        paint_geometry(path, kind[1] != 0);
        release(path);
    }
    void clip_path() override {
        if (!sink) return;
        sink->EndFigure(D2D1_FIGURE_END_CLOSED);
        sink->Close();
        release(sink);
        dc->PushLayer(D2D1::LayerParameters(D2D1::InfiniteRect(), path, D2D1_ANTIALIAS_MODE_PER_PRIMITIVE,
                                            D2D1::IdentityMatrix(), 1.0f, nullptr,
                                            D2D1_LAYER_OPTIONS_NONE),
                      nullptr);
        clips.push_back(false);
        release(path);
    }
    void drop_path() override {
        release(sink);
        release(path);
    }

    // ---- Clips, state, transformations

    void clip_rect(Point a, Point b) override {
        D2D1_RECT_F r = D2D1::RectF(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
        D2D1_MATRIX_3X2_F m;
        dc->GetTransform(&m);
        if (clips.size() < 32 && std::fabs(m._12) < 0.000001f && std::fabs(m._21) < 0.000001f) {
            dc->PushAxisAlignedClip(r, D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
            clips.push_back(true);
        } else {
            dc->PushLayer(D2D1::LayerParameters(r), nullptr);
            clips.push_back(false);
        }
    }

    void pop_clip() override {
        if (clips.empty()) return;
        if (clips.back()) dc->PopAxisAlignedClip();
        else dc->PopLayer();
        clips.pop_back();
    }

    bool push_state() override {
        Saved s{};
        if (FAILED(factory()->CreateDrawingStateBlock(&s.block))) {
            std::fputs("OS-draw-state-push failed\n", stdout);
            return false;
        }
        dc->SaveDrawingState(s.block);
        for (int i = 0; i < 2; ++i) {
            s.brush[i] = brush[i];
            if (brush[i]) brush[i]->AddRef();
            s.kind[i] = kind[i];
            s.colour[i] = colour[i];
        }
        s.stroke = stroke;
        if (stroke) stroke->AddRef();
        s.join = join;
        s.cap = cap;
        s.dashes = dashes;
        s.format = format;
        if (format) format->AddRef();
        s.text_colour = text_colour;
        s.width = width;
        s.saved_pen_kind = saved_pen_kind;
        s.shadows = shadows;
        s.clips = clips.size();
        states.push_back(s);
        return true;
    }

    void pop_state() override {
        if (states.empty()) return;
        Saved s = states.back();
        states.pop_back();
        while (clips.size() > s.clips) pop_clip();
        dc->RestoreDrawingState(s.block);
        release(s.block);
        for (int i = 0; i < 2; ++i) {
            release(brush[i]);
            brush[i] = s.brush[i];
            kind[i] = s.kind[i];
            colour[i] = s.colour[i];
        }
        release(stroke);
        stroke = s.stroke;
        join = s.join;
        cap = s.cap;
        dashes = s.dashes;
        release(format);
        format = s.format;
        text_colour = s.text_colour;
        width = s.width;
        saved_pen_kind = s.saved_pen_kind;
        shadows = s.shadows;
    }

    // The brush a target addresses, when its transformation can change.
    ID2D1Brush* brush_for(int32_t target) {
        int32_t s = slot(target);
        return kind[s] >= 2 ? brush[s] : nullptr;
    }

    void transform(int32_t target, const Matrix& m) override {
        D2D1_MATRIX_3X2_F cur;
        if (target == TARGET_CANVAS) {
            dc->GetTransform(&cur);
            dc->SetTransform(m32(multiply(m, mat(cur))));
        } else if (ID2D1Brush* b = brush_for(target)) {
            b->GetTransform(&cur);
            b->SetTransform(m32(multiply(m, mat(cur))));
        }
    }

    void reset_matrix(int32_t target) override {
        if (target == TARGET_CANVAS) dc->SetTransform(D2D1::Matrix3x2F::Identity());
        else if (ID2D1Brush* b = brush_for(target)) b->SetTransform(D2D1::Matrix3x2F::Identity());
    }

    void invert_matrix(int32_t target) override {
        D2D1_MATRIX_3X2_F cur;
        if (target == TARGET_CANVAS) {
            dc->GetTransform(&cur);
            Matrix m = mat(cur);
            if (invert(&m)) dc->SetTransform(m32(m));
        } else if (ID2D1Brush* b = brush_for(target)) {
            b->GetTransform(&cur);
            Matrix m = mat(cur);
            if (invert(&m)) b->SetTransform(m32(m));
        }
    }

    void finish() {
        while (!patterns.empty()) end_pattern(TARGET_PEN, false, Point{0, 0}, ImageBrush{});
        while (!states.empty()) pop_state();
        while (!clips.empty()) pop_clip();
    }
};

// ---- Opening and closing -----------------------------------------------------------------

Canvas* open_window(uint32_t hwnd_word, const Cell* face, bool layered) {
    HWND hwnd = reinterpret_cast<HWND>(uintptr_t(hwnd_word));
    d2d::WindowTarget* target = d2d::window_target(hwnd);
    if (!target || !target->bitmap) return nullptr;
    auto* c = new D2DCanvas;
    c->dc = d2d::devices().context;
    c->dc->AddRef();
    c->window = target;
    c->dc->SetTarget(target->bitmap);
    c->dc->SetDpi(d2d::devices().dpi, d2d::devices().dpi);
    c->start();
    c->dc->SetTextAntialiasMode(layered ? D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE : D2D1_TEXT_ANTIALIAS_MODE_CLEARTYPE);
    // The face's background: its colour (or nothing), its image, its text.
    const Cell* col = faces::facet(face, faces::COLOR);
    uint32_t bg = 0xFFFFFFFF;
    if (col && type_of(col) == TYPE_TUPLE) {
        uint8_t bytes[12];
        std::memcpy(bytes, &col->data1, 12);
        uint32_t n = (col->header >> 19) & 15;
        bg = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(n == 4 ? bytes[3] : 0) << 24;
    }
    c->dc->Clear(d2d::colour(bg));
    const Cell* img = faces::facet(face, faces::IMAGE);
    const Cell* size = faces::facet(face, faces::SIZE);
    if (img && type_of(img) == TYPE_IMAGE && size && type_of(size) == TYPE_PAIR) {
        ImagePlacement p;
        p.image = *img;
        p.count = 2;
        p.points[1] = Point{float(int32_t(size->data2)), float(int32_t(size->data3))};
        c->image(p);
    }
    const Cell* text_facet = faces::facet(face, faces::TEXT);
    if (text_facet && type_of(text_facet) == TYPE_STRING && !faces::type_is(face, "window")) {
        // Copies: the font's format may allocate, which may move the face's values.
        Cell text = *text_facet;
        Cell font = *faces::facet(face, faces::FONT);
        gc::CellRoot keep_text(&text), keep_font(&font);
        c->font(&font);
        if (!(type_of(&font) == TYPE_OBJECT && d2d::field(&font, "color")))
            c->text_colour = uint32_t(GetSysColor(COLOR_WINDOWTEXT)) & 0xFFFFFF;
        c->text(Point{0, 0}, &text);
        release(c->format);
    }
    return c;
}

Canvas* open_image(const Cell* image) {
    d2d::init();
    d2d::Devices& dev = d2d::devices();
    image_backend::Bitmap* bm = image_backend::bitmap(image);
    if (!dev.factory || !dev.wic || !bm) return nullptr;
    auto* c = new D2DCanvas;
    c->target_image = *image;
    if (FAILED(dev.wic->CreateBitmap(bm->width, bm->height, GUID_WICPixelFormat32bppPBGRA, WICBitmapCacheOnLoad,
                                     &c->wic_bitmap))) {
        delete c;
        return nullptr;
    }
    // The image's pixels, premultiplied, are the starting picture.
    {
        WICRect all{0, 0, INT(bm->width), INT(bm->height)};
        IWICBitmapLock* lock = nullptr;
        if (SUCCEEDED(c->wic_bitmap->Lock(&all, WICBitmapLockWrite, &lock))) {
            UINT stride = 0, size = 0;
            BYTE* data = nullptr;
            lock->GetStride(&stride);
            lock->GetDataPointer(&size, &data);
            const uint32_t* px = bm->pixels();
            for (uint32_t y = 0; y < bm->height; ++y) {
                auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
                for (uint32_t x = 0; x < bm->width; ++x) {
                    uint32_t p = px[y * bm->width + x], a = p >> 24;
                    row[x] = a << 24 | (((p >> 16) & 0xFF) * a / 255) << 16 | (((p >> 8) & 0xFF) * a / 255) << 8 |
                             ((p & 0xFF) * a / 255);
                }
            }
            lock->Release();
        }
    }
    D2D1_RENDER_TARGET_PROPERTIES props = D2D1::RenderTargetProperties();
    ID2D1Factory* f = dev.factory;
    if (FAILED(f->CreateWicBitmapRenderTarget(c->wic_bitmap, props, &c->wic_target)) ||
        FAILED(c->wic_target->QueryInterface(__uuidof(ID2D1DeviceContext), reinterpret_cast<void**>(&c->dc)))) {
        std::fputs("CreateWicBitmapRenderTarget failed in draw-begin\n", stdout);
        release(c->wic_target);
        release(c->wic_bitmap);
        delete c;
        return nullptr;
    }
    c->start();
    c->dc->SetTextAntialiasMode(D2D1_TEXT_ANTIALIAS_MODE_GRAYSCALE);
    c->dc->PushAxisAlignedClip(D2D1::RectF(0, 0, float(bm->width), float(bm->height)), D2D1_ANTIALIAS_MODE_ALIASED);
    return c;
}

void close(Canvas* canvas, bool layered) {
    auto* c = static_cast<D2DCanvas*>(canvas);
    c->finish();
    if (c->wic_target) c->dc->PopAxisAlignedClip();
    HRESULT hr = c->dc->EndDraw();
    (void)hr;
    if (c->window) {
        c->dc->SetTarget(nullptr);
        if (!layered) d2d::present(c->window);
    }
    if (c->wic_bitmap) {
        // The drawn pixels go back into the image, straight alpha again.
        image_backend::Bitmap* bm = image_backend::bitmap(&c->target_image);
        WICRect all{0, 0, INT(bm ? bm->width : 0), INT(bm ? bm->height : 0)};
        IWICBitmapLock* lock = nullptr;
        if (bm && SUCCEEDED(c->wic_bitmap->Lock(&all, WICBitmapLockRead, &lock))) {
            UINT stride = 0, size = 0;
            BYTE* data = nullptr;
            lock->GetStride(&stride);
            lock->GetDataPointer(&size, &data);
            uint32_t* px = bm->pixels();
            for (uint32_t y = 0; y < bm->height; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
                for (uint32_t x = 0; x < bm->width; ++x) {
                    uint32_t p = row[x], a = p >> 24;
                    auto un = [&](uint32_t v) { return a ? std::min<uint32_t>(255, v * 255 / a) : 0; };
                    px[y * bm->width + x] = a << 24 | un((p >> 16) & 0xFF) << 16 | un((p >> 8) & 0xFF) << 8 | un(p & 0xFF);
                }
            }
            lock->Release();
            image_backend::touch(&c->target_image);
        }
    }
    release(c->wic_target);
    release(c->wic_bitmap);
    release(c->dc);
    delete c;
}

void release_window(uint32_t hwnd) { d2d::release_window_target(reinterpret_cast<HWND>(uintptr_t(hwnd))); }

void use_gpu(bool hardware) {
    if (d2d::devices().context) d2d::create_device(hardware);
}

const Backend DIRECT2D = {"direct2d", open_window, open_image, close, release_window, use_gpu};

}  // namespace

const Backend* native_backend() {
    if (!d2d::init() && !d2d::devices().factory) return nullptr;
    return &DIRECT2D;
}

}  // namespace qor::gui::draw
