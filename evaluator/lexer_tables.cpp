// The lexer's tables, built at compile time from the syntax rules below.
//
// A row is written as a default (the state every unnamed class goes to:
// the error state in value states, the state itself in text states)
// followed by the transitions that shape the syntax.
#include "evaluator/lexer_tables.hpp"

#include <initializer_list>

#include "runtime/cell.hpp"

namespace qor::lexer {

namespace {

constexpr uint8_t F(Kind k) { return final_state(k); }
constexpr uint8_t ERR = FINAL_BASE + K_ERROR;  // 67

// Classes that end a value token.
constexpr std::initializer_list<int> DELIMITERS = {
    C_BLANK, C_LF, C_LBRACKET, C_RBRACKET, C_LPAREN, C_RPAREN, C_LBRACE, C_RBRACE,
    C_DQUOTE, C_SEMICOLON, C_CONTROL, C_EOF,
};
constexpr std::initializer_list<int> LETTERS = {
    C_X, C_T, C_H, C_LOWER_E, C_UPPER_E, C_LOWER_HEX, C_UPPER_HEX, C_WORD,
};
constexpr std::initializer_list<int> DIGITS = {C_DIGIT, C_ZERO};
// Bytes that may follow the first one of a word (besides letters and digits).
constexpr std::initializer_list<int> WORD_MARKS = {
    C_QUOTE, C_GREATER, C_EQUAL, C_DOT, C_PLUS, C_MINUS, C_CARET, C_CONT,
};
// Bytes of an issue's name (besides letters and digits).
constexpr std::initializer_list<int> ISSUE_MARKS = {
    C_QUOTE, C_GREATER, C_EQUAL, C_DOT, C_PLUS, C_MINUS, C_CARET, C_CONT, C_SHARP,
    C_PERCENT, C_AT, C_DOLLAR,
};

struct Builder {
    uint8_t t[STATE_COUNT][CLASS_COUNT] = {};

