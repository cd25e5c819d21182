// image!: construction, pixel access by offset and by x/y pair, channels by
// path, rectangles by copy and change, comparison, the loadable text form,
// and decoding and encoding through the image backend's codecs.
#include "datatypes/image.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/value_helpers.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/ownership.hpp"

namespace qor {

using image_backend::Bitmap;
using image_backend::height_of;
using image_backend::width_of;
using number_support::raise_bad_to_arg;
using number_support::raise_invalid_type;

namespace {

inline uint32_t index_of(const Cell* img) { return img->data1; }
inline uint32_t pixel_count(const Cell* img) { return width_of(img) * height_of(img); }

uint32_t pixel_of_tuple(const Cell* t) {
    uint8_t b[tuple::MAX_COUNT];
    tuple::get_bytes(t, b);
    uint32_t a = tuple::count(t) >= 4 ? 255u - b[3] : 255u;
    return a << 24 | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

Cell tuple_of_pixel(uint32_t p) {
    uint8_t b[4] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(255u - (p >> 24))};
    return tuple::make(4, b);
}

// The owner of an owned image hears of each change.
void tell_owner(const Cell* img, const char* action, const Cell* new_value, int32_t index, int32_t count) {
    image_backend::touch(img);
    if (!(img->header & owner::CELL_OWNED_IMAGE)) return;
    const Cell* word = series::word_for(action);
    if (!word) return;
    Cell none{TYPE_NONE, 0, 0, 0};
    owner::notify(img, word, new_value ? new_value : &none, index, count);
}

// Pixel offsets.  Mode 1 (at, pick, poke) counts 1-based from the index, so
// 1 is the pixel at the index, 0 is out of bounds and -1 the pixel before;
// mode 0 (skip) counts 0-based.  The result is clamped to 0..width*height
// and `out_of_bounds` tells whether it names no pixel.
uint32_t pixel_offset(const Cell* img, const Cell* position, int32_t mode, bool* out_of_bounds) {
    int64_t w = width_of(img), h = height_of(img);
    int64_t e = 0;
    bool oob = false;
    // 1. an integer n is n itself
    if (type_of(position) == TYPE_PAIR) {
        // 2. a pair counts x and y: 1-based in mode 1, 0-based in mode 0
        int64_t x = pair::x_of(position), y = pair::y_of(position);
        if (mode == 1) {
            oob = x > w || x <= 0 || y > h || y <= 0;
            e = x + w * (y - 1);
        } else {
            oob = x >= w || x < 0 || y >= h || y < 0;
            e = x + w * y;
        }
    } else {
        e = integer::get_value(position);
    }
    // 3. relative to the index
    int64_t a = e + int64_t(index_of(img)) - mode;
    if (mode == 1 && e <= 0) a += 1;
    // 4. clamped, and out of bounds when it names no pixel
    int64_t total = w * h;
    int64_t r = a < 0 ? 0 : a > total ? total : a;
    if (e == 0 || a < 0 || r >= total) oob = true;
    if (out_of_bounds) *out_of_bounds = oob;
    return uint32_t(r);
}

Bitmap* pixels_or_null(const Cell* img) { return pixel_count(img) ? image_backend::bitmap(img) : nullptr; }

// Writes one pixel from a tuple, as poke does.
void put_pixel(const Cell* img, uint32_t offset, const Cell* value) {
    if (type_of(value) != TYPE_TUPLE) raise_error("script", "invalid-arg", value);
    Bitmap* b = pixels_or_null(img);
    if (!b || offset >= b->count()) raise_error("script", "out-of-range", value);
    b->pixels()[offset] = pixel_of_tuple(value);
}

// A binary of w*h*bytes_each bytes, filled by `fill` while no allocation runs.
template <typename Fill>
Cell make_binary(uint32_t size, Fill fill) {
    Cell bin = binary::make(nullptr, size);
    SeriesBuffer* s = buffer_of(cell_node(&bin));
    fill(s->head);
    s->tail = s->head + size;
    return bin;
}

// ---- Text -----------------------------------------------------------------------------------

char hex_digit(uint32_t v) { return "0123456789ABCDEF"[v & 15]; }

void new_line(Cell* out, int32_t level, int32_t* limit) {
    string_append_ascii(out, "\n", 1);
    *limit = mold::indent(out, level < 0 ? 0 : level, *limit - 1);
}

// The text of mold and form: make image! [WxH #{RGB...} #{transparency...}].
// Breaks go at the indentation of the value's contents (indent + 1), the
// closing brace one level less.
int32_t serialize(Cell* value_in, Cell* out, bool only, bool flat, bool part, int32_t limit, int32_t indent) {
    Cell value = *value_in;
    gc::CellRoot keep(&value);
    // 1.
    if (!only) {
        string_append_ascii(out, "make image! [", 13);
        limit -= 13;
    }
    // 2.
    std::string size = std::to_string(width_of(&value)) + "x" + std::to_string(height_of(&value));
    string_append_ascii(out, size.c_str(), size.size());
    limit -= int32_t(size.size());
    // 3.
    Bitmap* b = pixels_or_null(&value);
    if (!b) {
        string_append_ascii(out, " #{}", 4);
        limit -= 4;
        if (!only) {
            string_append_ascii(out, "]", 1);
            limit -= 1;
        }
        return limit;
    }
    uint32_t total = b->count();
    uint32_t from = index_of(&value) > total ? total : index_of(&value);
    uint32_t n = total - from;
    // 4.
    string_append_ascii(out, " #{", 3);
    limit -= 3;
    bool breaks = !flat && n >= 8;
    if (breaks) new_line(out, indent + 1, &limit);
    // 5. the output's growth can collect, but the pixels never move
    for (uint32_t i = 0; i < n; i++) {
        uint32_t p = b->pixels()[from + i];
        char digits[6];
        for (int k = 0; k < 6; k++) digits[k] = hex_digit(p >> (20 - 4 * k));
        string_append_ascii(out, digits, 6);
        limit -= 6;
        if (part && limit <= 0) return limit;
        if (!flat && (i + 1) % 10 == 0 && (i + 1 < n || breaks)) new_line(out, indent + 1, &limit);
    }
    // 6.
    if (breaks && n % 10 != 0) new_line(out, indent, &limit);
    string_append_ascii(out, "}", 1);
    limit -= 1;
    // 7. transparency of the whole image, when any pixel is not opaque
    bool translucent = false;
    for (uint32_t i = 0; i < total && !translucent; i++) translucent = (b->pixels()[i] >> 24) != 255;
    if (translucent) {
        string_append_ascii(out, " #{", 3);
        limit -= 3;
        new_line(out, indent + 1, &limit);
        for (uint32_t i = 0; i < total; i++) {
            uint32_t t = 255u - (b->pixels()[i] >> 24);
            char digits[2] = {hex_digit(t >> 4), hex_digit(t)};
            string_append_ascii(out, digits, 2);
            limit -= 2;
            if (part && limit <= 0) return limit;
            if (!flat && (i + 1) % 10 == 0 && i + 1 < total) new_line(out, indent + 1, &limit);
        }
        new_line(out, indent, &limit);
        string_append_ascii(out, "}", 1);
        limit -= 1;
    }
    // 8.
    if (!only) {
        string_append_ascii(out, "]", 1);
        limit -= 1;
    }
    return limit;
}

// The rectangle copy of column/row (x, y) and size, as a new image.
Cell copy_rect(const Cell* img, int64_t x, int64_t y, int64_t w, int64_t h) {
    if (w < 1 || h < 1 || !pixels_or_null(img)) return image_backend::empty();
    return image_backend::copy_part(img, int32_t(x), int32_t(y), int32_t(w), int32_t(h));
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

Cell* image_to(Cell*, Cell* spec);

// make: a size, a block [size rgb alpha] or [size colour], an empty block
// (a copy of an image prototype), or anything `to` takes.
Cell* image_make(Cell* prototype, Cell* spec) {
    Cell made;
    uint32_t t = type_of(spec);
    if (t == TYPE_PAIR) {
        // 1.
        made = image_backend::make(pair::x_of(spec), pair::y_of(spec), nullptr, nullptr, nullptr);
    } else if (t == TYPE_BLOCK) {
        uint32_t n = block::length(spec);
        if (n == 0) {
            // 3.
            if (type_of(prototype) != TYPE_IMAGE) raise_error("script", "invalid-arg", spec);
            return image_to(prototype, prototype);
        }
        // 2.
        Cell size = *block::item(spec, 0);
        if (type_of(&size) != TYPE_PAIR) raise_error("script", "invalid-arg", &size);
        Cell second = n > 1 ? *block::item(spec, 1) : Cell{TYPE_NONE, 0, 0, 0};
        Cell third = n > 2 ? *block::item(spec, 2) : Cell{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep2(&second), keep3(&third);
        const Cell* rgb = nullptr;
        const Cell* colour = nullptr;
        const Cell* alpha = nullptr;
        if (type_of(&second) == TYPE_BINARY) rgb = &second;
        else if (type_of(&second) == TYPE_TUPLE) colour = &second;
        else if (n > 1) raise_error("script", "invalid-arg", &second);
        if (n > 2) {
            if (type_of(&third) != TYPE_BINARY || colour) raise_error("script", "invalid-arg", &third);
            alpha = &third;
        }
        made = image_backend::make(pair::x_of(&size), pair::y_of(&size), rgb, alpha, colour);
    } else {
        // 4.
        return image_to(prototype, spec);
    }
    Cell* result = stack::arguments_base();
    *result = made;
    return result;
}

Cell* image_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);

namespace {
image::FaceCapture g_face_capture = nullptr;
}

namespace image {
void set_face_capture(FaceCapture capture) { g_face_capture = capture; }
}  // namespace image

// to: an image gives its copy, a face its window's capture; anything else
// raises script/bad-to-arg.
Cell* image_to(Cell*, Cell* spec) {
    if (type_of(spec) == TYPE_OBJECT && g_face_capture && system_fields::field(spec, "type") &&
        system_fields::field(spec, "state")) {
        Cell out{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&out);
        g_face_capture(spec, &out);
        Cell* result = stack::arguments_base();
        *result = out;
        return result;
    }
    if (type_of(spec) != TYPE_IMAGE) raise_bad_to_arg(TYPE_IMAGE, spec);
    Cell whole = *spec;
    whole.data1 = 0;
    Cell* result = stack::arguments_base();
    return image_copy(&whole, result, nullptr, false, nullptr);
}

// ---------------------------------------------------------------------------
// Text

int32_t image_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return serialize(value, out, false, false, part != nullptr, limit, 0);
}

int32_t image_mold(Cell* value, Cell* out, bool only, bool, bool flat, Cell* part, int32_t limit, int32_t indent) {
    return serialize(value, out, only, flat, part != nullptr, limit, indent);
}

// ---------------------------------------------------------------------------
// Paths, pick, poke

Cell* image_pick(Cell* value, int32_t index);
Cell* image_poke(Cell* value, int32_t index, Cell* new_value);

namespace {

Cell* pick_at(const Cell* img, const Cell* position) {
    if (type_of(position) == TYPE_PAIR) {
        bool oob;
        uint32_t at = pixel_offset(img, position, 1, &oob);
        if (oob) return none::push_new();
        return image::get_pixel(img, at);
    }
    return image::get_pixel(img, int64_t(index_of(img)) + integer::get_value(position) - 1);
}

void poke_at(const Cell* img, const Cell* position, const Cell* new_value) {
    bool oob;
    uint32_t at = pixel_offset(img, position, 1, &oob);
    if (oob) raise_error("script", "out-of-range", position);
    if (type_of(new_value) != TYPE_TUPLE) raise_error("script", "invalid-arg", new_value);
    put_pixel(img, at, new_value);
    tell_owner(img, "poke", new_value, int32_t(at), 1);
}

int32_t channel_word(const Cell* element) {
    if (!is_any_word(type_of(element))) return -1;
    if (word::spelled(element, "size")) return 3;
    if (word::spelled(element, "argb")) return image::CHANNEL_ARGB;
    if (word::spelled(element, "rgb")) return image::CHANNEL_RGB;
    if (word::spelled(element, "alpha")) return image::CHANNEL_ALPHA;
    return -1;
}

}  // namespace

Cell* image_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell*, Cell*, int32_t, bool,
                      uint32_t, bool, bool) {
    bool setting = new_value != nullptr;
    uint32_t t = type_of(element);
    if (t == TYPE_INTEGER || t == TYPE_PAIR) {
        if (!setting) return pick_at(value, element);
        poke_at(value, element, new_value);
        return new_value;
    }
    int32_t word = channel_word(element);
    if (word < 0) raise_error("script", "invalid-path", path, element);
    if (word == 3) {
        if (setting) raise_error("script", "invalid-path", path, element);
        Cell size = pair::make(int32_t(width_of(value)), int32_t(height_of(value)));
        return stack::push(&size);
    }
    if (!setting) {
        Cell bin = image::channel_to_binary(value, word);
        return stack::push(&bin);
    }
    image::channel_from_value(value, new_value, word);
    return new_value;
}

Cell* image_pick(Cell* value, int32_t index) {
    Cell position = number_support::pick_index_arg(value, index);
    if (type_of(&position) != TYPE_PAIR) position = integer::make(index);
    return pick_at(value, &position);
}

Cell* image_poke(Cell* value, int32_t index, Cell* new_value) {
    Cell position = number_support::pick_index_arg(value, index);
    if (type_of(&position) != TYPE_PAIR) position = integer::make(index);
    poke_at(value, &position, new_value);
    return new_value;
}

// ---------------------------------------------------------------------------
// Comparison: same handle and index are equal; otherwise the pixel counts,
// then the whole pixel buffers bytewise.  Images have no order.

int32_t image_compare(Cell* a, Cell* b, int32_t op) {
    if (type_of(b) != TYPE_IMAGE) return COMPARE_INCOMPARABLE;
    bool same = a->data2 == b->data2 && a->data1 == b->data1;
    if (op == COMP_SAME) return same ? 0 : -1;
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL:
        if (same) return 0;
        [[fallthrough]];
    case COMP_SORT: case COMP_CASE_SORT: case COMP_FIND: {
        uint32_t na = pixel_count(a), nb = pixel_count(b);
        if (na != nb) return na < nb ? -1 : 1;
        Bitmap* pa = pixels_or_null(a);
        Bitmap* pb = pixels_or_null(b);
        if (!pa || !pb) return pa == pb ? 0 : pa ? 1 : -1;
        int r = std::memcmp(pa->pixels(), pb->pixels(), size_t(na) * 4);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    default:
        return COMPARE_INCOMPARABLE;
    }
}

// ---------------------------------------------------------------------------
// Navigation

void image_at() {
    Cell* v = stack::arguments_base();
    v->data1 = pixel_offset(v, v + 1, 1, nullptr);
}

void image_skip() {
    Cell* v = stack::arguments_base();
    v->data1 = pixel_offset(v, v + 1, 0, nullptr);
}

void image_next() {
    Cell* v = stack::arguments_base();
    if (index_of(v) < pixel_count(v)) v->data1++;
}

void image_tail() {
    Cell* v = stack::arguments_base();
    v->data1 = pixel_count(v);
}

void image_tail_q() {
    Cell* v = stack::arguments_base();
    logic::set(v, index_of(v) >= pixel_count(v));
}

// The whole image, whatever the index.
int32_t image_length_q(Cell* value) { return int32_t(pixel_count(value)); }

// ---------------------------------------------------------------------------
// copy and change

Cell* image_copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
    Cell img = *value;
    gc::CellRoot keep(&img);
    int64_t w = width_of(&img), h = height_of(&img);
    int64_t index = index_of(&img);
    int64_t col = w ? index % w : 0, row = w ? index / w : 0;
    Cell made;
    if (!part) {
        // 1.
        made = copy_rect(&img, col, row, w - col, h - row);
    } else if (type_of(part) == TYPE_PAIR) {
        // 2.
        int64_t pw = pair::x_of(part), ph = pair::y_of(part);
        if (pw >= 1 && ph >= 1 && index < w * h) {
            made = copy_rect(&img, col, row, pw, ph);
        } else if (pw < 0 && ph < 0 && index > 0) {
            int64_t x0 = col + pw < 0 ? 0 : col + pw;
            int64_t y0 = row + ph < 0 ? 0 : row + ph;
            made = copy_rect(&img, x0, y0, col - x0, row - y0);
        } else {
            made = image_backend::empty();
        }
    } else if (type_of(part) == TYPE_IMAGE && part->data2 == img.data2) {
        // 3.
        int64_t other = index_of(part);
        int64_t ocol = w ? other % w : 0, orow = w ? other / w : 0;
        int64_t x0 = col < ocol ? col : ocol, y0 = row < orow ? row : orow;
        made = copy_rect(&img, x0, y0, (col > ocol ? col : ocol) - x0, (row > orow ? row : orow) - y0);
    } else if (type_of(part) == TYPE_INTEGER) {
        // 4.
        raise_error("internal", "not-done");
    } else {
        raise_error("script", "invalid-refine-arg", "part", part);
    }
    *result = made;
    return result;
}

Cell* image_change(Cell* series, Cell* value, int32_t part, bool, int32_t dup) {
    if (part != -1 || dup >= 2) raise_error("internal", "not-done");
    Cell* result = stack::arguments_base();
    Cell img = *series;
    gc::CellRoot keep(&img);
    uint32_t index = index_of(&img);
    uint32_t total = pixel_count(&img);
    if (type_of(value) == TYPE_TUPLE) {
        if (index >= total) raise_error("script", "out-of-range", value);
        put_pixel(&img, index, value);
        tell_owner(&img, "change", value, int32_t(index), 1);
        img.data1 = index + 1;
    } else if (type_of(value) == TYPE_IMAGE) {
        Bitmap* dst = pixels_or_null(&img);
        Bitmap* src = pixels_or_null(value);
        if (index < total && dst && src) {
            uint32_t w = dst->width, col = index % w, row = index / w;
            uint32_t cw = src->width < w - col ? src->width : w - col;
            uint32_t ch = src->height < dst->height - row ? src->height : dst->height - row;
            for (uint32_t y = 0; y < ch; y++)
                std::memmove(dst->pixels() + size_t(row + y) * w + col, src->pixels() + size_t(y) * src->width,
                             size_t(cw) * 4);
            tell_owner(&img, "change", value, int32_t(index), int32_t(cw * ch));
            img.data1 = (row + ch - 1) * w + col + cw;
        }
    } else {
        raise_invalid_type(type_of(value));
    }
    *result = img;
    return result;
}

