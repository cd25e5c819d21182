// The image codecs of the native build: libpng, libjpeg, giflib and libtiff,
// and a small BMP reader and writer of our own.  Every decoder checks the
// header's size against the backend's limits before taking pixel memory,
// and every library error ends in a null bitmap, never in a crash.
#include "services/image_codecs.hpp"

#include <csetjmp>
#include <cstring>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace qor::image_codecs {

using image_backend::Bitmap;

namespace {

inline uint32_t bgra(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

// ---- PNG ------------------------------------------------------------------------------------

struct PngInput {
    const uint8_t* bytes;
    size_t         length;
    size_t         at;
};

void png_read_bytes(png_structp png, png_bytep out, png_size_t n) {
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (in->length - in->at < n) png_error(png, "truncated");
    std::memcpy(out, in->bytes + in->at, n);
    in->at += n;
}

void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_quiet(png_structp, png_const_charp) {}

Bitmap* decode_png(const uint8_t* bytes, uint32_t length) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    PngInput in{bytes, length, 0};
    Bitmap* volatile bitmap = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        image_backend::discard(bitmap);
        delete[] rows;
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    png_set_read_fn(png, &in, png_read_bytes);
    png_set_user_limits(png, image_backend::MAX_SIDE, image_backend::MAX_SIDE);
    png_read_info(png, info);
    uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    int type = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected row size");
    bitmap = image_backend::alloc_bitmap(width, height);
    if (!bitmap) png_error(png, "too large");
    rows = new png_bytep[height];
    for (uint32_t y = 0; y < height; y++) rows[y] = reinterpret_cast<png_bytep>(bitmap->pixels() + size_t(y) * width);
    png_read_image(png, rows);
    delete[] rows;
    Bitmap* done = bitmap;
    png_destroy_read_struct(&png, &info, nullptr);
    return done;
}

void png_write_bytes(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void png_flush_nothing(png_structp) {}

bool encode_png(Bitmap* b, std::vector<uint8_t>* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, png_write_bytes, png_flush_nothing);
    png_set_IHDR(png, info, b->width, b->height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (uint32_t y = 0; y < b->height; y++)
        png_write_row(png, reinterpret_cast<png_const_bytep>(b->pixels() + size_t(y) * b->width));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ---- JPEG -----------------------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr base;
    jmp_buf        jump;
};

void jpeg_fail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void jpeg_quiet(j_common_ptr, int) {}

Bitmap* decode_jpeg(const uint8_t* bytes, uint32_t length) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = jpeg_fail;
    err.base.emit_message = jpeg_quiet;
    Bitmap* volatile bitmap = nullptr;
    if (setjmp(err.jump)) {
        image_backend::discard(bitmap);
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, length);
    jpeg_read_header(&cinfo, TRUE);
    bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    bitmap = image_backend::alloc_bitmap(cinfo.image_width, cinfo.image_height);
    if (!bitmap) longjmp(err.jump, 1);
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width != bitmap->width || cinfo.output_height != bitmap->height) longjmp(err.jump, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        uint32_t* row = bitmap->pixels() + size_t(cinfo.output_scanline) * bitmap->width;
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (cmyk) {
            // Inverted CMYK as Adobe writes it: each channel times K.
            uint8_t* p = reinterpret_cast<uint8_t*>(row);
            for (uint32_t x = 0; x < bitmap->width; x++, p += 4) {
                uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
                row[x] = bgra(c * k / 255, m * k / 255, y * k / 255, 255);
            }
        } else {
            for (uint32_t x = 0; x < bitmap->width; x++) row[x] |= 0xFF000000u;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return bitmap;
}

bool encode_jpeg(Bitmap* b, std::vector<uint8_t>* out) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = jpeg_fail;
    unsigned char* volatile buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = b->width;
    cinfo.image_height = b->height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(b->pixels() + size_t(cinfo.next_scanline) * b->width)};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    buffer = mem;
    out->assign(mem, mem + size);
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return true;
}

// ---- GIF ------------------------------------------------------------------------------------

struct GifInput {
    const uint8_t* bytes;
    size_t         length;
    size_t         at;
};

int gif_read_bytes(GifFileType* gif, GifByteType* out, int n) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    size_t k = in->length - in->at < size_t(n) ? in->length - in->at : size_t(n);
    std::memcpy(out, in->bytes + in->at, k);
    in->at += k;
    return int(k);
}

