#include "runtime/process.hpp"

#include "runtime/heap.hpp"
#include "runtime/runtime_record.hpp"

#include <cstring>

namespace qor::runtime {

// Replaces the record's argument vector by copies of `args`.
void store_argv(int argc, const char* const* args) {
    if (record->argv) {
        for (int i = 0; i < record->argc; ++i) heap::free(record->argv[i]);
        heap::free(record->argv);
    }
    if (argc < 0) argc = 0;
    auto argv = static_cast<char**>(heap::alloc((size_t(argc) + 1) * sizeof(char*)));
    for (int i = 0; i < argc; ++i) {
        size_t n = std::strlen(args[i]) + 1;
        argv[i] = static_cast<char*>(heap::alloc(n));
        std::memcpy(argv[i], args[i], n);
    }
    argv[argc] = nullptr;
    record->argc = argc;
    record->argv = argv;
    record->zero = 0;
}

}  // namespace qor::runtime
