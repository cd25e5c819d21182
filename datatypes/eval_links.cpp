// The hook table (see eval_links.hpp).
#include "datatypes/eval_links.hpp"

#include "datatypes/raise_seam.hpp"

namespace qor::eval_links {

namespace {
Links g_links;
}

Links& get() { return g_links; }

void call_function(const Cell* function, const Cell* args, uint32_t count, Cell* result) {
    if (!g_links.call_function) raise_error("internal", "not-done");
    g_links.call_function(function, args, count, result);
}

void transcode(const Cell* string, Cell* block) {
    if (!g_links.transcode) raise_error("internal", "not-done");
    g_links.transcode(string, block);
}

uint32_t scan_token_type(const char* utf8, uint32_t length) {
    if (!g_links.scan_token_type) raise_error("internal", "not-done");
    return g_links.scan_token_type(utf8, length);
}

}  // namespace qor::eval_links
