// file!: the molded form, and the file service's actions.
#include "datatypes/file.hpp"

#include "datatypes/string.hpp"
#include "datatypes/url.hpp"
#include "runtime/collector.hpp"

namespace qor::file {

namespace {

int32_t append_limited(Cell* out, const Cell* text, int32_t limit, bool part) {
    int32_t n = int32_t(string::length(text));
    if (part && limit >= 0 && limit < n) n = limit;
    string::concatenate(out, text, n, 0, true, string::CONCAT_APPEND);
    return n;
}

}  // namespace

bool forces_quotes(uint32_t cp) {
    if (cp >= 127) return false;
    if ((cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9')) return false;
    switch (cp) {
    case '!': case '#': case '$': case '&': case '\'': case '*': case '+': case ',':
    case '-': case '.': case '/': case ':': case '=': case '?': case '@': case '_': case '~':
        return false;
    default:
        return true;
    }
}

int32_t file_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    string::append_char(out, '%');
    uint32_t n = string::length(value);
    if (n == 0) {
        string::append_ascii(out, "\"\"");
        return limit - 3;
    }
    uint32_t from = uint32_t(string::index_of(value));
    bool quote = false;
    for (uint32_t i = 0; i < n && !quote; ++i) quote = forces_quotes(string::char_at(value, from + i));
    if (!quote) return limit - append_limited(out, value, limit, part != nullptr) - 1;
    static const char hex[] = "0123456789ABCDEF";
    if (string::find_char_offset(value, '"') >= 0) {
        // A double quote cannot stand inside the quoted form: the plain form
        // with %XX escapes loads back as the same file.
        int32_t written = 0;
        for (uint32_t i = 0; i < n && !(part && written >= limit); ++i) {
            uint32_t c = string::char_at(value, from + i);
            if (forces_quotes(c)) {
                char esc[4] = {'%', hex[c >> 4], hex[c & 15], 0};
                string::append_ascii(out, esc);
                written += 3;
            } else {
                string::append_char(out, c);
                written += 1;
            }
        }
        return limit - written - 1;
    }
    // In quotes, the characters that would end the text or read as
    // something else are escaped, so that the file loads back as it was.
    string::append_char(out, '"');
    int32_t written = 0;
    for (uint32_t i = 0; i < n && !(part && written >= limit); ++i, ++written) {
        uint32_t c = string::char_at(value, from + i);
        if (c == '^') {
            string::append_char(out, '^');
            string::append_char(out, c);
        } else if (c < 0x20 || c == 0x7F) {
            char esc[6] = {'^', '(', hex[c >> 4], hex[c & 15], ')', 0};
            string::append_ascii(out, esc);
        } else {
            string::append_char(out, c);
        }
    }
    string::append_char(out, '"');
    return limit - written - 3;
}

void init(const Layer& layer) {
    TypeSpec spec = make_type_spec(TYPE_FILE);
    for (int slot : {SLOT_MAKE, SLOT_TO, SLOT_FORM, SLOT_EVAL_PATH, SLOT_COMPARE, SLOT_APPEND, SLOT_AT, SLOT_BACK,
                     SLOT_CHANGE, SLOT_CLEAR, SLOT_COPY, SLOT_FIND, SLOT_HEAD, SLOT_HEAD_Q, SLOT_INDEX_Q, SLOT_INSERT,
                     SLOT_LENGTH_Q, SLOT_MOVE, SLOT_NEXT, SLOT_PICK, SLOT_POKE, SLOT_REMOVE, SLOT_REVERSE,
                     SLOT_SELECT, SLOT_SKIP, SLOT_SWAP, SLOT_TAIL, SLOT_TAIL_Q, SLOT_TAKE, SLOT_MODIFY})
        inherit_slot(spec, slot);
    set_slot<SLOT_MOLD>(spec, file_mold);
    if (layer.read) set_slot<SLOT_READ>(spec, layer.read);
    if (layer.write) set_slot<SLOT_WRITE>(spec, layer.write);
    if (layer.query) set_slot<SLOT_QUERY>(spec, layer.query);
    if (layer.remove) set_slot<SLOT_DELETE>(spec, layer.remove);
    if (layer.rename) set_slot<SLOT_RENAME>(spec, layer.rename);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::file
