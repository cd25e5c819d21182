// Shared set-up for the object, function, native and error tests: the word
// fixture plus the fixed words, function!, routine!, native!, action!, op!,
// object! and error!, the error catalog, and small stand-ins for what the
// evaluator does (a reader of simple source text, the evaluation of
// assignment blocks, and a recorder of function calls).  QOR_GC_STRESS
// applies.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/lexer.hpp"
#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "runtime/ownership.hpp"
#include "word_fixture.hpp"

namespace qor::test {

// ---- Reading source text ------------------------------------------------------------------
// Enough of the syntax for the tests: words of every kind, integers, strings
// without escapes, blocks and parens.  Words come out bound to the global
// context.

class Reader {
public:
    explicit Reader(const char* text) : p_(text) {}

    // The values of the whole text, as a block!.
    Cell read_all() {
        Cell block = block::make(8);
        gc::CellRoot keep(&block);
        read_into(&block, 0);
        return block;
    }

private:
    const char* p_;

    bool new_line_ = false;

    void skip_blanks() {
        new_line_ = false;
        while (*p_ && std::isspace(static_cast<unsigned char>(*p_))) {
            if (*p_ == '\n') new_line_ = true;
            p_++;
        }
    }

    void read_into(Cell* block, char close) {
        Cell item{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&item);
        for (skip_blanks(); *p_ && *p_ != close; skip_blanks()) {
            bool line = new_line_;
            read_value(&item);
            if (line) item.header |= FLAG_NEW_LINE;
            block::append_copy(block, &item);
        }
        if (*p_) p_++;
    }

