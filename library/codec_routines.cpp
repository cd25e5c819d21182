// The routines of the Qorbin codec object (library/codecs.qor): encoding a
// value and decoding a binary, a file or a URL.
#include "library/routines.hpp"

#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "runtime/collector.hpp"
#include "services/qorbin.hpp"

namespace qor::routines {

namespace {

Cell* answer(const Cell& value) {
    *result_cell() = value;
    return result_cell();
}

// qorbin-encode data compact?: the compact or the fixed-width image.
Cell* qorbin_encode(Cell* const* args) {
    Cell data = *args[0];
    gc::CellRoot keep(&data);
    bool compact = type_of(args[1]) == TYPE_LOGIC && args[1]->data1 != 0;
    return answer(qorbin::encode(&data, compact));
}

// qorbin-decode payload: a binary! from its index, or a file! or url! read
// as binary first.  One value comes back as itself, several as a block.
Cell* qorbin_decode(Cell* const* args) {
    Cell payload = *args[0];
    gc::CellRoot keep(&payload);
    uint32_t t = type_of(&payload);
    if (t == TYPE_FILE || t == TYPE_URL) {
        ReadFn read = registry::action<SLOT_READ>(t);
        if (!read) raise_error("script", "invalid-data", &payload);
        payload = *read(&payload, nullptr, nullptr, true, false, false, nullptr);
    }
    if (type_of(&payload) != TYPE_BINARY) raise_error("script", "invalid-data", &payload);
    uint32_t n = binary::length_from_index(&payload);
    if (n <= 10) raise_error("script", "invalid-data", &payload);
    Cell out = block::make(1);
    gc::CellRoot keep_out(&out);
    // No allocation between taking the address and the read, which keeps
    // collection off while it runs.
    qorbin::decode(binary::data_at_index(&payload), int32_t(n), &out, &payload);
    if (block::total_length(&out) == 1) return answer(*block::cell_at(&out, 0));
    return answer(out);
}

const Entry CODECS[] = {
    {"qorbin-encode", qorbin_encode},
    {"qorbin-decode", qorbin_decode},
    {nullptr, nullptr},
};

}  // namespace

const Entry* codec_entries() { return CODECS; }

}  // namespace qor::routines
