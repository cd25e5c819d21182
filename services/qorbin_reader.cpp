// The Qorbin reader: one image, compact or fixed-width, into a block.
//
// Every value is built in place at the tail of its container (the target
// block, a block being filled, an object's value block), so that a
// reference met later can walk to it by its path while its container is
// still being read.  Collection is off for the whole read: the values made
// are all kept, so nothing is garbage, and containers are reached by node
// and index only (buffers still move when they grow).
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "services/qorbin.hpp"
#include "services/qorbin_format.hpp"

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/function.hpp"
#include "datatypes/hash_index.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/map.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/root_block.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/vector.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/lz_coder.hpp"
#include "runtime/memory.hpp"
#include "runtime/platform.hpp"
#include "runtime/runtime_error.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace qor::qorbin {

int32_t codec_mode = 0;
Cell* payload_root_base = nullptr;

namespace {

constexpr Cell UNSET{TYPE_UNSET, 0, 0, 0};

bool registered(uint32_t type) {
    const char* name = registry::type_name(type).name;
    return name && *name;
}

// A block cell over a node, for the block routines.
Cell block_over(Node node, uint32_t type = TYPE_BLOCK) {
    return Cell{type, 0, reinterpret_cast<uint32_t>(node), 0};
}

bool valid_utf8(const uint8_t* s, uint32_t n) {
    uint32_t i = 0;
    while (i < n) {
        uint8_t b = s[i];
        uint32_t extra, cp;
        if (b < 0x80) { i++; continue; }
        if (b >= 0xC2 && b <= 0xDF) { extra = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { extra = 2; cp = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { extra = 3; cp = b & 0x07; }
        else return false;
        if (n - i <= extra) return false;
        for (uint32_t k = 1; k <= extra; k++) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

struct LzBuffer {
    uint8_t* p = nullptr;
    ~LzBuffer() { if (p) lz::free_buffer(p); }
};

// Error mode `no`: the program's own payload cannot be read, so nothing
// that follows could run.  The failure is a failure: the process ends with
// the runtime's error report, never with status 0.
[[noreturn]] void end_process(const char* message, int32_t position = 0) {
    std::string text = message;
    if (position > 0) text += " " + std::to_string(position);
    text += "\r\n";
    platform::write_std(platform::STD_ERR, text.data(), text.size());
    runtime::error(runtime::ERR_ASSERTION, 0);
}

// How a read goes: the form of words and natives, and what a failure does.
struct Mode {
    bool startup;   // start-up form: words by root and slot, definitions, natives by index
    bool fatal;     // error mode `no`: failures end the process
};

class Reader {
public:
    Reader(const uint8_t* base, const uint8_t* p, const uint8_t* end, Mode mode)
        : base_(base), p_(p), end_(end), mode_(mode) {}

    void read_header(bool compact, bool symbols);
    void read_all(Node target);

private:
    const uint8_t* base_;   // positions in errors count from here
    const uint8_t* p_;
    const uint8_t* end_;
    Mode mode_;
    bool compact_ = true;
    Node target_ = nullptr;
    uint32_t first_root_ = 0;   // the target's length before the read
    uint32_t depth_ = 0;
    // The symbol table.
    const uint8_t* offsets_ = nullptr;
    const uint8_t* text_ = nullptr;
    uint32_t symbol_count_ = 0, text_bytes_ = 0;
    std::vector<int32_t> symbol_ids_;   // 0 until a record uses the spelling

    // ---- Failure ---------------------------------------------------------------------------
    [[noreturn]] void fail() {
        if (mode_.fatal) end_process("Error: QORBIN - invalid record at index", int32_t(p_ - base_) + 1);
        Cell at = integer::make(int32_t(p_ - base_) + 1);
        raise_error("script", "qb-invalid-record", &at);
    }
    [[noreturn]] void no_codec(uint32_t type) {
        if (mode_.fatal) end_process("Error: QORBIN - cannot decode type", int32_t(type));
        if (registered(type)) {
            Cell dt{TYPE_DATATYPE, type, 0, 0};
            raise_error("access", "no-codec", &dt);
        }
        Cell spelled = *word::make_from_c_string(TYPE_NAMES[type]);
        raise_error("access", "no-codec", &spelled);
    }

    // ---- Primitives ----------------------------------------------------------------------------
    uint32_t left() const { return uint32_t(end_ - p_); }
    void need(uint32_t n) { if (left() < n) fail(); }
    uint8_t byte() { need(1); return *p_++; }
    uint32_t le32() {
        need(4);
        uint32_t v = uint32_t(p_[0]) | uint32_t(p_[1]) << 8 | uint32_t(p_[2]) << 16 | uint32_t(p_[3]) << 24;
        p_ += 4;
        return v;
    }
    double f64() {
        need(8);
        double d;
        std::memcpy(&d, p_, 8);
        p_ += 8;
        return d;
    }
    uint32_t uvarint() {
        uint32_t v = 0;
        for (int i = 0; i < 5; i++) {
            uint8_t b = byte();
            if (i == 4 && (b & 0xF0)) { p_--; fail(); }
            v |= uint32_t(b & 0x7F) << (7 * i);
            if (!(b & 0x80)) return v;
        }
        return v;
    }
    int32_t svarint() {
        uint32_t u = uvarint();
        return int32_t((u >> 1) ^ (0u - (u & 1)));
    }
    // A count, size or index: never negative.
    uint32_t count() {
        uint32_t v = compact_ ? uvarint() : le32();
        if (int32_t(v) < 0) fail();
        return v;
    }
    int32_t signed_value() { return compact_ ? svarint() : int32_t(le32()); }
    // Fixed-width byte data is padded to whole words.
    void skip_padding(uint32_t n) {
        if (compact_) return;
        uint32_t pad = (4 - (n & 3)) & 3;
        need(pad);
        p_ += pad;
    }
    // A count of items that each take at least `unit` bytes.
    uint32_t bounded_count(uint32_t unit) {
        uint32_t n = count();
        if (n > left() / unit) fail();
        return n;
    }

    // ---- Symbols -----------------------------------------------------------------------------
    int32_t symbol(uint32_t index) {
        if (index >= symbol_count_) fail();
        if (int32_t id = symbol_ids_[index]) return id;
        const uint8_t* o = offsets_ + 4 * index;
        uint32_t off = uint32_t(o[0]) | uint32_t(o[1]) << 8 | uint32_t(o[2]) << 16 | uint32_t(o[3]) << 24;
        if ((off & 0x80000000u) || off >= text_bytes_) fail();
        const uint8_t* s = text_ + off;
        uint32_t n = uint32_t(std::strlen(reinterpret_cast<const char*>(s)));   // the text ends with NUL
        if (n == 0 || !valid_utf8(s, n)) fail();
        int32_t id = symbol::intern_n(reinterpret_cast<const char*>(s), n);
        symbol_ids_[index] = id;
        return id;
    }
    int32_t read_symbol() { return symbol(count()); }

    // ---- Containers ------------------------------------------------------------------------
    // Appends a value to the container and answers its offset there.
    uint32_t append(Node container, const Cell& value) {
        Cell c = block_over(container);
        uint32_t at = block::total_length(&c);
        block::append_copy(&c, &value);
        return at;
    }
    Cell* slot(Node container, uint32_t at) { return cells_head(buffer_of(container)) + at; }

    // ---- References -----------------------------------------------------------------------
    std::vector<uint32_t> read_path() {
        uint32_t n;
        if (compact_) {
            n = uvarint();
            if (n < 1 || n > MAX_PATH_LENGTH || n > left()) fail();
        } else {
            if (le32() != FX_PATH_MARK) { p_ -= 4; fail(); }
            n = le32();
            if (n < 1 || n > MAX_PATH_LENGTH || n > left() / 4) fail();
        }
        std::vector<uint32_t> path(n);
        for (uint32_t& i : path) i = count();
        return path;
    }
    // The value a path reaches, walking from the target block.
    Cell resolve(const std::vector<uint32_t>& path) {
        Cell cur = block_over(target_);
        for (uint32_t i : path) cur = descend(cur, i);
        return cur;
    }
    Cell member_of(Node node, uint32_t i) {
        SeriesBuffer* s = buffer_of(node);
        if (s->unit() != sizeof(Cell) || i >= s->length()) fail();
        Cell c = cells_head(s)[i];
        if (type_of(&c) == 0) fail();   // a removed map entry
        return c;
    }
    Cell function_part(const Cell* fn, uint32_t i) {
        if (i == 0) return Cell{TYPE_BLOCK, 0, fn->data2, 0};
        if (i == 1 && type_of(fn) == TYPE_FUNCTION) {
            Cell body = *function::body_of(fn);
            if (type_of(&body) != TYPE_BLOCK) fail();
            return body;
        }
        fail();
    }
    Cell context_slot(Node ctx, uint32_t i) {
        if (!ctx || ctx == context::global()) fail();
        Cell self = *context::self_cell(ctx);
        if (type_of(&self) == TYPE_FUNCTION) return function_part(&self, i);
        Node values = context::values_node(ctx);
        if (!values) fail();
        return member_of(values, i);
    }
    Cell descend(const Cell& v, uint32_t i) {
        uint32_t t = type_of(&v);
        if (is_any_block(t) || t == TYPE_MAP) return member_of(cell_node(&v), i);
        switch (t) {
        case TYPE_OBJECT: return context_slot(object::context_of(&v), i);
        case TYPE_ERROR: return context_slot(object::context_of(&v), i + ERR_ARG1);
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
            return context_slot(word::context_of(&v), i);
        case TYPE_NATIVE: case TYPE_ACTION: return member_of(native::spec_node(&v), i);
        case TYPE_FUNCTION: return function_part(&v, i);
        case TYPE_OP:
            if (i != 0) fail();
            return Cell{TYPE_BLOCK, 0, v.data2, 0};
        default: fail();
        }
    }
    // The context a reference names: that of a word, object or function.
    Node context_of_referent(const Cell& r) {
        uint32_t t = type_of(&r);
        Node ctx = nullptr;
        if (is_any_word(t)) ctx = word::context_of(&r);
        else if (t == TYPE_OBJECT || t == TYPE_FUNCTION) ctx = object::context_of(&r);
        else if (t == TYPE_OP && native::op_source_type(&r) == TYPE_FUNCTION) ctx = object::context_of(&r);
        if (!ctx || ctx == context::global()) fail();
        return ctx;
    }

    // ---- Records -------------------------------------------------------------------------
    void read_record(Node container);
    void read_value(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl);
    uint32_t read_head(bool flag) { return compact_ ? (flag ? count() : 0) : count(); }
    void read_series_reference(Node container, uint32_t type, uint32_t head, uint32_t nl);
    void read_block(Node container, uint32_t type, bool flag, bool ref, uint32_t nl);
    void read_map(Node container, bool ref, uint32_t nl);
    void read_text(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_binary(Node container, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_bitset(Node container, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_vector(Node container, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_image(Node container, bool flag, bool ref, uint32_t nl);
    void read_word(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_startup_word(Node container, uint32_t type, bool flag, uint32_t header, uint32_t nl);
    Node root_context(uint32_t root);
    void read_definition(Node container, uint32_t type, bool flag, uint32_t header, uint32_t nl);
    void cut_back(Node container, uint32_t length);
    Cell bound_word(uint32_t type, int32_t sym, Node ctx, uint32_t nl);
    void read_object(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl);
    void read_function(Node container, bool ref, uint32_t nl);
    void read_native(Node container, uint32_t type, uint32_t nl);
    void read_op(Node container, uint32_t nl);
    void read_error(Node container, uint32_t nl);

    // Context bodies: the words first, the values once the owner is in place.
    struct ContextHead { Node ctx; uint32_t count; bool values; };
    uint32_t expect_context_header();
    ContextHead read_context_words(bool function, uint32_t header);
    void read_context_values(const ContextHead& head);
    // Objects and functions are made before their contents are read, so
    // that the contents can refer to them.
    ContextHead begin_object(uint32_t type, bool info, uint32_t header, uint32_t nl);
    Cell end_object(const ContextHead& head);
    struct FunctionHead { Node ctx; };
    FunctionHead begin_function(uint32_t nl);
    Cell end_function(const FunctionHead& head);
    // A block record whose members go into `node` (a function's spec or
    // body); answers the node the block ends up over (a reference's).
    Node read_block_into(Node node);
    // One record read alone, answered by value (it goes into a slot).
    Cell read_detached();
};

// ---- Header -------------------------------------------------------------------------------

void Reader::read_header(bool compact, bool symbols) {
    compact_ = compact;
    count();   // the root count: never used
    uint32_t record_bytes;
    if (compact) {
        // The counts are read with a bound of 20 bytes ahead.
        const uint8_t* saved_end = end_;
        if (left() > 20) end_ = p_ + 20;
        record_bytes = count();
        end_ = saved_end;
    } else {
        record_bytes = count();
    }
    if (symbols) {
        symbol_count_ = count();
        text_bytes_ = count();
        if (symbol_count_ > left() / 4) fail();
        offsets_ = p_;
        p_ += 4 * symbol_count_;
        if (text_bytes_ > left()) fail();
        text_ = p_;
        if (text_bytes_ > 0 && text_[text_bytes_ - 1] != 0) fail();
        if (symbol_count_ > 0 && text_bytes_ == 0) fail();
        p_ += text_bytes_;
        symbol_ids_.assign(symbol_count_, 0);
    }
    if (record_bytes > left()) fail();
    end_ = p_ + record_bytes;
}

// ---- Records ----------------------------------------------------------------------------------

struct DepthGuard {
    uint32_t& depth;
    explicit DepthGuard(uint32_t& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
};

void Reader::read_all(Node target) {
    target_ = target;
    first_root_ = buffer_of(target)->length();
    while (p_ < end_) read_record(target);
}

void Reader::read_record(Node container) {
    DepthGuard guard(depth_);
    if (depth_ > MAX_DEPTH) fail();
    uint32_t nl = 0;
    bool ref = false, definition = false;
    if (compact_) {
        uint8_t b;
        for (;;) {
            b = byte();
            if (b == PREFIX_NEW_LINE) nl = FLAG_NEW_LINE;
            else if (b == PREFIX_REFERENCE) ref = true;
            else if (b == PREFIX_DEFINITION) {
                if (!mode_.startup) { p_--; fail(); }   // start-up images only
                definition = true;
            }
            else break;
        }
        if (b >= 0x80) {
            if (ref || definition) { p_--; fail(); }
            if (b < 0xC0) {
                append(container, Cell{TYPE_INTEGER | nl, 0, uint32_t(b & 63), 0});
            } else if (b == LEAD_TRUE || b == LEAD_FALSE) {
                append(container, Cell{TYPE_LOGIC | nl, b == LEAD_TRUE ? 1u : 0u, 0, 0});
            } else if (b == LEAD_COPY) {
                Cell r = resolve(read_path());
                r.header |= nl;
                append(container, r);
            } else {
                p_--;
                fail();
            }
            return;
        }
        uint32_t type = b & 63;
        if (type == TYPE_ESCAPE) type = count();
        bool flag = (b & HEADER_FLAG) != 0;
        // A definition names a word; on an issue! the prefix means nothing.
        if (definition && layout_of(type) == Layout::WORD) {
            if (ref) { p_--; fail(); }
            read_definition(container, type, flag, 0, nl);
            return;
        }
        if (definition && layout_of(type) != Layout::ISSUE) { p_--; fail(); }
        read_value(container, type, flag, ref, 0, nl);
        return;
    }
    uint32_t h;
    do h = le32();
    while ((h & 0xFF) == 0);
    nl = (h & FX_NEW_LINE) ? FLAG_NEW_LINE : 0;
    if ((h & 0xFF) == FX_PATH_MARK) {
        p_ -= 4;
        Cell r = resolve(read_path());
        r.header |= nl;
        append(container, r);
        return;
    }
    // Start-up form: bit 25 of a word's header says a definition value follows.
    if (mode_.startup && layout_of(h & 0xFF) == Layout::WORD && (h & FX_GLOBAL_WORD)) {
        if (h & FX_REFERENCE) { p_ -= 4; fail(); }
        read_definition(container, h & 0xFF, false, h, nl);
        return;
    }
    read_value(container, h & 0xFF, false, (h & FX_REFERENCE) != 0, h, nl);
}

void Reader::read_value(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl) {
    Layout layout = layout_of(type);
    if (layout == Layout::INVALID) { p_--; fail(); }
    if (layout == Layout::NO_CODEC) no_codec(type);
    // A datatype this build does not register yet, or whose layout has no
    // reader yet, cannot be made.
    if (!registered(type)) no_codec(type);
    bool referable = layout == Layout::BLOCK || layout == Layout::TEXT || layout == Layout::BINARY ||
                     layout == Layout::VECTOR || layout == Layout::IMAGE ||
                     layout == Layout::BITSET || layout == Layout::MAP || layout == Layout::WORD ||
                     layout == Layout::OBJECT || layout == Layout::FUNCTION;
    if (ref && !referable) fail();
    switch (layout) {
    case Layout::DATATYPE: {
        uint32_t id = count();
        // The boot definitions name event!, which the GUI registers later.
        if (id < 1 || id > uint32_t(TYPE_COUNT) || (!mode_.startup && !registered(id))) fail();
        append(container, Cell{TYPE_DATATYPE | nl, id, 0, 0});
        return;
    }
    case Layout::NOTHING: append(container, Cell{type | nl, 0, 0, 0}); return;
    case Layout::LOGIC: {
        if (compact_) fail();   // compact images write logic values as lead bytes only
        uint32_t v = le32();
        if (v > 1) fail();
        append(container, Cell{TYPE_LOGIC | nl, v, 0, 0});
        return;
    }
    case Layout::CHAR: {
        uint32_t cp = compact_ ? uvarint() : le32();
        if (cp > 0x10FFFF) fail();
        append(container, Cell{TYPE_CHAR | nl, 0, cp, 0});
        return;
    }
    case Layout::INTEGER: append(container, Cell{TYPE_INTEGER | nl, 0, uint32_t(signed_value()), 0}); return;
    case Layout::FLOAT_LIKE:
    case Layout::PERCENT: {
        double d;
        if (compact_ && flag) d = layout == Layout::PERCENT ? svarint() / 100.0 : double(svarint());
        else d = f64();
        Cell c{type | nl, 0, 0, 0};
        set_cell_float(&c, d);
        append(container, c);
        return;
    }
    case Layout::PAIR: {
        int32_t x = signed_value();
        int32_t y = signed_value();
        append(container, Cell{TYPE_PAIR | nl, 0, uint32_t(x), uint32_t(y)});
        return;
    }
    case Layout::POINT2D: case Layout::POINT3D: {
        Cell c{type | nl, le32(), le32(), 0};
        if (layout == Layout::POINT3D) c.data3 = le32();
        append(container, c);
        return;
    }
    case Layout::DATE: {
        uint32_t w = le32();
        bool timed = date::has_time(w);
        double t = 0;
        if (compact_) {
            if (timed != flag) { p_ -= 4; fail(); }
            if (timed) t = f64();
        } else {
            t = f64();
            if (!timed) t = 0;
        }
        int32_t month = date::month_of(w), day = date::day_of(w);
        if (month < 1 || month > 12 || day < 1 || !std::isfinite(t) || std::fabs(t) > 1e9) fail();
        Cell c = date::make(w, t);
        c.header |= nl;
        append(container, c);
        return;
    }
    case Layout::TYPESET: {
        uint8_t bits[12] = {};
        uint32_t n = compact_ ? byte() : 12;
        if (n > 12) { p_--; fail(); }
        need(n);
        std::memcpy(bits, p_, n);
        p_ += n;
        Cell c{TYPE_TYPESET | nl, 0, 0, 0};
        std::memcpy(&c.data1, bits, 12);
        append(container, c);
        return;
    }
    case Layout::TUPLE: {
        uint32_t n = compact_ ? (flag ? byte() : 3) : (header >> 8) & 0xFF;
        if (n < 1 || n > 12) fail();
        uint8_t bytes[12] = {};
        uint32_t stored = compact_ ? n : 12;
        need(stored);
        std::memcpy(bytes, p_, n);
        p_ += stored;
        Cell c = tuple::make(n, bytes);
        c.header |= nl;
        append(container, c);
        return;
    }
    case Layout::MONEY: {
        bool negative = compact_ ? flag : (header & FX_MONEY_NEG) != 0;
        need(12);
        const uint8_t* m = p_;
        if (m[0] != 0 && !money::currency_word(m[0])) fail();
        for (int i = 1; i < 12; i++)
            if ((m[i] >> 4) > 9 || (m[i] & 15) > 9) fail();
        p_ += 12;
        Cell c;
        money::init_cell(&c, negative, m[0], m + 1);
        c.header |= nl;
        append(container, c);
        return;
    }
    case Layout::ISSUE: {
        int32_t sym = read_symbol();
        append(container, Cell{TYPE_ISSUE | nl, reinterpret_cast<uint32_t>(context::global()), uint32_t(sym),
                               0xFFFFFFFFu});
        return;
    }
    case Layout::WORD: read_word(container, type, flag, ref, header, nl); return;
    case Layout::CONTEXT: {
        ContextHead head = read_context_words(false, header);
        Cell obj{TYPE_OBJECT | nl, reinterpret_cast<uint32_t>(head.ctx), uint32_t(object::BOOT_CLASS), 0};
        *context::self_cell(head.ctx) = obj;
        uint32_t at = append(container, obj);
        read_context_values(head);
        Cell made = *context::self_cell(head.ctx);
        object::build_info(&made);
        *slot(container, at) = made;
        return;
    }
    case Layout::OBJECT: read_object(container, type, flag, ref, header, nl); return;
    case Layout::FUNCTION: read_function(container, ref, nl); return;
    case Layout::NATIVE: read_native(container, type, nl); return;
    case Layout::OP: read_op(container, nl); return;
    case Layout::ERROR: read_error(container, nl); return;
    case Layout::BLOCK: read_block(container, type, flag, ref, nl); return;
    case Layout::MAP: read_map(container, ref, nl); return;
    case Layout::TEXT: read_text(container, type, flag, ref, header, nl); return;
    case Layout::BINARY: read_binary(container, flag, ref, header, nl); return;
    case Layout::BITSET: read_bitset(container, flag, ref, header, nl); return;
    case Layout::VECTOR: read_vector(container, flag, ref, header, nl); return;
    case Layout::IMAGE: read_image(container, flag, ref, nl); return;
    default: fail();
    }
}

// ---- Series -----------------------------------------------------------------------------------

void Reader::read_series_reference(Node container, uint32_t type, uint32_t head, uint32_t nl) {
    Cell r = resolve(read_path());
    uint32_t rt = type_of(&r);
    Layout want = layout_of(type);
    Node node = nullptr;
    switch (want) {
    case Layout::BLOCK:
        if (is_any_block(rt)) node = cell_node(&r);
        else if (rt == TYPE_NATIVE || rt == TYPE_ACTION || rt == TYPE_OP || rt == TYPE_FUNCTION)
            node = reinterpret_cast<Node>(r.data2);   // the spec
        break;
    case Layout::TEXT: if (is_any_string(rt)) node = cell_node(&r); break;
    case Layout::BINARY: if (rt == TYPE_BINARY) node = cell_node(&r); break;
    // A vector's elements are read by its element type: only a vector's
    // buffer, with that type, will do.
    case Layout::VECTOR: if (rt == TYPE_VECTOR) node = cell_node(&r); break;
    default: break;
    }
    if (!node) fail();
    if (head > buffer_of(node)->length()) fail();
    Cell v{type | nl, head, reinterpret_cast<uint32_t>(node), type == TYPE_VECTOR ? r.data3 : 0};
    uint32_t at = append(container, v);
    if (type == TYPE_HASH) {
        Cell h = *slot(container, at);
        hash_index::make_for(&h);
        *slot(container, at) = h;
    }
}

void Reader::read_block(Node container, uint32_t type, bool flag, bool ref, uint32_t nl) {
    uint32_t head = read_head(flag);
    if (ref) return read_series_reference(container, type, head, nl);
    uint32_t n = bounded_count(compact_ ? 1 : 4);
    if (head > n) fail();
    Cell b = block::make(int32_t(n));
    b.header = type | nl;
    b.data1 = head;
    uint32_t at = append(container, b);
    Node node = cell_node(&b);
    for (uint32_t i = 0; i < n; i++) read_record(node);
    if (type == TYPE_HASH) {
        Cell h = *slot(container, at);
        hash_index::make_for(&h);
        *slot(container, at) = h;
    }
}

void Reader::read_map(Node container, bool ref, uint32_t nl) {
    if (ref) {
        Cell r = resolve(read_path());
        if (type_of(&r) != TYPE_MAP) fail();
        r.header = TYPE_MAP | nl;
        append(container, r);
        return;
    }
    uint32_t n = bounded_count(compact_ ? 1 : 4);
    if (n & 1) fail();
    // The members go into a plain block first, so that paths reach them
    // while they are read; the block becomes the map's own afterwards.
    Cell b = block::make(int32_t(n));
    uint32_t at = append(container, b);
    Node node = cell_node(&b);
    for (uint32_t i = 0; i < n; i++) {
        read_record(node);
        const Cell* c = slot(node, i);
        if (i % 2 == 0 && !map::key_type_q(type_of(c))) fail();
        if (i % 2 == 1 && type_of(c) == TYPE_UNSET) fail();
    }
    Cell m{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&m);
    map::init_cell(&m, &b, int32_t(n / 2));
    m.header = TYPE_MAP | nl;
    *slot(container, at) = m;
}

void Reader::read_text(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl) {
    uint32_t head, n, unit;
    if (compact_) {
        head = read_head(flag);
        if (ref) return read_series_reference(container, type, head, nl);
        uint32_t u = count();
        if ((u & 3) == 3) fail();
        unit = 1u << (u & 3);
        n = u >> 2;
    } else {
        unit = (header >> 8) & 0xFF;
        head = count();
        if (ref) return read_series_reference(container, type, head, nl);
        if (unit != 1 && unit != 2 && unit != 4) fail();
        n = count();
    }
    if (n > left() / unit || head > n) fail();
    const uint8_t* chars = p_;
    if (unit == 4)
        for (uint32_t i = 0; i < n; i++) {
            uint32_t cp;
            std::memcpy(&cp, chars + 4 * i, 4);
            if (cp > 0x10FFFF) { p_ += 4 * i; fail(); }
        }
    p_ += n * unit;
    skip_padding(n * unit);
    Cell s;
    string::init_cell_sized(&s, unit, n);
    SeriesBuffer* buf = buffer_of(cell_node(&s));
    if (n) std::memcpy(buf->head, chars, n * unit);
    buf->tail = buf->head + n * unit;
    s.header = type | nl;
    s.data1 = head;
    append(container, s);
}

void Reader::read_binary(Node container, bool flag, bool ref, uint32_t header, uint32_t nl) {
    uint32_t head = read_head(flag);
    if (ref) return read_series_reference(container, TYPE_BINARY, head, nl);
    if (!compact_ && ((header >> 8) & 0xFF) != 1) fail();
    uint32_t n = bounded_count(1);
    if (head > n) fail();
    const uint8_t* bytes = p_;
    p_ += n;
    skip_padding(n);
    Cell b = binary::make(bytes, n);
    b.header = TYPE_BINARY | nl;
    b.data1 = head;
    append(container, b);
}

void Reader::read_bitset(Node container, bool flag, bool ref, uint32_t header, uint32_t nl) {
    if (ref) {
        Cell r = resolve(read_path());
        if (type_of(&r) != TYPE_BITSET) fail();
        r.header = TYPE_BITSET | nl;
        append(container, r);
        return;
    }
    bool complemented = compact_ ? flag : (header & FX_BITSET_NOT) != 0;
    uint32_t n = bounded_count(1);
    const uint8_t* bytes = p_;
    p_ += n;
    skip_padding(n);
    Node node = memory::alloc_bytes_filled(n ? n : 1, complemented ? 0xFF : 0x00);
    SeriesBuffer* buf = buffer_of(node);
    if (n) std::memcpy(buf->head, bytes, n);
    buf->tail = buf->head + n;
    if (complemented) buf->flags |= SERIES_BITSET_NOT;
    append(container, Cell{TYPE_BITSET | nl, 0, reinterpret_cast<uint32_t>(node), 0});
}

void Reader::read_vector(Node container, bool flag, bool ref, uint32_t header, uint32_t nl) {
    uint32_t head, n, unit, element;
    if (compact_) {
        head = read_head(flag);
        if (ref) return read_series_reference(container, TYPE_VECTOR, head, nl);
        uint8_t code = byte();
        element = code >> 2;
        unit = 1u << (code & 3);
        if (!vector_element_fits(element, unit)) { p_--; fail(); }
        n = count();
    } else {
        unit = (header >> 8) & 0xFF;
        head = count();
        if (ref) return read_series_reference(container, TYPE_VECTOR, head, nl);
        n = count();
        element = le32();
        if (!vector_element_fits(element, unit)) { p_ -= 4; fail(); }
    }
    if (n > left() / unit || head > n) fail();
    const uint8_t* bytes = p_;
    p_ += n * unit;
    skip_padding(n * unit);
    Cell v = vector::make_empty(element, unit, n);
    SeriesBuffer* buf = buffer_of(cell_node(&v));
    if (n) std::memcpy(buf->head, bytes, n * unit);
    buf->tail = buf->head + n * unit;
    v.header = TYPE_VECTOR | nl;
    v.data1 = head;
    append(container, v);
}

void Reader::read_image(Node container, bool flag, bool ref, uint32_t nl) {
    uint32_t head = read_head(flag);
    if (ref) {
        Cell r = resolve(read_path());
        if (type_of(&r) != TYPE_IMAGE || !cell_node(&r)) fail();
        if (head > image_backend::width_of(&r) * image_backend::height_of(&r)) fail();
        r.header = TYPE_IMAGE | nl;
        r.data1 = head;
        append(container, r);
        return;
    }
    uint32_t w, h;
    if (compact_) {
        w = count();
        h = count();
    } else {
        uint32_t size = le32();
        w = size & 0xFFFF;
        h = size >> 16;
    }
    if (w > MAX_IMAGE_SIDE || h > MAX_IMAGE_SIDE) fail();
    uint32_t pixels = w * h;   // below 2^32: each side has 16 bits
    if (pixels > left() / 4 || head > pixels) fail();
    const uint8_t* bytes = p_;
    p_ += pixels * 4;
    Cell img = image_backend::empty();
    if (pixels) {
        image_backend::Bitmap* bitmap = image_backend::alloc_bitmap(w, h);
        if (!bitmap) raise_error("internal", "no-memory");
        std::memcpy(bitmap->pixels(), bytes, pixels * 4);
        img = image_backend::adopt(bitmap);
    } else {
        img.data3 = h << 16 | w;   // a size with a zero side has no pixels
    }
    img.header = TYPE_IMAGE | nl;
    img.data1 = head;
    append(container, img);
}

// ---- Contexts, objects, functions ------------------------------------------------------------

uint32_t Reader::expect_context_header() {
    if (compact_) {
        uint8_t b = byte();
        if (b >= 0x80 || (b & 63) != TYPE_CONTEXT) { p_--; fail(); }
        return 0;
    }
    uint32_t h = le32();
    if ((h & 0xFF) != TYPE_CONTEXT) { p_ -= 4; fail(); }
    return h;
}

Reader::ContextHead Reader::read_context_words(bool function, uint32_t header) {
    bool on_stack, values;
    if (compact_) {
        uint8_t flags = byte();
        on_stack = (flags & CTX_ON_STACK) != 0;
        values = (flags & CTX_VALUES) != 0;
    } else {
        on_stack = (header & FX_CTX_ON_STACK) != 0;
        values = (header & FX_CTX_VALUES) != 0;
    }
    if (on_stack != function) fail();
    uint32_t n = bounded_count(compact_ ? 1 : 4);
    Node ctx = context::make_node(int32_t(n), on_stack, !function, nullptr,
                                  function ? context::KIND_FUNCTION : context::KIND_OBJECT);
    for (uint32_t i = 0; i < n; i++) {
        int32_t sym = read_symbol();
        int32_t added;
        if (context::find_or_add_symbol(ctx, sym, true, &added) >= 0) fail();   // a spelling twice
    }
    return ContextHead{ctx, n, values && !on_stack};
}

void Reader::read_context_values(const ContextHead& head) {
    Node values = context::values_node(head.ctx);
    if (!values) return;
    if (head.values)
        for (uint32_t i = 0; i < head.count; i++) read_record(values);
    while (buffer_of(values)->length() < head.count) append(values, UNSET);
}

// Class id, change-notification pair and context words of an object; the
// object is made and stored as its context's self value.
Reader::ContextHead Reader::begin_object(uint32_t type, bool info, uint32_t header, uint32_t nl) {
    signed_value();   // the class id: decoded objects take the boot class
    if (compact_ ? info : (header & FX_OBJECT_INFO) != 0) {
        signed_value();   // the change-notification pair is rebuilt from the fields
        signed_value();
    }
    ContextHead head = read_context_words(false, expect_context_header());
    *context::self_cell(head.ctx) =
        Cell{type | nl, reinterpret_cast<uint32_t>(head.ctx), uint32_t(object::BOOT_CLASS), 0};
    return head;
}

Cell Reader::end_object(const ContextHead& head) {
    read_context_values(head);
    Cell made = *context::self_cell(head.ctx);
    object::build_info(&made);
    return made;
}

void Reader::read_object(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl) {
    if (type != TYPE_OBJECT) no_codec(type);
    if (ref) {
        Cell r = resolve(read_path());
        Cell owner = *context::self_cell(context_of_referent(r));
        if (type_of(&owner) != TYPE_OBJECT) fail();
        owner.header = (owner.header & ~FLAG_NEW_LINE) | nl;
        append(container, owner);
        return;
    }
    ContextHead head = begin_object(type, flag, header, nl);
    uint32_t at = append(container, *context::self_cell(head.ctx));
    Cell made = end_object(head);
    *slot(container, at) = made;
}

Reader::FunctionHead Reader::begin_function(uint32_t nl) {
    uint32_t spec_hint = count();
    uint32_t body_hint = count();
    if (spec_hint > left() || body_hint > left()) fail();
    ContextHead head = read_context_words(true, expect_context_header());
    Cell spec = block::make(int32_t(spec_hint));
    gc::CellRoot keep_spec(&spec);
    Cell body = block::make(int32_t(body_hint));
    gc::CellRoot keep_body(&body);
    Cell fn = *function::make_value_with_body(&spec, &body, head.ctx, 0, nullptr, 0);
    stack::pop(1);
    fn.header |= nl;
    *context::self_cell(head.ctx) = fn;
    return FunctionHead{head.ctx};
}

Node Reader::read_block_into(Node node) {
    bool ref = false;
    uint32_t head;
    if (compact_) {
        uint8_t b;
        for (;;) {
            b = byte();
            if (b == PREFIX_NEW_LINE) continue;
            if (b == PREFIX_REFERENCE) { ref = true; continue; }
            break;
        }
        if (b != TYPE_BLOCK && b != (TYPE_BLOCK | HEADER_FLAG)) { p_--; fail(); }
        head = read_head((b & HEADER_FLAG) != 0);
    } else {
        uint32_t h;
        do h = le32();
        while ((h & 0xFF) == 0);
        if ((h & 0xFF) != TYPE_BLOCK) { p_ -= 4; fail(); }
        ref = (h & FX_REFERENCE) != 0;
        head = count();
    }
    if (ref) {
        Cell r = resolve(read_path());
        uint32_t rt = type_of(&r);
        if (!is_any_block(rt)) fail();
        if (head > buffer_of(cell_node(&r))->length()) fail();
        return cell_node(&r);
    }
    uint32_t n = bounded_count(compact_ ? 1 : 4);
    if (head > n) fail();
    for (uint32_t i = 0; i < n; i++) read_record(node);
    return node;
}

Cell Reader::end_function(const FunctionHead& head) {
    Node ctx = head.ctx;
    Cell* self = context::self_cell(ctx);
    Node spec_node = read_block_into(function::spec_node(self));
    self = context::self_cell(ctx);
    self->data2 = reinterpret_cast<uint32_t>(spec_node);
    // The spec must be sound and name exactly the context's words.
    Cell spec = block_over(spec_node);
    gc::CellRoot keep_spec(&spec);
    uint32_t attributes = function::validate_spec(&spec);
    Node check = context::make_from_spec(&spec, true, false, context::KIND_FUNCTION);
    uint32_t n = context::word_count(ctx);
    if (context::word_count(check) != n) fail();
    for (uint32_t i = 0; i < n; i++) {
        int32_t a = word::symbol_of(context::word_cell_at(ctx, int32_t(i)));
        int32_t b = word::symbol_of(context::word_cell_at(check, int32_t(i)));
        if (symbol::resolve_alias(a) != symbol::resolve_alias(b)) fail();
    }
    self = context::self_cell(ctx);
    self->header = (self->header & ~FUNC_ATTRIBUTE_MASK) | (attributes & FUNC_ATTRIBUTE_MASK);
    Cell body_cell = *function::body_of(self);
    Node body_node = read_block_into(cell_node(&body_cell));
    self = context::self_cell(ctx);
    if (body_node != cell_node(&body_cell)) *function::body_of(self) = block_over(body_node);
    return *context::self_cell(ctx);
}

void Reader::read_function(Node container, bool ref, uint32_t nl) {
    if (ref) {
        Cell r = resolve(read_path());
        Cell fn;
        if (type_of(&r) == TYPE_OP && native::op_source_type(&r) == TYPE_FUNCTION) {
            fn = r;
            fn.header = (r.header & FUNC_ATTRIBUTE_MASK) | TYPE_FUNCTION;
        } else {
            fn = *context::self_cell(context_of_referent(r));
            if (type_of(&fn) != TYPE_FUNCTION) fail();
        }
        fn.header = (fn.header & ~FLAG_NEW_LINE) | nl;
        append(container, fn);
        return;
    }
    FunctionHead head = begin_function(nl);
    uint32_t at = append(container, *context::self_cell(head.ctx));
    Cell made = end_function(head);
    *slot(container, at) = made;
}

// A native or action is the program's own: its index names it.  At
// start-up the value is made here, over the stored spec, which a top-level
// record leaves in the target after the value; in the codec form the spec
// is read but not trusted, and the value is the one bound at start.
void Reader::read_native(Node container, uint32_t type, uint32_t nl) {
    uint32_t index = count();
    bool action = type == TYPE_ACTION;
    // Entries past the filled part of either table read 0.
    uintptr_t entry = action ? native::action_entry(index) : native::native_entry(index);
    if (index < 1 || entry == 0) fail();
    if (mode_.startup) {
        Cell spec;
        uint32_t at = 0;
        bool top = container == target_;
        if (top) {
            at = append(container, UNSET);
            read_record(container);
            if (buffer_of(container)->length() != at + 2) fail();
            spec = *slot(container, at + 1);
        } else {
            spec = read_detached();
        }
        if (type_of(&spec) != TYPE_BLOCK) fail();
        Cell v = UNSET;
        if (action) native::init_action(&v, &spec, index);
        else native::init_native(&v, &spec, index);
        v.header |= nl;
        if (top) *slot(container, at) = v;
        else append(container, v);
        return;
    }
    Cell spec = read_detached();
    if (type_of(&spec) != TYPE_BLOCK) fail();
    Node values = context::values_node(context::global());
    SeriesBuffer* s = buffer_of(values);
    const Cell* found = nullptr;
    for (Cell* c = cells_head(s); c < cells_tail(s); c++)
        if (type_of(c) == type && native::code_of(c) == entry) { found = c; break; }
    if (!found) fail();
    Cell v = *found;
    v.header = (v.header & ~FLAG_NEW_LINE) | nl;
    append(container, v);
}

void Reader::read_op(Node container, uint32_t nl) {
    uint32_t at = buffer_of(container)->length();
    read_record(container);
    Cell* c = slot(container, at);
    uint32_t inner = type_of(c);
    if (inner != TYPE_FUNCTION && inner != TYPE_NATIVE && inner != TYPE_ACTION) fail();
    Cell spec{TYPE_BLOCK, 0, c->data2, 0};
    if (native::op_arity(&spec) != 2) fail();
    c = slot(container, at);
    c->header = (c->header & ~(0xFFu | (0xFFu << native::OP_FROM_SHIFT) | FLAG_NEW_LINE)) | TYPE_OP |
                (inner << native::OP_FROM_SHIFT) | nl;
}

void Reader::read_error(Node container, uint32_t nl) {
    uint32_t code = count();
    uint32_t category = code / 100, id = code % 100;
    if (category >= error_catalog::CATEGORY_COUNT) fail();
    const error_catalog::CategoryEntry& entry = error_catalog::category(category);
    if (id >= entry.count) fail();
    Cell e = error::make_from_names(entry.name, entry.ids[id].id);
    e.header |= nl;
    uint32_t at = append(container, e);
    for (uint32_t k = 0; k < 6; k++) {
        Cell v = read_detached();
        // The stack field holds the call words of a report, or none: a bare
        // position would name frames of another run.
        if (k == 5 && type_of(&v) != TYPE_BLOCK) v = Cell{TYPE_NONE, 0, 0, 0};
        Node ctx = object::context_of(slot(container, at));
        cells_head(buffer_of(context::values_node(ctx)))[ERR_ARG1 + k] = v;
    }
}

Cell Reader::read_detached() {
    Cell holder = block::make(1);
    gc::CellRoot keep(&holder);
    read_record(cell_node(&holder));
    return *block::cell_at(&holder, 0);
}

// ---- Words ------------------------------------------------------------------------------------

Cell Reader::bound_word(uint32_t type, int32_t sym, Node ctx, uint32_t nl) {
    int32_t slot_index = context::find_symbol(ctx, sym, true);
    Cell w{type | nl, reinterpret_cast<uint32_t>(ctx), uint32_t(sym), uint32_t(slot_index)};
    if (slot_index < 0 && !word::spelled(&w, "self")) fail();
    return w;
}

// Start-up form: a global word, or a word of the context held by a root
// cell of this read, by slot or (-1) by spelling.  Root and slot are the
// program's own numbers, yet both are checked against what exists.
void Reader::read_startup_word(Node container, uint32_t type, bool flag, uint32_t header, uint32_t nl) {
    int32_t sym = read_symbol();
    int32_t root = -1, slot_index = -1;
    if (compact_) {
        if (flag) {
            root = int32_t(count());
            slot_index = svarint();
        }
    } else {
        root = int32_t(le32());
        slot_index = int32_t(le32());
        if (root < -1) { p_ -= 8; fail(); }
    }
    if (root < 0) {
        Cell w;
        word::init_cell(&w, sym);
        w.header = type | nl;
        append(container, w);
        return;
    }
    Node ctx = root_context(uint32_t(root));
    if (slot_index == -1) {
        slot_index = context::find_symbol(ctx, sym, true);
        if (slot_index < 0) fail();
    } else if (slot_index < 0 || uint32_t(slot_index) >= context::word_count(ctx)) {
        fail();
    }
    append(container, Cell{type | nl, reinterpret_cast<uint32_t>(ctx), uint32_t(sym), uint32_t(slot_index)});
}

// The context of root cell n: an object's, an error's or a function's.
Node Reader::root_context(uint32_t root) {
    uint32_t roots = buffer_of(target_)->length() - first_root_;
    if (root >= roots) fail();
    Cell c = *slot(target_, first_root_ + root);
    uint32_t t = type_of(&c);
    if (t != TYPE_OBJECT && t != TYPE_ERROR && t != TYPE_FUNCTION) fail();
    Node ctx = object::context_of(&c);
    if (!ctx || ctx == context::global()) fail();
    return ctx;
}

// A definition: the word, then one value record; the word is set to the
// value and neither stays in the container (nor what the value's record
// left there, such as a native's spec).
void Reader::read_definition(Node container, uint32_t type, bool flag, uint32_t header, uint32_t nl) {
    uint32_t before = buffer_of(container)->length();
    read_startup_word(container, type, flag, header, nl);
    uint32_t at = before + 1;
    read_record(container);
    if (buffer_of(container)->length() <= at) fail();   // the value was itself a definition
    Cell word = *slot(container, before);
    Cell value = *slot(container, at);
    context::set_value(&word, &value, word::context_of(&word), false);
    cut_back(container, before);
}

void Reader::cut_back(Node container, uint32_t length) {
    SeriesBuffer* s = buffer_of(container);
    s->tail = s->head + length * sizeof(Cell);
}

void Reader::read_word(Node container, uint32_t type, bool flag, bool ref, uint32_t header, uint32_t nl) {
    if (mode_.startup) {
        if (ref) fail();
        read_startup_word(container, type, flag, header, nl);
        return;
    }
    int32_t sym = read_symbol();
    bool global = compact_ ? !flag : (header & FX_GLOBAL_WORD) != 0;
    if (global) {
        if (ref) fail();
        if (!compact_) le32();   // the slot: the global context has its own
        Cell w;
        word::init_cell(&w, sym);
        w.header = type | nl;
        append(container, w);
        return;
    }
    signed_value();   // the slot: words are bound by spelling, never trusted by number
    if (ref) {
        Node ctx = context_of_referent(resolve(read_path()));
        append(container, bound_word(type, sym, ctx, nl));
        return;
    }
    // The owner follows: built here, reached through this word only.
    uint32_t owner, owner_header = 0;
    bool owner_flag = false;
    if (compact_) {
        uint8_t b = byte();
        if (b >= 0x80) { p_--; fail(); }
        owner = b & 63;
        owner_flag = (b & HEADER_FLAG) != 0;
    } else {
        owner_header = le32();
        owner = owner_header & 0xFF;
        if (owner_header & FX_REFERENCE) fail();
    }
    if (owner == TYPE_OBJECT) {
        ContextHead head = begin_object(TYPE_OBJECT, owner_flag, owner_header, 0);
        append(container, bound_word(type, sym, head.ctx, nl));
        Cell made = end_object(head);
        *context::self_cell(head.ctx) = made;
    } else if (owner == TYPE_FUNCTION) {
        FunctionHead head = begin_function(0);
        append(container, bound_word(type, sym, head.ctx, nl));
        end_function(head);
    } else {
        fail();
    }
}

}  // namespace

// ---- Entry ------------------------------------------------------------------------------------

namespace {

// The one reader behind every entry: checks the header, unpacks, reads.
// Errors raise, or in error mode `no` end the process.
void read_image(const uint8_t* data, int32_t length, Cell* target, const Cell* subject, Mode mode) {
    gc::NoCollect no_collect;
    Cell none{TYPE_NONE, 0, 0, 0};
    const Cell* named = subject ? subject : &none;
    auto bad_data = [&](const char* fatal_message) {
        if (mode.fatal) end_process(fatal_message);
        raise_error("script", "invalid-data", named);
    };
    bool known = length >= 0;
    if (known && length < int32_t(HEADER_BYTES)) bad_data("Error: Not a Qorbin file!");
    if (std::memcmp(data, MAGIC, sizeof MAGIC) != 0) bad_data("Error: Not a Qorbin file!");
    // Unknown length: the program's own data, bounded by its record count
    // (and by the top of the address space, so the end never wraps).
    uintptr_t room = ~uintptr_t(0) - reinterpret_cast<uintptr_t>(data);
    const uint8_t* end = known ? data + length : data + (room < 0x7FFFFFF0u ? room : 0x7FFFFFF0u);
    uint8_t flags = data[7];
    const uint8_t* base = data;
    const uint8_t* p = data + HEADER_BYTES;
    LzBuffer unpacked;
    if (flags & FLAG_PACKED) {
        const char* corrupt = "Error: Qorbin compressed data corrupted!";
        size_t available = size_t(end - p);
        if (available < lz::HEADER_SIZE) bad_data(corrupt);
        // A stream can claim at most one longest match per nine bits.
        uint32_t claimed = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
        if (claimed / lz::MAX_MATCH > available * 8 / 9 + 1) bad_data(corrupt);
        uint32_t size = 0;
        unpacked.p = lz::decompress(p, available, &size);
        if (!unpacked.p) bad_data(corrupt);
        base = unpacked.p;
        p = base;
        end = base + size;
    }
    bool compact = (flags & FLAG_COMPACT) != 0;
    if (!compact && (known || unpacked.p) && end - p <= 7) bad_data("Error: Not a Qorbin file!");
    Reader reader(base, p, end, mode);
    reader.read_header(compact, (flags & FLAG_SYMBOLS) != 0);
    reader.read_all(cell_node(target));
}

}  // namespace

void decode(const uint8_t* data, int32_t length, Cell* target, const Cell* subject) {
    codec_mode = 1;
    read_image(data, length, target, subject, Mode{false, false});
}

Cell* decode_startup(const uint8_t* data, int32_t length, Cell* target) {
    uint32_t first = buffer_of(cell_node(target))->length();
    read_image(data, length, target, nullptr, Mode{true, false});
    return cells_head(buffer_of(cell_node(target))) + first;
}

Cell* decode_boot(const uint8_t* payload, bool keep, int32_t length) {
    codec_mode = 0;
    Cell* saved = payload_root_base;
    gc::NoCollect no_collect;
    Cell target = block_over(root_block::node());
    uint32_t first = root_block::length();
    try {
        read_image(payload, length, &target, nullptr, Mode{true, true});
    } catch (const Thrown&) {
        // A raise from the value makers (a malformed spec, no memory).
        end_process("Error: Qorbin boot payload could not be decoded");
    }
    // The root block never moves, so its cells' addresses hold for the run.
    payload_root_base = root_block::cell_at(first);
    Cell* root_cell_0 = payload_root_base;
    if (keep) payload_root_base = saved;
    return root_cell_0;
}

}  // namespace qor::qorbin
