// Words and issues: word!, set-word!, lit-word!, get-word!, refinement! and
// issue! share one cell layout.
//
//   header  type id (15-20), the new-line flag; in a context's word list
//           also FLAG_ASSIGNED (the slot was assigned)
//   word 1  node of the context the word is bound to (the global context by
//           default; 0 for the runtime's fixed refinements)
//   word 2  symbol id: the spelling the word was written with
//   word 3  slot index in that context (signed), -1 when the word has no
//           slot (issues always, words that denote an object's self, words
//           of contexts filled lazily)
//
// Form writes the bare name; mold adds the kind's mark: name: 'name :name
// /name #name.  Equality ignores case and kind (a equals A and a:);
// strict equality needs the same kind and spelling.
//
// The constructors below are the runtime's own and the entries compiled code
// calls.  All of them may allocate unless they say otherwise: cells passed in
// must be reachable by the collector, and cells answered are valid until the
// next allocation.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "runtime/memory.hpp"

namespace qor {

// The six kinds.
inline bool is_word_kind(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }

namespace word {

// Registers word!, lit-word!, set-word!, get-word! and refinement!, in that
// order (after symbol!).
void init();

inline int32_t symbol_of(const Cell* word) { return int32_t(word->data2); }
inline int32_t index_of(const Cell* word) { return int32_t(word->data3); }
inline Node context_of(const Cell* word) { return reinterpret_cast<Node>(word->data1); }
// Whether the word's spelling is `name` (lower case) without regard to ASCII
// case, which is what comparing canonical symbols means.  Never allocates.
bool spelled(const Cell* word, const char* name);

// The cell becomes the word! {global context, symbol, slot}: the slot that a
// case-insensitive lookup finds, the symbol added with an unset value when
// absent.
Cell* init_cell(Cell* cell, int32_t symbol);
Cell* new_in_block(Cell* block, int32_t symbol);  // init_cell on a new cell at the tail
Cell* push_new(int32_t symbol);                   // init_cell on a new stack slot
// The global word of an exactly interned text (a case variant gets a word of
// its own spelling on the shared slot); while the boot collection flag is set
// the word is also copied to the root block's tail and that copy answered.
Cell* make_from_c_string(const char* text);

Cell* push_copy(const Cell* value);
// Pushes a copy of the word's value; an unset value raises script/no-value.
Cell* push_value(const Cell* word);
// The entry of compiled assignments: the word is the current call's first
// argument, the value its second.  An unset value raises script/need-value;
// else the word is set and the value becomes the call's result.
Cell* set_checked();
// Pushes a string! whose series is the symbol's cached string itself.
Cell* push_name_string(const Cell* word);

// The per-kind members, each a word! made or copied above and retyped:
Cell* make_kind_in_block(Cell* block, const char* text, uint32_t type);
// A new cell: at the root block's tail while the boot collection flag is
// set, else on a new stack slot.
Cell* make_kind_from_c_string(const char* text, uint32_t type);
Cell* push_retyped(const Cell* value, uint32_t type);
Cell* push_context_word(Node ctx, int32_t index, uint32_t type);

}  // namespace word

namespace get_word {
// Pushes a copy of the word's value, unset included.
Cell* push_value(const Cell* word);
}  // namespace get_word

namespace issue {
void init();  // registers issue! (after word!)
// The cell becomes {issue!, global context, symbol of the text, -1}.
Cell* init_cell_from_c_string(Cell* cell, const char* text);
// The same on a new cell at the root block's tail while the boot collection
// flag is set, else on a new stack slot.
Cell* make_from_c_string(const char* text);
// The literal decoder (literal.hpp): #name.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);
}  // namespace issue

namespace refinement {
// A new cell at the root block's tail: {refinement!, 0, symbol, -1}.
Cell* make_from_c_string(const char* text);
// The literal decoder (literal.hpp): /name.
uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t seen, bool make, Cell* out);
}  // namespace refinement

// Actions.
Cell*   word_make(Cell* prototype, Cell* spec);  // make and to
int32_t word_form(Cell* value, Cell* out, Cell* part, int32_t limit);
int32_t word_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent);
int32_t word_compare(Cell* value1, Cell* value2, int32_t op);
void    word_index_q();  // direct slot: slot + 1, or none
Cell*   issue_make(Cell* prototype, Cell* spec);
int32_t issue_compare(Cell* value1, Cell* value2, int32_t op);

}  // namespace qor
