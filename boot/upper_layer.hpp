// The layer above start-up (the GUI) hands start-up its entries here before
// the program starts, so start-up calls up without including it.
#pragma once

namespace qor::boot {

struct UpperLayer {
    void (*register_types)();    // its datatypes, after the runtime's own
    void (*before_library)();    // its tables and roots, before the library's code runs
    bool (*launch_console)();    // runs its own console to the end (true), or leaves it to start-up
};

// Called at static initialisation by the layer above (gui/link.cpp).
void set_upper_layer(const UpperLayer* layer);
const UpperLayer* upper_layer();   // null when no layer registered

}  // namespace qor::boot
