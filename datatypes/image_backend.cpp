// The image backend's in-memory side: bitmaps, handle records, copies and
// the resource life cycle.
#include "datatypes/image_backend.hpp"

#include <cstring>

#include "datatypes/binary.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/tuple.hpp"
#include "runtime/collector.hpp"
#include "runtime/heap.hpp"
#include "runtime/memory.hpp"
#include "runtime/resources.hpp"

namespace qor::image_backend {

namespace {

// The handle record's words.
enum : uint32_t { REC_FLAGS, REC_BITMAP, REC_CACHE, REC_SIZE, REC_RESOURCE, REC_GUI, REC_WORDS };
constexpr uint32_t RECORD_BYTES = REC_WORDS * 4;

int32_t image_type = 0;   // the resource type's index
Codecs installed{};

uint32_t* record_of(const Cell* image) {
    Node node = cell_node(image);
    if (!node || !*node) return nullptr;
    SeriesBuffer* s = buffer_of(node);
    if (s->byte_length() < RECORD_BYTES) return nullptr;
    return reinterpret_cast<uint32_t*>(s->head);
}

// Releases a bitmap whose record was never made.
struct BitmapGuard {
    Bitmap* bitmap;
    ~BitmapGuard() { discard(bitmap); }
};

}  // namespace

void init() {
    image_type = resource_types::register_type("image", release);
    gc::set_image_mark_hook(gc_mark);
}

Bitmap* alloc_bitmap(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || width > MAX_SIDE || height > MAX_SIDE) return nullptr;
    uint64_t bytes = uint64_t(width) * height * 4;
    if (bytes > MAX_BYTES) return nullptr;
    auto* b = static_cast<Bitmap*>(heap::alloc(sizeof(Bitmap) + size_t(bytes)));
    b->width = width;
    b->height = height;
    return b;
}

void discard(Bitmap* bitmap) {
    if (bitmap) heap::free(bitmap);
}

Cell adopt(Bitmap* bitmap) {
    BitmapGuard guard{bitmap};
    Node node = memory::alloc_bytes(RECORD_BYTES);   // may collect: the bitmap is not registered yet
    SeriesBuffer* s = buffer_of(node);
    uint32_t* rec = reinterpret_cast<uint32_t*>(s->head);
    std::memset(rec, 0, RECORD_BYTES);
    s->tail = s->head + RECORD_BYTES;
    rec[REC_BITMAP] = reinterpret_cast<uint32_t>(bitmap);
    rec[REC_SIZE] = bitmap->height << 16 | bitmap->width;
    rec[REC_RESOURCE] = uint32_t(resource_table::alloc_record(reinterpret_cast<uint32_t>(bitmap), uint32_t(image_type)));
    guard.bitmap = nullptr;
    Cell c{TYPE_IMAGE, 0, 0, bitmap->height << 16 | bitmap->width};
    set_cell_node(&c, node);
    return c;
}

Cell make(int32_t width, int32_t height, const Cell* rgb, const Cell* alpha, const Cell* colour) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if (width == 0 || height == 0) {
        Cell c = empty();
        c.data3 = uint32_t(height & 0xFFFF) << 16 | uint32_t(width & 0xFFFF);
        // A side above 16 bits cannot be kept even without pixels.
        if (uint32_t(width) > MAX_SIDE || uint32_t(height) > MAX_SIDE) raise_error("internal", "no-memory");
        return c;
    }
    Bitmap* b = alloc_bitmap(uint32_t(width), uint32_t(height));
    if (!b) raise_error("internal", "no-memory");
    uint32_t n = b->count();
    uint32_t* px = b->pixels();
    if (colour) {
        uint8_t t[tuple::MAX_COUNT];
        tuple::get_bytes(colour, t);
        uint32_t a = tuple::count(colour) >= 4 ? 255u - t[3] : 255u;
        uint32_t p = a << 24 | uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | t[2];
        for (uint32_t i = 0; i < n; i++) px[i] = p;
    } else {
        // No allocation from here on: the binaries' bytes stay put.
        const uint8_t* rgb_bytes = rgb ? binary::data_at_index(rgb) : nullptr;
        uint32_t rgb_pixels = rgb ? binary::length_from_index(rgb) / 3 : 0;
        const uint8_t* alpha_bytes = alpha ? binary::data_at_index(alpha) : nullptr;
        uint32_t alpha_pixels = alpha ? binary::length_from_index(alpha) : 0;
        for (uint32_t i = 0; i < n; i++) {
            uint32_t p = 0x00FFFFFFu;
            if (i < rgb_pixels) {
                const uint8_t* c = rgb_bytes + 3 * i;
                p = uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | c[2];
            }
            uint32_t a = i < alpha_pixels ? 255u - alpha_bytes[i] : 255u;
            px[i] = a << 24 | p;
        }
    }
    return adopt(b);
}

Bitmap* bitmap(const Cell* image) {
    uint32_t* rec = record_of(image);
    if (!rec || !rec[REC_BITMAP]) return nullptr;
    // The record must still own this bitmap: a stale handle reads as none.
    const resource_table::Entry* e = resource_table::entry(int32_t(rec[REC_RESOURCE]));
    if (!e || e->handle != rec[REC_BITMAP] || (e->type & 0xFFu) != uint32_t(image_type)) return nullptr;
    return reinterpret_cast<Bitmap*>(rec[REC_BITMAP]);
}

void touch(const Cell* image) {
    if (uint32_t* rec = record_of(image)) rec[REC_FLAGS] |= FLAG_WRITTEN;
}

Cell copy_part(const Cell* image, int32_t x, int32_t y, int32_t width, int32_t height) {
    Bitmap* src = bitmap(image);
    if (!src || x < 0 || y < 0 || uint32_t(x) >= src->width || uint32_t(y) >= src->height) return empty();
    if (width > int32_t(src->width) - x) width = int32_t(src->width) - x;
    if (height > int32_t(src->height) - y) height = int32_t(src->height) - y;
    if (width < 1 || height < 1) return empty();
    Bitmap* b = alloc_bitmap(uint32_t(width), uint32_t(height));
    if (!b) raise_error("internal", "no-memory");
    for (int32_t row = 0; row < height; row++)
        std::memcpy(b->pixels() + size_t(row) * uint32_t(width),
                    src->pixels() + size_t(y + row) * src->width + uint32_t(x), size_t(width) * 4);
    return adopt(b);
}

void gc_mark(Cell* image) {
    gc::mark_node(&image->data2);
    if (uint32_t* rec = record_of(image)) resource_table::mark(int32_t(rec[REC_RESOURCE]), 0);
}

void release(uint32_t handle) { discard(reinterpret_cast<Bitmap*>(handle)); }

void          set_codecs(const Codecs& codecs) { installed = codecs; }
const Codecs& codecs() { return installed; }

}  // namespace qor::image_backend
