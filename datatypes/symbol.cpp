// The symbol table and symbol! (see symbol.hpp).
#include "datatypes/symbol.hpp"

#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"
#include "datatypes/unicode.hpp"

#include <cstring>
#include <string>

namespace qor {

Node symbol::g_table = nullptr;

namespace {

Node& table = symbol::g_table;  // the block of records
Node index = nullptr;  // the intern index over it

// The collector's root for both: the index marks its arrays and the table,
// and the table its records' spellings and cached strings.
void mark_roots() {
    if (index) gc::mark_hashtable(reinterpret_cast<uint32_t*>(&index));
    if (table) gc::mark_series_cells(reinterpret_cast<uint32_t*>(&table));
}

int32_t intern_bytes(const uint8_t* bytes, uint32_t length, bool nocase) {
    if (!index) symbol::make_index();
    return hashtable::intern_symbol(index, bytes, length, nocase);
}

}  // namespace

namespace symbol {

void init() {
    TypeSpec spec = make_type_spec(TYPE_SYMBOL);
    set_slot<SLOT_COMPARE>(spec, symbol_compare);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

void make_table() {
    index = nullptr;
    table = memory::alloc_cells(TABLE_ROOM);
    gc::remove_root(mark_roots);
    gc::push_root(mark_roots);
}

void make_index() {
    if (!table) make_table();
    Cell source{TYPE_BLOCK, 0, reinterpret_cast<uint32_t>(table), 0};
    index = hashtable::make(int32_t(INDEX_SIZE), &source, hashtable::KIND_SYMBOL);
}

bool ready() { return table && index; }

int32_t intern(const char* text) { return intern_n(text, uint32_t(std::strlen(text))); }

int32_t intern_n(const char* bytes, uint32_t length) {
    return intern_bytes(reinterpret_cast<const uint8_t*>(bytes), length, false);
}

int32_t intern_string(const Cell* string) {
    // The text leaves the string's buffer first: interning allocates.
    std::string utf8 = string::to_utf8(string);
    return intern_n(utf8.data(), uint32_t(utf8.size()));
}

int32_t intern_nocase(const char* text) {
    return intern_bytes(reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)), true);
}

int32_t find(const char* text, bool nocase) {
    if (!index) return 0;
    return hashtable::find_symbol(index, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)), nocase);
}

int32_t count() { return table ? int32_t(buffer_of(table)->length()) : 0; }

Node ensure_string(int32_t id) {
    SymbolRecord* rec = record(id);
    if (!rec) return nullptr;
    if (rec->cached) return reinterpret_cast<Node>(rec->cached);
    // Decoding allocates: the spelling is copied out of its buffer first.
    std::string utf8(reinterpret_cast<const char*>(spelling(id)), spelling_length(id));
    Node decoded = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()));
    record(id)->cached = reinterpret_cast<uint32_t>(decoded);
    return decoded;
}

Node ensure_string(SymbolRecord* rec) {
    auto* first = reinterpret_cast<SymbolRecord*>(cells_head(buffer_of(table)));
    return ensure_string(int32_t(rec - first) + 1);
}

SymbolRecord* entry(int32_t id) {
    ensure_string(id);
    return record(id);
}

int32_t alias_of(int32_t id) {
    SymbolRecord* rec = record(id);
    return rec ? rec->alias : -1;
}

const uint8_t* c_string(int32_t id) {
    Node text = ensure_string(id);
    if (!text) return nullptr;
    SeriesBuffer* s = buffer_of(text);
    uint32_t unit = s->unit() ? s->unit() : 1;
    // A whole zero unit, so that wide text ends properly too.
    if (uint32_t(s->data_end() - s->tail) < unit) s = memory::expand_series(s, s->capacity + unit);
    std::memset(s->tail, 0, unit);
    return s->head;
}

const uint8_t* spelling(int32_t id) {
    SymbolRecord* rec = record(id);
    return rec ? buffer_of(reinterpret_cast<Node>(rec->spelling))->head : nullptr;
}

uint32_t spelling_length(int32_t id) {
    SymbolRecord* rec = record(id);
    return rec ? buffer_of(reinterpret_cast<Node>(rec->spelling))->byte_length() : 0;
}

Node table_node() { return table; }
Node index_node() { return index; }

}  // namespace symbol

namespace word {

bool any_type_q(const Cell* word) {
    int32_t any_type = symbol::find("any-type!", false);
    return any_type && symbol::resolve_alias(int32_t(word->data2)) == symbol::resolve_alias(any_type);
}

}  // namespace word

int32_t symbol_compare(Cell* value1, Cell* value2, int32_t op) {
    if ((value2->header & TYPE_MASK) != TYPE_SYMBOL) return COMPARE_INCOMPARABLE;
    // Decoding allocates and may move the table: everything about the two
    // records is taken before the first decoding.
    struct Side {
        Cell    record;
        int32_t id;  // 0 when the record is not one of the table's
    } sides[2] = {{*value1, 0}, {*value2, 0}};
    gc::CellRoot keep_records(&sides[0].record);
    gc::CellRoot keep_records2(&sides[1].record);
    Cell* given[2] = {value1, value2};
    if (Node t = symbol::table_node()) {
        Cell* first = cells_head(buffer_of(t));
        for (int k = 0; k < 2; k++) {
            if (given[k] >= first && given[k] < cells_tail(buffer_of(t))) sides[k].id = int32_t(given[k] - first) + 1;
        }
    }
    Cell texts[2] = {{TYPE_STRING, 0, 0, 0}, {TYPE_STRING, 0, 0, 0}};
    gc::CellRoot keep_texts(texts, 2);
    for (int k = 0; k < 2; k++) {
        if (sides[k].id) {
            texts[k].data2 = reinterpret_cast<uint32_t>(symbol::ensure_string(sides[k].id));
        } else if (sides[k].record.data2) {
            texts[k].data2 = sides[k].record.data2;
        } else {
            SeriesBuffer* s = buffer_of(reinterpret_cast<Node>(sides[k].record.data3));
            std::string utf8(reinterpret_cast<const char*>(s->head), s->byte_length());
            texts[k] = string::from_utf8(utf8.data(), utf8.size());
        }
    }
    return string::compare_strings(&texts[0], &texts[1], op, false);
}

}  // namespace qor
