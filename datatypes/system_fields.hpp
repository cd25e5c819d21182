// Reading fields of objects, and of the system object the library builds,
// from the value level: the datatypes and the services read settings kept
// there (system/locale/months, the currency list, system/options/path)
// without reaching up to the evaluator or the start-up code.
#pragma once
#include <initializer_list>

#include "runtime/cell.hpp"

namespace qor::system_fields {

// The field of an object (any object kind) by its spelling, or null when
// the value is not an object or has no such field.  Never allocates.
Cell* field(const Cell* object, const char* name);

// The value reached from the global word `system` through a path of object
// fields ({"locale", "months"}; {} for `system` itself), or null while the
// symbol table or the global context is not ready, before the library has
// built the object, or when a step is missing or not an object.  Never
// allocates; the answer is valid until the next allocation.
Cell* value(std::initializer_list<const char*> path);

}  // namespace qor::system_fields
