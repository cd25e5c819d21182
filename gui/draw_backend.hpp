// The drawing backend under the draw dialect: the operations one drawing
// performs (a `Canvas`), and the table that opens and closes drawings on a
// window or an image.  The dialect's walker (gui/draw_dialect.*) checks the
// commands and calls a canvas; the Direct2D backend (gui/backend/d2d_*.cpp,
// qor.exe only) and the recording stand-in (gui/draw_recorder.*) implement it.
#pragma once
#include <cstdint>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::gui::draw {

struct Point {
    float x, y;
};

// A 3x2 matrix acting on row vectors: (x y 1) x M.
struct Matrix {
    float m11, m12, m21, m22, dx, dy;
};
Matrix identity();
Matrix multiply(const Matrix& a, const Matrix& b);   // a acts first, then b
Matrix rotation(float degrees, Point centre);         // clockwise on the screen
Matrix scaling(float sx, float sy, Point centre);
Matrix skewing(float x_degrees, float y_degrees, Point centre);
Matrix translation(float dx, float dy);
bool   invert(Matrix* m);                             // false (m unchanged) when singular

// Which brush a `pen` argument or a transformation addresses.
enum Target : int32_t { TARGET_CANVAS = 0, TARGET_PEN = 1, TARGET_FILL = 2 };

enum GradientKind : int32_t { GRADIENT_LINEAR = 0, GRADIENT_RADIAL = 1, GRADIENT_DIAMOND = 2 };
enum Spread : int32_t { SPREAD_PAD = 0, SPREAD_REPEAT = 1, SPREAD_REFLECT = 2 };
enum Tile : int32_t { TILE = 0, TILE_FLIP_X = 1, TILE_FLIP_Y = 2, TILE_FLIP_XY = 3, TILE_CLAMP = 4 };

// The most stops one gradient may have.
constexpr int32_t MAX_STOPS = 256;

struct GradientStop {
    float    offset;
    uint32_t colour;   // R | G << 8 | B << 16 | transparency << 24
};

struct Gradient {
    int32_t kind = GRADIENT_LINEAR;
    std::vector<GradientStop> stops;
    bool    fixed = false;        // geometry given: kept as is; else fitted to each shape
    int32_t point_count = 0;      // linear: start end; radial: centre [focal]; diamond: 2 or 3 points
    Point   points[3]{};
    float   radius = 0;           // radial
    bool    focal = false;
    int32_t spread = SPREAD_PAD;
    bool    has_matrix = false;   // the older form sets the brush transformation
    Matrix  matrix{};
};

struct ImageBrush {
    bool    has_start = false, has_end = false;
    Point   start{}, end{};
    int32_t tile = TILE;
};

struct Shadow {
    float    dx, dy, blur, spread;
    uint32_t colour;
    bool     inset;
};

struct ImagePlacement {
    Cell    image;          // an image! with pixels
    int32_t count = 0;      // destination points: 0 to 4
    Point   points[4]{};
    bool    crop = false;
    Point   crop_offset{}, crop_size{};
};

// One drawing.  Coordinates are logical units as written in the block.
class Canvas {
public:
    virtual ~Canvas() = default;

    // Brushes (target TARGET_PEN or TARGET_FILL).
    virtual void solid(int32_t target, uint32_t colour) = 0;
    virtual void brush_off(int32_t target) = 0;
    virtual void gradient(int32_t target, const Gradient& g) = 0;
    // A pattern: the block between begin and end draws onto an offscreen
    // cell with the state saved and the identity transformation.
    virtual void begin_pattern(int32_t target) = 0;
    virtual void end_pattern(int32_t target, bool made, Point size, const ImageBrush& spec) = 0;
    virtual void bitmap_brush(int32_t target, const Cell* image, const ImageBrush& spec) = 0;

