// The library's routine! values: C++ functions registered by name, made
// into routines while the library boots and bound to their words or object
// slots by the library's own Qor source, which gives each its spec:
//
//     quit-return: boot-routine 'quit-return [
//         "Stops evaluation and exits the program with a given status"
//         status [integer!] "Process termination value to return"
//     ]
//
// A routine here takes the raw convention of call.hpp (RawRoutineFn): the
// addresses of its argument cells in spec order, answering the cell to copy
// into the result slot (null: unset); or the typed one (RoutineFn).  Its
// return type is read from the spec's return: block.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "evaluator/call.hpp"

namespace qor::routines {

struct Entry {
    const char*  name;    // the name the library asks for
    RawRoutineFn code;
    // Instead of `code`: the typed convention (integer!, logic! and float!
    // arguments by value, the answer read by the spec's return type), for
    // routines that operators wrap: an op! keeps no routine flags.
    RoutineFn    typed = nullptr;
};

// The tables of the modules that define routines, each ended by an entry
// whose name is null.
const Entry* library_entries();     // the routines bound to words (boot/library_routines.cpp)
const Entry* predicate_entries();   // the datatype and typeset predicates (boot/predicates.cpp)
const Entry* system_entries();      // methods of the system objects (boot/system_routines.cpp)
const Entry* console_entries();     // the console's line input (boot/console_routines.cpp)
const Entry* codec_entries();       // the codec objects' routines (library/codec_routines.cpp)

// Adds a table of a layer above the library (the GUI registers its own at
// start-up); a table already added is not added twice.
void add_entries(const Entry* table);

// The registered entry of that name, or null.
const Entry* find(const char* name);

// Pushes a new routine! over the spec block for the named entry; raises
// internal/not-done (with the name) when no entry has that name.
Cell* push_new(const char* name, const Cell* spec);

// The maker the library's source calls while it boots: a routine! whose
// spec is [name [word!] spec [block!]], answering the routine of that name.
// Start-up binds it to the word `boot-routine` before the library runs and
// unsets that word afterwards.
Cell make_maker();

// Shared by the routine bodies: the cell of a new result (a scratch cell
// that the caller copies at once).
Cell* result_cell();

}  // namespace qor::routines