    constexpr void fill(int s, uint8_t to) {
        for (int c = 0; c < CLASS_COUNT; c++) t[s][c] = to;
    }
    constexpr void on(int s, std::initializer_list<int> classes, uint8_t to) {
        for (int c : classes) t[s][c] = to;
    }
    constexpr void on(int s, int c, uint8_t to) { t[s][c] = to; }
    // A word-like row: letters, digits and word marks stay in `self`.
    constexpr void word_body(int s, uint8_t self) {
        on(s, LETTERS, self);
        on(s, DIGITS, self);
        on(s, WORD_MARKS, self);
    }
};

constexpr Builder build_transitions() {
    Builder b;

    // 0: start.  Which syntax a token begins.
    b.fill(0, ERR);
    b.on(0, {C_BLANK, C_LF, C_CONTROL}, 0);
    b.on(0, DIGITS, 23);
    b.on(0, C_LBRACKET, F(K_BLOCK_OPEN));
    b.on(0, C_RBRACKET, F(K_BLOCK_CLOSE));
    b.on(0, C_LPAREN, F(K_PAREN_OPEN));
    b.on(0, C_RPAREN, F(K_PAREN_CLOSE));
    b.on(0, C_LBRACE, F(K_BRACE_OPEN));
    b.on(0, C_DQUOTE, 2);
    b.on(0, C_SHARP, 16);
    b.on(0, {C_QUOTE, C_COLON}, 51);
    b.on(0, C_DOLLAR, 36);
    b.on(0, C_SLASH, 13);
    b.on(0, C_LESS, 43);
    b.on(0, {C_GREATER, C_CARET, C_X, C_T, C_H, C_LOWER_E, C_LOWER_HEX, C_WORD}, 52);
    b.on(0, {C_UPPER_E, C_UPPER_HEX}, 40);
    b.on(0, C_EQUAL, 58);
    b.on(0, C_PERCENT, 6);
    b.on(0, C_COMMA, F(K_COMMA));
    b.on(0, C_SEMICOLON, 1);
    b.on(0, C_AT, 57);
    b.on(0, C_DOT, 49);
    b.on(0, {C_PLUS, C_MINUS}, 47);
    b.on(0, C_EOF, F(K_EOF));

    // 1: comment to the end of the line.
    b.fill(1, 1);
    b.on(1, {C_LF, C_EOF}, F(K_COMMENT));

    // 2, 3: string between double quotes, and an escape in it.
    b.fill(2, 2);
    b.on(2, C_DQUOTE, F(K_STRING));
    b.on(2, C_CARET, 3);
    b.on(2, {C_LF, C_EOF}, ERR);
    b.fill(3, 2);
    b.on(3, {C_LF, C_EOF}, ERR);

    // 4, 5: inside a brace string, and an escape in it.
    b.fill(4, 4);
    b.on(4, C_LBRACE, F(K_BRACE_OPEN));
    b.on(4, C_RBRACE, F(K_BRACE_CLOSE));
    b.on(4, C_CARET, 5);
    b.on(4, C_EOF, ERR);
    b.fill(5, 4);
    b.on(5, C_EOF, ERR);

    // 6: after %: a file, a quoted file or a raw string.
    b.fill(6, 7);
    // Mended: a lone % is the word of the remainder operator, not an
    // empty file name (which molds as %"" anyway).
    b.on(6, DELIMITERS, F(K_WORD));
    b.on(6, C_LBRACE, 10);
    b.on(6, C_PERCENT, 9);
    b.on(6, C_DQUOTE, 8);
    b.on(6, C_INVALID, ERR);
    // 7: file name.
    b.fill(7, 7);
    b.on(7, DELIMITERS, F(K_FILE));
    b.on(7, C_INVALID, ERR);
    // 8: quoted file name.
    b.fill(8, 8);
    b.on(8, C_DQUOTE, F(K_FILE));
    b.on(8, {C_LF, C_EOF}, ERR);
    // 9: more % before the { of a raw string.
    b.fill(9, 7);
    b.on(9, DELIMITERS, F(K_FILE));
    b.on(9, C_PERCENT, 9);
    b.on(9, C_LBRACE, 10);
    b.on(9, C_INVALID, ERR);
    // 10, 11, 12: raw string body, } seen, }% seen.  The scanner finds the
    // real end (as many % as opened it); a delimiter after }% is a hint.
    b.fill(10, 10);
    b.on(10, C_RBRACE, 11);
    b.on(10, C_EOF, ERR);
    b.fill(11, 10);
    b.on(11, C_PERCENT, 12);
    b.on(11, C_RBRACE, 11);
    b.on(11, C_EOF, ERR);
    b.fill(12, 10);
    b.on(12, C_PERCENT, 12);
    b.on(12, DELIMITERS, F(K_RAW_STRING));

    // 13, 14, 15: leading /: the word /, a refinement, the word //.
    b.fill(13, ERR);
    b.on(13, LETTERS, 14);
    b.on(13, DIGITS, 14);
    b.on(13, WORD_MARKS, 14);
    b.on(13, C_SLASH, 15);
    b.on(13, DELIMITERS, F(K_WORD));
    b.on(13, C_COLON, 53);
    b.fill(14, ERR);
    b.word_body(14, 14);
    b.on(14, DELIMITERS, F(K_REFINEMENT));
    b.on(14, C_LESS, F(K_REFINEMENT));
    b.fill(15, ERR);
    b.on(15, DELIMITERS, F(K_WORD));

    // 16: after #.
    b.fill(16, 22);
    b.on(16, DELIMITERS, ERR);
    b.on(16, {C_COLON, C_LESS, C_GREATER, C_COMMA, C_SLASH, C_BACKSLASH, C_INVALID, C_CONT}, ERR);
    b.on(16, C_LBRACKET, F(K_MAP_OPEN));
    b.on(16, C_LPAREN, 21);
    b.on(16, C_LBRACE, 17);
    b.on(16, C_DQUOTE, 19);
    // 17, 18: binary body, and a comment inside it.
    b.fill(17, ERR);
    b.on(17, LETTERS, 17);
    b.on(17, DIGITS, 17);
    b.on(17, {C_PLUS, C_SLASH, C_EQUAL, C_BLANK, C_LF}, 17);
    b.on(17, C_SEMICOLON, 18);
    b.on(17, C_RBRACE, F(K_BINARY));
    b.fill(18, 18);
    b.on(18, C_LF, 17);
    b.on(18, C_EOF, ERR);
    // 19, 20: character literal, and an escape in it.
    b.fill(19, 19);
    b.on(19, C_DQUOTE, F(K_CHAR));
    b.on(19, C_CARET, 20);
    b.on(19, {C_LF, C_EOF}, ERR);
    b.fill(20, 19);
    b.on(20, {C_LF, C_EOF}, ERR);
    // 21: construction literal #(...).
    b.fill(21, 21);
    b.on(21, C_RPAREN, F(K_CONSTRUCT));
    b.on(21, {C_LF, C_EOF}, ERR);
    // 22: issue.
    b.fill(22, 22);
    b.on(22, DELIMITERS, F(K_ISSUE));
    b.on(22, {C_COLON, C_SLASH, C_COMMA, C_BACKSLASH, C_INVALID}, ERR);

    // 23: decimal digits.
    b.fill(23, ERR);
    b.on(23, DIGITS, 23);
    b.on(23, C_QUOTE, 23);
    b.on(23, C_DOT, 24);
    b.on(23, C_COLON, 31);
    b.on(23, C_X, 33);
    b.on(23, {C_T, C_SLASH, C_MINUS}, 30);
    b.on(23, C_PERCENT, F(K_PERCENT));
    b.on(23, C_AT, 56);
    b.on(23, C_H, 42);
    b.on(23, C_LOWER_E, 26);
    b.on(23, C_UPPER_E, 27);
    b.on(23, C_UPPER_HEX, 39);
    b.on(23, C_SHARP, 16);
    b.on(23, DELIMITERS, F(K_INTEGER));
    b.on(23, {C_LESS, C_COMMA}, F(K_INTEGER));
    // 24: digits and a dot.
    b.fill(24, ERR);
    b.on(24, DIGITS, 25);
    b.on(24, C_SHARP, 28);
    b.on(24, C_X, 33);
    b.on(24, {C_LOWER_E, C_UPPER_E}, 26);
    b.on(24, C_PERCENT, F(K_PERCENT));
    b.on(24, C_DOT, 29);
    b.on(24, DELIMITERS, F(K_FLOAT));
    b.on(24, C_COMMA, F(K_FLOAT));
    // 25: fraction digits.
    b.fill(25, ERR);
    b.on(25, DIGITS, 25);
    b.on(25, C_QUOTE, 25);
    b.on(25, C_DOT, 29);
    b.on(25, C_X, 33);
    b.on(25, {C_LOWER_E, C_UPPER_E}, 26);
    b.on(25, C_AT, 56);
    b.on(25, C_PERCENT, F(K_PERCENT));
    b.on(25, DELIMITERS, F(K_FLOAT));
    b.on(25, {C_COLON, C_COMMA}, F(K_FLOAT));
    // 26: exponent sign and digits.
    b.fill(26, ERR);
    b.on(26, DIGITS, 26);
    b.on(26, {C_PLUS, C_MINUS}, 26);
    b.on(26, C_PERCENT, F(K_PERCENT));
    b.on(26, DELIMITERS, F(K_FLOAT));
    b.on(26, C_COMMA, F(K_FLOAT));
    // 27: digits then E: an exponent or hexadecimal digits.
    b.fill(27, ERR);
    b.on(27, DIGITS, 27);
    b.on(27, {C_PLUS, C_MINUS}, 26);
    b.on(27, {C_UPPER_HEX, C_UPPER_E}, 39);
    b.on(27, C_H, 42);
    b.on(27, C_PERCENT, F(K_PERCENT));
    b.on(27, DELIMITERS, F(K_FLOAT));
    b.on(27, C_COMMA, F(K_FLOAT));
    // 28: the letters of 1.#INF and 1.#NaN.
    b.fill(28, ERR);
    b.on(28, LETTERS, 28);
    b.on(28, DELIMITERS, F(K_SPECIAL_FLOAT));
    // 29: tuple.
    b.fill(29, ERR);
    b.on(29, DIGITS, 29);
    b.on(29, C_DOT, 29);
    b.on(29, DELIMITERS, F(K_TUPLE));
    b.on(29, C_COMMA, F(K_TUPLE));
    // 30: date.
    b.fill(30, ERR);
    b.on(30, DIGITS, 30);
    b.on(30, LETTERS, 30);
    b.on(30, {C_MINUS, C_SLASH, C_COLON, C_DOT, C_PLUS, C_COMMA}, 30);
    b.on(30, DELIMITERS, F(K_DATE));
    // 31, 32: time.
    for (int s : {31, 32}) {
        b.fill(s, ERR);
        b.on(s, DIGITS, 32);
        b.on(s, {C_COLON, C_DOT, C_COMMA, C_QUOTE, C_LOWER_E, C_UPPER_E, C_MINUS}, 32);
        b.on(s, DELIMITERS, F(K_TIME));
    }
    // 33, 34: second part of a pair.
    b.fill(33, ERR);
    b.on(33, DIGITS, 34);
    b.on(33, {C_PLUS, C_MINUS}, 34);
    b.fill(34, ERR);
    b.on(34, DIGITS, 34);
    b.on(34, {C_DOT, C_LOWER_E, C_UPPER_E, C_QUOTE, C_PLUS, C_MINUS}, 34);
    b.on(34, DELIMITERS, F(K_PAIR));
    b.on(34, C_COMMA, F(K_PAIR));
    // 35: point literal inside parentheses (the entry state after its "(").
    b.fill(35, ERR);
    b.on(35, DIGITS, 35);
    b.on(35, {C_BLANK, C_COMMA, C_DOT, C_LOWER_E, C_UPPER_E, C_LOWER_HEX, C_UPPER_HEX, C_WORD,
              C_SHARP, C_PLUS, C_MINUS, C_RBRACKET}, 35);
    b.on(35, C_RPAREN, F(K_POINT));
    // 36, 37, 38: money: $ after a code or alone, $ after a sign, digits.
    b.fill(36, ERR);
    b.on(36, DIGITS, 38);
    b.fill(37, ERR);
    b.on(37, DIGITS, 38);
    b.fill(38, ERR);
    b.on(38, DIGITS, 38);
    b.on(38, {C_QUOTE, C_DOT, C_COMMA}, 38);
    b.on(38, DELIMITERS, F(K_MONEY));
    // 39: hexadecimal digits after decimal ones.
    b.fill(39, ERR);
    b.on(39, DIGITS, 39);
    b.on(39, {C_UPPER_HEX, C_UPPER_E}, 39);
    b.on(39, C_H, 42);
    // 40: a word of uppercase hexadecimal letters (a hexadecimal integer
    // when it ends in h, a currency code before $).
    b.fill(40, ERR);
    b.word_body(40, 52);
    b.on(40, DIGITS, 40);
    b.on(40, {C_UPPER_HEX, C_UPPER_E}, 40);
    b.on(40, C_H, 41);
    b.on(40, DELIMITERS, F(K_WORD));
    b.on(40, C_LESS, F(K_WORD));
    b.on(40, C_COLON, 53);
    b.on(40, C_SLASH, F(K_PATH));
    b.on(40, C_AT, 56);
    b.on(40, C_DOLLAR, 36);
    // 41: h after such a word.
    b.fill(41, ERR);
    b.word_body(41, 52);
    b.on(41, DELIMITERS, F(K_HEX));
    b.on(41, C_LESS, F(K_HEX));
    b.on(41, C_COLON, 53);
    b.on(41, C_SLASH, F(K_PATH));
    b.on(41, C_AT, 56);
    b.on(41, C_DOLLAR, 36);
    // 42: h after digits.
    b.fill(42, ERR);
    b.on(42, DELIMITERS, F(K_HEX));
    b.on(42, {C_LESS, C_COMMA}, F(K_HEX));

    // 43: <: a tag, or the words <, <>, <=, <<.
    b.fill(43, ERR);
    b.on(43, LETTERS, 44);
    b.on(43, DIGITS, 44);
    b.on(43, C_SLASH, 44);
    b.on(43, {C_GREATER, C_EQUAL, C_LESS}, 52);
    b.on(43, C_COLON, 53);
    b.on(43, DELIMITERS, F(K_WORD));
    // 44, 45, 46: tag body, and its quoted attribute values.
    b.fill(44, 44);
    b.on(44, C_GREATER, F(K_TAG));
    b.on(44, C_DQUOTE, 45);
    b.on(44, C_QUOTE, 46);
    b.on(44, C_EOF, ERR);
    b.fill(45, 45);
    b.on(45, C_DQUOTE, 44);
    b.on(45, C_EOF, ERR);
    b.fill(46, 46);
    b.on(46, C_QUOTE, 44);
    b.on(46, C_EOF, ERR);

    // 47: a leading sign.
    b.fill(47, ERR);
    b.on(47, DIGITS, 23);
    b.on(47, C_DOT, 49);
    b.on(47, C_DOLLAR, 37);
    b.on(47, LETTERS, 52);
    b.on(47, {C_PLUS, C_MINUS, C_GREATER, C_EQUAL, C_CARET, C_CONT}, 52);
    b.on(47, C_COLON, 53);
    b.on(47, DELIMITERS, F(K_WORD));
    b.on(47, C_SLASH, F(K_PATH));
    b.on(47, C_LESS, F(K_WORD));
    // 48: a sign after a leading ' or :.
    b.fill(48, ERR);
    b.on(48, LETTERS, 52);
    b.on(48, {C_PLUS, C_MINUS, C_GREATER, C_EQUAL, C_LESS, C_CARET, C_CONT}, 52);
    b.on(48, DELIMITERS, F(K_WORD));
    b.on(48, C_SLASH, F(K_PATH));
    // 49: a leading dot.
    b.fill(49, ERR);
    b.on(49, DIGITS, 50);
    b.on(49, LETTERS, 52);
    b.on(49, C_DOT, 52);
    b.on(49, DELIMITERS, F(K_WORD));
    b.on(49, C_SLASH, F(K_PATH));
    // 50: fraction after a leading dot.
    b.fill(50, ERR);
    b.on(50, DIGITS, 50);
    b.on(50, C_QUOTE, 50);
    b.on(50, {C_LOWER_E, C_UPPER_E}, 26);
    b.on(50, C_PERCENT, F(K_PERCENT));
    b.on(50, DELIMITERS, F(K_FLOAT));
    b.on(50, C_COMMA, F(K_FLOAT));
    // 51: after a leading ' or :.
    b.fill(51, ERR);
    b.on(51, LETTERS, 52);
    b.on(51, {C_GREATER, C_EQUAL, C_CARET, C_DOT, C_CONT}, 52);
    b.on(51, {C_PLUS, C_MINUS}, 48);
    b.on(51, C_LESS, 43);
    b.on(51, C_SLASH, 13);
    // 52: word.
    b.fill(52, ERR);
    b.word_body(52, 52);
    b.on(52, DELIMITERS, F(K_WORD));
    b.on(52, C_LESS, F(K_WORD));
    b.on(52, C_COLON, 53);
    b.on(52, C_SLASH, F(K_PATH));
    b.on(52, C_AT, 56);
    b.on(52, C_DOLLAR, 36);
    // 53: word and ":": a set-word, or the scheme of a url.
    b.fill(53, 55);
    b.on(53, DELIMITERS, F(K_WORD));
    // 54: not used.
    b.fill(54, ERR);
    // 55: url.
    b.fill(55, 55);
    b.on(55, DELIMITERS, F(K_URL));
    b.on(55, C_LESS, F(K_URL));
    // 56: email.
    b.fill(56, 56);
    b.on(56, DELIMITERS, F(K_EMAIL));
    b.on(56, C_LESS, F(K_EMAIL));
    // 57: ref.
    b.fill(57, 57);
    b.on(57, DELIMITERS, F(K_REF));
    b.on(57, C_LESS, F(K_REF));
    // 58: a leading "=".
    b.fill(58, ERR);
    b.on(58, LETTERS, 52);
    b.on(58, {C_EQUAL, C_GREATER, C_LESS, C_CARET, C_PLUS, C_MINUS, C_DOT, C_CONT}, 52);
    b.on(58, C_COLON, 53);
    b.on(58, DELIMITERS, F(K_WORD));
    b.on(58, C_SLASH, F(K_PATH));

    // 59-64: path elements (59 is the entry state after a separator).  A
    // "/" ends an element so that the path continues.
    b.fill(59, ERR);
    b.on(59, DIGITS, 60);
    b.on(59, C_LPAREN, F(K_PAREN_OPEN));
    b.on(59, C_RPAREN, F(K_PAREN_CLOSE));
    b.on(59, C_DQUOTE, 2);
    b.on(59, C_LBRACE, F(K_BRACE_OPEN));  // strings mold in braces too
    b.on(59, C_SHARP, 63);
    b.on(59, {C_QUOTE, C_COLON}, 61);
    b.on(59, LETTERS, 62);
    b.on(59, {C_GREATER, C_EQUAL, C_CARET, C_DOT}, 62);
    b.on(59, C_LESS, 43);
    b.on(59, C_AT, 57);
    b.on(59, C_DOLLAR, 36);
    b.on(59, {C_PLUS, C_MINUS}, 64);
    b.fill(60, ERR);
    b.on(60, DIGITS, 60);
    b.on(60, C_QUOTE, 60);
    b.on(60, DELIMITERS, F(K_INTEGER));
    b.on(60, {C_SLASH, C_COLON, C_LESS}, F(K_INTEGER));
    b.fill(61, ERR);
    b.on(61, LETTERS, 62);
    b.on(61, {C_GREATER, C_EQUAL, C_LESS, C_CARET, C_PLUS, C_MINUS, C_DOT, C_CONT}, 62);
    b.fill(62, ERR);
    b.word_body(62, 62);
    b.on(62, DELIMITERS, F(K_WORD));
    b.on(62, {C_SLASH, C_COLON, C_LESS}, F(K_WORD));
    b.fill(63, ERR);
    b.on(63, LETTERS, 63);
    b.on(63, DIGITS, 63);
    b.on(63, ISSUE_MARKS, 63);
    b.on(63, DELIMITERS, F(K_ISSUE));
    b.on(63, {C_SLASH, C_COLON, C_LESS}, F(K_ISSUE));
    b.fill(64, ERR);
    b.on(64, DIGITS, 60);
    b.word_body(64, 62);
    b.on(64, DELIMITERS, F(K_WORD));
    b.on(64, {C_SLASH, C_COLON}, F(K_WORD));
    return b;
}

constexpr uint32_t flags_of(int b) {
    switch (b) {
    case '%': return LEX_FLAG_PERCENT;
    case '>': return LEX_FLAG_GREATER;
    case '<': return LEX_FLAG_LESS;
    case '+': case '-': return LEX_FLAG_SIGN;
    case 0: return LEX_FLAG_NUL;
    case '#': return LEX_FLAG_SHARP;
    case 'e': case 'E': return LEX_FLAG_EXPONENT;
    case '\'': return LEX_FLAG_QUOTE;
    case ':': return LEX_FLAG_COLON;
    case ',': return LEX_FLAG_COMMA;
    case '.': return LEX_FLAG_DOT;
    case '^': return LEX_FLAG_CARET;
    case '\n': return LEX_FLAG_LINE_END;
    default: break;
    }
    if (b >= 0xC2 && b <= 0xEF) return LEX_FLAG_LEAD2;
    if (b >= 0xF0 && b <= 0xF7) return LEX_FLAG_LEAD4;
    return 0;
}

constexpr uint8_t class_for(int b) {
    switch (b) {
    case '\t': case '\r': case ' ': return C_BLANK;
    case '\n': return C_LF;
    case '0': return C_ZERO;
    case '[': return C_LBRACKET;
    case ']': return C_RBRACKET;
    case '(': return C_LPAREN;
    case ')': return C_RPAREN;
    case '{': return C_LBRACE;
    case '}': return C_RBRACE;
    case '"': return C_DQUOTE;
    case '#': return C_SHARP;
    case '\'': return C_QUOTE;
    case ':': return C_COLON;
    case 'x': case 'X': return C_X;
    case 'T': return C_T;
    case 'h': return C_H;
    case 'e': return C_LOWER_E;
    case 'E': return C_UPPER_E;
    case 'a': case 'b': case 'c': case 'd': case 'f': return C_LOWER_HEX;
    case 'A': case 'B': case 'C': case 'D': case 'F': return C_UPPER_HEX;
    case '/': return C_SLASH;
    case '\\': return C_BACKSLASH;
    case '<': return C_LESS;
    case '>': return C_GREATER;
    case '=': return C_EQUAL;
    case '%': return C_PERCENT;
    case ',': return C_COMMA;
    case ';': return C_SEMICOLON;
    case '@': return C_AT;
    case '.': return C_DOT;
    case '$': return C_DOLLAR;
    case '+': return C_PLUS;
    case '-': return C_MINUS;
    case '^': return C_CARET;
    case 0: return C_EOF;
    default: break;
    }
    if (b >= '1' && b <= '9') return C_DIGIT;
    if (b < 0x20) return C_CONTROL;
    if (b == 0x7F || (b >= 0x80 && b <= 0xBF)) return C_CONT;
    if (b == 0xC0 || b == 0xC1 || b >= 0xF8) return C_INVALID;
    return C_WORD;
}

// The datatype of the tokens a state is working on: the type an error in
// that state names.
constexpr uint8_t type_for(int s) {
    switch (s) {
    case 2: case 3: case 4: case 5: case 9: case 10: case 11: case 12: return TYPE_STRING;
    case 6: case 7: case 8: return TYPE_FILE;
    case 13: case 14: return TYPE_REFINEMENT;
    case 16: case 22: return TYPE_ISSUE;
    case 17: case 18: return TYPE_BINARY;
    case 19: case 20: return TYPE_CHAR;
    case 23: case 39: case 42: return TYPE_INTEGER;
    case 24: case 25: case 26: case 27: case 28: case 50: return TYPE_FLOAT;
    case 29: return TYPE_TUPLE;
    case 30: return TYPE_DATE;
    case 31: case 32: return TYPE_TIME;
    case 33: case 34: return TYPE_PAIR;
    case 35: return TYPE_POINT2D;
    case 36: case 37: case 38: return TYPE_MONEY;
    case 15: case 40: case 41: case 47: case 48: case 49: case 51: case 52: case 53: case 58:
        return TYPE_WORD;
    case 43: case 44: case 45: case 46: return TYPE_TAG;
    case 55: return TYPE_URL;
    case 56: return TYPE_EMAIL;
    case 57: return TYPE_REF;
    case 59: case 60: case 61: case 62: case 63: case 64: return TYPE_PATH;
    // Final states.
    case FINAL_BASE + K_ERROR: return TYPE_ERROR;
    case FINAL_BASE + K_BRACE_CLOSE: case FINAL_BASE + K_STRING: case FINAL_BASE + K_RAW_STRING:
        return TYPE_STRING;
    case FINAL_BASE + K_WORD: return TYPE_WORD;
    case FINAL_BASE + K_ISSUE: return TYPE_ISSUE;
    case FINAL_BASE + K_INTEGER: case FINAL_BASE + K_HEX: return TYPE_INTEGER;
    case FINAL_BASE + K_REFINEMENT: return TYPE_REFINEMENT;
    case FINAL_BASE + K_CHAR: return TYPE_CHAR;
    case FINAL_BASE + K_FILE: return TYPE_FILE;
    case FINAL_BASE + K_BINARY: return TYPE_BINARY;
    case FINAL_BASE + K_PERCENT: return TYPE_PERCENT;
    case FINAL_BASE + K_FLOAT: case FINAL_BASE + K_SPECIAL_FLOAT: return TYPE_FLOAT;
    case FINAL_BASE + K_TUPLE: return TYPE_TUPLE;
    case FINAL_BASE + K_DATE: return TYPE_DATE;
    case FINAL_BASE + K_PAIR: return TYPE_PAIR;
    case FINAL_BASE + K_POINT: return TYPE_POINT2D;
    case FINAL_BASE + K_TIME: return TYPE_TIME;
    case FINAL_BASE + K_MONEY: return TYPE_MONEY;
    case FINAL_BASE + K_TAG: return TYPE_TAG;
    case FINAL_BASE + K_URL: return TYPE_URL;
    case FINAL_BASE + K_EMAIL: return TYPE_EMAIL;
    case FINAL_BASE + K_REF: return TYPE_REF;
    default: return 0;
    }
}

constexpr Tables build_tables() {
    Tables t{};
    for (int b = 0; b < 256; b++) t.byte_class[b] = class_for(b) | flags_of(b);
    Builder bt = build_transitions();
    for (int s = 0; s < STATE_COUNT; s++)
        for (int c = 0; c < CLASS_COUNT; c++) t.next[s][c] = bt.t[s][c];
    for (int s = 0; s < TABLE_STATES; s++) {
        t.type[s] = type_for(s);
    }
    return t;
}

// Every transition leads to a working state or a final one.
constexpr bool transitions_valid(const Tables& t) {
    for (int s = 0; s < STATE_COUNT; s++)
        for (int c = 0; c < CLASS_COUNT; c++)
            if (t.next[s][c] == FINAL_BASE - 1 || t.next[s][c] >= TABLE_STATES) return false;
    return true;
}

}  // namespace

constexpr Tables BUILT = build_tables();
static_assert(transitions_valid(BUILT));

// The bytes the start state skips carry no flag but the line end's: the
// scan does not gather theirs.
constexpr bool skipped_bytes_unflagged(const Tables& t) {
    for (int b = 0; b < 256; b++)
        if (t.next[S_START][uint8_t(t.byte_class[b])] == S_START && (t.byte_class[b] & ~0xFFu & ~LEX_FLAG_LINE_END))
            return false;
    return true;
}
static_assert(skipped_bytes_unflagged(BUILT));
const Tables TABLES = BUILT;

const char* const KIND_NAMES[KIND_COUNT] = {
    "eof", "error", "block", "block-end", "paren", "paren-end", "string", "string-end", "map",
    "path", "construct", "comment!", "comma", "string", "word", "issue", "integer", "refinement",
    "char", "file", "binary", "percent", "float", "float", "tuple", "date", "pair", "point",
    "time", "money", "tag", "url", "email", "hex", "rawstring", "ref",
};

bool is_unicode_blank(uint32_t cp) {
    switch (cp) {
    case 0x85: case 0xA0: case 0x1680: case 0x180E: case 0x2028: case 0x2029: case 0x202F:
    case 0x205F: case 0x3000: case 0x200B:
        return true;
    default:
        return cp >= 0x2000 && cp <= 0x200A;
    }
}

}  // namespace qor::lexer
