// error!: the value of every language-level error, and the error printer.
//
// An error! cell has the object! layout (object.hpp) with type id 34; its
// context holds ten fields in a fixed order (ErrorField).  `type` and `id`
// are words naming the category and the id in the error catalog
// (error_catalog.hpp); `code` is category index * 100 + id index.
//
// Raising: `raise_error` (raise.hpp's declaration, kept in raise_seam.hpp)
// builds the error from the catalog, keeps it as the pending error
// (errors::last_raised) and throws Thrown{THROW_ERROR}; the catching code
// reads the value there.  Without a catalog (early start-up, tests that
// bring up only a few datatypes) the pending error reads none, and only the
// plain record of last_raised_error() tells what was raised.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"
#include "datatypes/eval_links.hpp"
#include "runtime/memory.hpp"

namespace qor {

// The fields of an error, by slot.  ORDER ERROR-FIELDS
enum ErrorField : uint32_t {
    ERR_CODE = 0, ERR_TYPE, ERR_ID, ERR_ARG1, ERR_ARG2, ERR_ARG3, ERR_NEAR, ERR_WHERE, ERR_STACK,
    ERR_FILES, ERR_FIELD_COUNT,
};
inline constexpr const char* ERROR_FIELD_NAMES[ERR_FIELD_COUNT] = {
    "code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files",
};

namespace error {

// Registers error! (after object!) and makes the standard error prototype.
// The symbol table, the global context and the fixed words must exist.
void init();

// The standard error prototype that every new error copies (a registered
// global; start-up places the same object in the system object).
Cell* prototype();

// The value of field `f` of an error; valid until the next allocation.
Cell* field(const Cell* error, uint32_t f);

// A new error from a category word and an id word (any word kinds; their
// symbols are looked up in the catalog) with up to three arguments (null:
// not given, the field stays none).  Raises as error!/make does for an
// unknown category or id.  Answers the error by value: keep it rooted.
Cell make_from_ids(const Cell* category, const Cell* id, const Cell* arg1 = nullptr,
                   const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);
// The same from spellings ("script", "expect-arg").
Cell make_from_names(const char* category, const char* id, const Cell* arg1 = nullptr,
                     const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// Stores the value in `where` when `where` is none.
void set_where_if_none(Cell* error, const Cell* value);
// The symbol of the `type` word, of the `id` word (0 when not a word).
int32_t get_type(const Cell* error);
int32_t get_id(const Cell* error);
constexpr uint32_t stack_field_index() { return ERR_STACK; }

// The word naming the n-th (0-based) argument of the call being run: the
// n-th word!, get-word!, lit-word! or refinement! of its spec; the fixed word
// <anon> when the call is not a function kind or has fewer arguments.
Cell argument_word(int32_t n);

// Turns a recorded stack position (an integer! in `stack`) into a block of
// call words, and copies the block of source files into `files` when it is
// not empty.  Other values are left alone.
void attach_stack(Cell* value);

// The two system settings the printer and attach_stack read: the stack-trace
// depth (an integer!; 0 or less: no stack in reports) and the block of
// source file names.  By default they are this module's own cells (depth 0,
// an empty block); start-up points them at the system object's.
using SettingReader = const Cell* (*)();
void set_setting_readers(SettingReader stack_depth, SettingReader source_files);
Cell* stack_depth_setting();   // the module's own cells, writable (tests)
Cell* source_files_setting();


// The evaluator's services (eval_links.hpp), under the names the error
// module published first.
using EvaluatorLinks = eval_links::Links;
inline EvaluatorLinks& links() { return eval_links::get(); }

// ---- Actions ---------------------------------------------------------------------------

Cell*   error_make(Cell* prototype, Cell* spec);
int32_t error_form(Cell* value, Cell* out, Cell* part, int32_t limit);   // the printer
int32_t error_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                   int32_t limit, int32_t indent);
Cell*   error_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                        Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                        bool last, bool notify);
int32_t error_compare(Cell* value1, Cell* value2, int32_t op);

// Message templates: a block of strings and words naming error fields,
// written into `out` (arguments formed for syntax errors, molded flat for
// the others, each cut at 80 characters; one space between entries).
int32_t form_message(const Cell* message, Cell* out, const Cell* error, int32_t limit);

}  // namespace error

namespace errors {

// The pending error: the value of the last raise (an error!, or none when
// the error could not be built).  A registered global cell; the catching
// code copies it out.
Cell* last_raised();
void  clear();

// Stores the value as the pending error and throws THROW_ERROR.
[[noreturn]] void throw_error(const Cell* error);

// raise_error with the category and id given as words (compiled code names
// errors by the catalog's own words) and up to three argument values (null:
// not given).
[[noreturn]] void raise_words(const Cell* category, const Cell* id, const Cell* arg1 = nullptr,
                              const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

}  // namespace errors

}  // namespace qor