// ---------------------------------------------------------------------------
// Operations offered to other modules

namespace image {

Cell* get_pixel(const Cell* img, int64_t offset) {
    Bitmap* b = pixels_or_null(img);
    if (!b || offset < 0 || offset >= int64_t(b->count())) return none::push_new();
    Cell t = tuple_of_pixel(b->pixels()[offset]);
    return stack::push(&t);
}

Cell channel_to_binary(const Cell* img_in, int32_t mode) {
    Cell img = *img_in;
    gc::CellRoot keep(&img);
    uint32_t n = pixel_count(&img);
    uint32_t each = mode == CHANNEL_ARGB ? 4 : mode == CHANNEL_RGB ? 3 : 1;
    if (!pixels_or_null(&img)) return binary::make(nullptr, 0);
    Cell bin = binary::make(nullptr, n * each);   // may collect; the pixels stay put
    Bitmap* b = pixels_or_null(&img);
    SeriesBuffer* s = buffer_of(cell_node(&bin));
    uint8_t* o = s->head;
    const uint32_t* px = b->pixels();
    for (uint32_t i = 0; i < n; i++) {
        uint32_t p = px[i];
        if (mode == CHANNEL_ARGB) {
            std::memcpy(o, &p, 4);
            o += 4;
        } else if (mode == CHANNEL_RGB) {
            *o++ = uint8_t(p >> 16);
            *o++ = uint8_t(p >> 8);
            *o++ = uint8_t(p);
        } else {
            *o++ = uint8_t(255u - (p >> 24));
        }
    }
    s->tail = o;
    return bin;
}

void channel_from_value(const Cell* img, const Cell* value, int32_t mode) {
    uint32_t t = type_of(value);
    if (t != TYPE_BINARY && t != TYPE_TUPLE && t != TYPE_INTEGER) raise_error("script", "invalid-arg", value);
    Bitmap* b = pixels_or_null(img);
    if (!b) return;
    uint32_t n = b->count();
    uint32_t* px = b->pixels();
    if (t == TYPE_BINARY) {
        const uint8_t* bytes = binary::data_at_index(value);
        uint32_t len = binary::length_from_index(value);
        if (mode == CHANNEL_ARGB) {
            std::memcpy(px, bytes, len < n * 4 ? len : n * 4);
        } else if (mode == CHANNEL_RGB) {
            uint32_t k = len / 3 < n ? len / 3 : n;
            for (uint32_t i = 0; i < k; i++)
                px[i] = (px[i] & 0xFF000000u) | uint32_t(bytes[3 * i]) << 16 | uint32_t(bytes[3 * i + 1]) << 8 |
                        bytes[3 * i + 2];
        } else {
            uint32_t k = len < n ? len : n;
            for (uint32_t i = 0; i < k; i++) px[i] = (px[i] & 0x00FFFFFFu) | (255u - bytes[i]) << 24;
        }
    } else {
        // A tuple is R.G.B[.T]; an integer a colour word T << 24 | R << 16 | G << 8 | B.
        uint32_t colour = t == TYPE_TUPLE ? pixel_of_tuple(value) : uint32_t(integer::get_value(value)) ^ 0xFF000000u;
        uint32_t first = t == TYPE_TUPLE ? (value->data1 & 0xFFu) : uint32_t(integer::get_value(value)) & 0xFFu;
        for (uint32_t i = 0; i < n; i++) {
            if (mode == CHANNEL_ARGB) px[i] = colour;
            else if (mode == CHANNEL_RGB) px[i] = (px[i] & 0xFF000000u) | (colour & 0x00FFFFFFu);
            else px[i] = (px[i] & 0x00FFFFFFu) | (255u - first) << 24;
        }
    }
    tell_owner(img, "change", value, 0, int32_t(n));
}

bool known_signature(const uint8_t* p, uint32_t n) {
    if (n >= 4 && p[0] == 137 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G') return true;
    if (n >= 3 && p[0] == 255 && p[1] == 216 && p[2] == 255) return true;
    if (n >= 2 && p[0] == 'B' && p[1] == 'M') return true;
    if (n >= 6 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0)) return true;
    if (n >= 4 && p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) return true;
    if (n >= 4 && p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42) return true;
    return false;
}

Cell* decode(const Cell* source_in) {
    Cell source = *source_in;
    gc::CellRoot keep(&source);
    const image_backend::Codecs& codecs = image_backend::codecs();
    std::vector<uint8_t> file_bytes;
    const uint8_t* bytes;
    uint32_t length;
    bool from_file = type_of(&source) == TYPE_FILE;
    if (from_file) {
        if (!codecs.read_file || !codecs.read_file(&source, &file_bytes)) raise_error("access", "cannot-open", &source);
        bytes = file_bytes.data();
        length = uint32_t(file_bytes.size());
    } else if (type_of(&source) == TYPE_BINARY) {
        // Copied: decoding runs no allocation of ours, but keep it simple and safe.
        file_bytes.assign(binary::data_at_index(&source),
                          binary::data_at_index(&source) + binary::length_from_index(&source));
        bytes = file_bytes.data();
        length = uint32_t(file_bytes.size());
    } else {
        raise_error("script", "invalid-arg", &source);
    }
    if (!known_signature(bytes, length)) {
        if (from_file) raise_error("access", "cannot-open", &source);
        return none::push_new();
    }
    std::string reason;
    Bitmap* b = codecs.decode ? codecs.decode(bytes, length, &reason) : nullptr;
    if (!b) {
        if (from_file) raise_error("access", "cannot-open", &source);
        raise_error("access", "bad-media");
    }
    Cell img = image_backend::adopt(b);
    return stack::push(&img);
}

Cell* encode(const Cell* img_in, int32_t format) {
    Cell img = *img_in;
    gc::CellRoot keep(&img);
    Bitmap* b = pixels_or_null(&img);
    if (!b) raise_error("access", "bad-media");
    if (format < image_backend::FORMAT_BMP || format > image_backend::FORMAT_TIFF) {
        system_print::TypedRecord line[] = {system_print::string("Cannot find image encoder")};
        system_print::print_line(1, line);
        return unset::push_new();
    }
    std::vector<uint8_t> out;
    const image_backend::Codecs& codecs = image_backend::codecs();
    if (!codecs.encode || !codecs.encode(b, format, &out)) raise_error("access", "bad-media");
    Cell bin = binary::make(out.data(), uint32_t(out.size()));
    return stack::push(&bin);
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_IMAGE);
    set_slot<SLOT_MAKE>(spec, image_make);
    set_slot<SLOT_TO>(spec, image_to);
    set_slot<SLOT_FORM>(spec, image_form);
    set_slot<SLOT_MOLD>(spec, image_mold);
    set_slot<SLOT_EVAL_PATH>(spec, image_eval_path);
    set_slot<SLOT_COMPARE>(spec, image_compare);
    set_slot<SLOT_AT>(spec, image_at);
    inherit_slot(spec, SLOT_BACK);
    set_slot<SLOT_CHANGE>(spec, image_change);
    set_slot<SLOT_COPY>(spec, image_copy);
    inherit_slot(spec, SLOT_HEAD);
    inherit_slot(spec, SLOT_HEAD_Q);
    inherit_slot(spec, SLOT_INDEX_Q);
    set_slot<SLOT_LENGTH_Q>(spec, image_length_q);
    set_slot<SLOT_NEXT>(spec, image_next);
    set_slot<SLOT_PICK>(spec, image_pick);
    set_slot<SLOT_POKE>(spec, image_poke);
    set_slot<SLOT_SKIP>(spec, image_skip);
    set_slot<SLOT_TAIL>(spec, image_tail);
    set_slot<SLOT_TAIL_Q>(spec, image_tail_q);
    inherit_slot(spec, SLOT_MODIFY);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    image_backend::init();
}

}  // namespace image
}  // namespace qor
