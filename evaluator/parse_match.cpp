// The parse engine's rule matching (parse_match.hpp).
#include "evaluator/parse_match.hpp"

#include "datatypes/dispatch.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "evaluator/call.hpp"
#include "runtime/collector.hpp"

namespace qor::parse {

namespace {

bool same_text(int32_t op, uint32_t a, uint32_t b, const uint32_t* fold) {
    if (a == b) return true;
    if (op == 2) return false;
    return string::fold_char(fold, a) == string::fold_char(fold, b);
}

// Text of `pattern` (tag: inside its angle brackets) at `at`.
bool match_text(const Subject& in, const Cell* pattern, bool tag, uint32_t at, uint32_t* next) {
    const Level& l = in.level;
    uint32_t en = in.end;
    SeriesBuffer* s = buffer_of(cell_node(&l.series));
    SeriesBuffer* p = buffer_of(cell_node(pattern));
    uint32_t pshift = shift_of_unit(p->unit());
    uint32_t ptotal = p->byte_length() >> pshift;
    uint32_t pi = pattern->data1 < ptotal ? pattern->data1 : ptotal;
    uint32_t plen = ptotal - pi;
    uint64_t need = uint64_t(plen) + (tag ? 2 : 0);
    if (at > en || need > en - at) return false;
    const uint32_t* fold = string::fold_table();
    uint32_t from = at;
    if (tag) {
        if (unit_char(s->head, l.shift, at) != '<' || unit_char(s->head, l.shift, at + plen + 1) != '>')
            return false;
        from++;
    }
    for (uint32_t k = 0; k < plen; k++)
        if (!same_text(in.op, unit_char(s->head, l.shift, from + k), unit_char(p->head, pshift, pi + k), fold))
            return false;
    *next = at + uint32_t(need);
    return true;
}

}  // namespace

[[noreturn]] void raise_rule(const Cell* rule) {
    Cell r = *rule;
    gc::CellRoot keep(&r);
    raise_error("script", "parse-rule", &r);
}

bool match_simple(const Subject& in, const Cell* r, uint32_t at, uint32_t* next) {
    uint32_t t = type_of(r);
    if (t == TYPE_NONE) {
        *next = at;
        return true;
    }
    uint32_t en = in.end;
    const Level& l = in.level;
    if (l.text) {
        switch (t) {
        case TYPE_CHAR:
        case TYPE_INTEGER: {
            if (t == TYPE_INTEGER && !l.bytes) raise_rule(r);
            if (at >= en) return false;
            SeriesBuffer* s = buffer_of(cell_node(&l.series));
            if (!same_text(in.op, unit_char(s->head, l.shift, at), r->data2, string::fold_table())) return false;
            *next = at + 1;
            return true;
        }
        case TYPE_BITSET: {
            if (at >= en) return false;
            SeriesBuffer* s = buffer_of(cell_node(&l.series));
            if (!string::code_point_in_bitset_q(unit_char(s->head, l.shift, at), r)) return false;
            *next = at + 1;
            return true;
        }
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_EMAIL: case TYPE_REF:
        case TYPE_BINARY:
            return match_text(in, r, false, at, next);
        case TYPE_TAG:
            return match_text(in, r, true, at, next);
        case TYPE_DATATYPE: case TYPE_TYPESET:
            raise_error("script", "parse-unsupported");
        default:
            raise_rule(r);
        }
    }
    if (at >= en) return false;
    Cell item = cells_head(buffer_of(cell_node(&l.series)))[at];
    uint32_t it = type_of(&item);
    bool m;
    switch (t) {
    case TYPE_DATATYPE: m = it == r->data1; break;
    case TYPE_TYPESET: m = typeset_allows(r, it); break;
    case TYPE_LIT_WORD: {
        Cell rc = *r;
        m = is_any_word(it) && compare(&item, &rc, in.op == 2 ? 10 : 11);
        break;
    }
    case TYPE_LIT_PATH: {
        Cell rc = *r;
        m = is_any_path(it) && compare(&item, &rc, in.op == 2 ? 10 : 11);
        break;
    }
    case TYPE_BITSET:
        m = it == TYPE_CHAR && string::code_point_in_bitset_q(item.data2, r);
        break;
    default: {
        Cell rc = *r;
        m = compare(&item, &rc, in.op);
        break;
    }
    }
    if (m) *next = at + 1;
    return m;
}

bool match_literal(const Subject& in, const Cell* v, uint32_t at, uint32_t* next) {
    const Level& l = in.level;
    if (l.text) {
        uint32_t t = type_of(v);
        if (t == TYPE_CHAR || is_any_string(t) || t == TYPE_BINARY || (t == TYPE_INTEGER && l.bytes))
            return match_simple(in, v, at, next);
        raise_rule(v);
    }
    if (at >= in.end) return false;
    Cell item = cells_head(buffer_of(cell_node(&l.series)))[at];
    Cell vc = *v;
    if (!compare(&item, &vc, in.op)) return false;
    *next = at + 1;
    return true;
}

}  // namespace qor::parse
