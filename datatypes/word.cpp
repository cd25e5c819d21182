// Words and issues (see word.hpp).
#include "datatypes/eval_links.hpp"
#include "datatypes/word.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"
#include "datatypes/fixed_words.hpp"
#include "datatypes/root_block.hpp"
#include "datatypes/text_literal.hpp"

#include <string>

namespace qor {

namespace {

uint32_t global_word() { return reinterpret_cast<uint32_t>(context::global()); }

Node require_global() {
    Node g = context::global();
    if (!g) raise_error("internal", "not-done");
    return g;
}

// The symbol's cached string as a string! value at its head.
Cell name_string(int32_t symbol) {
    Node node = symbol::ensure_string(symbol);
    return Cell{TYPE_STRING, 0, reinterpret_cast<uint32_t>(node), 0};
}

[[noreturn]] void bad_to_arg(uint32_t target, const Cell* value) {
    Cell type{TYPE_DATATYPE, target, 0, 0};
    Cell v = *value;
    raise_error("script", "bad-to-arg", &type, &v);
}

// The make/to target: a datatype! names it, any other prototype is an
// example of it.
uint32_t target_of(const Cell* prototype) {
    return type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
}

// A one-character string! of a char!.
Cell char_string(const Cell* ch) {
    uint32_t cp = ch->data2;
    Cell text = string::make(1);
    gc::CellRoot keep(&text);
    string::append_char(&text, cp);
    return text;
}

int32_t fixed_or_interned(words::FixedSymbol s) {
    int32_t id = words::symbol(s);
    return id ? id : symbol::intern(words::spelling(s));
}

// The conversions that words and issues share: a datatype gives its name
// word, a logic! the word true or false; anything else is refused.  The
// result replaces `v` with its whole header set to the target.
Cell* convert_named(uint32_t target, Cell* v) {
    Cell result;
    switch (type_of(v)) {
    case TYPE_DATATYPE: {
        const TypeNameEntry& entry = registry::type_name(v->data1);
        if (!entry.name[0]) bad_to_arg(target, v);
        result = entry.word ? *entry.word : *word::make_from_c_string(entry.name);
        break;
    }
    case TYPE_LOGIC:
        word::init_cell(&result, fixed_or_interned(v->data1 ? words::SYM_TRUE : words::SYM_FALSE));
        break;
    default:
        bad_to_arg(target, v);
    }
    *v = result;
    v->header = target;
    return v;
}

// Loads a text as one value and keeps it when it is a word kind.
Cell* convert_text(uint32_t target, Cell* v, const Cell* text_in) {
    Cell text = *text_in;
    gc::CellRoot keep(&text);
    auto load = eval_links::get().load_value_from_string;
    if (!load) raise_error("internal", "not-done");
    Cell loaded = *load(&text);
    if (!is_word_kind(type_of(&loaded))) raise_error("script", "invalid-chars");
    *v = loaded;
    v->header = target;
    return v;
}

// Appends the symbol's name; with /part it is cut at the limit.  Answers
// the limit less the name's length.
int32_t append_name(int32_t symbol, Cell* out, Cell* part, int32_t limit) {
    Cell name = name_string(symbol);
    gc::CellRoot keep(&name);
    int32_t length = int32_t(string::length(&name));
    int32_t n = part && limit >= 0 && limit < length ? limit : -1;
    string::concatenate(out, &name, n, 0, true, string::CONCAT_APPEND);
    return limit - length;
}

}  // namespace

// ---- Constructors --------------------------------------------------------------------------

namespace word {

Cell* init_cell(Cell* cell, int32_t symbol) {
    Cell probe{TYPE_WORD, global_word(), uint32_t(symbol), 0xFFFFFFFFu};
    int32_t slot = context::bind_or_add_word(require_global(), &probe);
    *cell = Cell{TYPE_WORD, global_word(), uint32_t(symbol), uint32_t(slot)};
    return cell;
}

Cell* new_in_block(Cell* block, int32_t symbol) {
    Cell w;
    init_cell(&w, symbol);
    return block::append_copy(block, &w);
}

Cell* push_new(int32_t symbol) {
    Cell w;
    init_cell(&w, symbol);
    return stack::push(&w);
}

Cell* make_from_c_string(const char* text) {
    int32_t symbol = symbol::intern(text);
    Cell* w = context::global_find_or_add(symbol, true, true);
    return root_block::collecting() ? root_block::append(w) : w;
}

Cell* push_copy(const Cell* value) { return stack::push(value); }

Cell* push_value(const Cell* word) {
    Cell w = *word;
    Cell value = *context::get_word_value(&w);
    if (type_of(&value) == TYPE_UNSET) raise_error("script", "no-value", &w);
    return stack::push(&value);
}

Cell* set_checked() {
    Cell* base = stack::arguments_base();
    Cell w = base[0];
    Cell value = base[1];
    gc::CellRoot keep(&w), keep_value(&value);
    if (type_of(&value) == TYPE_UNSET) raise_error("script", "need-value", &w);
    context::set_word_value(&w, &value);
    stack::set_last(&value);
    return stack::arguments_base();
}

bool spelled(const Cell* word, const char* name) {
    int32_t id = symbol_of(word);
    const uint8_t* text = symbol::spelling(id);
    uint32_t length = symbol::spelling_length(id);
    if (!text || length != std::strlen(name)) return false;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = text[i];
        if (c >= 'A' && c <= 'Z') c = uint8_t(c + 32);
        if (c != uint8_t(name[i])) return false;
    }
    return true;
}

Cell* push_name_string(const Cell* word) {
    Cell name = name_string(symbol_of(word));
    return stack::push(&name);
}

Cell* make_kind_in_block(Cell* block, const char* text, uint32_t type) {
    Cell w = *make_from_c_string(text);
    w.header = (w.header & ~TYPE_MASK) | type;
    return block::append_copy(block, &w);
}

Cell* make_kind_from_c_string(const char* text, uint32_t type) {
    Cell w = *make_from_c_string(text);
    w.header = (w.header & ~TYPE_MASK) | type;
    return root_block::collecting() ? root_block::append(&w) : stack::push(&w);
}

Cell* push_retyped(const Cell* value, uint32_t type) {
    Cell* w = stack::push(value);
    w->header = (w->header & ~TYPE_MASK) | type;
    return w;
}

Cell* push_context_word(Node ctx, int32_t index, uint32_t type) {
    return push_retyped(context::word_cell_at(ctx, index), type);
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_WORD);
    set_slot<SLOT_MAKE>(spec, word_make);
    set_slot<SLOT_TO>(spec, word_make);
    set_slot<SLOT_FORM>(spec, word_form);
    set_slot<SLOT_MOLD>(spec, word_mold);
    set_slot<SLOT_COMPARE>(spec, word_compare);
    set_slot<SLOT_INDEX_Q>(spec, word_index_q);
    install_datatype(TYPE_SPEC_WORDS, &spec);

    // ORDER TYPE registration: lit-word! before set-word!.
    for (uint32_t type : {TYPE_LIT_WORD, TYPE_SET_WORD, TYPE_GET_WORD, TYPE_REFINEMENT}) {
        TypeSpec kind = make_type_spec(type);
        inherit_slot(kind, SLOT_MAKE);
        inherit_slot(kind, SLOT_TO);
        inherit_slot(kind, SLOT_FORM);
        inherit_slot(kind, SLOT_COMPARE);
        if (type != TYPE_REFINEMENT) inherit_slot(kind, SLOT_INDEX_Q);
        set_slot<SLOT_MOLD>(kind, word_mold);
        install_datatype(TYPE_SPEC_WORDS, &kind);
    }
}

}  // namespace word

namespace get_word {

Cell* push_value(const Cell* word) {
    Cell w = *word;
    Cell value = *context::get_word_value(&w);
    return stack::push(&value);
}

}  // namespace get_word

namespace issue {

void init() {
    TypeSpec spec = make_type_spec(TYPE_ISSUE);
    set_slot<SLOT_MAKE>(spec, issue_make);
    set_slot<SLOT_TO>(spec, issue_make);
    set_slot<SLOT_MOLD>(spec, word_mold);
    set_slot<SLOT_COMPARE>(spec, issue_compare);
    inherit_slot(spec, SLOT_FORM);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

Cell* init_cell_from_c_string(Cell* cell, const char* text) {
    int32_t symbol = symbol::intern(text);
    *cell = Cell{TYPE_ISSUE, global_word(), uint32_t(symbol), 0xFFFFFFFFu};
    return cell;
}

Cell* make_from_c_string(const char* text) {
    Cell i;
    init_cell_from_c_string(&i, text);
    return root_block::collecting() ? root_block::append(&i) : stack::push(&i);
}

}  // namespace issue

namespace refinement {

Cell* make_from_c_string(const char* text) {
    Cell r{TYPE_REFINEMENT, 0, uint32_t(symbol::intern(text)), 0xFFFFFFFFu};
    return root_block::append(&r);
}

}  // namespace refinement

// ---- Actions -----------------------------------------------------------------------------------

Cell* word_make(Cell* prototype, Cell* spec) {
    uint32_t target = target_of(prototype);
    switch (type_of(spec)) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD:
        spec->header = target;
        return spec;
    case TYPE_ISSUE: case TYPE_REFINEMENT: {
        // The name must scan as a word kind; its spelling is kept as it is.
        int32_t symbol = word::symbol_of(spec);
        std::string name(reinterpret_cast<const char*>(symbol::spelling(symbol)), symbol::spelling_length(symbol));
        uint32_t token = eval_links::scan_token_type(name.data(), uint32_t(name.size()));
        if (!is_any_word(token)) bad_to_arg(target, spec);
        if (context::global()) context::bind_word(context::global(), spec);
        spec->header = target;
        return spec;
    }
    case TYPE_STRING:
        return convert_text(target, spec, spec);
    case TYPE_CHAR: {
        Cell text = char_string(spec);
        return convert_text(target, spec, &text);
    }
    default:
        return convert_named(target, spec);
    }
}