// The first frame at its own size, in its own or the global colour map,
// its transparent index (from the graphics control block before it) clear.
Bitmap* decode_gif(const uint8_t* bytes, uint32_t length) {
    GifInput in{bytes, length, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, gif_read_bytes, &error);
    if (!gif) return nullptr;
    Bitmap* bitmap = nullptr;
    int transparent = -1;
    std::vector<uint8_t> line;
    for (bool more = true; more;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR) break;
        if (record == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* ext;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) break;
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) transparent = (ext[1] & 1) ? ext[4] : -1;
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) {
                    more = false;
                    break;
                }
            }
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) break;
            const GifImageDesc& d = gif->Image;
            ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
            if (!map || d.Width <= 0 || d.Height <= 0) break;
            bitmap = image_backend::alloc_bitmap(uint32_t(d.Width), uint32_t(d.Height));
            if (!bitmap) break;
            uint32_t w = bitmap->width, h = bitmap->height;
            line.resize(w);
            static const uint32_t starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
            bool ok = true;
            for (int pass = d.Interlace ? 0 : 3; pass < 4 && ok; pass++) {
                uint32_t first = d.Interlace ? starts[pass] : 0, step = d.Interlace ? steps[pass] : 1;
                for (uint32_t y = first; y < h && ok; y += step) {
                    if (DGifGetLine(gif, line.data(), int(w)) == GIF_ERROR) {
                        ok = false;
                        break;
                    }
                    uint32_t* row = bitmap->pixels() + size_t(y) * w;
                    for (uint32_t x = 0; x < w; x++) {
                        uint8_t k = line[x];
                        GifColorType c = k < map->ColorCount ? map->Colors[k] : GifColorType{0, 0, 0};
                        row[x] = bgra(c.Red, c.Green, c.Blue, int(k) == transparent ? 0 : 255);
                    }
                }
            }
            if (!ok) {
                image_backend::discard(bitmap);
                bitmap = nullptr;
            }
            more = false;
        } else {
            break;   // the terminator before any image
        }
    }
    DGifCloseFile(gif, &error);
    return bitmap;
}

int gif_write_bytes(GifFileType* gif, const GifByteType* data, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// 256 colours by median cut; pixels with A below 128 take a transparent index.
bool encode_gif(Bitmap* b, std::vector<uint8_t>* out) {
    uint32_t n = b->count();
    std::vector<GifByteType> r(n), g(n), bl(n), index(n);
    bool any_clear = false;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t p = b->pixels()[i];
        r[i] = GifByteType(p >> 16);
        g[i] = GifByteType(p >> 8);
        bl[i] = GifByteType(p);
        any_clear = any_clear || (p >> 24) < 128;
    }
    int colours = any_clear ? 255 : 256;
    GifColorType palette[256] = {};
    if (GifQuantizeBuffer(b->width, b->height, &colours, r.data(), g.data(), bl.data(), index.data(), palette) ==
        GIF_ERROR)
        return false;
    int clear = -1;
    if (any_clear) {
        clear = colours;
        colours++;
        for (uint32_t i = 0; i < n; i++)
            if ((b->pixels()[i] >> 24) < 128) index[i] = GifByteType(clear);
    }
    int size = 2;
    while (size < colours) size <<= 1;
    int error = 0;
    GifFileType* gif = EGifOpen(out, gif_write_bytes, &error);
    if (!gif) return false;
    ColorMapObject* map = GifMakeMapObject(size, palette);
    bool ok = map && EGifPutScreenDesc(gif, int(b->width), int(b->height), 8, 0, map) != GIF_ERROR;
    if (ok && clear >= 0) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, clear};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) != GIF_ERROR;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, int(b->width), int(b->height), false, nullptr) != GIF_ERROR;
    for (uint32_t y = 0; ok && y < b->height; y++)
        ok = EGifPutLine(gif, index.data() + size_t(y) * b->width, int(b->width)) != GIF_ERROR;
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) == GIF_ERROR) ok = false;
    return ok;
}

// ---- TIFF -----------------------------------------------------------------------------------

struct TiffMemory {
    const uint8_t*        bytes;   // reading
    std::vector<uint8_t>* out;     // writing
    uint64_t              length;
    uint64_t              at;
};

