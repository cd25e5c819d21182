#include "boot/upper_layer.hpp"

namespace qor::boot {

namespace {
const UpperLayer* g_layer = nullptr;
}

void set_upper_layer(const UpperLayer* layer) { g_layer = layer; }
const UpperLayer* upper_layer() { return g_layer; }

}  // namespace qor::boot
