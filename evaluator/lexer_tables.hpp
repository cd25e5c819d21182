// The lexer's tables: byte classes with their flag bits, the transition
// table of the automaton, and per state its skip count and token type.
//
// Each input byte maps to one of 40 classes; the transition table gives,
// for each of the 65 working states (0-64) and each class, the next state.
// A next state of 66 or more is final and names a token kind (state - 66);
// 67 is the error state.  The tables are built at compile time from the
// rules in lexer_tables.cpp.
#pragma once
#include <cstdint>

#include "datatypes/literal.hpp"

namespace qor::lexer {

// ---- Byte classes -------------------------------------------------------------------------

enum ByteClass : uint8_t {
    C_BLANK = 0,    // TAB, CR, space
    C_LF = 1,
    C_DIGIT = 2,    // 1-9
    C_ZERO = 3,
    C_LBRACKET = 4, C_RBRACKET = 5, C_LPAREN = 6, C_RPAREN = 7, C_LBRACE = 8, C_RBRACE = 9,
    C_DQUOTE = 10,
    C_SHARP = 11,
    C_QUOTE = 12,   // '
    C_COLON = 13,
    C_X = 14,       // x X
    C_T = 15,       // T
    C_H = 16,       // h
    C_LOWER_E = 17, // e
    C_UPPER_E = 18, // E
    C_LOWER_HEX = 19,  // a b c d f
    C_UPPER_HEX = 20,  // A B C D F
    C_SLASH = 21, C_BACKSLASH = 22, C_LESS = 23, C_GREATER = 24, C_EQUAL = 25,
    C_PERCENT = 26, C_COMMA = 27, C_SEMICOLON = 28, C_AT = 29, C_DOT = 30, C_DOLLAR = 31,
    C_PLUS = 32, C_MINUS = 33, C_CARET = 34,
    C_CONTROL = 35,  // 0x01-0x08, 0x0B, 0x0C, 0x0E-0x1F
    C_CONT = 36,     // 0x7F, 0x80-0xBF
    C_WORD = 37,     // other printable ASCII, UTF-8 lead bytes 0xC2-0xF7
    C_INVALID = 38,  // 0xC0, 0xC1, 0xF8-0xFF
    C_EOF = 39,      // NUL; also the end of input
};
constexpr int CLASS_COUNT = 40;

// Flag bits ORed into a token's flag word for each of its bytes; those the
// literal decoders read are theirs (literal.hpp).
enum : uint32_t {
    LEX_FLAG_LINE_END  = 0x00000100u,  // a line feed was met (scanning only: outside the mask)
    LEX_FLAG_MULTILINE = 0x00020000u,  // a brace string spans lines
    LEX_FLAG_PERCENT   = literal::SEEN_PERCENT,
    LEX_FLAG_GREATER   = 0x00080000u,
    LEX_FLAG_LESS      = 0x00100000u,
    LEX_FLAG_SIGN      = 0x00200000u,
    LEX_FLAG_NUL       = 0x00400000u,
    LEX_FLAG_SHARP     = 0x00800000u,
    LEX_FLAG_EXPONENT  = literal::SEEN_EXPONENT,
    LEX_FLAG_QUOTE     = literal::SEEN_QUOTE,
    LEX_FLAG_COLON     = 0x04000000u,
    LEX_FLAG_COMMA     = 0x08000000u,
    LEX_FLAG_DOT       = literal::SEEN_DOT,
    LEX_FLAG_CARET     = literal::SEEN_CARET,
    LEX_FLAG_LEAD2     = literal::SEEN_LEAD2,
    LEX_FLAG_LEAD4     = literal::SEEN_LEAD4,
    LEX_FLAG_MASK      = 0xFFFE0000u,
};

// ---- States and token kinds ---------------------------------------------------------------

constexpr int STATE_COUNT = 65;   // working states 0-64
constexpr int FINAL_BASE = 66;
constexpr int KIND_COUNT = 36;    // final states 66-101
constexpr int TABLE_STATES = FINAL_BASE + KIND_COUNT;  // 102

// Working states named by the scanners.
enum State : uint8_t {
    S_START = 0,
    S_BRACE_STRING = 4,
    S_POINT = 35,
    S_PATH = 59,
};

// Token kinds, final state - 66.  ORDER LEX-KINDS
enum Kind : uint8_t {
    K_EOF = 0, K_ERROR, K_BLOCK_OPEN, K_BLOCK_CLOSE, K_PAREN_OPEN, K_PAREN_CLOSE,
    K_BRACE_OPEN, K_BRACE_CLOSE, K_MAP_OPEN, K_PATH, K_CONSTRUCT, K_COMMENT, K_COMMA,
    K_STRING, K_WORD, K_ISSUE, K_INTEGER, K_REFINEMENT, K_CHAR, K_FILE, K_BINARY, K_PERCENT,
    K_FLOAT, K_SPECIAL_FLOAT, K_TUPLE, K_DATE, K_PAIR, K_POINT, K_TIME, K_MONEY, K_TAG, K_URL,
    K_EMAIL, K_HEX, K_RAW_STRING, K_REF,
};
static_assert(K_REF == KIND_COUNT - 1);

constexpr uint8_t final_state(Kind k) { return uint8_t(FINAL_BASE + k); }

// Names of the kinds (the default exit-state words).  ORDER LEX-KINDS
extern const char* const KIND_NAMES[KIND_COUNT];

// ---- Tables --------------------------------------------------------------------------------

struct Tables {
    uint32_t byte_class[256];                        // class in the low byte, flags above
    uint8_t  next[STATE_COUNT][CLASS_COUNT];         // transitions of the working states
    uint8_t  type[TABLE_STATES];                     // datatype id of a state's tokens, 0 none
};
extern const Tables TABLES;

inline uint8_t class_of(uint8_t b) { return uint8_t(TABLES.byte_class[b]); }

// The Unicode blanks that separate tokens besides the ASCII ones.
bool is_unicode_blank(uint32_t cp);

}  // namespace qor::lexer
