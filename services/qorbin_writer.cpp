// The Qorbin writers: one walk over a value, in the compact or the
// fixed-width layout.
//
// The walk allocates nothing on the collected heap (the image grows in C++
// memory and becomes a binary! at the end), so no collection runs while it
// holds addresses of cells.  Every series, object, function and context of
// a bound word is entered in the seen table with its path (the indexes
// from the top-level value down); meeting it again writes a reference to
// that path, which keeps shared series shared and ends cycles.
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "services/qorbin.hpp"
#include "services/qorbin_format.hpp"

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"

namespace qor::qorbin {

namespace {

constexpr Cell UNSET{TYPE_UNSET, 0, 0, 0};

class Writer {
public:
    explicit Writer(bool compact) : compact_(compact) {}
    void write(const Cell* v);
    void write_definition(const BootDefinition& d);
    std::vector<uint8_t> finish();
    // The boot payload's header: its version and no root values.
    void boot_header() { version_ = VERSION_BOOT; roots_ = 0; }

private:
    bool compact_;
    uint8_t version_ = VERSION_WRITTEN;
    uint32_t roots_ = 1;
    std::vector<uint8_t> out_;               // the records
    std::vector<int32_t> symbols_;           // symbol ids in first-use order
    std::vector<uint32_t> offsets_;          // their offsets in the text
    std::string text_;
    std::unordered_map<uint32_t, std::vector<uint32_t>> seen_;   // node -> path
    std::vector<uint32_t> path_;             // indexes of the enclosing values
    uint32_t counter_ = 0;                   // index of the next value in its container
    uint32_t depth_ = 0;

