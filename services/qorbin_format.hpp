// The bytes of a Qorbin image, shared by its reader and its writers.
//
//   header   "QORBIN", version, flags (bit 0 compact, bit 1 packed, bit 2
//            symbol table)
//   compact  varint root count, varint record bytes, [varint symbol count,
//            varint text bytes, 4-byte offsets, text], records
//   fixed    the same counts as 32-bit words, then 32-bit aligned records
//
// A record is one value; containers hold their members as nested records.
// Which layout a datatype takes is decided by `layout_of` below: one table
// line per datatype, so a datatype that arrives later needs one line here
// and, when its layout is new, one case in each direction.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::qorbin {

constexpr char     MAGIC[6]         = {'Q', 'O', 'R', 'B', 'I', 'N'};
constexpr uint8_t  VERSION_WRITTEN  = 2;
constexpr uint8_t  VERSION_BOOT     = 1;   // the boot payload's
constexpr uint8_t  FLAG_COMPACT     = 0x01;
constexpr uint8_t  FLAG_PACKED      = 0x02;
constexpr uint8_t  FLAG_SYMBOLS     = 0x04;
constexpr uint32_t HEADER_BYTES     = 8;

// Compact records: prefix and lead bytes.
constexpr uint8_t PREFIX_NEW_LINE   = 0xC0;
constexpr uint8_t PREFIX_REFERENCE  = 0xC1;
constexpr uint8_t LEAD_TRUE         = 0xC2;
constexpr uint8_t LEAD_FALSE        = 0xC3;
constexpr uint8_t PREFIX_DEFINITION = 0xC4;
constexpr uint8_t LEAD_COPY         = 0xFF;   // a path alone: a copy of the referent
constexpr uint8_t SMALL_INTEGER     = 0x80;   // 0x80 + n for n in 0..63
constexpr uint8_t HEADER_FLAG       = 0x40;   // per-type flag of a header byte
constexpr uint8_t TYPE_ESCAPE       = 63;     // the type code follows as a varint

// Fixed-width records: bits of the 32-bit header word.
constexpr uint32_t FX_NEW_LINE      = 0x80000000u;
constexpr uint32_t FX_REFERENCE     = 0x00080000u;
constexpr uint32_t FX_MONEY_NEG     = 0x00400000u;
constexpr uint32_t FX_BITSET_NOT    = 0x00800000u;
constexpr uint32_t FX_OBJECT_INFO   = 0x01000000u;
constexpr uint32_t FX_GLOBAL_WORD   = 0x02000000u;
constexpr uint32_t FX_CTX_VALUES    = 0x40000000u;
constexpr uint32_t FX_CTX_ON_STACK  = 0x20000000u;
constexpr uint32_t FX_CTX_SELF      = 0x10000000u;
constexpr uint32_t FX_CTX_KIND_SHIFT = 26;
constexpr uint32_t FX_PATH_MARK     = 0xFF;

// Context body flags (compact flags byte).
constexpr uint8_t CTX_KIND_MASK     = 0x03;
constexpr uint8_t CTX_ON_STACK      = 0x04;
constexpr uint8_t CTX_SELF          = 0x08;
constexpr uint8_t CTX_VALUES        = 0x10;

// Limits the reader holds every image to.
constexpr uint32_t MAX_PATH_LENGTH  = 65536;
constexpr uint32_t MAX_IMAGE_SIDE   = 65535;
constexpr uint32_t MAX_DEPTH        = 1000;   // nested records, either direction

// How a datatype's record is laid out.
enum class Layout : uint8_t {
    INVALID,      // no record has this code (0, symbol!, series!, above 54)
    NO_CODEC,     // never serialised: routine!, triple!, handle!, port!, event!
    DATATYPE, NOTHING, LOGIC, CHAR, INTEGER, FLOAT_LIKE, PERCENT, PAIR, POINT2D, POINT3D, DATE,
    TYPESET, TUPLE, MONEY, ISSUE, WORD, CONTEXT, OBJECT, FUNCTION, NATIVE, OP, ERROR,
    BLOCK, MAP, TEXT, BINARY, VECTOR, BITSET, IMAGE,
};

constexpr Layout layout_of(uint32_t type) {
    switch (type) {
    case TYPE_DATATYPE: return Layout::DATATYPE;
    case TYPE_UNSET: case TYPE_NONE: return Layout::NOTHING;
    case TYPE_LOGIC: return Layout::LOGIC;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: case TYPE_HASH: return Layout::BLOCK;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        return Layout::TEXT;
    case TYPE_CHAR: return Layout::CHAR;
    case TYPE_INTEGER: return Layout::INTEGER;
    case TYPE_FLOAT: case TYPE_TIME: return Layout::FLOAT_LIKE;
    case TYPE_PERCENT: return Layout::PERCENT;
    case TYPE_CONTEXT: return Layout::CONTEXT;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
        return Layout::WORD;
    case TYPE_ISSUE: return Layout::ISSUE;
    case TYPE_NATIVE: case TYPE_ACTION: return Layout::NATIVE;
    case TYPE_OP: return Layout::OP;
    case TYPE_FUNCTION: return Layout::FUNCTION;
    case TYPE_BITSET: return Layout::BITSET;
    case TYPE_OBJECT: return Layout::OBJECT;
    case TYPE_TYPESET: return Layout::TYPESET;
    case TYPE_ERROR: return Layout::ERROR;
    case TYPE_VECTOR: return Layout::VECTOR;
    case TYPE_PAIR: return Layout::PAIR;
    case TYPE_TUPLE: return Layout::TUPLE;
    case TYPE_MAP: return Layout::MAP;
    case TYPE_BINARY: return Layout::BINARY;
    case TYPE_DATE: return Layout::DATE;
    case TYPE_MONEY: return Layout::MONEY;
    case TYPE_POINT2D: return Layout::POINT2D;
    case TYPE_POINT3D: return Layout::POINT3D;
    case TYPE_IMAGE: return Layout::IMAGE;
    case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
        return Layout::NO_CODEC;
    default: return Layout::INVALID;
    }
}

// A compact vector record's unit code (element bytes 1, 2, 4, 8 as 0-3),
// and the element widths a vector of each element type may have.
constexpr uint32_t vector_unit_code(uint32_t unit) {
    return unit == 8 ? 3 : unit == 4 ? 2 : unit == 2 ? 1 : 0;
}
constexpr bool vector_element_fits(uint32_t element_type, uint32_t unit) {
    switch (element_type) {
    case TYPE_INTEGER: case TYPE_CHAR: return unit == 1 || unit == 2 || unit == 4;
    case TYPE_FLOAT: return unit == 4 || unit == 8;
    case TYPE_PERCENT: return unit == 8;
    default: return false;
    }
}

// Layouts whose values carry a head index.
constexpr bool has_head_index(Layout l) {
    return l == Layout::BLOCK || l == Layout::TEXT || l == Layout::BINARY || l == Layout::VECTOR ||
           l == Layout::IMAGE;
}

}  // namespace qor::qorbin
