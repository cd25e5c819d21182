// The fixed names: symbols, words, refinements and the issue #ooo that the
// runtime makes once at start-up and compares against everywhere (action
// names, change notifications, event fields, parse keywords, trace events,
// error categories), and the words of the datatype names.
//
// Start-up order: words::init_fixed (the symbols, then the words),
// words::init_refinements, words::make_ooo_issue; datatype::bind_names runs
// later, once every datatype is registered.  The symbol table, the global
// context and the root block must exist.  Each list below is the creation
// order: new spellings get increasing symbol ids in that order.
//
// The word cells are kept in the runtime's own globals, which the collector
// marks, so the pointers answered here stay valid for the whole run.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::words {

// ORDER FIXED-SYMBOLS
#define QOR_FIXED_SYMBOLS(X)                                                                        \
    X(SYM_SPEC, "spec") X(SYM_BODY, "body") X(SYM_WORDS, "words") X(SYM_CLASS, "class")            \
    X(SYM_LOGIC_TYPE, "logic!") X(SYM_INTEGER_TYPE, "integer!") X(SYM_CHAR_TYPE, "char!")          \
    X(SYM_FLOAT_TYPE, "float!") X(SYM_PERCENT_TYPE, "percent!") X(SYM_ANY_TYPE, "any-type!")       \
    X(SYM_EXIT, "exit") X(SYM_RETURN, "return")                                                    \
    X(SYM_WINDOWS, "Windows") X(SYM_SYLLABLE, "Syllable") X(SYM_MACOS, "macOS")                    \
    X(SYM_LINUX, "Linux") X(SYM_NETBSD, "NetBSD")                                                  \
    X(SYM_REPEAT, "repeat") X(SYM_FOREACH, "foreach") X(SYM_MAP_EACH, "map-each")                  \
    X(SYM_REMOVE_EACH, "remove-each")                                                              \
    X(SYM_ANY, "any") X(SYM_BREAK, "break") X(SYM_COPY, "copy") X(SYM_END, "end")                  \
    X(SYM_FAIL, "fail") X(SYM_INTO, "into") X(SYM_OPT, "opt") X(SYM_NOT, "not")                    \
    X(SYM_QUOTE, "quote") X(SYM_CASE, "case") X(SYM_REJECT, "reject") X(SYM_SET, "set")            \
    X(SYM_SKIP, "skip") X(SYM_SOME, "some") X(SYM_THRU, "thru") X(SYM_TO, "to")                    \
    X(SYM_NONE, "none") X(SYM_PIPE, "|") X(SYM_DASH, "-") X(SYM_IF, "if")                          \
    X(SYM_REMOVE, "remove") X(SYM_WHILE, "while") X(SYM_INSERT, "insert") X(SYM_ONLY, "only")      \
    X(SYM_COLLECT, "collect") X(SYM_KEEP, "keep") X(SYM_PICK, "pick") X(SYM_AHEAD, "ahead")        \
    X(SYM_AFTER, "after")                                                                          \
    X(SYM_X, "x") X(SYM_Y, "y") X(SYM_Z, "z") X(SYM_SELF, "self") X(SYM_VALUES, "values")          \
    X(SYM_OWNER, "owner") X(SYM_OWNED, "owned") X(SYM_EVENTS_Q, "events?")                         \
    X(SYM_TRUE, "true") X(SYM_FALSE, "false") X(SYM_YES, "yes") X(SYM_NO, "no")                    \
    X(SYM_ON, "on") X(SYM_OFF, "off")                                                              \
    X(SYM_TYPE, "type") X(SYM_FACE, "face") X(SYM_WINDOW, "window") X(SYM_OFFSET, "offset")        \
    X(SYM_KEY, "key") X(SYM_FLAG, "flag") X(SYM_EVENT_CODE, "code") X(SYM_PICKED, "picked")        \
    X(SYM_FLAGS, "flags") X(SYM_AWAY_Q, "away?") X(SYM_CTRL_Q, "ctrl?") X(SYM_SHIFT_Q, "shift?")   \
    X(SYM_DOWN_Q, "down?") X(SYM_MID_DOWN_Q, "mid-down?") X(SYM_ALT_DOWN_Q, "alt-down?")           \
    X(SYM_AUX_DOWN_Q, "aux-down?") X(SYM_ORIENTATION, "orientation")                               \
    X(SYM_GET, "get") X(SYM_PUT, "put") X(SYM_POST, "post") X(SYM_HEAD, "head")                    \
    X(SYM_SIZE, "size") X(SYM_RGB, "rgb") X(SYM_ALPHA, "alpha") X(SYM_ARGB, "argb")                \
    X(SYM_DATE, "date") X(SYM_YEAR, "year") X(SYM_MONTH, "month") X(SYM_DAY, "day")                \
    X(SYM_ZONE, "zone") X(SYM_ISOWEEK, "isoweek") X(SYM_WEEK, "week") X(SYM_WEEKDAY, "weekday")    \
    X(SYM_YEARDAY, "yearday") X(SYM_JULIAN, "julian") X(SYM_TIME, "time") X(SYM_HOUR, "hour")      \
    X(SYM_MINUTE, "minute") X(SYM_SECOND, "second") X(SYM_TIMEZONE, "timezone")                    \
    X(SYM_CODE, "code") X(SYM_AMOUNT, "amount") X(SYM_USER, "user") X(SYM_HOST, "host")            \
    X(SYM_SYSTEM, "system") X(SYM_SYSTEM_GLOBAL, "system-global") X(SYM_STACK, "stack")            \
    X(SYM_TRACE, "trace") X(SYM_NO_TRACE, "no-trace")

