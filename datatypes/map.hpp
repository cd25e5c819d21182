// map!: a dictionary of keys to values, written #[key value ...].
//
//   header  TYPE_MAP (no parent type)
//   word 1  head index of the key/value block (0 as made here)
//   word 2  node of the key/value block: cell 2k a key, cell 2k+1 its value
//   word 3  node of the block's hash table (kind 1, runtime/hash_table.hpp)
//
// A removed entry is a hole: its value cell's header is 0 while its key
// stays in the block and in its bucket, so cell addresses stay put while a
// map is walked.  Every walk skips holes; lookups treat them as absent; the
// table's size word counts the live entries only.
//
// Keys are normalised as they enter: words of every kind are stored as
// set-word!, series keys (strings, files, urls, binaries, tags, emails,
// refs) as copies from their index; scalars as they are.  Lookups ignore
// letter case unless asked for case (mode 2); word keys match by symbol.
//
// GC: every function here may allocate unless it says otherwise.  Cell
// arguments must be reachable by the collector (a rooted local, a stack
// slot); pointers into a map's block are stale after any allocation.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::map {

void init();   // registers map! (no parent)

// Lookup modes: the comparison op of the key search.
constexpr int32_t MODE_CASELESS = 0;   // COMP_EQUAL
constexpr int32_t MODE_CASE = 2;       // COMP_STRICT_EQUAL
constexpr int32_t MODE_SAME = 9;       // COMP_SAME

// Whether values of the type may be map keys (never allocates).
bool key_type_q(uint32_t type);

// Rewrites a key cell (a rooted local) into its stored form; a key of a
// refused type raises script/invalid-path with `path` (none when null) and
// the key's datatype.
void normalize_key(Cell* key, const Cell* path);

// Turns `cell` into a map over `block` (a block cell whose cells from its
// index become the map's own, keys normalised in place and repeated keys
// folded), or over a new block with room for `count` cells when `block` is
// null.  The hash table is sized for `count` keys.  Answers `cell`.  The
// block's buffer is taken over, not copied: pass a fresh block.
Cell* init_cell(Cell* cell, const Cell* block, int32_t count);

// Live entries (never allocates).
int32_t entry_count(const Cell* map);

// The value stored under `key`, or null (absent key or hole).  The answer
// points into the map's block and is valid until the next allocation.
Cell* lookup(const Cell* map, const Cell* key, int32_t mode);

// Stores a copy of `value` under `key` (mode MODE_CASELESS or MODE_CASE
// for the key search), adding the key when absent and reviving a hole;
// `path` names the path for the error of a refused key (may be null).
void put(Cell* map, const Cell* key, const Cell* value, int32_t mode, const Cell* path = nullptr);

// Deletes the live entry under `key` (case-sensitive); false when absent.
bool remove_key(Cell* map, const Cell* key);

// The `extend` native: stores every key/value pair of `block` from its
// index (an odd count raises script/invalid-arg with the block), later
// pairs overwriting earlier ones.  Answers `map`.
Cell* extend_pairs(Cell* map, const Cell* block, bool case_sensitive);

// The `foreach` step: `words` (a word, or a block of `count` words) take
// in turn the key and value cells from the map's index, holes skipped
// (the index moves past them), set-word! keys given as word!; words left
// over when the map runs out get none.  Answers whether any word got a
// cell of the map.  A loop word that is no word kind raises
// script/invalid-arg with it.
bool foreach_set(const Cell* words, Cell* map, int32_t count);

// form (molding false) and mold of the entries (see map.cpp).  Answers
// the remaining limit.
int32_t serialize(const Cell* map, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent, bool molding);

}  // namespace qor::map

namespace qor {

Cell*   map_make(Cell* prototype, Cell* spec);
Cell*   map_to(Cell* prototype, Cell* spec);
Cell*   map_reflect(Cell* value, Cell* field);
int32_t map_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t map_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                 int32_t indent);
Cell*   map_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                      int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify);
int32_t map_compare(Cell* value1, Cell* value2, int32_t op);
Cell*   map_clear(Cell* value);
Cell*   map_copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell*   map_find(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                 Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int32_t map_length_q(Cell* value);
Cell*   map_put(Cell* series, Cell* key, Cell* value, bool case_sensitive);
Cell*   map_remove(Cell* series, Cell* part, Cell* key);
Cell*   map_select(Cell* series, Cell* value, Cell* part, bool only, bool case_sensitive, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse);

}  // namespace qor
