// file!: the language's file names (a child of url!, stored as string!).
//
// The text is a path in the language's own form (file_path.hpp); it molds
// as %name, or %"name" when it holds a character a plain file literal
// cannot.  file! does no I/O itself: its read, write, query, delete and
// rename actions are the file service's, handed over at start-up.
#pragma once
#include "datatypes/registry.hpp"

namespace qor::file {

// The file service's actions for file! (services/files.hpp).
struct Layer {
    ReadFn    read = nullptr;
    WriteFn   write = nullptr;
    UnaryFn   query = nullptr;
    UnaryFn   remove = nullptr;   // delete
    BinaryFn  rename = nullptr;
};

void init(const Layer& layer);   // registers file! (after url!)

// Whether the character forces the quoted form of a molded file: control
// characters, space, " % ; < > [ \ ] ^ ` { | } and DEL, and the parentheses,
// which end a plain file literal.  From 128 up, never.
bool forces_quotes(uint32_t cp);

int32_t file_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part, int32_t limit,
                  int32_t indent);

}  // namespace qor::file