// ORDER FIXED-WORDS.  "put-ed" and "swaped" are the spellings that change
// notifications use; "throw" is listed twice (trace event, error category).
#define QOR_FIXED_WORDS(X)                                                                          \
    X(W_AT, "at") X(W_BACK, "back") X(W_FIND, "find") X(W_HEAD, "head") X(W_HEAD_Q, "head?")       \
    X(W_INDEX_Q, "index?") X(W_LENGTH_Q, "length?") X(W_NEXT, "next") X(W_PICK, "pick")            \
    X(W_SKIP, "skip") X(W_SELECT, "select") X(W_TAIL, "tail") X(W_TAIL_Q, "tail?")                 \
    X(W_CHANGE, "change") X(W_CHANGED, "changed") X(W_CLEAR, "clear") X(W_CLEARED, "cleared")      \
    X(W_SET_PATH, "set-path") X(W_APPEND, "append") X(W_APPENDED, "appended") X(W_MOVE, "move")    \
    X(W_MOVED, "moved") X(W_POKE, "poke") X(W_POKED, "poked") X(W_PUT, "put")                      \
    X(W_PUT_ED, "put-ed") X(W_REMOVED, "removed") X(W_RANDOM, "random")                            \
    X(W_RANDOMIZED, "randomized") X(W_REVERSE, "reverse") X(W_REVERSED, "reversed")                \
    X(W_SORT, "sort") X(W_SORTED, "sorted") X(W_SWAP, "swap") X(W_SWAPED, "swaped")                \
    X(W_TAKE, "take") X(W_TAKEN, "taken") X(W_TRIM, "trim") X(W_TRIMMED, "trimmed")                \
    X(W_INSERTED, "inserted") X(W_UPPERCASE, "uppercase") X(W_LOWERCASE, "lowercase")              \
    X(W_CHECKSUM, "checksum")                                                                      \
    X(W_PUSH, "push") X(W_POP, "pop") X(W_FETCH, "fetch") X(W_MATCH, "match")                      \
    X(W_ITERATE, "iterate") X(W_PAREN, "paren")                                                    \
    X(W_ANON, "<anon>") X(W_BODY, "<body>") X(W_NOT_FOUND, "<not-found>")                          \
    X(W_ADD, "add") X(W_SUBTRACT, "subtract") X(W_DIVIDE, "divide")                                \
    X(W_ON_PARSE_EVENT, "on-parse-event") X(W_ON_CHANGE, "on-change*")                             \
    X(W_ON_DEEP_CHANGE, "on-deep-change*")                                                         \
    X(W_TYPE, "type") X(W_ID, "id") X(W_TRY, "try") X(W_CATCH, "catch") X(W_NAME, "name")          \
    X(W_MULTIPLY, "multiply") X(W_BROWSE, "browse")                                                \
    X(W_OPEN, "open") X(W_CREATE, "create") X(W_CLOSE, "close") X(W_DELETE, "delete")              \
    X(W_MODIFY, "modify") X(W_QUERY, "query") X(W_READ, "read") X(W_RENAME, "rename")              \
    X(W_UPDATE, "update") X(W_WRITE, "write")                                                      \
    X(W_PRESCAN, "prescan") X(W_SCAN, "scan") X(W_LOAD, "load") X(W_ERROR, "error")                \
    X(W_COMMENT, "comment")                                                                        \
    X(W_INIT, "init") X(W_EXEC, "exec") X(W_CALL, "call") X(W_RETURN, "return")                    \
    X(W_ENTER, "enter") X(W_EXIT, "exit") X(W_PROLOG, "prolog") X(W_EPILOG, "epilog")              \
    X(W_THROW, "throw") X(W_EXPR, "expr")                                                          \
    X(W_INTERP_CALLBACK, "<interp-callback>") X(W_LEXER_CALLBACK, "<lexer-callback>")              \
    X(W_PARSE_CALLBACK, "<parse-callback>") X(W_COMPARE_CALLBACK, "<compare-callback>")            \
    X(W_CAT_THROW, "throw") X(W_CAT_NOTE, "note") X(W_CAT_SYNTAX, "syntax")                        \
    X(W_CAT_SCRIPT, "script") X(W_CAT_MATH, "math") X(W_CAT_ACCESS, "access")                      \
    X(W_CAT_USER, "user") X(W_CAT_INTERNAL, "internal") X(W_INVALID_ERROR, "invalid-error")        \
    X(W_LOCAL, "local") X(W_APPLIED, "<applied>")

