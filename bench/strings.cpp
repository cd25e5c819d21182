// Throughput of string building, searching, comparison and conversion on
// large strings, in MB/s (of source text: one character counts one byte).
//
//   bench_strings [megabytes]      (default 16)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "harness.hpp"
#include "datatypes/char.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "runtime/collector.hpp"
#include "runtime/memory.hpp"
#include "datatypes/unicode.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

volatile uint32_t sink;

void report(const char* what, double megabytes, double seconds) {
    std::printf("%-44s %9.1f MB/s\n", what, megabytes / seconds);
}

// Text of `n` characters: words of letters, spaces, and every 64th
// character a line feed; `wide` puts one U+20AC in every 100 characters.
Cell sample(uint32_t n, bool wide) {
    std::string utf8;
    utf8.reserve(n * 2);
    for (uint32_t i = 0; i < n; i++) {
        if (wide && i % 100 == 99) utf8 += "\xE2\x82\xAC";
        else if (i % 64 == 63) utf8 += '\n';
        else if (i % 7 == 6) utf8 += ' ';
        else utf8 += char('a' + (i * 7 + i / 13) % 26);
    }
    return string::from_utf8(utf8.data(), utf8.size());
}

Cell upper_copy(const Cell& s) {
    Cell copy = string::make(string::length(&s));
    string::append_string(&copy, &s);
    case_::change(&copy, 0, true);
    return copy;
}

}  // namespace

int main(int argc, char** argv) {
    double mb = argc > 1 ? std::atof(argv[1]) : 16;
    if (mb <= 0) mb = 16;
    uint32_t n = uint32_t(mb * 1024 * 1024);

    bench::start_runtime();

    std::printf("strings: %.0f MB of text\n", mb);

    // Appending.
    report("append char (ASCII)", mb, best_seconds([&] {
        Cell s = string::make();
        for (uint32_t i = 0; i < n; i++) string::append_char(&s, 'a' + i % 26);
        sink = string::length(&s);
    }));
    report("append char (widens to UCS-2 at the end)", mb, best_seconds([&] {
        Cell s = string::make();
        for (uint32_t i = 0; i + 1 < n; i++) string::append_char(&s, 'a' + i % 26);
        string::append_char(&s, 0x20AC);
        sink = string::length(&s);
    }));
    {
        Cell chunk = sample(1024, false);
        report("append string (1 KB pieces)", mb, best_seconds([&] {
            Cell s = string::make();
            for (uint32_t i = 0; i < n / 1024; i++) string::append_string(&s, &chunk);
            sink = string::length(&s);
        }));
        Cell s = string::make();
        report("append action (1 KB pieces)", mb, best_seconds([&] {
            s = string::make();
            for (uint32_t i = 0; i < n / 1024; i++) string_insert(&s, &chunk, -1, false, 1, true);
            sink = string::length(&s);
        }));
    }

    // Searching for a pattern that occurs only at the very end.
    for (bool wide : {false, true}) {
        Cell hay = sample(n, wide);
        string::append_ascii(&hay, "NEEDLE!");
        Cell needle = string::from_utf8("needle!");
        Cell upper_needle = string::from_utf8("NEEDLE!");
        const char* label = wide ? "find, UCS-2 text" : "find, Latin-1 text";
        char name[64];
        std::snprintf(name, sizeof name, "%s, with case", label);
        report(name, mb, best_seconds([&] {
            Cell h = hay;
            string_find(&h, &upper_needle, nullptr, false, true, false, false, nullptr, nullptr, false, false, false,
                        false);
            sink = h.data1;
        }));
        std::snprintf(name, sizeof name, "%s, without case", label);
        report(name, mb, best_seconds([&] {
            Cell h = hay;
            string_find(&h, &needle, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                        false);
            sink = h.data1;
        }));
        Cell c = char_::make('!');
        std::snprintf(name, sizeof name, "%s, a char without case", label);
        report(name, mb, best_seconds([&] {
            Cell h = hay;
            string_find(&h, &c, nullptr, false, false, false, false, nullptr, nullptr, false, false, false, false);
            sink = h.data1;
        }));
        // A charset of the characters ! and ?: one byte test per character.
        Node bits = memory::alloc_bytes_filled(8, 0);
        SeriesBuffer* b = buffer_of(bits);
        b->tail = b->head + 8;
        b->head['!' >> 3] |= uint8_t(0x80u >> ('!' & 7));
        b->head['?' >> 3] |= uint8_t(0x80u >> ('?' & 7));
        Cell charset{TYPE_BITSET, 0, 0, 0};
        set_cell_node(&charset, bits);
        gc::CellRoot keep(&charset);
        std::snprintf(name, sizeof name, "%s, a charset", label);
        report(name, mb, best_seconds([&] {
            Cell h = hay;
            string_find(&h, &charset, nullptr, false, false, false, false, nullptr, nullptr, false, false, false,
                        false);
            sink = h.data1;
        }));
    }

    // Comparing two equal texts that differ in letter case.
    for (bool wide : {false, true}) {
        Cell a = sample(n, wide);
        Cell b = upper_copy(a);
        Cell c = upper_copy(a);
        report(wide ? "compare without case, UCS-2" : "compare without case, Latin-1", mb,
               best_seconds([&] { sink = uint32_t(string::compare_strings(&a, &b, COMP_EQUAL, false)); }));
        report(wide ? "compare with case, UCS-2" : "compare with case, Latin-1", mb,
               best_seconds([&] { sink = uint32_t(string::compare_strings(&b, &c, COMP_STRICT_EQUAL, false)); }));
    }

    // Conversion.
    {
        Cell wide = sample(n, true);
        std::string utf8 = string::to_utf8(&wide);
        report("load UTF-8 (with U+20AC)", mb, best_seconds([&] {
            Node node = unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()));
            sink = buffer_of(node)->byte_length();
        }));
        report("to UTF-8 (with U+20AC)", mb, best_seconds([&] {
            int32_t length = -1;
            unicode::to_utf8(&wide, &length);
            sink = uint32_t(length);
        }));
        report("to UTF-16 (with U+20AC)", mb, best_seconds([&] {
            int32_t length = -1;
            unicode::to_utf16_part(&wide, &length, true);
            sink = uint32_t(length);
        }));
        Cell narrow = sample(n, false);
        report("upper-case in place, Latin-1", mb, best_seconds([&] { case_::change(&narrow, 0, true); }));
    }
    return 0;
}