tmsize_t tiff_read(thandle_t h, void* data, tmsize_t n) {
    auto* m = static_cast<TiffMemory*>(h);
    if (!m->bytes || m->at >= m->length) return 0;
    uint64_t k = m->length - m->at < uint64_t(n) ? m->length - m->at : uint64_t(n);
    std::memcpy(data, m->bytes + m->at, size_t(k));
    m->at += k;
    return tmsize_t(k);
}
tmsize_t tiff_write(thandle_t h, void* data, tmsize_t n) {
    auto* m = static_cast<TiffMemory*>(h);
    if (!m->out) return 0;
    if (m->at + uint64_t(n) > m->out->size()) m->out->resize(size_t(m->at + uint64_t(n)));
    std::memcpy(m->out->data() + m->at, data, size_t(n));
    m->at += uint64_t(n);
    return n;
}
toff_t tiff_seek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<TiffMemory*>(h);
    uint64_t size = m->out ? m->out->size() : m->length;
    uint64_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? size : 0;
    m->at = base + off;
    return m->at;
}
int    tiff_close(thandle_t) { return 0; }
toff_t tiff_size(thandle_t h) {
    auto* m = static_cast<TiffMemory*>(h);
    return m->out ? m->out->size() : m->length;
}
int  tiff_map(thandle_t, void**, toff_t*) { return 0; }
void tiff_unmap(thandle_t, void*, toff_t) {}
void tiff_quiet(const char*, const char*, va_list) {}

Bitmap* decode_tiff(const uint8_t* bytes, uint32_t length) {
    TIFFSetErrorHandler(tiff_quiet);
    TIFFSetWarningHandler(tiff_quiet);
    TiffMemory m{bytes, nullptr, length, 0};
    TIFF* tif = TIFFClientOpen("memory", "rm", &m, tiff_read, tiff_write, tiff_seek, tiff_close, tiff_size, tiff_map,
                               tiff_unmap);
    if (!tif) return nullptr;
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    Bitmap* b = image_backend::alloc_bitmap(w, h);
    if (b && !TIFFReadRGBAImageOriented(tif, w, h, b->pixels(), ORIENTATION_TOPLEFT, 0)) {
        image_backend::discard(b);
        b = nullptr;
    }
    TIFFClose(tif);
    if (!b) return nullptr;
    // libtiff packs R in the low byte and premultiplies by alpha: swap R
    // and B and undo the premultiplication.
    for (uint32_t i = 0; i < b->count(); i++) {
        uint32_t p = b->pixels()[i], a = p >> 24;
        uint32_t r = p & 0xFFu, g = p >> 8 & 0xFFu, bl = p >> 16 & 0xFFu;
        if (a && a < 255) {
            r = (r * 255 + a / 2) / a, g = (g * 255 + a / 2) / a, bl = (bl * 255 + a / 2) / a;
            r = r > 255 ? 255 : r, g = g > 255 ? 255 : g, bl = bl > 255 ? 255 : bl;
        }
        b->pixels()[i] = bgra(r, g, bl, a);
    }
    return b;
}

bool encode_tiff(Bitmap* b, std::vector<uint8_t>* out) {
    TIFFSetErrorHandler(tiff_quiet);
    TIFFSetWarningHandler(tiff_quiet);
    TiffMemory m{nullptr, out, 0, 0};
    TIFF* tif = TIFFClientOpen("memory", "w", &m, tiff_read, tiff_write, tiff_seek, tiff_close, tiff_size, tiff_map,
                               tiff_unmap);
    if (!tif) return false;
    uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, b->width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, b->height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, b->height);
    std::vector<uint8_t> row(size_t(b->width) * 4);
    bool ok = true;
    for (uint32_t y = 0; ok && y < b->height; y++) {
        const uint32_t* px = b->pixels() + size_t(y) * b->width;
        for (uint32_t x = 0; x < b->width; x++) {
            row[4 * x] = uint8_t(px[x] >> 16);
            row[4 * x + 1] = uint8_t(px[x] >> 8);
            row[4 * x + 2] = uint8_t(px[x]);
            row[4 * x + 3] = uint8_t(px[x] >> 24);
        }
        ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

// ---- BMP ------------------------------------------------------------------------------------

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// A channel of a bit-field pixel, scaled to 8 bits.
uint32_t field(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    uint32_t bits = 32 - __builtin_clz(mask >> shift);
    uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return c >> (bits - 8);
    uint32_t max = (1u << bits) - 1;
    return (c * 255 + max / 2) / max;
}

// Uncompressed 1, 4, 8, 16, 24 and 32-bit bitmaps, with bit fields.
Bitmap* decode_bmp(const uint8_t* p, uint32_t n) {
    if (n < 26) return nullptr;
    uint32_t offset = le32(p + 10), header = le32(p + 14);
    if (header < 40 || 14 + uint64_t(header) > n) return nullptr;
    int32_t w = int32_t(le32(p + 18)), h = int32_t(le32(p + 22));
    uint32_t bits = le16(p + 28), compression = le32(p + 30), used = le32(p + 46);
    bool top_down = h < 0;
    uint32_t height = top_down ? uint32_t(-int64_t(h)) : uint32_t(h);
    if (w <= 0 || height == 0 || (compression != 0 && compression != 3)) return nullptr;
    uint32_t rmask = 0xFF0000, gmask = 0xFF00, bmask = 0xFF, amask = 0;
    if (bits == 16) rmask = 0x7C00, gmask = 0x3E0, bmask = 0x1F;
    if (compression == 3) {
        if (14 + uint64_t(header) + (header == 40 ? 12 : 0) > n || 14 + 52 > n) return nullptr;
        rmask = le32(p + 54), gmask = le32(p + 58), bmask = le32(p + 62);
        amask = header >= 56 ? le32(p + 66) : 0;
    }
    uint32_t colours = bits <= 8 ? (used ? used : 1u << bits) : 0;
    if (colours > 256) return nullptr;
    const uint8_t* palette = p + 14 + header;
    if (bits <= 8 && uint64_t(palette - p) + uint64_t(colours) * 4 > n) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return nullptr;
    uint64_t stride = (uint64_t(w) * bits + 31) / 32 * 4;
    if (offset > n || stride * height > n - offset) return nullptr;
    Bitmap* b = image_backend::alloc_bitmap(uint32_t(w), height);
    if (!b) return nullptr;
    for (uint32_t y = 0; y < height; y++) {
        const uint8_t* row = p + offset + stride * (top_down ? y : height - 1 - y);
        uint32_t* out = b->pixels() + size_t(y) * uint32_t(w);
        for (uint32_t x = 0; x < uint32_t(w); x++) {
            if (bits <= 8) {
                uint32_t bit = x * bits;
                uint32_t k = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                if (k >= colours) k = 0;
                const uint8_t* c = palette + 4 * k;
                out[x] = bgra(c[2], c[1], c[0], 255);
            } else if (bits == 24) {
                const uint8_t* c = row + 3 * x;
                out[x] = bgra(c[2], c[1], c[0], 255);
            } else {
                uint32_t v = bits == 16 ? le16(row + 2 * x) : le32(row + 4 * x);
                out[x] = bgra(field(v, rmask), field(v, gmask), field(v, bmask), amask ? field(v, amask) : 255);
            }
        }
    }
    return b;
}

void put32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; i++) o.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}

