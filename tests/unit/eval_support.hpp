// Shared set-up for the evaluator tests: every datatype the interpreter
// meets, the error catalog, the action table, the interpreter's stacks, and a
// small vocabulary of test natives (func, do, loop, break, try, catch ...)
// and actions (add, form, append ...) bound to global words, so tests can run
// Qor code written as text.  QOR_GC_STRESS applies.
#pragma once
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/error.hpp"
#include "datatypes/error_catalog.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "evaluator/actions.hpp"
#include "evaluator/call.hpp"
#include "evaluator/exits.hpp"
#include "evaluator/interpreter.hpp"
#include "evaluator/natives_table.hpp"
#include "datatypes/stack.hpp"
#include "evaluator/trace.hpp"
#include "runtime/ownership.hpp"
#include "runtime/throw.hpp"
#include "word_fixture.hpp"

namespace qor::test {

// ---- Reading source text ---------------------------------------------------------------------
// Enough of the syntax for these tests: blocks, parens, strings without
// escapes, integers, floats, issues, the word kinds and simple paths (a/b/1,
// a/b:, :a/b, 'a/b, elements words, get-words or integers).

class EvalReader {
public:
    explicit EvalReader(const char* text) : p_(text) {}

    Cell read_all() {
        Cell block = block::make(8);
        gc::CellRoot keep(&block);
        read_into(&block, 0);
        return block;
    }

private:
    const char* p_;

    static bool delimiter(char c) { return !c || std::isspace(static_cast<unsigned char>(c)) || std::strchr("[]()\"", c); }

