// Hash tables: one open-addressing design for every keyed lookup of the
// runtime (hash! indexes, map! keys, the symbol intern index, context word
// indexes, pointer-keyed tables).
//
// A table never copies its keys: the keys live in an ordinary block (the
// keys block) and a bucket holds the key's 0-based cell index there (value
// tables) or the byte offset of its entry (stride tables).  The record and
// its arrays are series buffers reached through nodes, so the collector
// moves and reclaims them like any value; gc::mark_hashtable marks a table
// with everything it holds.
//
//   buckets   a power of two, at least 4; load factor 0.77
//   flags     2 bits per bucket, 16 buckets per word: 2 empty, 1 deleted,
//             0 live; a new flag array is all 0xAA
//   probing   home = hash & (buckets - 1), then offsets 1, 3, 6, 10 ...
//             (triangular); a search ends at an empty bucket or after a
//             full turn back to the home bucket
//
// Kinds (`kind` word of the record):
//   0 hash!    every cell of the block is a key; equal keys of one datatype
//              share a bucket through a key chain (an int32 array of cell
//              indexes, first-inserted first); an index array maps each
//              cell index to its 1-based bucket (-1 when not indexed)
//   1 map!     keys at even cell positions, each followed by its value; a
//              deleted pair keeps its key and bucket, its value header is 0
//   2 symbols and context word lists: records matched by spelling
//              (intern_symbol) or word cells matched by symbol id
//              (context_lookup)
//   3 pointer  entries of stride/16 cells: a key cell (header 2 while live,
//              0 once deleted, pointer in its second word) and its values
//   4 owner    as 3, three values per key, weak (sweep_weak)
//
// Keys hashed by a node address (blocks, objects ...) lose their place when
// the collector evacuates node frames; such a table carries an address stamp
// and is re-placed lazily at its next lookup (check_stamp).
//
// GC safety: every function here may allocate (and so collect and move
// buffers) unless it says otherwise.  Callers keep the cell that owns the
// table (hash!, map!, context) reachable, and re-fetch any pointer into a
// keys block after a call; pointers answered here are valid until the next
// allocation.  A new table is safe from collection while these functions
// build it.
#pragma once
#include "runtime/cell.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"

#include <cstddef>
#include <cstdint>

