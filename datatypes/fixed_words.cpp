// The fixed names (see fixed_words.hpp).
#include "datatypes/fixed_words.hpp"

#include "datatypes/registry.hpp"
#include "datatypes/series.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"

#include <cstring>

namespace qor {

namespace {

#define QOR_FIXED_TEXT(name, text) text,
constexpr const char* k_symbol_names[] = {QOR_FIXED_SYMBOLS(QOR_FIXED_TEXT)};
constexpr const char* k_word_names[] = {QOR_FIXED_WORDS(QOR_FIXED_TEXT)};
constexpr const char* k_refinement_names[] = {QOR_FIXED_REFINEMENTS(QOR_FIXED_TEXT)};
#undef QOR_FIXED_TEXT
static_assert(sizeof k_symbol_names / sizeof *k_symbol_names == words::SYMBOL_COUNT);
static_assert(sizeof k_word_names / sizeof *k_word_names == words::WORD_COUNT);
static_assert(sizeof k_refinement_names / sizeof *k_refinement_names == words::REFINEMENT_COUNT);

// The runtime's globals.  Word cells name the global context's node, which
// the collector rewrites when it moves node frames: it marks these cells
// through mark_globals, never through a copy.
int32_t g_symbols[words::SYMBOL_COUNT];
Cell    g_words[words::WORD_COUNT];
Cell    g_refinements[words::REFINEMENT_COUNT];
Cell    g_ooo;
Cell    g_type_words[TYPE_TABLE_SIZE];
bool    g_ready = false;

// Words the series actions ask for (change notices, reflect fields) that
// are not fixed words of their own.
constexpr const char* k_notice_names[] = {"insert", "remove", "body", "owned"};
constexpr int         k_notice_count   = int(sizeof k_notice_names / sizeof *k_notice_names);
Cell                  g_notice_words[k_notice_count];

void mark_globals() {
    gc::mark_cells(g_words, g_words + words::WORD_COUNT);
    gc::mark_cells(g_refinements, g_refinements + words::REFINEMENT_COUNT);
    gc::mark_cells(&g_ooo, &g_ooo + 1);
    gc::mark_cells(g_type_words, g_type_words + TYPE_TABLE_SIZE);
    gc::mark_cells(g_notice_words, g_notice_words + k_notice_count);
}

void register_globals() {
    gc::remove_root(mark_globals);
    gc::push_root(mark_globals);
}

void clear_cells(Cell* first, Cell* end) {
    for (Cell* c = first; c < end; c++) *c = Cell{TYPE_UNSET, 0, 0, 0};
}

// The series actions' word provider: the word of a change notice's action
// or of a reflected field.
const Cell* notice_word(const char* spelling) {
    if (!g_ready) return nullptr;
    for (int i = 0; i < words::WORD_COUNT; i++)
        if (std::strcmp(k_word_names[i], spelling) == 0) return &g_words[i];
    for (int i = 0; i < k_notice_count; i++)
        if (std::strcmp(k_notice_names[i], spelling) == 0) return &g_notice_words[i];
    return nullptr;
}

// The word of a datatype's name, kept in the type's own global cell.
Cell* type_word(uint32_t id, const char* name) {
    Cell w = *word::make_from_c_string(name);
    g_type_words[id] = w;
    return &g_type_words[id];
}

// Installed in the registry: a datatype registered from now on gets its
// name's word at once.
Cell* type_word_factory(const char* name) {
    RegistryTables& t = registry::tables();
    for (uint32_t id = 1; id < uint32_t(TYPE_TABLE_SIZE); id++)
        if (t.names[id].name == name) return type_word(id, name);
    return nullptr;
}

}  // namespace

namespace words {

void init_fixed() {
    g_ready = false;
    clear_cells(g_words, g_words + WORD_COUNT);
    clear_cells(g_refinements, g_refinements + REFINEMENT_COUNT);
    clear_cells(&g_ooo, &g_ooo + 1);
    clear_cells(g_notice_words, g_notice_words + k_notice_count);
    register_globals();
    for (int i = 0; i < SYMBOL_COUNT; i++) g_symbols[i] = symbol::intern(k_symbol_names[i]);
    for (int i = 0; i < WORD_COUNT; i++) {
        Cell w = *word::make_from_c_string(k_word_names[i]);
        g_words[i] = w;
    }
    for (int i = 0; i < k_notice_count; i++) {
        Cell w = *word::make_from_c_string(k_notice_names[i]);
        g_notice_words[i] = w;
    }
    g_ready = true;
    series::set_word_provider(notice_word);
}

void init_refinements() {
    register_globals();
    for (int i = 0; i < REFINEMENT_COUNT; i++) {
        Cell r = *refinement::make_from_c_string(k_refinement_names[i]);
        g_refinements[i] = r;
    }
}

void make_ooo_issue() {
    register_globals();
    issue::init_cell_from_c_string(&g_ooo, "ooo");
}

bool ready() { return g_ready; }

void reset() {
    g_ready = false;
    series::set_word_provider(nullptr);
    for (int32_t& s : g_symbols) s = 0;
    clear_cells(g_words, g_words + WORD_COUNT);
    clear_cells(g_refinements, g_refinements + REFINEMENT_COUNT);
    clear_cells(&g_ooo, &g_ooo + 1);
    clear_cells(g_notice_words, g_notice_words + k_notice_count);
}

const char* spelling(FixedSymbol s) { return k_symbol_names[s]; }
const char* spelling(FixedWord w) { return k_word_names[w]; }
const char* spelling(FixedRefinement r) { return k_refinement_names[r]; }

int32_t symbol(FixedSymbol s) { return g_ready ? g_symbols[s] : 0; }
const Cell* word(FixedWord w) { return &g_words[w]; }
int32_t word_symbol(FixedWord w) { return int32_t(g_words[w].data2); }
const Cell* refinement(FixedRefinement r) { return &g_refinements[r]; }
const Cell* ooo_issue() { return &g_ooo; }

}  // namespace words

namespace datatype {

void bind_names() {
    clear_cells(g_type_words, g_type_words + TYPE_TABLE_SIZE);
    register_globals();
    for (uint32_t id = 1; id <= registry::highest_type(); id++) {
        const TypeNameEntry& entry = registry::type_name(id);
        if (!entry.name[0]) continue;
        registry::set_type_word(id, type_word(id, entry.name));
    }
    registry::set_word_factory(type_word_factory);
}

void unbind_names() {
    registry::set_word_factory(nullptr);
    for (uint32_t id = 1; id < uint32_t(TYPE_TABLE_SIZE); id++) registry::set_type_word(id, nullptr);
    clear_cells(g_type_words, g_type_words + TYPE_TABLE_SIZE);
}

}  // namespace datatype

}  // namespace qor
