// The error catalog: every category of language error, its ids and their
// message templates, in their fixed order.
//
// The catalog is an object (start-up keeps it at system/catalog/errors) with
// one field per category: throw note syntax script math access reserved1
// reserved2 user internal (category index 0..9).  Each category is an object
// whose fields are `code` (index * 100), `type` (its printed name, a string)
// and then its ids, each holding its message template: a string, a block of
// strings and words naming error fields (get-words :arg1 :arg2 :arg3, or
// plain words), or a word naming one field.  The id at field position p has
// the code base + p - 2.
//
// The table below is the source; `build` turns it into the object, and
// `install` makes an object the one that errors are made from and printed
// with.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::error_catalog {

// One id: its name and its template written as Qor text (a "string", a
// [block] of strings, :get-words and words, or a bare word).
struct IdEntry {
    const char* id;
    const char* message;
};

struct CategoryEntry {
    const char*    name;    // the field name in the catalog
    const char*    type;    // the printed name ("Script Error")
    const IdEntry* ids;
    uint32_t       count;
};

constexpr uint32_t CATEGORY_COUNT = 10;

// ORDER ERROR-CATEGORIES
enum Category : uint32_t {
    CAT_THROW = 0, CAT_NOTE, CAT_SYNTAX, CAT_SCRIPT, CAT_MATH, CAT_ACCESS, CAT_RESERVED1,
    CAT_RESERVED2, CAT_USER, CAT_INTERNAL,
};

const CategoryEntry& category(uint32_t index);
// The category index of a name, or -1.
int32_t category_index(const char* name);
// The id index (0-based, the code's last two digits) within a category, or -1.
int32_t id_index(uint32_t category, const char* id);
// base + id index, or -1 when either name is unknown.
int32_t code_of(const char* category, const char* id);
uint32_t total_ids();

// Builds the catalog object from the table (the symbol table, the global
// context and object!, string! and the word kinds must exist).  Answers it
// by value: keep it rooted.
Cell build();

// Makes `errors` the catalog that errors are made from and printed with (a
// registered global cell keeps a copy).  `installed` answers it, or null
// before any install.
void install(const Cell* errors);
Cell* installed();
// Forgets the installed catalog (tests).
void uninstall();

}  // namespace qor::error_catalog
