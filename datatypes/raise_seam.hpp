// Raising a language error from the error catalog.
//
// An error names its category and id (`script`/`expect-arg`) and carries up
// to three arguments, each a value or a word.  The raise never returns: it
// builds the error! value from the catalog, keeps it as the pending error
// (errors::last_raised, datatypes/error.hpp) and throws THROW_ERROR to the
// nearest catch site.  Every raise also fills a plain record of what was
// raised (last_raised_error), which reads the same whether or not the
// catalog is in place (early start-up, tests that bring up a few datatypes).
#pragma once
#include <string>

#include "runtime/cell.hpp"

namespace qor {

// One error argument: a value, or the spelling of a word.
struct ErrorArg {
    const Cell* value = nullptr;
    const char* word = nullptr;
    ErrorArg() = default;
    ErrorArg(const Cell* v) : value(v) {}
    ErrorArg(const char* w) : word(w) {}
};

[[noreturn]] void raise_error(const char* category, const char* id, ErrorArg arg1 = {},
                              ErrorArg arg2 = {}, ErrorArg arg3 = {});

// The plain record of the last raise.
struct RaisedError {
    struct Arg {
        bool        given = false;
        Cell        value{};      // a value argument, copied
        std::string word;         // a word argument's spelling; empty for a value
    };
    std::string category;
    std::string id;
    Arg         args[3];
};
const RaisedError& last_raised_error();

}  // namespace qor