// 32-bit top-down BGRA with a V5 header and an alpha mask.
bool encode_bmp(Bitmap* b, std::vector<uint8_t>* out) {
    std::vector<uint8_t>& o = *out;
    uint32_t data = b->count() * 4, offset = 14 + 124;
    o.push_back('B');
    o.push_back('M');
    put32(o, offset + data);
    put32(o, 0);
    put32(o, offset);
    put32(o, 124);
    put32(o, b->width);
    put32(o, uint32_t(-int32_t(b->height)));
    put16(o, 1);
    put16(o, 32);
    put32(o, 3);   // bit fields
    put32(o, data);
    put32(o, 2835);
    put32(o, 2835);
    put32(o, 0);
    put32(o, 0);
    put32(o, 0x00FF0000u);
    put32(o, 0x0000FF00u);
    put32(o, 0x000000FFu);
    put32(o, 0xFF000000u);
    put32(o, 0x73524742u);   // sRGB
    o.resize(o.size() + 36 + 12, 0);   // end points, gamma
    put32(o, 4);                       // intent
    put32(o, 0);
    put32(o, 0);
    put32(o, 0);
    const uint8_t* px = reinterpret_cast<const uint8_t*>(b->pixels());
    o.insert(o.end(), px, px + data);
    return true;
}

}  // namespace

Bitmap* decode(const uint8_t* p, uint32_t n, std::string* reason) {
    Bitmap* b = nullptr;
    if (n >= 4 && p[0] == 137 && p[1] == 'P') b = decode_png(p, n);
    else if (n >= 3 && p[0] == 255 && p[1] == 216) b = decode_jpeg(p, n);
    else if (n >= 2 && p[0] == 'B' && p[1] == 'M') b = decode_bmp(p, n);
    else if (n >= 3 && p[0] == 'G' && p[1] == 'I' && p[2] == 'F') b = decode_gif(p, n);
    else if (n >= 2 && (p[0] == 'I' || p[0] == 'M')) b = decode_tiff(p, n);
    if (!b && reason) *reason = "cannot decode";
    return b;
}

bool encode(Bitmap* b, int32_t format, std::vector<uint8_t>* out) {
    switch (format) {
    case image_backend::FORMAT_BMP: return encode_bmp(b, out);
    case image_backend::FORMAT_PNG: return encode_png(b, out);
    case image_backend::FORMAT_GIF: return encode_gif(b, out);
    case image_backend::FORMAT_JPEG: return encode_jpeg(b, out);
    case image_backend::FORMAT_TIFF: return encode_tiff(b, out);
    default: return false;
    }
}

}  // namespace qor::image_codecs
