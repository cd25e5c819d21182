// The registry of the library's routines and the maker the library's source
// calls to bind them.
#include "library/routines.hpp"

#include <cstring>
#include <string>

#include "boot/payload.hpp"
#include "datatypes/block.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/function.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "datatypes/stack.hpp"
#include "runtime/collector.hpp"

namespace qor::routines {

namespace {

Cell g_result{TYPE_UNSET, 0, 0, 0};

const Entry* search(const Entry* table, const char* name) {
    for (const Entry* e = table; e->name; e++)
        if (std::strcmp(e->name, name) == 0) return e;
    return nullptr;
}

// The datatype id that the spec's return: block names first (logic! and
// integer! are the ones the library declares), -1 without one.
int32_t return_type_of(const Cell* spec) {
    uint32_t n = block::remaining_length(spec);
    for (uint32_t i = 0; i + 1 < n; i++) {
        const Cell* c = block::item(spec, i);
        if (type_of(c) != TYPE_SET_WORD) continue;
        const uint8_t* name = symbol::spelling(word::symbol_of(c));
        if (std::strcmp(reinterpret_cast<const char*>(name), "return") != 0) continue;
        const Cell* types = block::item(spec, i + 1);
        if (type_of(types) != TYPE_BLOCK || block::remaining_length(types) == 0) return -1;
        const Cell* first = block::item(types, 0);
        if (type_of(first) != TYPE_WORD) return -1;
        const char* t = reinterpret_cast<const char*>(symbol::spelling(word::symbol_of(first)));
        for (uint32_t id = 1; id <= uint32_t(TYPE_COUNT); id++)
            if (std::strcmp(t, TYPE_NAMES[id]) == 0) return int32_t(id);
        return -1;
    }
    return -1;
}

// boot-routine name spec
Cell* maker(Cell* const* args) {
    Cell name = *args[0], spec = *args[1];
    gc::CellRoot keep_name(&name), keep_spec(&spec);
    std::string text(reinterpret_cast<const char*>(symbol::spelling(word::symbol_of(&name))),
                     symbol::spelling_length(word::symbol_of(&name)));
    Cell made = *push_new(text.c_str(), &spec);
    stack::pop(1);
    g_result = made;
    return &g_result;
}

}  // namespace

// Tables the layers above add at start-up (the GUI's routines).
constexpr int MAX_ADDED_TABLES = 8;
const Entry* g_added[MAX_ADDED_TABLES] = {};

void add_entries(const Entry* table) {
    for (const Entry*& slot : g_added) {
        if (slot == table) return;
        if (!slot) {
            slot = table;
            return;
        }
    }
}

const Entry* find(const char* name) {
    for (const Entry* table : {library_entries(), predicate_entries(), system_entries(), console_entries(),
                               codec_entries()})
        if (const Entry* e = search(table, name)) return e;
    for (const Entry* table : g_added)
        if (table)
            if (const Entry* e = search(table, name)) return e;
    return nullptr;
}

Cell* push_new(const char* name, const Cell* spec) {
    const Entry* e = find(name);
    if (!e) {
        Cell missing = string::from_utf8(name);
        gc::CellRoot keep(&missing);
        raise_error("internal", "not-done", &missing);
    }
    Cell none{TYPE_NONE, 0, 0, 0};
    if (e->typed) return routine::push_new(spec, &none, return_type_of(spec), reinterpret_cast<uintptr_t>(e->typed), 0);
    return routine::push_new(spec, &none, return_type_of(spec), reinterpret_cast<uintptr_t>(e->code), 1);
}

Cell make_maker() {
    Cell spec = payload::load_text("name [word!] spec [block!]");
    gc::CellRoot keep(&spec);
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell made = *routine::push_new(&spec, &none, -1, reinterpret_cast<uintptr_t>(&maker), 1);
    stack::pop(1);
    return made;
}

Cell* result_cell() { return &g_result; }

}  // namespace qor::routines
