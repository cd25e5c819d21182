// The fixture of every test that needs values, words, the lexer or the
// evaluator: each test boots the runtime through the program's own start-up
// (every datatype, the fixed words, the natives and actions bound from the
// boot definitions, the error catalog, the interpreter's stacks, the lexer
// and the library's top-level code), stopping where the console would
// launch.  Source text is loaded by the real lexer.  QOR_GC_STRESS applies.
//
// Only the tests of the memory manager and the collector, and the few whose
// cases need a partial registry or an empty symbol table, run below
// start-up (memory_fixture.hpp).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "boot/library.hpp"
#include "boot/payload.hpp"
#include "library/routines.hpp"
#include "boot/start.hpp"
#include "datatypes/block.hpp"
#include "datatypes/block_actions.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/object.hpp"
#include "datatypes/path.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_out.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/unset.hpp"
#include "datatypes/word.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/lexer.hpp"
#include "evaluator/natives_table.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/collector.hpp"
#include "datatypes/cycle_stack.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/ownership.hpp"
#include "datatypes/root_block.hpp"
#include "runtime/series.hpp"
#include "runtime/throw.hpp"

namespace qor::test {

// ---- Cells -----------------------------------------------------------------------------------

inline Cell integer_cell(int32_t n) { return Cell{TYPE_INTEGER, 0, uint32_t(n), 0}; }
inline Cell float_cell(double d, uint32_t type = TYPE_FLOAT) {
    Cell c{type, 0, 0, 0};
    set_cell_float(&c, d);
    return c;
}
inline Cell logic_cell(bool b) { return Cell{TYPE_LOGIC, b ? 1u : 0u, 0, 0}; }
inline Cell datatype_cell(uint32_t type) { return Cell{TYPE_DATATYPE, type, 0, 0}; }
inline Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
inline Cell unset_cell() { return Cell{TYPE_UNSET, 0, 0, 0}; }
inline Cell text(const char* utf8) { return string::from_utf8(utf8); }
inline int32_t int_of(const Cell* c) { return integer::get_value(c); }

inline Cell with_new_line(Cell c) {
    c.header |= FLAG_NEW_LINE;
    return c;
}

// A typeset! of the type ids.
inline Cell typeset_of(std::initializer_list<uint32_t> types) {
    Cell ts{TYPE_TYPESET, 0, 0, 0};
    for (uint32_t t : types) typeset_set_bit(&ts, t);
    return ts;
}

// A block of the given type holding the cells.
inline Cell block_of(std::initializer_list<Cell> cells, uint32_t type = TYPE_BLOCK) {
    Cell b = block::make(int32_t(cells.size()));
    gc::CellRoot keep(&b);
    for (const Cell& c : cells) block::append_copy(&b, &c);
    b.header = type;
    return b;
}

// A block of integers.
inline Cell ints(std::initializer_list<int32_t> values, uint32_t type = TYPE_BLOCK) {
    Cell b = block::make(int32_t(values.size()));
    gc::CellRoot keep(&b);
    for (int32_t v : values) {
        Cell c = integer::make(v);
        block::append_copy(&b, &c);
    }
    b.header = type;
    return b;
}

// The integers of a block from its index (a non-integer cell shows as
// -999999).
inline std::vector<int32_t> ints_of(const Cell& b) {
    std::vector<int32_t> out;
    for (uint32_t i = 0; i < block::length(&b); i++) {
        const Cell* c = block::item(&b, i);
        out.push_back(type_of(c) == TYPE_INTEGER ? int_of(c) : -999999);
    }
    return out;
}

// ---- Raw buffers (for the hash tables' own tests) -----------------------------------

// A block-kind cell over a new buffer with room for `room` cells.
inline Cell fresh_block(uint32_t room, uint32_t type = TYPE_BLOCK) {
    return Cell{type, 0, reinterpret_cast<uint32_t>(memory::alloc_cells(room)), 0};
}
inline void append_cell(Cell* block, Cell value) {
    *block_buffer::alloc_tail(block) = value;  // `value` is a copy: the buffer may move
}
inline Cell* cell_at(const Cell* block, int32_t i) { return cells_head(buffer_of(cell_node(block))) + i; }
inline int32_t cell_count(const Cell* block) { return int32_t(buffer_of(cell_node(block))->length()); }
inline Node table_of(const Cell* value) { return reinterpret_cast<Node>(value->data3); }

// A string value of unit 1, 2 or 4 holding the code points of `text`.
inline Cell text_cell(const std::u32string& text, uint32_t unit, uint32_t type = TYPE_STRING) {
    Node node = memory::alloc_units(uint32_t(text.size()) + 1, unit);
    SeriesBuffer* s = buffer_of(node);
    for (char32_t c : text) {
        uint32_t cp = uint32_t(c);
        std::memcpy(s->tail, &cp, unit);  // little-endian: the low bytes
        s->tail += unit;
    }
    return Cell{type, 0, reinterpret_cast<uint32_t>(node), 0};
}

// ---- Words -----------------------------------------------------------------------------------

inline int32_t sym(const char* spelling) { return symbol::intern(spelling); }

// The text of a symbol.
inline std::string spelling_of(int32_t id) {
    return std::string(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
}
inline bool spelling_is(const Cell& word, const char* text) { return spelling_of(int32_t(word.data2)) == text; }

// A word of the given kind bound to nothing (slot -1, context 0).
inline Cell loose_word(const char* spelling, uint32_t type = TYPE_WORD) {
    return Cell{type, 0, uint32_t(sym(spelling)), 0xFFFFFFFFu};
}
inline Cell word_cell(const char* spelling, uint32_t type = TYPE_WORD) { return loose_word(spelling, type); }

// The global word of a spelling (added when absent), as a value.
inline Cell global_word(const char* spelling, uint32_t type = TYPE_WORD) {
    Cell w = *word::make_from_c_string(spelling);
    w.header = type;
    return w;
}

inline Node ctx_of(const Cell& word) { return word::context_of(&word); }

inline Cell global(const char* name) { return *context::global_value_pointer(symbol::intern(name)); }
inline void set_global(const char* name, Cell value) {
    gc::CellRoot keep(&value);
    context::set_global_value(symbol::intern(name), &value);
}

// ---- Source text -----------------------------------------------------------------------------

// The values loaded from UTF-8 text by the lexer, as a block.
inline Cell load_source(const std::string& source, lexer::TranscodeOptions options = {}) {
    Cell src = string::from_utf8(source.data(), source.size());
    gc::CellRoot keep(&src);
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep_result(&result);
    lexer::transcode(&src, options, &result);
    return result;
}

// The first value of a text.
inline Cell first_of(const char* text) {
    Cell all = load_source(text);
    gc::CellRoot keep(&all);
    return *block::cell_at(&all, 0);
}

// ---- Text forms ------------------------------------------------------------------------------

// Characters of UTF-8 text (output limits count characters, not bytes).
inline int32_t utf8_chars(const std::string& text) {
    int32_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

// Forms or molds a value through its type's slot, checks that the remaining
// limit accounts for exactly the text appended, and answers the text.
inline std::string form_of(Cell value, int32_t limit = 1000) {
    Cell out;
    string_new_output(&out);
    FormFn form = registry::action<SLOT_FORM>(type_of(&value));
    EXPECT_NE(form, nullptr);
    if (!form) return {};
    int32_t left = form(&value, &out, nullptr, limit);
    std::string text = string_text_of(&out);
    EXPECT_EQ(left, limit - utf8_chars(text)) << "limit after forming " << text;
    return text;
}

inline std::string mold_of(Cell value, bool all = false, int32_t limit = 1000) {
    Cell out;
    string_new_output(&out);
    MoldFn mold = registry::action<SLOT_MOLD>(type_of(&value));
    EXPECT_NE(mold, nullptr);
    if (!mold) return {};
    int32_t left = mold(&value, &out, false, all, false, nullptr, limit, 0);
    std::string text = string_text_of(&out);
    EXPECT_EQ(left, limit - utf8_chars(text)) << "limit after molding " << text;
    return text;
}

// Molds with every flag through the dispatcher; checks the remaining limit
// like mold_of does.
inline std::string mold_with(Cell value, bool only, bool all, bool flat, Cell* part = nullptr,
                             int32_t limit = 100000, int32_t indent = 0) {
    Cell out;
    string::init_cell(&out, 16);
    gc::CellRoot keep(&out), keep_value(&value);
    int32_t left = dispatch::mold(&value, &out, only, all, flat, part, limit, indent);
    std::string t = string::to_utf8(&out);
    if (!part) {
        EXPECT_EQ(left, limit - utf8_chars(t)) << "limit after molding " << t;
    }
    return t;
}

inline std::string mold_text(Cell value) { return mold_with(value, false, false, false); }

// A number from the environment (the fuzz tests' counts and seeds), or the default.
inline uint32_t env_number(const char* name, uint32_t otherwise) {
    const char* text = std::getenv(name);
    return text && *text ? uint32_t(std::strtoul(text, nullptr, 10)) : otherwise;
}

inline std::string form_text(Cell value) {
    Cell out;
    string::init_cell(&out, 16);
    gc::CellRoot keep(&out), keep_value(&value);
    int32_t left = dispatch::form(&value, &out, nullptr, 100000);
    std::string t = string::to_utf8(&out);
    EXPECT_EQ(left, 100000 - utf8_chars(t)) << "limit after forming " << t;
    return t;
}

// A value molded (with `only`, a block without its brackets).
inline std::string molded(Cell value, bool only = false, bool all = false) {
    Cell out = string::make(16);
    gc::CellRoot keep(&out), keep_value(&value);
    dispatch::mold(&value, &out, only, all, false, nullptr, 1 << 30, 0);
    return string::to_utf8(&out);
}

// What a text loads as, molded (the block's values without brackets).
inline std::string loaded(const std::string& source) {
    Cell b = load_source(source);
    gc::CellRoot keep(&b);
    return molded(b, true);
}

inline int32_t compare_of(Cell a, Cell b, int32_t op) {
    return registry::action<SLOT_COMPARE>(type_of(&a))(&a, &b, op);
}

// ---- Errors ------------------------------------------------------------------------------------

// Runs `f`, which must raise a language error, and answers what it raised.
template <class F>
RaisedError raised_by(F f) {
    try {
        f();
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        return last_raised_error();
    }
    ADD_FAILURE() << "no error was raised";
    RaisedError nothing;
    return nothing;
}

// "category/id" of the language error that f raises ("" when none).
template <class F>
std::string raised_id(F f) {
    try {
        f();
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) return "<other throw>";
        return last_raised_error().category + "/" + last_raised_error().id;
    }
    return "";
}

// The spelling of an error argument: a string's text, a word's or a
// datatype's name.
inline std::string arg_text(const RaisedError::Arg& a) {
    if (!a.given) return "-";
    if (!a.word.empty()) return a.word;
    if (type_of(&a.value) == TYPE_DATATYPE)
        return a.value.data1 >= 1 && a.value.data1 <= uint32_t(TYPE_COUNT) ? TYPE_NAMES[a.value.data1] : "?";
    if (is_any_string(type_of(&a.value))) return string::to_utf8(&a.value);
    if (is_word_kind(type_of(&a.value))) return spelling_of(int32_t(a.value.data2));
    return "?";
}

// "id arg2 @ arg3" of the syntax error a text raises (the position text
// is checked apart), or "no error".
inline std::string load_error(const std::string& source, std::string* position = nullptr) {
    try {
        load_source(source);
    } catch (const Thrown& t) {
        EXPECT_EQ(t.code, THROW_ERROR);
        const RaisedError& e = last_raised_error();
        EXPECT_EQ(e.category, "syntax");
        if (position) *position = arg_text(e.args[0]);
        if (e.id == "invalid" || e.id == "missing")
            return e.id + " " + arg_text(e.args[1]) + " @ " + arg_text(e.args[2]);
        return e.id + " @ " + arg_text(e.args[1]);
    }
    return "no error";
}

// ---- Direct calls of action slots ------------------------------------------------------------

// Opens a fresh call: the next pushed cell is the arguments base.
inline void open_call() { stack::seam_start_call(); }

// Runs a direct (stack) slot with the series at the arguments base and an
// optional argument after it; answers the result slot.
inline Cell run_direct(DirectFn fn, Cell series, const Cell* arg = nullptr) {
    open_call();
    stack::push(&series);
    if (arg) stack::push(arg);
    fn();
    return *stack::arguments_base();
}

// Pushes the series as the call's first argument (the result slot).
inline Cell* base_with(Cell series) {
    open_call();
    return stack::push(&series);
}

// ---- The fixture -------------------------------------------------------------------------------

class RuntimeFixture : public ::testing::Test {
protected:
    void SetUp() override {
        boot::runtime_init();
        gc::finish_startup();
        root_block::set_collecting(false);
        boot::boot_library();
        open_call();
    }
    void TearDown() override {
        boot::runtime_reset();
    }

    // Binds a native (its entry appended to the natives table) or a function
    // defined by Qor text to a global word.
    void native(const char* name, const char* spec, NativeFn entry) {
        uintptr_t e = reinterpret_cast<uintptr_t>(entry);
        natives::register_entries(1, &e);
        Cell s = load_source(spec);
        gc::CellRoot keep(&s);
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_v(&v);
        native::init_native(&v, &s, natives::count_word() - 1);
        set_global(name, v);
    }
    void define(const char* name, const char* spec, const char* body) {
        Cell s = load_source(spec), b = load_source(body);
        gc::CellRoot ks(&s), kb(&b);
        Cell fn = *function::make_value(&s, &b, nullptr, 0, nullptr, function::validate_spec(&s));
        stack::pop(1);
        set_global(name, fn);
    }

    // Evaluates the text as a block; answers its value (the stacks are put
    // back as they were).
    Cell eval(const std::string& text) {
        Cell code = load_source(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            stack::restore(cp);
            const RaisedError& e = last_raised_error();
            ADD_FAILURE() << text << ": throw " << std::hex << t.code << std::dec << " " << e.category << "/"
                          << e.id << " " << arg_text(e.args[0]);
            return Cell{TYPE_NONE, 0, 0, 0};
        }
        Cell result = *stack::top_value();
        EXPECT_EQ(stack::state.top, cp.top + 1) << text;
        EXPECT_EQ(stack::state.frames_top, cp.frames_top) << text;
        stack::restore(cp);
        return result;
    }

    int32_t eval_int(const std::string& text) {
        Cell r = eval(text);
        EXPECT_EQ(type_of(&r), TYPE_INTEGER) << text;
        return int32_t(r.data2);
    }

    // Evaluates text that must raise a language error; answers what was
    // raised, once the stacks are put back as they were.
    RaisedError eval_error(const std::string& text) {
        Cell code = load_source(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            EXPECT_EQ(t.code, THROW_ERROR) << text;
            stack::restore(cp);
            return last_raised_error();
        }
        stack::restore(cp);
        ADD_FAILURE() << "no error raised by " << text;
        return RaisedError{};
    }

    // The spelling of a word argument of a raised error.
    static std::string arg_spelling(const RaisedError& e, int i) {
        const RaisedError::Arg& a = e.args[i];
        if (!a.word.empty()) return a.word;
        if (!is_word_kind(type_of(&a.value))) return "";
        return spelling_of(int32_t(a.value.data2));
    }
};

// ---- Objects -----------------------------------------------------------------------------------

// The fixture of the object, function, native and error tests: the runtime
// fixture, with every call the interpreter makes through its call hook (the
// change handlers) recorded instead of run.
struct RecordedCall {
    Cell function;
    std::vector<Cell> args;
};
inline std::vector<RecordedCall> recorded_calls;

inline void record_call(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    recorded_calls.push_back(RecordedCall{*function, std::vector<Cell>(args, args + count)});
    *result = Cell{TYPE_UNSET, 0, 0, 0};
}

// The recorded cells stay reachable while a test runs.
inline void mark_recorded_calls() {
    for (RecordedCall& r : recorded_calls) {
        gc::mark_cells(&r.function, &r.function + 1);
        if (!r.args.empty()) gc::mark_cells(r.args.data(), r.args.data() + r.args.size());
    }
}

class ObjectFixture : public RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        object::reset_class_counter();
        object::set_boot_classes(false);
        recorded_calls.clear();
        interp::set_call_hook(record_call);
        gc::push_root(mark_recorded_calls);
    }
    void TearDown() override {
        interp::set_call_hook(nullptr);
        gc::remove_root(mark_recorded_calls);
        recorded_calls.clear();
        RuntimeFixture::TearDown();
    }
};

// Evaluates a make object! spec written as text (prototype: a datatype! or an
// object).
inline Cell make_object(const char* spec_text, const Cell* prototype = nullptr) {
    Cell spec = load_source(spec_text);
    gc::CellRoot keep(&spec);
    Cell proto = prototype ? *prototype : Cell{TYPE_DATATYPE, TYPE_OBJECT, 0, 0};
    gc::CellRoot keep_proto(&proto);
    Cell obj = *object::make(&proto, &spec);
    stack::pop(1);
    return obj;
}

// A field's value by name, and the node of a series held there.
inline Cell field_of(const Cell& obj, const char* name) {
    Cell w = loose_word(name);
    return *object::find_value(&obj, &w);
}
inline int32_t int_field(const Cell& obj, const char* name) { return int32_t(field_of(obj, name).data2); }
inline uint32_t field_type(const Cell& obj, const char* name) {
    Cell v = field_of(obj, name);
    return type_of(&v);
}
inline Node field_node(const Cell& obj, const char* name) {
    Cell v = field_of(obj, name);
    return cell_node(&v);
}

// A function made from text: spec and body.
inline Cell make_function(const char* spec_text, const char* body_text) {
    Cell spec = first_of(spec_text), body = first_of(body_text);
    gc::CellRoot ks(&spec), kb(&body);
    uint32_t flags = function::validate_spec(&spec);
    Cell fn = *function::make_value(&spec, &body, nullptr, 0, nullptr, flags);
    stack::pop(1);
    return fn;
}

}  // namespace qor::test
