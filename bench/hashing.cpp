// Throughput of hashing, symbol interning and hash-table lookups.
//
//   bench_hashing [keys]      (default 200000)
//
// Prints, best of three runs each:
//   - MurmurHash3 over a 64 KB buffer, in MB/s;
//   - interning new spellings and interning existing ones, per second;
//   - hash! lookups of integer keys (all present), per second, beside the
//     same lookups in a std::unordered_map;
//   - hash! lookups of string keys without regard to case, per second.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "harness.hpp"
#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/string.hpp"
#include "datatypes/string_actions.hpp"
#include "datatypes/symbol.hpp"
#include "runtime/collector.hpp"
#include "datatypes/hash_table.hpp"
#include "runtime/memory.hpp"
#include "datatypes/murmur3.hpp"
#include "runtime/series.hpp"

namespace {

using namespace qor;
using bench::best_seconds;

volatile uint32_t sink;

// A hash! over `keys` cells made by `make_key`, kept in a rooted cell.
template <typename MakeKey>
void fill_hash(Cell* hash, uint32_t keys, MakeKey&& make_key) {
    *hash = Cell{TYPE_HASH, 0, reinterpret_cast<uint32_t>(memory::alloc_cells(keys)), 0};
    Cell source = *hash;
    hash->data3 = reinterpret_cast<uint32_t>(hashtable::make(int32_t(keys), &source, hashtable::KIND_HASH));
    for (uint32_t i = 0; i < keys; i++) {
        Cell key = make_key(i);
        *block_buffer::alloc_tail(hash) = key;
        Node table = reinterpret_cast<Node>(hash->data3);
        hashtable::put(table, cells_tail(buffer_of(cell_node(hash))) - 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t keys = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 200000;
    if (keys == 0) keys = 1;
    std::mt19937 rng(12345);
    bench::start_runtime();

    // MurmurHash3 over bytes.
    std::vector<uint8_t> bytes(65536);
    for (auto& b : bytes) b = uint8_t(rng());
    const int rounds = 2000;
    double s = best_seconds([] {}, [&] {
        uint32_t h = 0;
        for (int i = 0; i < rounds; i++) h ^= hashtable::hash_bytes(bytes.data(), uint32_t(bytes.size()));
        sink = h;
    });
    std::printf("murmur3 bytes           %10.1f MB/s\n", double(bytes.size()) * rounds / s / 1e6);

    // Interning: each run meets spellings of its own, new to the table.
    std::vector<std::string> spellings[3];
    for (uint32_t run = 0; run < 3; run++)
        for (uint32_t i = 0; i < keys; i++)
            spellings[run].push_back("word-" + std::to_string(run) + "-" + std::to_string(i * 2654435761u));
    uint32_t run = 0;
    s = best_seconds([&] {
        for (const std::string& w : spellings[run % 3]) sink = uint32_t(symbol::intern(w.c_str()));
        run++;
    });
    std::printf("intern new spelling     %10.0f per second (%u spellings)\n", keys / s, keys);
    s = best_seconds([&] {
        for (const std::string& w : spellings[0]) sink = uint32_t(symbol::intern(w.c_str()));
    });
    std::printf("intern known spelling   %10.0f per second\n", keys / s);

    // hash! lookups of integers, against std::unordered_map.
    Cell hash{};
    gc::CellRoot keep(&hash);
    std::vector<int32_t> values;
    for (uint32_t i = 0; i < keys; i++) values.push_back(int32_t(rng()));
    fill_hash(&hash, keys, [&](uint32_t i) { return integer::make(values[i]); });
    std::vector<int32_t> probes;
    for (uint32_t i = 0; i < keys; i++) probes.push_back(values[rng() % keys]);
    s = best_seconds([] {}, [&] {
        uint32_t found = 0;
        for (int32_t v : probes) {
            Cell key = integer::make(v);
            found += hashtable::find(reinterpret_cast<Node>(hash.data3), &key, 0, 1, COMP_EQUAL, false, false) != nullptr;
        }
        sink = found;
    });
    double ours = keys / s;
    std::unordered_map<int32_t, int32_t> model;
    for (uint32_t i = 0; i < keys; i++) model.emplace(values[i], int32_t(i));
    s = best_seconds([] {}, [&] {
        uint32_t found = 0;
        for (int32_t v : probes) found += model.count(v);
        sink = found;
    });
    std::printf("hash! integer lookup    %10.0f per second (std::unordered_map %.0f, ratio %.2f)\n", ours,
                keys / s, ours / (keys / s));

    // hash! lookups of strings, without regard to case.
    Cell texts{};
    gc::CellRoot keep_texts(&texts);
    uint32_t text_keys = keys / 4 ? keys / 4 : 1;
    fill_hash(&texts, text_keys, [&](uint32_t i) { return string::from_utf8(spellings[0][i].c_str()); });
    std::vector<Cell> text_probes(text_keys, Cell{TYPE_UNSET, 0, 0, 0});
    gc::CellRoot keep_probes(text_probes.data(), text_keys);
    for (uint32_t i = 0; i < text_keys; i++) {
        std::string upper = spellings[0][rng() % text_keys];
        for (char& c : upper) c = char(std::toupper(uint8_t(c)));
        text_probes[i] = string::from_utf8(upper.c_str());
    }
    s = best_seconds([] {}, [&] {
        uint32_t found = 0;
        for (Cell& key : text_probes)
            found += hashtable::find(reinterpret_cast<Node>(texts.data3), &key, 0, 1, COMP_EQUAL, false, false) != nullptr;
        sink = found;
    });
    std::printf("hash! string lookup     %10.0f per second (%u keys)\n", text_keys / s, text_keys);
    return 0;
}
