#include "runtime/output_hooks.hpp"

#include "runtime/console_output.hpp"
#include "runtime/heap.hpp"

#include <cstdio>
#include <cstring>

namespace qor::output_hooks {

namespace {
template <class Hook>
struct List {
    Hook*   items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
};
}  // namespace

static const int32_t GROWTH = 5;
static List<ValueHook> value_hooks;
static List<TextHook> text_hooks;

template <class Hook>
static void make(List<Hook>& list) {
    heap::free(list.items);
    list.items = static_cast<Hook*>(heap::alloc(GROWTH * sizeof(Hook)));
    list.count = 0;
    list.capacity = GROWTH;
}

void init() {
    make(value_hooks);
    make(text_hooks);
}

template <class Hook>
static void append(List<Hook>& list, Hook hook) {
    if (!hook) return;
    if (!list.items) make(list);
    if (list.count == list.capacity) {
        // A full list is replaced by a copy 5 entries larger.
        auto bigger = static_cast<Hook*>(heap::alloc(size_t(list.capacity + GROWTH) * sizeof(Hook)));
        std::memcpy(bigger, list.items, size_t(list.count) * sizeof(Hook));
        heap::free(list.items);
        list.items = bigger;
        list.capacity += GROWTH;
    }
    list.items[list.count++] = hook;
}

template <class Hook>
static void drop(List<Hook>& list, Hook hook) {
    if (!hook) return;
    for (int32_t i = 0; i < list.count; ++i) {
        if (list.items[i] == hook) {
            std::memmove(list.items + i, list.items + i + 1, size_t(list.count - i - 1) * sizeof(Hook));
            --list.count;
            return;
        }
    }
}

void add(ValueHook value_hook, TextHook text_hook) {
    append(value_hooks, value_hook);
    append(text_hooks, text_hook);
}

void remove(ValueHook value_hook, TextHook text_hook) {
    drop(value_hooks, value_hook);
    drop(text_hooks, text_hook);
}

// Hooks may add or remove hooks while they run: the list is read afresh
// for every call, by index.
void fire_value(const Cell* string, bool new_line) {
    for (int32_t i = 0; i < value_hooks.count; ++i) value_hooks.items[i](string, new_line);
}

void fire(const void* text, int32_t length, int32_t unit) {
    for (int32_t i = 0; i < text_hooks.count; ++i) text_hooks.items[i](text, length, unit);
}

bool has_text_hooks() { return text_hooks.count > 0; }

void forget() {
    value_hooks = {};
    text_hooks = {};
}

ListInfo value_list() { return {value_hooks.count, value_hooks.capacity}; }
ListInfo text_list() { return {text_hooks.count, text_hooks.capacity}; }

}  // namespace qor::output_hooks

namespace qor::system_print {

TypedRecord logic(bool b) { return {TAG_LOGIC, b ? 1u : 0u, 0}; }
TypedRecord integer(int32_t i) { return {TAG_INTEGER, uint32_t(i), 0}; }
TypedRecord character(char c) { return {TAG_CHAR, uint8_t(c), 0}; }
TypedRecord hex(uint32_t word) { return {0, word, 0}; }
TypedRecord string(const char* s) { return {TAG_STRING, uint32_t(uintptr_t(s)), 0}; }

TypedRecord float32(float f) {
    TypedRecord r{TAG_FLOAT32, 0, 0};
    std::memcpy(&r.value, &f, sizeof f);
    return r;
}

TypedRecord float64(double d) {
    TypedRecord r{TAG_FLOAT64, 0, 0};
    static_assert(offsetof(TypedRecord, pad) == offsetof(TypedRecord, value) + 4);
    std::memcpy(&r.value, &d, sizeof d);
    return r;
}

static bool ends_in_blank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Prints one record; answers whether its text ends in a blank.
static bool print_record(const TypedRecord& r) {
    char buf[40];
    switch (r.tag) {
        case TAG_LOGIC:
            console::print_cstring(r.value ? "true" : "false");
            return false;
        case TAG_INTEGER:
            std::snprintf(buf, sizeof buf, "%i", int32_t(r.value));
            break;
        case TAG_CHAR: {
            char c[2] = {char(r.value), 0};
            // A NUL char still counts as printed; the console writer takes
            // explicit lengths, so write the byte itself.
            console::write_latin1(c, 1);
            return ends_in_blank(c[0]);
        }
        case TAG_FLOAT32: {
            float f;
            std::memcpy(&f, &r.value, sizeof f);
            std::snprintf(buf, sizeof buf, "%.7g", double(f));
            break;
        }
        case TAG_FLOAT64: {
            double d;
            std::memcpy(&d, &r.value, sizeof d);
            std::snprintf(buf, sizeof buf, "%.16g", d);
            break;
        }
        case TAG_STRING: {
            auto s = reinterpret_cast<const char*>(uintptr_t(r.value));
            if (!s) return false;
            console::print_cstring(s);
            size_t n = std::strlen(s);
            return n > 0 && ends_in_blank(s[n - 1]);
        }
        default:
            std::snprintf(buf, sizeof buf, "%08X", r.value);
            break;
    }
    console::print_cstring(buf);
    return false;
}

void print_records(int32_t count, const TypedRecord* records, bool spaced) {
    for (int32_t i = 0; i < count; ++i) {
        bool blank = print_record(records[i]);
        if (spaced && i + 1 < count && !blank) console::print_cstring(" ");
    }
    std::fflush(stdout);
}

void prin(int32_t count, const TypedRecord* records) { print_records(count, records, false); }

void print_line(int32_t count, const TypedRecord* records) {
    print_records(count, records, false);
    console::write_latin1_line("", 0);
}

const char* print_cstring(const char* s, int32_t max_length) {
    if (!s) return s;
    size_t n = 0;
    while (int32_t(n) < max_length && s[n]) ++n;
    console::write_bytes(s, n);
    return s;
}

uint8_t print_byte(uint8_t byte) {
    char c = char(byte);
    console::write_latin1(&c, 1);
    return byte;
}

void print_char_form(uint8_t byte) {
    char buf[16];
    switch (byte) {
        case 0:  std::strcpy(buf, "^@"); break;
        case 9:  std::strcpy(buf, "^-"); break;
        case 10: std::strcpy(buf, "^/"); break;
        case 27: std::strcpy(buf, "^]"); break;
        default:
            if (byte < 32) {
                buf[0] = '^';
                buf[1] = char(byte + 64);
                buf[2] = 0;
            } else if (byte < 128) {
                buf[0] = char(byte);
                buf[1] = 0;
            } else {
                std::snprintf(buf, sizeof buf, "^(%02X)", byte);
            }
    }
    console::print_cstring("#\"");
    console::print_cstring(buf);
    console::print_cstring("\"");
}

}  // namespace qor::system_print

namespace qor {

const char* build_stamp() { return "19-Nov-2026/12:27:11"; }

}  // namespace qor