    // Line style.
    virtual void line_width(float width) = 0;
    virtual void line_join(int32_t join) = 0;   // 0 miter, 1 bevel, 2 round, 3 miter-or-bevel
    virtual void line_cap(int32_t cap) = 0;     // 0 flat, 1 square, 2 round
    virtual void line_pattern(const std::vector<float>& dashes) = 0;   // empty: solid
    virtual void anti_alias(bool on) = 0;

    // Primitives.
    virtual void line(const std::vector<Point>& points) = 0;
    virtual void polygon(const std::vector<Point>& points) = 0;
    virtual void box(Point a, Point b, float radius) = 0;
    virtual void ellipse(Point centre, float rx, float ry) = 0;
    virtual void arc(Point centre, Point radii, float begin, float sweep, bool closed) = 0;
    virtual void curve(const Point* points, int32_t count) = 0;   // 3: quadratic, 4: cubic
    virtual void spline(const std::vector<Point>& points, bool closed) = 0;
    virtual void text(Point at, const Cell* value) = 0;   // a string! or a face object!
    virtual void font(const Cell* font) = 0;
    virtual void image(const ImagePlacement& placement) = 0;
    virtual void shadow_off() = 0;
    virtual void shadow(const Shadow& s) = 0;

    // Paths of the shape sub-dialect; a clip path ends in clip_path.
    virtual void begin_path(bool draw) = 0;
    virtual void path_move(Point p) = 0;
    virtual void path_line(Point p) = 0;
    virtual void path_arc(Point end, float rx, float ry, float angle, bool sweep, bool large) = 0;
    virtual void path_curve(Point c1, Point c2, Point end) = 0;
    virtual void path_qcurve(Point c, Point end) = 0;
    virtual void path_close() = 0;
    virtual void end_path() = 0;    // fills and strokes the shape
    virtual void clip_path() = 0;   // the path becomes a clip
    virtual void drop_path() = 0;   // a path whose block failed: neither drawn nor clipped

    // Clips, state and transformations.
    virtual void clip_rect(Point a, Point b) = 0;
    virtual void pop_clip() = 0;
    virtual bool push_state() = 0;   // false: nothing was saved
    virtual void pop_state() = 0;
    virtual void transform(int32_t target, const Matrix& m) = 0;   // m acts first
    virtual void reset_matrix(int32_t target) = 0;
    virtual void invert_matrix(int32_t target) = 0;
};

// Opening and closing drawings.  open_* answer null when nothing can be
// drawn (the drawing then does nothing); close presents a window's frame
// unless `layered`, and frees the canvas.
struct Backend {
    const char* name;
    Canvas* (*open_window)(uint32_t hwnd, const Cell* face, bool layered);
    Canvas* (*open_image)(const Cell* image);
    void    (*close)(Canvas* canvas, bool layered);
    void    (*release_window)(uint32_t hwnd);   // a window is destroyed: its target goes
    void    (*use_gpu)(bool hardware);          // the device is made again, on the GPU or not
};

// The backend of drawings on images, and on windows of the window system
// in use: the native one in qor.exe (QOR_DRAW_BACKEND=record asks for the
// stand-in), the recording stand-in otherwise.
const Backend& image_backend();
const Backend& window_backend();
// Direct2D in qor.exe (gui/backend/), null in the native build.
const Backend* native_backend();

// What the window procedure calls on WM_PAINT of a face's window: draws its
// `draw` facet (the background first), then, when `drawing_event` is given,
// calls it with the drawing still open so that an actor's `draw-face`
// reaches this window's canvas; errors of the block are printed, the paint
// always completes.  Runs behind its own catch-everything barrier.
void paint_face(uint32_t hwnd, const Cell* face, void (*drawing_event)(uint32_t hwnd) = nullptr);

// The canvas a paint of that window holds open, or null.
Canvas* open_canvas(uint32_t hwnd);

// What the window procedure calls on WM_DESTROY: the window's drawing
// target is released.
void release_window(uint32_t hwnd);

}  // namespace qor::gui::draw
