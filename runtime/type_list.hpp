// The datatypes, written once.  ORDER TYPE
//
// X(NAME, id, "spelling!", parent) per datatype, in id order.  The ids are
// Qorbin record codes and typeset bit numbers: never renumber.  `parent` is
// the type whose entries an inherited action slot takes (0 for none).
//
// Expanded into the TypeId enum (cell.hpp) and the name and parent tables
// of the registry (registry.hpp).  boot/natives.qor binds the datatype words
// by their spellings, so a spelling changed here must change there too.
#pragma once

#define QOR_TYPE_LIST(X)                                    \
    X(DATATYPE,   1,  "datatype!",   0)                     \
    X(UNSET,      2,  "unset!",      0)                     \
    X(NONE,       3,  "none!",       0)                     \
    X(LOGIC,      4,  "logic!",      0)                     \
    X(BLOCK,      5,  "block!",      TYPE_SERIES)           \
    X(PAREN,      6,  "paren!",      TYPE_BLOCK)            \
    X(STRING,     7,  "string!",     TYPE_SERIES)           \
    X(FILE,       8,  "file!",       TYPE_URL)              \
    X(URL,        9,  "url!",        TYPE_STRING)           \
    X(CHAR,       10, "char!",       TYPE_INTEGER)          \
    X(INTEGER,    11, "integer!",    0)                     \
    X(FLOAT,      12, "float!",      0)                     \
    X(SYMBOL,     13, "symbol!",     0)                     \
    X(CONTEXT,    14, "context!",    0)                     \
    X(WORD,       15, "word!",       TYPE_SYMBOL)           \
    X(SET_WORD,   16, "set-word!",   TYPE_WORD)             \
    X(LIT_WORD,   17, "lit-word!",   TYPE_WORD)             \
    X(GET_WORD,   18, "get-word!",   TYPE_WORD)             \
    X(REFINEMENT, 19, "refinement!", TYPE_WORD)             \
    X(ISSUE,      20, "issue!",      TYPE_WORD)             \
    X(NATIVE,     21, "native!",     0)                     \
    X(ACTION,     22, "action!",     TYPE_NATIVE)           \
    X(OP,         23, "op!",         TYPE_NATIVE)           \
    X(FUNCTION,   24, "function!",   TYPE_CONTEXT)          \
    X(PATH,       25, "path!",       TYPE_BLOCK)            \
    X(LIT_PATH,   26, "lit-path!",   TYPE_PATH)             \
    X(SET_PATH,   27, "set-path!",   TYPE_PATH)             \
    X(GET_PATH,   28, "get-path!",   TYPE_PATH)             \
    X(ROUTINE,    29, "routine!",    TYPE_FUNCTION)         \
    X(BITSET,     30, "bitset!",     0)                     \
    X(TRIPLE,     31, "triple!",     0)                     \
    X(OBJECT,     32, "object!",     0)                     \
    X(TYPESET,    33, "typeset!",    0)                     \
    X(ERROR,      34, "error!",      TYPE_OBJECT)           \
    X(VECTOR,     35, "vector!",     TYPE_STRING)           \
    X(HASH,       36, "hash!",       TYPE_BLOCK)            \
    X(PAIR,       37, "pair!",       0)                     \
    X(PERCENT,    38, "percent!",    TYPE_FLOAT)            \
    X(TUPLE,      39, "tuple!",      0)                     \
    X(MAP,        40, "map!",        0)                     \
    X(BINARY,     41, "binary!",     TYPE_STRING)           \
    X(SERIES,     42, "series!",     0)                     \
    X(TIME,       43, "time!",       TYPE_FLOAT)            \
    X(TAG,        44, "tag!",        TYPE_STRING)           \
    X(EMAIL,      45, "email!",      TYPE_STRING)           \
    X(HANDLE,     46, "handle!",     TYPE_INTEGER)          \
    X(DATE,       47, "date!",       0)                     \
    X(PORT,       48, "port!",       TYPE_OBJECT)           \
    X(MONEY,      49, "money!",      0)                     \
    X(REF,        50, "ref!",        TYPE_STRING)           \
    X(POINT2D,    51, "point2D!",    0)                     \
    X(POINT3D,    52, "point3D!",    0)                     \
    X(IMAGE,      53, "image!",      TYPE_SERIES)           \
    X(EVENT,      54, "event!",      0)