namespace qor::hashtable {

enum Kind : int32_t {
    KIND_HASH = 0,
    KIND_MAP = 1,
    KIND_SYMBOL = 2,  // also context word indexes
    KIND_POINTER = 3,
    KIND_OWNER = 4,
};

// Flag values of a bucket.
enum : uint32_t { BUCKET_LIVE = 0, BUCKET_DELETED = 1, BUCKET_EMPTY = 2 };

// The record: a byte series of eleven words, zero-filled when made.
struct Table {
    int32_t  size;          // live keys; a hash! key chain counts once
    uint32_t index;         // kind 0: node of the index array; kinds 3/4: stride in bytes
    uint32_t chains;        // kind 0: node of the chain list (int32 nodes, chain n = element n)
    uint32_t flags;         // node of the flag array
    uint32_t buckets;       // node of the bucket array (int32 per bucket)
    uint32_t keys;          // node of the keys block
    int32_t  occupied;      // live + deleted buckets
    int32_t  bucket_count;  // a power of two, at least 4
    int32_t  bound;         // an insertion at occupied >= bound resizes first
    int32_t  kind;
    uint32_t stamp;         // 0, or gc nodes_cycles + 1 when keys were placed by address
};
static_assert(sizeof(Table) == 44, "a hash-table record is eleven 32-bit words");
static_assert(offsetof(Table, index) == 4 && offsetof(Table, chains) == 8 && offsetof(Table, flags) == 12 &&
              offsetof(Table, buckets) == 16 && offsetof(Table, keys) == 20 && offsetof(Table, occupied) == 24 &&
              offsetof(Table, bucket_count) == 28 && offsetof(Table, bound) == 32 && offsetof(Table, kind) == 36 &&
              offsetof(Table, stamp) == 40);

constexpr double LOAD_FACTOR = 0.77;
constexpr int32_t SHIFT_LIMIT = 30000;  // shift_indexes declines more indexes than this

// The record behind a table node (valid until the next allocation).
inline Table* record(Node table) { return reinterpret_cast<Table*>(buffer_of(table)->head); }
// The keys block's node.
inline Node keys_node(Node table) { return reinterpret_cast<Node>(record(table)->keys); }
// The flag of bucket i in a flag array.
inline uint32_t flag_at(const uint32_t* flags, uint32_t i) { return (flags[i >> 4] >> ((i & 15u) << 1)) & 3u; }

// ---- Value tables (kinds 0-2) ---------------------------------------------

// A new table for `size` keys.  `source` is a block cell whose cells from
// its index are indexed (every `skip` cells: 2 for a map!), or null for a
// new empty keys block; `extra` is the number of value cells per key for
// kinds 3/4, and for kind 2 the value 2 asks for a copy of the table of the
// context record `source` (its index and word list cloned).  Kind 2 tables
// of 4000 keys or more are made twice as large.
Node make(int32_t size, const Cell* source, int32_t kind, int32_t extra = 0);

// Indexes the keys block from cell `from`, every `skip` cells.  Kind 1
// folds repeated keys: the later value overwrites the earlier key's value
// and the duplicate pair leaves the block; every new key is then passed to
// the map's key normaliser.
void put_all(Node table, int32_t from, int32_t skip);

// map! installs its key normaliser (a key entering a map is rewritten in
// place: words become set-words, series are copied).  None by default.
using NormalizeKeyFn = void (*)(Cell* key);
void set_normalize_key(NormalizeKeyFn fn);

// Indexes a key cell that already lies in the keys block; answers the key
// cell.  `status` (may be null) is set to 2 when the table was rebuilt from
// its block instead (the key is then indexed too).  Kind 0: a cell that is
// still indexed under an earlier value (overwritten in place) leaves that
// bucket first, so each cell is in one bucket only.
Cell* put_key(Node table, Cell* key, int32_t* status);
inline Cell* put(Node table, Cell* key) { return put_key(table, key, nullptr); }

// The key cell of the keys block matching `key` under comparison `op`, or
// null.  Kind 0 answers the first match at or after cell `start` whose
// distance from start is a multiple of `skip`; with `last` the last such
// match, with `reverse` the last match before `start`.  Kinds 1/2 answer
// the first stored key of the same datatype (any datatype for a slice key).
// Kind 1 looks up any word kind as a set-word! (the key's header is
// restored afterwards, its flags cleared).
Cell* find(Node table, Cell* key, int32_t start, int32_t skip, int32_t op, bool last, bool reverse);

// Walks the probe sequence of `key`, answering each live stored key of the
// same datatype that is equal (op 0) to it.  Start with *position = -1;
// each answer saves where to go on; null once the sequence is exhausted.
// Does not check the address stamp.
Cell* find_next(Node table, const Cell* key, int32_t* position, int32_t* first_bucket, int32_t* step);

// Unindexes a key cell of the keys block.  Kind 1: the pair becomes a hole
// (the value's header is zeroed; the key keeps its bucket).
void delete_key(Node table, const Cell* key);
// Kind 0: unindexes cells from .. from + n - 1 (n clipped to the block).
void delete_range(Node table, int32_t from, int32_t n);
// Empties the table (every bucket empty, no chains); the arrays are kept.
void clear(Node table);
// An independent copy of the table over another keys block.
Node copy(Node table, Node keys);

// Kind 0, after cells from .. from + count - 1 moved by `delta` places
// inside the block: renumbers them.  With `drop`, a negative delta also
// unindexes the cells it overwrote (from + delta .. from - 1) and a positive
// one makes room in the index array.  Answers 1 (doing nothing) for more
// than SHIFT_LIMIT cells: the caller then rebuilds with resize.
int32_t shift_indexes(Node table, int32_t delta, int32_t from, int32_t count, bool drop);
// Kind 0, after a run of `count` cells at `from` was moved inside the block
// so that it now stands in front of the cell that was at index `to` before
// the move (`to` = the block's length for the tail).  Nothing happens when
// `to` lies in from .. from + count.
void move_indexes(Node table, int32_t to, int32_t from, int32_t count);

// Kind 0: rebuilds the index from the whole block, sized for n keys.
void resize(Node table, int32_t n);
// Kinds 1/2: re-places every key into max(round_up_pow2(n), 4) buckets
// (nothing when the live keys would not fit under the new bound).
void grow(Node table, int32_t n);
// resize (kind 0) or rebuild_stride (kinds 3/4) with collection disabled.
void rebuild(Node table, int32_t n);
// Re-places an address-keyed table after the collector moved nodes.  Never
// allocates while a collection runs.
void check_stamp(Node table);
// Nothing: the collector reclaims tables.
inline void release(Node) {}

// Interns a spelling in the symbol table whose intern index is `table`;
// answers its 1-based symbol id (see datatypes/symbol.hpp).  The bytes must
// not lie in a series buffer (the new record's allocations may move it).
int32_t intern_symbol(Node table, const uint8_t* bytes, uint32_t length, bool nocase);
// The id of an interned spelling (exact, or for nocase the canonical one
// equal without regard to ASCII case), or 0; never allocates.
int32_t find_symbol(Node table, const uint8_t* bytes, uint32_t length, bool nocase);
// The slot index of `symbol` in a context word index, or -1.  With
// `context` given, an absent symbol is added: a word cell {word!, context,
// symbol, slot} is appended to the word list, *out receives its slot, and
// the answer is still -1.  With `nocase` symbols match by canonical id.
int32_t context_lookup(Node table, int32_t symbol, bool nocase, Node context, int32_t* out);

// ---- Stride tables (kinds 3, 4) -------------------------------------------

// Adds `key` when absent and resets every cell of its entry to unset!;
// answers the entry's first value cell.
Cell* put_pointer_key(Node table, uint32_t key);
Cell* find_pointer_key(Node table, uint32_t key);    // first value cell, or null
Cell* delete_pointer_key(Node table, uint32_t key);  // first value cell of the removed entry, or null
void  rehash(Node table);                            // re-places every entry in place
void  rebuild_stride(Node table, int32_t n);         // into new arrays and a compacted keys block

// ---- Collector support ----------------------------------------------------

// Marks the table at *ref with its arrays, chains and keys block.
inline void gc_mark(uint32_t* ref) { gc::mark_hashtable(ref); }
// After marking: drops entries of a stride table whose key series (or, for
// kind 4, owner node: first word of the second value cell) is unmarked.
void sweep_weak(Node table);

// Keeps a table (and so its arrays) alive across allocation while no value
// holds it, e.g. while it is being built.  The node is re-read through
// node(), which the collector keeps current.
class TableRoot {
public:
    explicit TableRoot(Node table) : cell_{TYPE_MAP, 0, 0, reinterpret_cast<uint32_t>(table)}, root_(&cell_) {}
    Node node() const { return reinterpret_cast<Node>(cell_.data3); }
    void set(Node table) { cell_.data3 = reinterpret_cast<uint32_t>(table); }
    TableRoot(const TableRoot&) = delete;
    TableRoot& operator=(const TableRoot&) = delete;
private:
    Cell         cell_;
    gc::CellRoot root_;
};

// ---- Byte helpers ---------------------------------------------------------

// A byte series of capacity n (rounded up to 16) whose tail is its capacity
// and whose bytes are 0 or `byte`.
Node alloc_zeroed(uint32_t n);
Node alloc_filled(uint32_t n, uint8_t byte);
// Refills a whole byte series.
void fill(Node node, uint8_t byte);

// ---- Debug ----------------------------------------------------------------

// Prints the deleted and then the live buckets with the low-level printer.
void dump(Node table);

}  // namespace qor::hashtable