    void read_value(Cell* out) {
        char c = *p_;
        if (c == '[' || c == '(') {
            p_++;
            *out = block::make(4);
            read_into(out, c == '[' ? ']' : ')');
            out->header = (out->header & ~TYPE_MASK) | (c == '[' ? TYPE_BLOCK : TYPE_PAREN);
            return;
        }
        if (c == '"') {
            const char* start = ++p_;
            while (*p_ && *p_ != '"') p_++;
            *out = string::from_utf8(start, size_t(p_ - start));
            if (*p_) p_++;
            return;
        }
        const char* start = p_;
        while (*p_ && !std::isspace(static_cast<unsigned char>(*p_)) && !std::strchr("[]()\"", *p_)) p_++;
        std::string t(start, size_t(p_ - start));
        bool number = std::isdigit(static_cast<unsigned char>(t[0])) ||
                      (t.size() > 1 && t[0] == '-' && std::isdigit(static_cast<unsigned char>(t[1])));
        if (number) {
            *out = integer::make(std::atoi(t.c_str()));
            return;
        }
        uint32_t type = TYPE_WORD;
        if (t.size() > 1 && t[0] == '\'') type = TYPE_LIT_WORD, t.erase(0, 1);
        else if (t.size() > 1 && t[0] == ':') type = TYPE_GET_WORD, t.erase(0, 1);
        else if (t.size() > 1 && t[0] == '/') type = TYPE_REFINEMENT, t.erase(0, 1);
        else if (t.size() > 1 && t.back() == ':') type = TYPE_SET_WORD, t.pop_back();
        *out = *word::make_from_c_string(t.c_str());
        out->header = type;
    }
};

inline Cell load(const char* text) { return Reader(text).read_all(); }

// The first value of a text.
inline Cell first_of(const char* text) {
    Cell all = load(text);
    return *block::cell_at(&all, 0);
}

inline bool spelling_is(const Cell& word, const char* text) {
    return spelling_of(int32_t(word.data2)) == text;
}

// ---- Evaluating assignment blocks ----------------------------------------------------------
// What object and error specs in the tests need: runs of set-words followed
// by one value, which is taken literally, except that a word gives its value
// and a paren holds a block to make a function of: (spec-block body-block).

inline void fake_eval(Cell* block_in) {
    Cell block = *block_in;
    gc::CellRoot keep(&block);
    uint32_t n = block::total_length(&block);
    uint32_t i = block.data1;
    while (i < n) {
        uint32_t j = i;
        while (j < n && type_of(block::cell_at(&block, j)) == TYPE_SET_WORD) j++;
        if (j == i) {
            i++;
            continue;
        }
        Cell v = j < n ? *block::cell_at(&block, j) : Cell{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_v(&v);
        if (type_of(&v) == TYPE_WORD) {
            v = spelling_is(v, "none") ? Cell{TYPE_NONE, 0, 0, 0} : *context::get_word_value(&v);
        } else if (type_of(&v) == TYPE_LIT_WORD) {
            v.header = TYPE_WORD;
        } else if (type_of(&v) == TYPE_PAREN) {
            Cell spec = *block::cell_at(&v, 0), body = *block::cell_at(&v, 1);
            gc::CellRoot ks(&spec), kb(&body);
            v = *function::make_value(&spec, &body, nullptr, 0, nullptr, function::validate_spec(&spec));
            stack::pop(1);
        }
        v.header &= ~FLAG_NEW_LINE;
        for (uint32_t k = i; k < j; k++) {
            Cell w = *block::cell_at(&block, k);
            gc::CellRoot keep_w(&w);
            context::set_word_value(&w, &v);
        }
        i = j + 1;
    }
}

// ---- Recording calls ------------------------------------------------------------------------------

struct RecordedCall {
    Cell function;
    std::vector<Cell> args;
};
inline std::vector<RecordedCall> recorded_calls;

inline void record_call(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    RecordedCall r{*function, std::vector<Cell>(args, args + count)};
    recorded_calls.push_back(r);
    *result = Cell{TYPE_UNSET, 0, 0, 0};
}

// The recorded cells stay reachable while a test runs.
inline void mark_recorded_calls() {
    for (RecordedCall& r : recorded_calls) {
        gc::mark_cells(&r.function, &r.function + 1);
        if (!r.args.empty()) gc::mark_cells(r.args.data(), r.args.data() + r.args.size());
    }
}

// ---- The fixture ---------------------------------------------------------------------------------------

class ObjectFixture : public WordFixture {
protected:
    void SetUp() override {
        WordFixture::SetUp();
        owner::init_table();
        words::init_fixed();
        words::init_refinements();
        function::init();
        native::init();
        object::init();
        error::init();
        datatype::bind_names();
        for (uint32_t t : {TYPE_INTEGER, TYPE_STRING, TYPE_BLOCK, TYPE_LOGIC, TYPE_NONE, TYPE_WORD}) {
            Cell dt{TYPE_DATATYPE, t, 0, 0};
            context::set_global_value(symbol::intern(TYPE_NAMES[t]), &dt);
        }
        saved_links_ = eval_links::get();
        eval_links::get() = eval_links::Links{};
        eval_links::get().eval_block = fake_eval;
        Cell catalog = error_catalog::build();
        gc::CellRoot keep(&catalog);
        error_catalog::install(&catalog);
        object::reset_class_counter();
        object::set_boot_classes(false);
        recorded_calls.clear();
        eval_links::get().call_function = record_call;
        gc::push_root(mark_recorded_calls);
    }
    void TearDown() override {
        eval_links::get().call_function = nullptr;
        recorded_calls.clear();
        eval_links::get() = saved_links_;
        error_catalog::uninstall();
        errors::clear();
        object::reset_class_counter();
        owner::set_deep_change_hook(nullptr);
        number_hooks::get().notify_path_change = nullptr;
        owner::release();
        WordFixture::TearDown();
    }

private:
    eval_links::Links saved_links_;
};

// Evaluates a make object! spec written as text (prototype: a datatype! or an
// object).
inline Cell make_object(const char* spec_text, const Cell* prototype = nullptr) {
    Cell spec = load(spec_text);
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

// The id of the language error that f raises ("" when none).
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

}  // namespace qor::test