// ORDER FIXED-REFINEMENTS
#define QOR_FIXED_REFINEMENTS(X)                                                                    \
    X(REF_LOCAL, "local") X(REF_EXTERN, "extern") X(REF_COMPARE, "compare") X(REF_PART, "part")    \
    X(REF_SKIP, "skip") X(REF_WITH, "with")

#define QOR_FIXED_ENUM(name, text) name,
enum FixedSymbol : uint16_t { QOR_FIXED_SYMBOLS(QOR_FIXED_ENUM) SYMBOL_COUNT };
enum FixedWord : uint16_t { QOR_FIXED_WORDS(QOR_FIXED_ENUM) WORD_COUNT };
enum FixedRefinement : uint16_t { QOR_FIXED_REFINEMENTS(QOR_FIXED_ENUM) REFINEMENT_COUNT };
#undef QOR_FIXED_ENUM

// Start-up (see above).
void init_fixed();
void init_refinements();
void make_ooo_issue();
bool ready();  // init_fixed has run
// Forgets every fixed name, so that a new symbol table can start again
// (tests).
void reset();

// The spellings, as listed.
const char* spelling(FixedSymbol s);
const char* spelling(FixedWord w);
const char* spelling(FixedRefinement r);

// The symbol id of a fixed symbol; 0 before init_fixed.  Never allocates.
int32_t symbol(FixedSymbol s);
// The global word of a fixed word, its symbol id.  Never allocate.
const Cell* word(FixedWord w);
int32_t word_symbol(FixedWord w);
// A fixed refinement (context 0, slot -1), and the issue #ooo.
const Cell* refinement(FixedRefinement r);
const Cell* ooo_issue();

}  // namespace qor::words

namespace qor::datatype {

// Makes a global word of every registered datatype's name and records it in
// the type's name entry; datatypes registered afterwards get theirs at once.
void bind_names();
// Forgets those words and stops making them (tests).
void unbind_names();

}  // namespace qor::datatype
