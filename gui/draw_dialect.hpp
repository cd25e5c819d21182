// The draw dialect: the walker that checks a block of draw commands and
// turns each into operations of a Canvas (gui/draw_backend.hpp), and the
// entry that brackets one walk between opening and closing a drawing.
//
// Errors are script/draw-invalid at the commands block positioned at the
// offending value (its tail for a missing argument) and
// script/draw-infinite for a block met inside itself.
#pragma once
#include <cstdint>

#include "gui/draw_backend.hpp"
#include "runtime/cell.hpp"

namespace qor::gui::draw {

// Opens a drawing on the window (hwnd not 0) or on the image, walks the
// commands, closes the drawing.  With no window and commands that are not
// a non-empty block nothing is opened.  An error of the walk is printed
// when `catch_errors` is set, else raised after the drawing was closed.
void do_draw(uint32_t hwnd, const Cell* face, const Cell* image, const Cell* commands, bool layered,
             bool catch_errors);

// Walks a commands block from its index onto the canvas.
void parse_commands(Canvas& canvas, const Cell* commands);
// The same for paints: an error is printed and ends the walk, nothing leaves.
void parse_commands_caught(Canvas& canvas, const Cell* commands);

// ---- Shared by the walker's modules (gui/draw_*.cpp) -----------------------------------

// A position in a block: the node and an index; values are read afresh at
// each step, since evaluation may move the buffer.
struct Cursor {
    Node     node;
    uint32_t index;
    uint32_t at;     // the position being read

    bool     more() const;                 // a value at `at`
    Cell     value() const;                // the value at `at` (none past the tail)
    Cell     block_at(uint32_t i) const;   // the block positioned at i
    [[noreturn]] void invalid(uint32_t i) const;   // draw-invalid there
};

Cursor cursor_of(const Cell* block);

// Argument classes.
bool is_point(const Cell* v);
bool is_number(const Cell* v);   // finite integer! or float!
bool is_scale(const Cell* v);    // number or percent!
Point  point_of(const Cell* v);
float  number_of(const Cell* v);
// A colour: a tuple! of 3 or 4 bytes, or a word whose value is one.
bool     colour_of(const Cell* v, uint32_t* colour);
// The value of a word, or null when it has none.
const Cell* word_value(const Cell* word);
// The word's canonical symbol is that of the keyword.
bool is_keyword(const Cell* v, const char* keyword);

// Readers: the next value is of that class (the cursor stays), or is taken
// (the cursor moves past it; another value raises draw-invalid there).
bool  next_is_point(const Cursor& c);
bool  next_is_number(const Cursor& c);
Point take_point(Cursor& c);
float take_number(Cursor& c);

// The pen and fill-pen arguments and the line-style commands: each
// reads from c.at (the value after the keyword) and leaves c.at after the
// last value consumed.
void parse_pen(Canvas& canvas, Cursor& c, int32_t target);
// The shape sub-dialect: a block of path commands.
void parse_shape(Canvas& canvas, const Cell* shape, bool draw);

}  // namespace qor::gui::draw