    // ---- Bytes -------------------------------------------------------------------------------
    void put8(uint8_t b) { out_.push_back(b); }
    void put32(uint32_t w) {
        for (int i = 0; i < 4; i++) out_.push_back(uint8_t(w >> (8 * i)));
    }
    void put_bytes(const void* p, uint32_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void put_f64(double d) { put_bytes(&d, 8); }
    void uvarint(uint32_t v) {
        while (v >= 0x80) {
            out_.push_back(uint8_t(v | 0x80));
            v >>= 7;
        }
        out_.push_back(uint8_t(v));
    }
    void svarint(int32_t n) { uvarint((uint32_t(n) << 1) ^ uint32_t(n >> 31)); }
    void count(uint32_t n) { compact_ ? uvarint(n) : put32(n); }
    void signed_value(int32_t n) { compact_ ? svarint(n) : put32(uint32_t(n)); }
    void pad_to_word(uint32_t n) {
        if (compact_) return;
        for (uint32_t k = n; k & 3; k++) put8(0);
    }

    // A compact header byte (with the new-line prefix), or a fixed header
    // word with its extra bits.
    void header(uint32_t type, bool flag, uint32_t nl, uint32_t fixed_bits = 0) {
        if (compact_) {
            if (nl) put8(PREFIX_NEW_LINE);
            put8(uint8_t(type | (flag ? HEADER_FLAG : 0)));
        } else {
            put32(type | fixed_bits | (nl ? FX_NEW_LINE : 0));
        }
    }
    void reference_header(uint32_t type, bool flag, uint32_t nl, uint32_t fixed_bits = 0) {
        if (compact_) {
            if (nl) put8(PREFIX_NEW_LINE);
            put8(PREFIX_REFERENCE);
            put8(uint8_t(type | (flag ? HEADER_FLAG : 0)));
        } else {
            put32(type | fixed_bits | FX_REFERENCE | (nl ? FX_NEW_LINE : 0));
        }
    }
    void put_path(const std::vector<uint32_t>& path) {
        if (!compact_) put32(FX_PATH_MARK);
        count(uint32_t(path.size()));
        for (uint32_t i : path) count(i);
    }
    // The head index field of a series record (compact: only when not 0).
    void head_field(uint32_t head) {
        if (compact_) {
            if (head) uvarint(head);
        } else {
            put32(head);
        }
    }

    // ---- Symbols and tracking ----------------------------------------------------------------
    uint32_t symbol_index(int32_t id) {
        for (uint32_t i = 0; i < symbols_.size(); i++)
            if (symbols_[i] == id) return i;
        symbols_.push_back(id);
        offsets_.push_back(uint32_t(text_.size()));
        text_.append(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
        text_.push_back('\0');
        if (!compact_)
            while (text_.size() % 8) text_.push_back('\0');
        return uint32_t(symbols_.size() - 1);
    }
    const std::vector<uint32_t>* seen(const void* key) {
        auto it = seen_.find(reinterpret_cast<uint32_t>(key));
        return it == seen_.end() ? nullptr : &it->second;
    }
    // Records the key at the next value's path and descends into it.
    void enter(const void* key) {
        path_.push_back(counter_);
        seen_.try_emplace(reinterpret_cast<uint32_t>(key), path_);
        counter_ = 0;
    }
    void leave() {
        counter_ = path_.back();
        path_.pop_back();
    }

    [[noreturn]] void no_codec(const Cell* v) {
        Cell copy = *v;
        raise_error("access", "no-codec", &copy);
    }

    // ---- Records -------------------------------------------------------------------------
    void write_record(const Cell* v);
    void write_block(const Cell* v, uint32_t nl);
    void write_map(const Cell* v, uint32_t nl);
    void write_text(const Cell* v, uint32_t nl);
    void write_binary(const Cell* v, uint32_t nl);
    void write_bitset(const Cell* v, uint32_t nl);
    void write_vector(const Cell* v, uint32_t nl);
    void write_image(const Cell* v, uint32_t nl);
    void write_float(const Cell* v, uint32_t nl);
    void write_word(const Cell* v, uint32_t nl);
    void write_object(const Cell* v, uint32_t nl);
    void write_object_body(const Cell* obj);
    void write_context_body(Node ctx, uint32_t fixed_type);
    void write_function(const Cell* v, uint32_t nl);
    void write_function_body(const Cell* fn);
    void write_native(const Cell* v, uint32_t nl);
    void write_op(const Cell* v, uint32_t nl);
    void write_error(const Cell* v, uint32_t nl);
};

void Writer::write(const Cell* v) {
    ++depth_;
    if (depth_ > MAX_DEPTH) raise_error("internal", "too-deep");
    write_record(v);
    --depth_;
    counter_++;
}

void Writer::write_record(const Cell* v) {
    uint32_t t = type_of(v);
    uint32_t nl = v->header & FLAG_NEW_LINE;
    switch (layout_of(t)) {
    case Layout::DATATYPE: header(t, false, nl); count(v->data1); return;
    case Layout::NOTHING: header(t, false, nl); return;
    case Layout::LOGIC:
        if (compact_) {
            if (nl) put8(PREFIX_NEW_LINE);
            put8(v->data1 ? LEAD_TRUE : LEAD_FALSE);
        } else {
            header(t, false, nl);
            put32(v->data1 ? 1 : 0);
        }
        return;
    case Layout::CHAR: header(t, false, nl); count(v->data2); return;
    case Layout::INTEGER: {
        int32_t n = int32_t(v->data2);
        if (compact_ && n >= 0 && n <= 63) {
            if (nl) put8(PREFIX_NEW_LINE);
            put8(uint8_t(SMALL_INTEGER + n));
            return;
        }
        header(t, false, nl);
        signed_value(n);
        return;
    }
    case Layout::FLOAT_LIKE: case Layout::PERCENT: write_float(v, nl); return;
    case Layout::PAIR:
        header(t, false, nl);
        signed_value(int32_t(v->data2));
        signed_value(int32_t(v->data3));
        return;
    case Layout::POINT2D: header(t, false, nl); put32(v->data1); put32(v->data2); return;
    case Layout::POINT3D: header(t, false, nl); put32(v->data1); put32(v->data2); put32(v->data3); return;
    case Layout::DATE: {
        bool timed = date::has_time(v->data1);
        header(t, compact_ && timed, nl);
        put32(v->data1);
        if (timed || !compact_) put_f64(timed ? date::stored_time(v) : 0.0);
        return;
    }
    case Layout::TYPESET: {
        uint8_t bits[12];
        std::memcpy(bits, &v->data1, 12);
        header(t, false, nl);
        uint32_t n = compact_ ? 12 : 12;
        if (compact_) {
            while (n > 0 && bits[n - 1] == 0) n--;
            put8(uint8_t(n));
        }
        put_bytes(bits, n);
        return;
    }
    case Layout::TUPLE: {
        uint8_t bytes[12];
        tuple::get_bytes(v, bytes);
        uint32_t n = tuple::count(v);
        if (compact_) {
            header(t, n != 3, nl);
            if (n != 3) put8(uint8_t(n));
            put_bytes(bytes, n);
        } else {
            header(t, false, nl, n << 8);
            put_bytes(bytes, 12);
        }
        return;
    }
    case Layout::MONEY: {
        bool negative = (v->header & FLAG_MONEY_SIGN) != 0;
        header(t, compact_ && negative, nl, negative ? FX_MONEY_NEG : 0);
        put_bytes(&v->data1, 12);
        return;
    }
    case Layout::ISSUE: header(t, false, nl); count(symbol_index(word::symbol_of(v))); return;
    case Layout::WORD: write_word(v, nl); return;
    case Layout::CONTEXT: no_codec(v);   // the record of a context, never a value
    case Layout::OBJECT:
        if (t != TYPE_OBJECT) no_codec(v);
        write_object(v, nl);
        return;
    case Layout::FUNCTION: write_function(v, nl); return;
    case Layout::NATIVE: write_native(v, nl); return;
    case Layout::OP: write_op(v, nl); return;
    case Layout::ERROR: write_error(v, nl); return;
    case Layout::BLOCK: write_block(v, nl); return;
    case Layout::MAP: write_map(v, nl); return;
    case Layout::TEXT: write_text(v, nl); return;
    case Layout::BINARY: write_binary(v, nl); return;
    case Layout::BITSET: write_bitset(v, nl); return;
    case Layout::VECTOR: write_vector(v, nl); return;
    case Layout::IMAGE: write_image(v, nl); return;
    default: no_codec(v);   // never serialised
    }
}

// Integral doubles take a varint: a double of the 32-bit range whose
// truncation equals it (negative zero never).
bool integral(double d, double limit, int32_t* n) {
    if (!(d >= -limit && d <= limit)) return false;
    double r = std::trunc(d);
    if (r != d) return false;
    if (d == 0 && std::signbit(d)) return false;
    *n = int32_t(r);
    return true;
}

void Writer::write_float(const Cell* v, uint32_t nl) {
    uint32_t t = type_of(v);
    double d = cell_float(v);
    if (!compact_) {
        while (out_.size() % 8) put8(0);   // a padding word: type 0
        header(t, false, nl);
        put_f64(d);
        return;
    }
    int32_t n;
    bool short_form;
    if (t == TYPE_PERCENT) {
        double scaled = d * 100;
        short_form = d >= -21474836.0 && d <= 21474836.0 && !(d == 0 && std::signbit(d));
        if (short_form) {
            double r = scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5);
            n = int32_t(r);
            short_form = n / 100.0 == d;
        }
    } else {
        short_form = integral(d, 2147483000.0, &n);
    }
    header(t, short_form, nl);
    if (short_form) svarint(n);
    else put_f64(d);
}

// ---- Series -----------------------------------------------------------------------------------

void Writer::write_block(const Cell* v, uint32_t nl) {
    uint32_t t = type_of(v);
    Node node = cell_node(v);
    uint32_t head = v->data1;
    if (const auto* path = seen(node)) {
        reference_header(t, head != 0, nl);
        head_field(head);
        put_path(*path);
        return;
    }
    header(t, head != 0, nl);
    head_field(head);
    SeriesBuffer* s = buffer_of(node);
    uint32_t n = s->length();
    count(n);
    enter(node);
    for (uint32_t i = 0; i < n; i++) write(cells_head(buffer_of(node)) + i);
    leave();
}

void Writer::write_map(const Cell* v, uint32_t nl) {
    Node node = cell_node(v);
    if (const auto* path = seen(node)) {
        reference_header(TYPE_MAP, false, nl);
        put_path(*path);
        return;
    }
    header(TYPE_MAP, false, nl);
    SeriesBuffer* s = buffer_of(node);
    uint32_t pairs = s->length() / 2, live = 0;
    for (uint32_t i = 0; i < pairs; i++)
        if (type_of(cells_head(s) + 2 * i + 1) != 0) live++;
    count(2 * live);
    enter(node);
    for (uint32_t i = 0; i < pairs; i++) {
        const Cell* pair = cells_head(buffer_of(node)) + 2 * i;
        if (type_of(pair + 1) == 0) continue;   // a removed entry
        write(pair);
        write(pair + 1);
    }
    leave();
}

void Writer::write_text(const Cell* v, uint32_t nl) {
    uint32_t t = type_of(v);
    Node node = cell_node(v);
    uint32_t head = v->data1;
    if (const auto* path = seen(node)) {
        reference_header(t, head != 0, nl);
        head_field(head);
        put_path(*path);
        return;
    }
    enter(node);
    leave();
    SeriesBuffer* s = buffer_of(node);
    uint32_t unit = s->unit();
    uint32_t n = s->length();
    uint32_t code = unit == 4 ? 2 : unit == 2 ? 1 : 0;
    if (compact_) {
        if (n > 0x3FFFFFFFu) raise_error("internal", "no-memory");
        header(t, head != 0, nl);
        head_field(head);
        uvarint(n * 4 + code);
    } else {
        header(t, false, nl, unit << 8);
        put32(head);
        put32(n);
    }
    put_bytes(s->head, n * unit);
    pad_to_word(n * unit);
}

void Writer::write_binary(const Cell* v, uint32_t nl) {
    Node node = cell_node(v);
    uint32_t head = v->data1;
    if (const auto* path = seen(node)) {
        reference_header(TYPE_BINARY, head != 0, nl, 1u << 8);
        head_field(head);
        put_path(*path);
        return;
    }
    enter(node);
    leave();
    SeriesBuffer* s = buffer_of(node);
    uint32_t n = s->byte_length();
    header(TYPE_BINARY, head != 0, nl, 1u << 8);
    head_field(head);
    count(n);
    put_bytes(s->head, n);
    pad_to_word(n);
}

void Writer::write_bitset(const Cell* v, uint32_t nl) {
    Node node = cell_node(v);
    if (const auto* path = seen(node)) {
        reference_header(TYPE_BITSET, false, nl);
        put_path(*path);
        return;
    }
    enter(node);
    leave();
    SeriesBuffer* s = buffer_of(node);
    bool complemented = (s->flags & SERIES_BITSET_NOT) != 0;
    uint32_t n = s->byte_length();
    header(TYPE_BITSET, complemented, nl, complemented ? FX_BITSET_NOT : 0);
    count(n);
    put_bytes(s->head, n);
    pad_to_word(n);
}

void Writer::write_vector(const Cell* v, uint32_t nl) {
    Node node = cell_node(v);
    uint32_t head = v->data1;
    SeriesBuffer* s = buffer_of(node);
    uint32_t unit = s->unit();
    if (const auto* path = seen(node)) {
        reference_header(TYPE_VECTOR, head != 0, nl, unit << 8);
        head_field(head);
        put_path(*path);
        return;
    }
    enter(node);
    leave();
    uint32_t n = s->length();
    uint32_t element = v->data3;
    header(TYPE_VECTOR, head != 0, nl, unit << 8);
    if (compact_) {
        head_field(head);
        put8(uint8_t(element * 4 + vector_unit_code(unit)));
        uvarint(n);
    } else {
        put32(head);
        put32(n);
        put32(element);
    }
    put_bytes(s->head, n * unit);
    pad_to_word(n * unit);
}

// The pixels as the image holds them (A << 24 | R << 16 | G << 8 | B, little
// endian); an image without pixels is its size alone.
void Writer::write_image(const Cell* v, uint32_t nl) {
    Node node = cell_node(v);
    uint32_t head = v->data1;
    if (node) {
        if (const auto* path = seen(node)) {
            reference_header(TYPE_IMAGE, head != 0, nl);
            head_field(head);
            put_path(*path);
            return;
        }
        enter(node);
        leave();
    }
    image_backend::Bitmap* bitmap = image_backend::bitmap(v);
    uint32_t w = image_backend::width_of(v), h = image_backend::height_of(v);
    header(TYPE_IMAGE, head != 0, nl);
    head_field(head);
    if (compact_) {
        uvarint(w);
        uvarint(h);
    } else {
        put32(v->data3);
    }
    if (bitmap) put_bytes(bitmap->pixels(), bitmap->count() * 4);
}

// ---- Words, objects, functions ----------------------------------------------------------------

// The owner of a word's context when it is an object or a function; a
// word of any other context is written as a word of the global context.
const Cell* owner_of(Node ctx) {
    if (!ctx || ctx == context::global()) return nullptr;
    const Cell* self = context::self_cell(ctx);
    uint32_t t = type_of(self);
    return t == TYPE_OBJECT || t == TYPE_FUNCTION ? self : nullptr;
}

void Writer::write_word(const Cell* v, uint32_t nl) {
    uint32_t t = type_of(v);
    Node ctx = word::context_of(v);
    const Cell* owner = owner_of(ctx);
    uint32_t sym = symbol_index(word::symbol_of(v));
    if (!owner) {
        header(t, false, nl, FX_GLOBAL_WORD);
        count(sym);
        if (!compact_) put32(v->data3);
        return;
    }
    if (const auto* path = seen(ctx)) {
        reference_header(t, true, nl);
        count(sym);
        signed_value(word::index_of(v));
        put_path(*path);
        return;
    }
    header(t, true, nl);
    count(sym);
    signed_value(word::index_of(v));
    enter(ctx);
    Cell own = *owner;
    if (type_of(&own) == TYPE_OBJECT) {
        header(TYPE_OBJECT, compact_ && object::info_node(&own), 0, object::info_node(&own) ? FX_OBJECT_INFO : 0);
        write_object_body(&own);
    } else {
        header(TYPE_FUNCTION, false, 0);
        write_function_body(&own);
    }
    leave();
}

void Writer::write_context_body(Node ctx, uint32_t fixed_type) {
    (void)fixed_type;
    uint32_t n = context::word_count(ctx);
    bool on_stack = context::values_on_stack(ctx);
    bool self = (context::record(ctx)->header & CONTEXT_HAS_SELF) != 0;
    uint32_t kind = context::kind_of(ctx);
    Node values = context::values_node(ctx);
    uint32_t stored = values ? buffer_of(values)->length() : 0;
    bool any = false;
    for (uint32_t i = 0; i < stored && i < n && !any; i++)
        any = type_of(cells_head(buffer_of(values)) + i) != TYPE_UNSET;
    if (compact_) {
        put8(TYPE_CONTEXT);
        put8(uint8_t((kind & CTX_KIND_MASK) | (on_stack ? CTX_ON_STACK : 0) | (self ? CTX_SELF : 0) |
                     (any ? CTX_VALUES : 0)));
    } else {
        put32(TYPE_CONTEXT | (any ? FX_CTX_VALUES : 0) | (on_stack ? FX_CTX_ON_STACK : 0) |
              (self ? FX_CTX_SELF : 0) | ((kind & 3) << FX_CTX_KIND_SHIFT));
    }
    count(n);
    for (uint32_t i = 0; i < n; i++) count(symbol_index(word::symbol_of(context::word_cell_at(ctx, int32_t(i)))));
    if (!any) return;
    for (uint32_t i = 0; i < n; i++) {
        if (i < stored) write(cells_head(buffer_of(values)) + i);
        else write(&UNSET);
    }
}

void Writer::write_object_body(const Cell* obj) {
    signed_value(object::class_of(obj));
    if (Node info = object::info_node(obj)) {
        const Cell* pairs = cells_head(buffer_of(info));
        signed_value(int32_t(pairs[0].data2));
        signed_value(int32_t(pairs[1].data2));
    }
    write_context_body(object::context_of(obj), TYPE_OBJECT);
}

void Writer::write_object(const Cell* v, uint32_t nl) {
    Node ctx = object::context_of(v);
    if (const auto* path = seen(ctx)) {
        reference_header(TYPE_OBJECT, false, nl);
        put_path(*path);
        return;
    }
    bool info = object::info_node(v) != nullptr;
    header(TYPE_OBJECT, compact_ && info, nl, info ? FX_OBJECT_INFO : 0);
    enter(ctx);
    write_object_body(v);
    leave();
}

void Writer::write_function_body(const Cell* fn) {
    Node spec = function::spec_node(fn);
    Cell body = *function::body_of(fn);
    bool has_body = type_of(&body) == TYPE_BLOCK;
    count(buffer_of(spec)->length());
    count(has_body ? buffer_of(cell_node(&body))->length() : 0);
    write_context_body(object::context_of(fn), TYPE_FUNCTION);
    Cell spec_block{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(spec), 0};
    write(&spec_block);
    if (has_body) {
        write(&body);
    } else {   // a function without a body reads back with an empty one
        header(TYPE_BLOCK, false, 0);
        if (!compact_) put32(0);
        count(0);
        counter_++;
    }
}

void Writer::write_function(const Cell* v, uint32_t nl) {
    Node ctx = object::context_of(v);
    if (const auto* path = seen(ctx)) {
        reference_header(TYPE_FUNCTION, false, nl);
        put_path(*path);
        return;
    }
    header(TYPE_FUNCTION, false, nl);
    enter(ctx);
    write_function_body(v);
    leave();
}

void Writer::write_native(const Cell* v, uint32_t nl) {
    uint32_t t = type_of(v);
    int32_t index = native::table_position(native::code_of(v), t == TYPE_ACTION);
    if (index <= 0) no_codec(v);
    header(t, false, nl);
    count(uint32_t(index));
    Cell spec{TYPE_BLOCK, 0, v->data2, 0};
    write(&spec);
    counter_--;   // the spec takes no index of its own
}

void Writer::write_op(const Cell* v, uint32_t nl) {
    uint32_t inner = native::op_source_type(v);
    if (inner != TYPE_FUNCTION && inner != TYPE_NATIVE && inner != TYPE_ACTION) no_codec(v);
    header(TYPE_OP, false, nl, inner << native::OP_FROM_SHIFT);
    Cell in = *v;
    in.header = (v->header & ~(0xFFu | (0xFFu << native::OP_FROM_SHIFT) | FLAG_NEW_LINE)) | inner;
    write(&in);
    counter_--;
}

void Writer::write_error(const Cell* v, uint32_t nl) {
    header(TYPE_ERROR, false, nl);
    const Cell* code = error::field(v, ERR_CODE);
    count(type_of(code) == TYPE_INTEGER ? code->data2 : 0);
    Node ctx = object::context_of(v);
    enter(ctx);   // later references may reach into it; the error itself is written in full each time
    for (uint32_t f = ERR_ARG1; f <= ERR_STACK; f++) write(error::field(v, f));
    leave();
}

// The start-up form of a definition: the prefix, a global set-word!, then
// the value; definitions take no index, so nothing can refer to them.
void Writer::write_definition(const BootDefinition& d) {
    put8(PREFIX_DEFINITION);
    header(TYPE_SET_WORD, false, 0);
    uvarint(symbol_index(d.symbol));
    if (d.type == TYPE_DATATYPE) {
        header(TYPE_DATATYPE, false, 0);
        uvarint(d.index);
        return;
    }
    header(d.type, false, 0);
    uvarint(d.index);
    write(d.spec);
    counter_--;
}

std::vector<uint8_t> Writer::finish() {
    std::vector<uint8_t> records;
    records.swap(out_);
    bool symbols = !symbols_.empty();
    put_bytes(MAGIC, sizeof MAGIC);
    put8(version_);
    put8(uint8_t((compact_ ? FLAG_COMPACT : 0) | (symbols ? FLAG_SYMBOLS : 0)));
    count(roots_);
    count(uint32_t(records.size()));
    if (symbols) {
        count(uint32_t(symbols_.size()));
        count(uint32_t(text_.size()));
        for (uint32_t o : offsets_) {
            for (int i = 0; i < 4; i++) out_.push_back(uint8_t(o >> (8 * i)));
        }
        put_bytes(text_.data(), uint32_t(text_.size()));
    }
    out_.insert(out_.end(), records.begin(), records.end());
    return std::move(out_);
}

}  // namespace

std::vector<uint8_t> encode_boot(const BootDefinition* definitions, uint32_t count) {
    gc::NoCollect no_collect;
    Writer writer(true);
    writer.boot_header();
    for (uint32_t i = 0; i < count; i++) writer.write_definition(definitions[i]);
    return writer.finish();
}

Cell encode(const Cell* value, bool compact) {
    codec_mode = 1;
    Cell v = *value;
    gc::CellRoot keep(&v);
    std::vector<uint8_t> bytes;
    {
        gc::NoCollect no_collect;
        Writer writer(compact);
        writer.write(&v);
        bytes = writer.finish();
    }
    if (bytes.size() > 0x7FFFFFF0u) raise_error("internal", "no-memory");
    return binary::make(bytes.data(), uint32_t(bytes.size()));
}

}  // namespace qor::qorbin
