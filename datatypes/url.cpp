// url!: make and to from blocks, the percent-encoded mold, path joining,
// and reading and writing through the HTTP client or a scheme's port.
#include "datatypes/url.hpp"

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/datatype.hpp"
#include "datatypes/eval_links.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/port.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/url_codec.hpp"
#include "runtime/collector.hpp"

namespace qor::url {

namespace {

HttpClient g_http = nullptr;

inline uint32_t requested_type(const Cell* prototype) {
    return type_of(prototype) == TYPE_DATATYPE ? prototype->data1 : uint32_t(type_of(prototype));
}

inline bool block_spec(uint32_t t) { return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH; }

Cell new_url(uint32_t capacity) {
    Cell u = string::make(capacity);
    u.header = (u.header & ~TYPE_MASK) | TYPE_URL;
    return u;
}

int32_t url_mold(Cell* value, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    Cell encoded = string::make(string::length(value) + 8);
    gc::CellRoot keep(&encoded);
    encode_percent(value, &encoded, URL_SET);
    // Parentheses end a url literal: escaped, the url loads back whole.
    uint32_t length = string::length(&encoded);
    for (uint32_t i = length; i-- > 0;) {
        uint32_t c = string::char_at(&encoded, i);
        if (c != '(' && c != ')') continue;
        string::write_char_at(&encoded, i, '%');
        string::insert_char_at(&encoded, i + 1, '2');
        string::insert_char_at(&encoded, i + 2, c == '(' ? '8' : '9');
    }
    int32_t n = int32_t(string::length(&encoded));
    if (part && limit >= 0 && limit < n) n = limit;
    string::concatenate(out, &encoded, n, 0, true, string::CONCAT_APPEND);
    return limit - n;
}

bool is_http(const Cell* u) {
    return string::starts_with_c_string_q(u, "http");   // https too
}

// The library's URL parser: an object of the url's parts, or anything else
// when the url cannot be parsed.
Cell parse_url(Cell* u) {
    int32_t parser_id = symbol::find("url-parser", true);
    int32_t parse_id = symbol::find("parse-url", true);
    const Cell* parser = parser_id > 0 ? context::global_value_pointer(parser_id) : nullptr;
    const Cell* fn = parser && type_of(parser) == TYPE_OBJECT && parse_id > 0
                         ? context::value_by_symbol(parse_id, object::context_of(parser))
                         : nullptr;
    uint32_t ft = fn ? type_of(fn) : 0;
    bool callable = ft == TYPE_FUNCTION || ft == TYPE_ROUTINE || ft == TYPE_NATIVE || ft == TYPE_ACTION;
    if (!callable) raise_error("script", "invalid-arg", u);
    Cell function = *fn;
    gc::CellRoot keep_fn(&function);
    Cell result{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&result);
    eval_links::call_function(&function, u, 1, &result);
    return result;
}

// A port for a url of a scheme other than http, made from its parts.
Cell make_port(Cell* u) {
    Cell spec = parse_url(u);
    gc::CellRoot keep(&spec);
    if (type_of(&spec) != TYPE_OBJECT) raise_error("script", "invalid-arg", u);
    Cell prototype;
    datatype::set(&prototype, TYPE_PORT);
    Cell port = *port::port_make(&prototype, &spec);
    return port;
}

[[noreturn]] void no_client(Cell* u) { raise_error("access", "unknown-scheme", u); }

Cell* url_open(Cell* u, bool new_, bool read, bool write, bool seek, Cell* allow) {
    Cell value = *u;
    gc::CellRoot keep(&value);
    Cell port = make_port(&value);
    gc::CellRoot keep_port(&port);
    Cell* opened = port::port_open(&port, new_, read, write, seek, allow);
    Cell* result = stack::arguments_base();
    *result = *opened;
    return result;
}

Cell* url_read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as) {
    Cell u = *source;
    gc::CellRoot keep(&u);
    if (!is_http(&u)) {
        Cell port = make_port(&u);
        gc::CellRoot keep_port(&port);
        return port::port_read(&port, part, seek, binary, lines, info, as);
    }
    if (part || seek || as) raise_error("internal", "not-done");
    if (!g_http) no_client(&u);
    Cell method{TYPE_WORD, 0, uint32_t(symbol::intern("get")), 0};
    Cell none{TYPE_NONE, 0, 0, 0};
    Cell none2 = none;
    Cell* got = g_http(&method, &u, &none, &none2, binary, lines, info);
    if (!got) raise_error("access", "no-connect", &u);
    Cell* result = stack::arguments_base();
    *result = *got;
    return result;
}

Cell* url_write(Cell* destination, Cell* data_in, bool binary, bool lines, bool info, bool append, Cell* part,
                Cell* seek, Cell* allow, Cell* as) {
    Cell u = *destination;
    gc::CellRoot keep(&u);
    if (!is_http(&u)) {
        Cell port = make_port(&u);
        gc::CellRoot keep_port(&port);
        return port::port_write(&port, data_in, binary, lines, info, append, part, seek, allow, as);
    }
    if (seek || allow || as) raise_error("internal", "not-done");
    Cell method{TYPE_WORD, 0, uint32_t(symbol::intern("post")), 0};
    Cell header{TYPE_NONE, 0, 0, 0};
    Cell data = *data_in;
    gc::CellRoot keep_m(&method), keep_h(&header), keep_d(&data);
    if (type_of(&data) == TYPE_BLOCK) {
        Cell spec = data;
        uint32_t n = block::length(&spec);
        const Cell* first = n > 0 ? block::item(&spec, 0) : nullptr;
        if (!first || type_of(first) != TYPE_WORD) {
            Cell bad = first ? *first : Cell{TYPE_NONE, 0, 0, 0};
            raise_error("script", "invalid-arg", &bad);
        }
        method = *first;
        if (n > 1) {
            const Cell* h = block::item(&spec, 1);
            if (type_of(h) != TYPE_BLOCK) raise_error("script", "invalid-arg", h);
            header = *h;
        }
        data = n > 2 ? *block::item(&spec, 2) : Cell{TYPE_NONE, 0, 0, 0};
        uint32_t dt = type_of(&data);
        if (dt != TYPE_NONE && dt != TYPE_BLOCK && dt != TYPE_STRING && dt != TYPE_BINARY)
            raise_error("script", "invalid-arg", &data);
    } else if (type_of(&data) != TYPE_STRING && type_of(&data) != TYPE_BINARY) {
        raise_error("script", "invalid-arg", &data);
    }
    if (!g_http) no_client(&u);
    Cell* got = g_http(&method, &u, &header, &data, binary, lines, info);
    if (!got) raise_error("access", "no-connect", &u);
    Cell* result = stack::arguments_base();
    *result = *got;
    return result;
}

}  // namespace

void set_http_client(HttpClient client) { g_http = client; }
HttpClient http_client() { return g_http; }

Cell* url_make(Cell* prototype, Cell* spec) {
    if (requested_type(prototype) == TYPE_URL && block_spec(type_of(spec))) return url_to(prototype, spec);
    return string_make(prototype, spec);
}

Cell* url_to(Cell* prototype, Cell* spec_in) {
    if (requested_type(prototype) != TYPE_URL || !block_spec(type_of(spec_in))) return string_to(prototype, spec_in);
    Cell spec = *spec_in;
    gc::CellRoot keep_spec(&spec);
    uint32_t n = block::length(&spec);
    if (n == 0) {
        Cell dt;
        datatype::set(&dt, TYPE_URL);
        raise_error("script", "bad-to-arg", &dt, &spec);
    }
    Cell u = new_url(16);
    gc::CellRoot keep(&u);
    string_actions::form_into(&u, block::item(&spec, 0));
    string::append_ascii(&u, "://");
    if (n > 1) string_actions::form_into(&u, block::item(&spec, 1));
    uint32_t i = 2;
    if (n > 2 && type_of(block::item(&spec, 2)) == TYPE_INTEGER) {
        string::append_char(&u, ':');
        string_actions::form_into(&u, block::item(&spec, 2));
        i = 3;
    }
    for (bool first = true; i < n; ++i, first = false) {
        const Cell* item = block::item(&spec, i);
        if (type_of(item) == TYPE_ISSUE) string::append_char(&u, '#');
        else string::append_char(&u, '/');
        (void)first;
        Cell piece = *item;
        string_actions::form_into(&u, &piece);
    }
    Cell* result = stack::arguments_base();
    *result = u;
    return result;
}

Cell* url_eval_path(Cell* value, Cell* element, Cell* new_value, Cell*, Cell*, Cell*, int32_t, bool, uint32_t,
                    bool, bool) {
    if (new_value && type_of(new_value) != TYPE_NONE) raise_error("script", "bad-path-set", element, new_value);
    Cell base = *value;
    Cell item = *element;
    gc::CellRoot keep_base(&base), keep_item(&item);
    if (type_of(&item) == TYPE_GET_WORD) item = *context::get_word_value(&item);
    Cell text = string::make(string::length(&base) + 16);
    gc::CellRoot keep_text(&text);
    string_actions::form_into(&text, &item);
    uint32_t n = string::length(&base);
    bool base_slash = n > 0 && string::char_at(&base, uint32_t(string::index_of(&base)) + n - 1) == '/';
    bool item_slash = string::length(&text) > 0 && string::char_at(&text, uint32_t(string::index_of(&text))) == '/';
    Cell joined = string::make(n + string::length(&text) + 1);
    gc::CellRoot keep_joined(&joined);
    string::append_string(&joined, &base);
    if (!base_slash && !item_slash) string::append_char(&joined, '/');
    if (base_slash && item_slash) string::set_index(&text, string::index_of(&text) + 1);
    string::append_string(&joined, &text);
    joined.header = (joined.header & ~TYPE_MASK) | type_of(value);
    Cell* result = stack::arguments_base();
    *result = joined;
    return result;
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_URL);
    for (int slot : {SLOT_FORM, SLOT_COMPARE, SLOT_APPEND, SLOT_AT, SLOT_BACK, SLOT_CHANGE, SLOT_CLEAR, SLOT_COPY,
                     SLOT_FIND, SLOT_HEAD, SLOT_HEAD_Q, SLOT_INDEX_Q, SLOT_INSERT, SLOT_LENGTH_Q, SLOT_MOVE, SLOT_NEXT,
                     SLOT_PICK, SLOT_POKE, SLOT_REMOVE, SLOT_REVERSE, SLOT_SELECT, SLOT_SKIP, SLOT_SWAP, SLOT_TAIL,
                     SLOT_TAIL_Q, SLOT_TAKE, SLOT_MODIFY})
        inherit_slot(spec, slot);
    set_slot<SLOT_MAKE>(spec, url_make);
    set_slot<SLOT_TO>(spec, url_to);
    set_slot<SLOT_MOLD>(spec, url_mold);
    set_slot<SLOT_EVAL_PATH>(spec, url_eval_path);
    set_slot<SLOT_OPEN>(spec, url_open);
    set_slot<SLOT_READ>(spec, url_read);
    set_slot<SLOT_WRITE>(spec, url_write);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::url