    void read_into(Cell* block, char close) {
        Cell item{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep(&item);
        for (;;) {
            while (*p_ && std::isspace(static_cast<unsigned char>(*p_))) p_++;
            if (!*p_ || *p_ == close) break;
            read_value(&item);
            block::append_copy(block, &item);
        }
        if (*p_) p_++;
    }

    static Cell word_of(const std::string& t, uint32_t type) {
        Cell w = *word::make_from_c_string(t.c_str());
        w.header = type;
        return w;
    }

    static Cell atom(const std::string& t) {
        bool digits = !t.empty() && (std::isdigit(static_cast<unsigned char>(t[0])) ||
                                     (t.size() > 1 && t[0] == '-' && std::isdigit(static_cast<unsigned char>(t[1]))));
        if (digits) {
            if (t.find('.') != std::string::npos) {
                Cell f{TYPE_FLOAT, 0, 0, 0};
                set_cell_float(&f, std::atof(t.c_str()));
                return f;
            }
            return integer::make(int32_t(std::atol(t.c_str())));
        }
        if (t.size() > 1 && t[0] == ':') return word_of(t.substr(1), TYPE_GET_WORD);
        return word_of(t, TYPE_WORD);
    }

    void read_value(Cell* out) {
        char c = *p_;
        if (c == '[' || c == '(') {
            p_++;
            *out = block::make(4);
            read_into(out, c == '[' ? ']' : ')');
            out->header = c == '[' ? TYPE_BLOCK : TYPE_PAREN;
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
        while (!delimiter(*p_)) p_++;
        std::string t(start, size_t(p_ - start));
        if (t.size() > 1 && t[0] == '#') {
            *out = word_of(t.substr(1), TYPE_ISSUE);
            out->data3 = 0xFFFFFFFFu;
            return;
        }
        size_t slash = t.find('/', 1);
        if (t.size() > 1 && t[0] != '/' && slash != std::string::npos) {
            uint32_t type = TYPE_PATH;
            if (t[0] == '\'') type = TYPE_LIT_PATH, t.erase(0, 1);
            else if (t[0] == ':') type = TYPE_GET_PATH, t.erase(0, 1);
            else if (t.back() == ':') type = TYPE_SET_PATH, t.pop_back();
            *out = block::make(4);
            size_t from = 0;
            for (;;) {
                size_t to = t.find('/', from);
                Cell el = atom(t.substr(from, to == std::string::npos ? std::string::npos : to - from));
                gc::CellRoot keep(&el);
                block::append_copy(out, &el);
                if (to == std::string::npos) break;
                from = to + 1;
            }
            out->header = type;
            return;
        }
        if (t.size() > 1 && t[0] == '\'') { *out = word_of(t.substr(1), TYPE_LIT_WORD); return; }
        if (t.size() > 1 && t[0] == '/') { *out = word_of(t.substr(1), TYPE_REFINEMENT); return; }
        if (t.size() > 1 && t.back() == ':') { *out = word_of(t.substr(0, t.size() - 1), TYPE_SET_WORD); return; }
        *out = atom(t);
    }
};

inline Cell read_code(const char* text) { return EvalReader(text).read_all(); }

// ---- Test natives --------------------------------------------------------------------------------

namespace natives_for_tests {

inline Cell* base() { return stack::arguments_base(); }

inline int32_t func(bool, const int32_t*) {
    Cell spec = base()[0], body = base()[1];
    gc::CellRoot ks(&spec), kb(&body);
    uint32_t flags = function::validate_spec(&spec);
    Cell fn = *function::make_value(&spec, &body, nullptr, 0, nullptr, flags);
    stack::set_last_keep(&fn);
    return 0;
}

// The control natives below stop and pass on exits without C++ exceptions
// where they can (eval_block_exit, stack::prepare_*); `exit` and `continue`
// throw instead, so both roads are exercised.

inline int32_t do_(bool, const int32_t*) {
    Cell v = base()[0];
    if (type_of(&v) == TYPE_BLOCK) return int32_t(interp::eval_block_exit(&v, true));
    return 0;
}

// if cond block
inline int32_t if_(bool, const int32_t*) {
    if (logic::is_false(base())) {
        stack::set_last_keep(Cell{TYPE_NONE, 0, 0, 0});
        return 0;
    }
    Cell body = base()[1];
    return int32_t(interp::eval_block_exit(&body, true));
}

// loop count body: the loop frame stops break and continue aimed at it.
inline int32_t loop(bool, const int32_t*) {
    int32_t count = int32_t(base()[0].data2);
    Cell body = base()[1];
    gc::CellRoot keep(&body);
    Cell* result = base();
    *result = Cell{TYPE_NONE, 0, 0, 0};
    stack::mark_loop(nullptr);
    CallFrame* frame = stack::top_frame();
    Cell* inside = stack::arguments_base();
    for (int32_t i = 0; i < count; i++) {
        uint32_t code = 0;
        try {
            stack::state.top = inside;
            code = interp::eval_block_exit(&body, true);
        } catch (const Thrown& t) {
            if ((t.code != THROW_BREAK && t.code != THROW_CONTINUE) || stack::exit_frame() != frame) throw;
            code = t.code;
        }
        if (code == 0) continue;
        if ((code != THROW_BREAK && code != THROW_CONTINUE) || stack::exit_frame() != frame)
            return int32_t(code);   // not ours: passed on
        stack::restore_to_frame(frame, inside, inside + 1);
        if (code == THROW_BREAK) break;
    }
    Cell last = stack::state.top > inside ? *inside : Cell{TYPE_NONE, 0, 0, 0};
    stack::unwind();
    stack::set_last_keep(&last);
    return 0;
}

// break /return value
inline int32_t break_(bool, const int32_t* refs) {
    return int32_t(stack::prepare_break(refs[0] != -1, false));
}
inline int32_t continue_(bool, const int32_t*) { stack::throw_break(false, true); }
inline int32_t return_(bool, const int32_t*) { return int32_t(stack::prepare_return(true, false)); }
inline int32_t exit_(bool, const int32_t*) { stack::throw_return(false, false); }
inline int32_t throw_(bool, const int32_t* refs) {
    if (refs[0] == -1) *stack::push_slot() = Cell{TYPE_NONE, 0, 0, 0};
    return int32_t(stack::prepare_value(THROW_THROW));
}

// try block /all: the error caught becomes the result.
inline int32_t try_(bool, const int32_t* refs) {
    Cell block = base()[0];
    gc::CellRoot keep(&block);
    stack::Checkpoint cp = stack::checkpoint();
    if (refs[0] != -1) stack::mark_try_all(nullptr);
    else stack::mark_try(nullptr);
    try {
        interp::eval_block(&block, true);
        stack::unwind_last();
    } catch (const Thrown& t) {
        if (t.code != THROW_ERROR) throw;
        stack::restore(cp);
        stack::set_last_keep(errors::last_raised());
    }
    return 0;
}

// catch block: a thrown value becomes the result.
inline int32_t catch_(bool, const int32_t*) {
    Cell block = base()[0];
    gc::CellRoot keep(&block);
    stack::mark_catch(nullptr);
    CallFrame* frame = stack::top_frame();
    Cell* inside = stack::arguments_base();
    uint32_t code = 0;
    try {
        code = interp::eval_block_exit(&block, true);
    } catch (const Thrown& t) {
        if (t.code != THROW_THROW || stack::exit_frame() != frame) throw;
        code = t.code;
    }
    if (code != 0) {
        if (code != THROW_THROW || stack::exit_frame() != frame) return int32_t(code);
        stack::restore_to_frame(frame, inside, inside + 2);
        stack::state.top = inside + 1;
    }
    stack::unwind_last();
    return 0;
}

// trace-do callback block
inline int32_t trace_do(bool, const int32_t*) {
    Cell callback = base()[0], block = base()[1];
    gc::CellRoot kc(&callback), kb(&block);
    bool installed = interp::trace_install(&callback);
    struct Remove {
        bool on;
        ~Remove() {
            if (on && interp::user_tracing()) {
                interp::set_user_tracing(false);
                interp::set_tracing(false);
            }
        }
    } remove{installed};
    interp::eval_block(&block, true);
    if (installed) {
        remove.on = false;
        interp::trace_remove();
    }
    return 0;
}

inline int32_t equal_q(bool, const int32_t*) { actions::compare_op(COMP_EQUAL); return 0; }
inline int32_t lesser_q(bool, const int32_t*) { actions::compare_op(COMP_LESSER); return 0; }
inline int32_t greater_q(bool, const int32_t*) { actions::compare_op(COMP_GREATER); return 0; }

}  // namespace natives_for_tests

// ---- The fixture -------------------------------------------------------------------------------------

class EvalFixture : public WordFixture {
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
        for (uint32_t t = 1; t <= registry::highest_type(); t++) {
            if (!registry::type_name(t).name) continue;
            Cell dt{TYPE_DATATYPE, t, 0, 0};
            context::set_global_value(symbol::intern(TYPE_NAMES[t]), &dt);
        }
        Cell none{TYPE_NONE, 0, 0, 0}, yes{TYPE_LOGIC, 1, 0, 0}, no{TYPE_LOGIC, 0, 0, 0};
        context::set_global_value(symbol::intern("none"), &none);
        context::set_global_value(symbol::intern("true"), &yes);
        context::set_global_value(symbol::intern("false"), &no);
        Cell any{TYPE_TYPESET, 0, 0, 0};
        for (uint32_t t = 1; t <= uint32_t(TYPE_COUNT); t++) typeset_set_bit(&any, t);
        context::set_global_value(symbol::intern("any-type!"), &any);
        Cell catalog = error_catalog::build();
        gc::CellRoot keep(&catalog);
        error_catalog::install(&catalog);
        saved_links_ = eval_links::get();
        actions::init();
        natives::init_table();
        interp::init();
        define_vocabulary();
    }
    void TearDown() override {
        interp::set_user_tracing(false);
        interp::set_tracing(false);
        eval_links::get() = saved_links_;
        eval_links::get().raise = (nullptr);
        error_catalog::uninstall();
        errors::clear();
        owner::release();
        stack::init();
        WordFixture::TearDown();
    }

    // Binds a native (entry appended to the natives table), an action (by
    // slot) or an op made from either to a global word.
    void native(const char* name, const char* spec, NativeFn entry) {
        uintptr_t e = reinterpret_cast<uintptr_t>(entry);
        natives::register_entries(1, &e);
        Cell s = read_code(spec);
        gc::CellRoot keep(&s);
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_v(&v);
        native::init_native(&v, &s, natives::count_word() - 1);
        context::set_global_value(symbol::intern(name), &v);
    }
    void action(const char* name, const char* spec, int slot) {
        Cell s = read_code(spec);
        gc::CellRoot keep(&s);
        Cell v{TYPE_NONE, 0, 0, 0};
        gc::CellRoot keep_v(&v);
        native::init_action(&v, &s, uint32_t(slot));
        context::set_global_value(symbol::intern(name), &v);
    }
    void op(const char* name, const char* of) {
        Cell v = *context::global_value_pointer(symbol::intern(of));
        v.header = TYPE_OP | (uint32_t(type_of(&v)) << 16);
        context::set_global_value(symbol::intern(name), &v);
    }
    // A function value defined by Qor text, bound to a global word.
    void define(const char* name, const char* spec, const char* body) {
        Cell s = read_code(spec), b = read_code(body);
        gc::CellRoot ks(&s), kb(&b);
        Cell fn = *function::make_value(&s, &b, nullptr, 0, nullptr, function::validate_spec(&s));
        stack::pop(1);
        context::set_global_value(symbol::intern(name), &fn);
    }

    void define_vocabulary() {
        namespace n = natives_for_tests;
        native("func", "spec body", n::func);
        native("do", "value", n::do_);
        native("if", "cond then [block!]", n::if_);
        native("loop", "count [integer!] body [block!]", n::loop);
        native("break", "/return value", n::break_);
        native("continue", "", n::continue_);
        native("return", "value", n::return_);
        native("exit", "", n::exit_);
        native("throw", "value /name word", n::throw_);
        native("try", "block [block!] /all", n::try_);
        native("catch", "block [block!]", n::catch_);
        native("trace-do", "callback block [block!]", n::trace_do);
        native("equal?", "value1 value2", n::equal_q);
        native("lesser?", "value1 value2", n::lesser_q);
        native("greater?", "value1 value2", n::greater_q);
        action("add", "value1 value2", SLOT_ADD);
        action("subtract", "value1 value2", SLOT_SUBTRACT);
        action("multiply", "value1 value2", SLOT_MULTIPLY);
        action("divide", "value1 value2", SLOT_DIVIDE);
        action("negate", "number", SLOT_NEGATE);
        action("even?", "number", SLOT_EVEN_Q);
        action("form", "value /part limit [integer!]", SLOT_FORM);
        action("mold", "value /only /all /flat /part limit [integer!]", SLOT_MOLD);
        action("append", "series value /part length /only /dup count", SLOT_APPEND);
        action("insert", "series value /part length /only /dup count", SLOT_INSERT);
        action("pick", "series index", SLOT_PICK);
        action("length?", "series", SLOT_LENGTH_Q);
        action("copy", "value /part length /deep /types kind", SLOT_COPY);
        action("make", "type spec", SLOT_MAKE);
        action("to", "type spec", SLOT_TO);
        action("next", "series", SLOT_NEXT);
        action("clear", "series", SLOT_CLEAR);
        action("head", "series", SLOT_HEAD);
        action("sort", "series /case /skip size /compare comparator /part length /all /reverse /stable", SLOT_SORT);
        op("+", "add");
        op("-", "subtract");
        op("*", "multiply");
        op("/", "divide");
        op("=", "equal?");
        op("<", "lesser?");
        op(">", "greater?");
    }

    // Evaluates the text as a block; answers its value (the stacks are put
    // back as they were).
    Cell eval(const char* text) {
        Cell code = read_code(text);
        gc::CellRoot keep(&code);
        stack::Checkpoint cp = stack::checkpoint();
        try {
            interp::eval_block(&code, false);
        } catch (const Thrown& t) {
            stack::restore(cp);
            const RaisedError& e = last_raised_error();
            ADD_FAILURE() << text << ": throw " << std::hex << t.code << std::dec << " " << e.category << "/"
                          << e.id << " " << arg_spelling(e, 0);
            return Cell{TYPE_NONE, 0, 0, 0};
        }
        Cell result = *stack::top_value();
        EXPECT_EQ(stack::state.top, cp.top + 1) << text;
        EXPECT_EQ(stack::state.frames_top, cp.frames_top) << text;
        stack::restore(cp);
        return result;
    }

    // Evaluates text that must raise a language error; answers what was
    // raised, and checks that the stacks are left as the stopper finds them
    // once it has put them back.
    RaisedError eval_error(const char* text) {
        Cell code = read_code(text);
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

    int32_t eval_int(const char* text) {
        Cell r = eval(text);
        EXPECT_EQ(type_of(&r), TYPE_INTEGER) << text;
        return int32_t(r.data2);
    }

    Cell global(const char* name) { return *context::global_value_pointer(symbol::intern(name)); }

    // The spelling of a word argument of a raised error.
    static std::string arg_spelling(const RaisedError& e, int i) {
        const RaisedError::Arg& a = e.args[i];
        if (!a.word.empty()) return a.word;
        if (!is_word_kind(type_of(&a.value))) return "";
        return spelling_of(int32_t(a.value.data2));
    }

    std::string molded(Cell value) {
        gc::CellRoot keep(&value);
        Cell out = string::make(32);
        gc::CellRoot keep_out(&out);
        dispatch::mold(&value, &out, false, false, false, nullptr, 10000, 0);
        return string::to_utf8(&out);
    }

private:
    eval_links::Links saved_links_;
};

}  // namespace qor::test
