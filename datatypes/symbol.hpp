// The symbol table and symbol!.
//
// Every spelling the system meets is stored once and known everywhere else
// by its symbol id, the record's 1-based position in the symbol table.  The
// table keeps the exact spelling first met; a spelling that differs from an
// existing one only in (ASCII) letter case gets an id of its own whose alias
// is the id of that first, canonical spelling.  Lookups that ignore case
// compare canonical ids (resolve_alias), which never takes more than one step:
// an alias always names a canonical record.
//
// symbol! record (one cell, no user-visible value has this type):
//   header  TYPE_SYMBOL, no flags
//   word 1  alias: the canonical id for a case variant, -1 when canonical
//           (any value <= 0 means no alias)
//   word 2  node of a string! holding the decoded spelling, 0 until asked for
//   word 3  node of a byte series: the UTF-8 spelling, then one NUL byte; the
//           tail stands before the NUL
//
// The table is one block of records, never shrunk or reordered, so an id is
// valid for the whole run.  The intern index is a kind-2 hash table over it
// (runtime/hash_table.hpp) keyed by the spelling with ASCII letters
// lower-cased, so every case variant lies on the same probe sequence.
//
// Pointers answered here point into the table block: valid until the next
// allocation.
#pragma once
#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

#include <cstdint>

namespace qor {

struct SymbolRecord {
    uint32_t header;
    int32_t  alias;
    uint32_t cached;    // node of the decoded string!, or 0
    uint32_t spelling;  // node of the UTF-8 bytes
};
static_assert(sizeof(SymbolRecord) == sizeof(Cell), "a symbol record is one cell");

namespace symbol {

constexpr uint32_t TABLE_ROOM = 4000;  // records made room for at start-up
constexpr uint32_t INDEX_SIZE = 4000;  // keys the intern index is made for

// Registers symbol!.  Only `compare` is implemented.
void init();
// Start-up, after the memory manager: the symbol table (room for 4000), then,
// once the global context exists, the intern index.  Both register
// themselves with the collector.  Calling them again starts a new, empty
// table (tests).
void make_table();
void make_index();
bool ready();  // both exist

// Interning; each answers the 1-based id, adding the spelling when new.
int32_t intern(const char* text);                       // NUL-terminated UTF-8
int32_t intern_n(const char* bytes, uint32_t length);   // counted UTF-8
int32_t intern_string(const Cell* string);              // a string value from its index
// An existing spelling equal without regard to ASCII case (the canonical
// one), else a new symbol.
int32_t intern_nocase(const char* text);
// The id of a spelling already interned (exactly, or for nocase the
// canonical one), or 0; never allocates.
int32_t find(const char* text, bool nocase = false);

// The record of an id, its decoded string made first.
SymbolRecord* entry(int32_t id);
// The block of records; read by the inline lookups below.
extern Node g_table;

// The record of an id as it stands (no decoding, never allocates); null for
// an id that names none.  Records are cells: the bound is a shift.
inline SymbolRecord* record(int32_t id) {
    if (id < 1 || !g_table) return nullptr;
    SeriesBuffer* s = buffer_of(g_table);
    if (uint32_t(id - 1) >= s->byte_length() / sizeof(SymbolRecord)) return nullptr;
    return reinterpret_cast<SymbolRecord*>(cells_head(s)) + (id - 1);
}
// Decodes the record's spelling into a string! when not done yet; answers
// the cached string's node.
Node ensure_string(SymbolRecord* record);
Node ensure_string(int32_t id);

// The canonical id: the alias when > 0, else the id itself (also for an id
// that names no record).  Inline: every lookup that ignores case makes one.
inline int32_t resolve_alias(int32_t id) {
    const SymbolRecord* rec = record(id);
    return rec && rec->alias > 0 ? rec->alias : id;
}
int32_t alias_of(int32_t id);  // the raw alias field

// The cached string's text with a zero unit written after its last unit
// (the buffer grows by one unit when full).
const uint8_t* c_string(int32_t id);

// The UTF-8 spelling (not NUL-terminated in the count; a NUL follows it).
const uint8_t* spelling(int32_t id);
uint32_t       spelling_length(int32_t id);

int32_t count();         // symbols interned so far
Node    table_node();    // the symbol table block
Node    index_node();    // the intern index (0 before make_index)

}  // namespace symbol

namespace word {
// True when the word's symbol resolves to the same canonical id as any-type!.
bool any_type_q(const Cell* word);
}  // namespace word

// The compare action: the two records' spellings compared as strings.
int32_t symbol_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor
