// The HTTP client's portable half: values to a Request, a Response to values.
#include "services/http.hpp"

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/dispatch.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/map.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"

namespace qor::http {

namespace {

inline bool word_kind(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }

std::string spelling_text(const Cell* word) {
    int32_t id = int32_t(word->data2);
    return std::string(reinterpret_cast<const char*>(symbol::spelling(id)), symbol::spelling_length(id));
}

// A header name or value as text: words give their spelling, strings their
// text, anything else its form.
std::string header_text_of(const Cell* value, bool words_spelled) {
    uint32_t t = type_of(value);
    if (words_spelled && word_kind(t)) return spelling_text(value);
    if (t == TYPE_STRING) return string::to_utf8(value);
    Cell copy = *value;
    Cell text = string::make(16);
    gc::CellRoot keep(&copy), keep_text(&text);
    dispatch::form(&copy, &text, nullptr, INT32_MAX);
    return string::to_utf8(&text);
}

bool token_char(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != ':';
}

bool valid_utf8(const std::string& s) {
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t need, cp;
        if (c < 0x80) { i++; continue; }
        if (c >= 0xC2 && c <= 0xDF) need = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF) need = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4) need = 3, cp = c & 0x07;
        else return false;
        if (n - i <= need) return false;
        for (uint32_t k = 1; k <= need; k++) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((need == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (need == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += need + 1;
    }
    return true;
}

// Header values may carry Latin-1 bytes (obsolete but seen): those read as
// Latin-1 rather than failing the whole response.
Cell header_value(const std::string& v) {
    return valid_utf8(v) ? string::from_utf8(v.data(), v.size()) : string::from_latin1(v.data(), v.size());
}

// The map of the response's headers: a name met again turns its entry into
// a block of the strings, in order.
Cell header_map(const std::string& text) {
    auto pairs = parse_header_text(text);
    Cell map{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&map);
    map::init_cell(&map, nullptr, 20);
    for (const auto& [name, value] : pairs) {
        Cell key{TYPE_WORD, 0, uint32_t(symbol::intern_n(name.data(), uint32_t(name.size()))), 0xFFFFFFFFu};
        gc::CellRoot keep_key(&key);
        Cell v = header_value(value);
        gc::CellRoot keep_v(&v);
        Cell* old = map::lookup(&map, &key, map::MODE_CASELESS);
        if (!old) {
            map::put(&map, &key, &v, map::MODE_CASELESS);
        } else if (type_of(old) == TYPE_BLOCK) {
            Cell list = *old;
            gc::CellRoot keep_list(&list);
            block::append_copy(&list, &v);
        } else {
            Cell first = *old;
            gc::CellRoot keep_first(&first);
            Cell list = block::make(4);
            gc::CellRoot keep_list(&list);
            block::append_copy(&list, &first);
            block::append_copy(&list, &v);
            map::put(&map, &key, &list, map::MODE_CASELESS);
        }
    }
    return map;
}

Cell body_value(const std::string& bytes, bool binary, bool lines) {
    if (binary) {
        if (bytes.size() > UINT32_MAX) raise_error("internal", "no-memory");
        return binary::make(reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    }
    if (lines) {
        std::vector<std::string> parts = body_lines(bytes);
        Cell list = block::make(int32_t(parts.size() < 16 ? 16 : parts.size()));
        gc::CellRoot keep(&list);
        for (const std::string& line : parts) {
            Cell s = string::from_utf8(line.data(), line.size());
            gc::CellRoot keep_line(&s);
            block::append_copy(&list, &s);
        }
        return list;
    }
    std::string text = body_text(bytes);
    return string::from_utf8(text.data(), text.size());
}

}  // namespace

std::string wire_url(const std::string& utf8) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (unsigned char c : utf8) {
        bool escape = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
                      c == '`' || c == '{' || c == '|' || c == '}';
        if (escape) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parse_header_text(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        size_t stop = end > from && text[end - 1] == '\r' ? end - 1 : end;
        size_t colon = text.find(": ", from);
        if (colon != std::string::npos && colon > from && colon + 1 < stop) {
            bool token = true;
            for (size_t i = from; i < colon && token; i++) token = token_char(static_cast<unsigned char>(text[i]));
            if (token) out.emplace_back(text.substr(from, colon - from), text.substr(colon + 2, stop - colon - 2));
        }
        from = end + 1;
    }
    return out;
}

std::string body_text(const std::string& bytes) {
    size_t i = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string out;
    out.reserve(bytes.size() - i);
    for (; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\r') {
            out += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<std::string> body_lines(const std::string& bytes) {
    std::vector<std::string> out;
    size_t from = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (from < bytes.size()) {
        size_t end = bytes.find('\n', from);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end > from && bytes[end - 1] == '\r' ? end - 1 : end;
        out.emplace_back(bytes, from, stop - from);
        from = end + 1;
    }
    return out;
}

Request build_request(Cell* method, Cell* url, Cell* header, Cell* data) {
    Request r;
    std::string m = word_kind(type_of(method)) ? spelling_text(method) : header_text_of(method, true);
    for (char& c : m)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    r.method = m;
    r.url = string::to_utf8(url);
    if (type_of(header) == TYPE_BLOCK) {
        uint32_t n = block::length(header);
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            Cell name = *block::item(header, i);
            Cell value = *block::item(header, i + 1);
            gc::CellRoot keep_n(&name), keep_v(&value);
            std::string name_text = header_text_of(&name, true);
            r.headers.emplace_back(name_text, header_text_of(&value, false));
        }
    } else {
        r.headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                     {"Accept-Charset", "UTF-8"},
                     {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"}};
    }
    uint32_t dt = type_of(data);
    if (r.method != "GET" && r.method != "HEAD" && dt != TYPE_NONE) {
        if (dt == TYPE_BINARY) {
            r.body_kind = Request::BYTES;
            r.body.assign(reinterpret_cast<const char*>(binary::data_at_index(data)), binary::length_from_index(data));
        } else {
            r.body_kind = Request::TEXT;
            r.body = header_text_of(data, false);
        }
    }
    return r;
}

Cell* request(Cell* method, Cell* url, Cell* header, Cell* data, bool binary, bool lines, bool info) {
    Request r = build_request(method, url, header, data);
    Response response;
    if (perform(r, response) != Outcome::DONE) return nullptr;
    Cell body = body_value(response.body, binary, lines);
    gc::CellRoot keep_body(&body);
    if (!info) return block::push_cell(&body);
    Cell map = header_map(response.header_text);
    gc::CellRoot keep_map(&map);
    Cell status = integer::make(response.status);
    Cell result = block::make(3);
    gc::CellRoot keep(&result);
    block::append_copy(&result, &status);
    block::append_copy(&result, &map);
    block::append_copy(&result, &body);
    return block::push_cell(&result);
}

}  // namespace qor::http