Cell* issue_make(Cell* prototype, Cell* spec) {
    switch (type_of(spec)) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD: case TYPE_REFINEMENT:
    case TYPE_ISSUE:
        spec->header = TYPE_ISSUE;
        return spec;
    case TYPE_STRING: case TYPE_CHAR: {
        // Interned as it stands: no lexical check.
        Cell text = type_of(spec) == TYPE_CHAR ? char_string(spec) : *spec;
        gc::CellRoot keep(&text);
        int32_t symbol = symbol::intern_string(&text);
        *spec = Cell{TYPE_ISSUE, global_word(), uint32_t(symbol), 0xFFFFFFFFu};
        return spec;
    }
    default:
        return convert_named(TYPE_ISSUE, spec);
    }
}

int32_t word_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return append_name(word::symbol_of(value), out, part, limit);
}

int32_t word_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent) {
    int32_t symbol = word::symbol_of(value);
    const char* mark = nullptr;
    switch (type_of(value)) {
    case TYPE_LIT_WORD: mark = "'"; break;
    case TYPE_GET_WORD: mark = ":"; break;
    case TYPE_REFINEMENT: mark = "/"; break;
    case TYPE_ISSUE: mark = "#"; break;
    case TYPE_SET_WORD: {
        int32_t left = append_name(symbol, out, part, limit);
        string::append_ascii(out, ":", 1);
        return left - 1;
    }
    default:
        return append_name(symbol, out, part, limit);
    }
    string::append_ascii(out, mark, 1);
    return append_name(symbol, out, part, limit - 1);
}

int32_t word_compare(Cell* value1, Cell* value2, int32_t op) {
    uint32_t t1 = type_of(value1), t2 = type_of(value2);
    if ((t2 == TYPE_ISSUE && t1 != TYPE_ISSUE) || !is_word_kind(t2)) return COMPARE_INCOMPARABLE;
    int32_t s1 = word::symbol_of(value1), s2 = word::symbol_of(value2);
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND:
        return symbol::resolve_alias(s1) == symbol::resolve_alias(s2) ? 0 : 1;
    case COMP_STRICT_EQUAL:
        return t1 == t2 && s1 == s2 ? 0 : 1;
    case COMP_SAME:
        return t1 == t2 && s1 == s2 && value1->data1 == value2->data1 ? 0 : 1;
    case COMP_WORD_MATCH: case COMP_WORD_MATCH_CANONICAL: {
        bool kinds = t1 == t2 || (t1 == TYPE_WORD && t2 == TYPE_LIT_WORD) || (t1 == TYPE_LIT_WORD && t2 == TYPE_WORD);
        bool names = op == COMP_WORD_MATCH ? s1 == s2 : symbol::resolve_alias(s1) == symbol::resolve_alias(s2);
        return kinds && names ? 0 : 1;
    }
    case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
    case COMP_SORT: case COMP_CASE_SORT: {
        Cell a = name_string(s1);
        gc::CellRoot keep(&a);
        Cell b = name_string(s2);
        return string::compare_strings(&a, &b, op, false);
    }
    default:
        return COMPARE_INCOMPARABLE;
    }
}

int32_t issue_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_ISSUE) return COMPARE_INCOMPARABLE;
    return word_compare(value1, value2, op);
}

void word_index_q() {
    Cell* base = stack::arguments_base();
    int32_t slot = word::index_of(base);
    *base = slot < 0 ? Cell{TYPE_NONE, 0, 0, 0} : Cell{TYPE_INTEGER, 0, uint32_t(slot + 1), 0};
}

}  // namespace qor

namespace qor {

namespace {

// Issues and refinements are not bound to a slot: {type, global context,
// symbol, -1}.
uint32_t decode_unbound(const uint8_t* start, const uint8_t* end, uint8_t sign, uint32_t type, bool make,
                        Cell* out) {
    if (*start != sign || end - start < 2 || !text_literal::valid(start + 1, end, false)) return type;
    *out = Cell{type, 0, 0, 0};
    if (!make) return 0;
    int32_t symbol = symbol::intern_n(reinterpret_cast<const char*>(start + 1), uint32_t(end - start - 1));
    *out = Cell{type, reinterpret_cast<uint32_t>(context::global()), uint32_t(symbol), 0xFFFFFFFFu};
    return 0;
}

}  // namespace

uint32_t issue::decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool make, Cell* out) {
    return decode_unbound(start, end, '#', TYPE_ISSUE, make, out);
}

uint32_t refinement::decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool make, Cell* out) {
    return decode_unbound(start, end, '/', TYPE_REFINEMENT, make, out);
}

}  // namespace qor
