// port!: the language's I/O channels.  A port is an object (spec, scheme,
// actor, awake, state, data, extra) that does no I/O itself: its actions
// are forwarded to the functions of the same name in its actor, an object
// the port's scheme supplies (system/schemes).  read and write are built
// from open, copy, insert and close.
#pragma once
#include "datatypes/registry.hpp"

namespace qor::port {

void init();   // registers port! (after object!)

// make port! from a spec: an object (copied) or a block (made into
// one); its `scheme` must name a registered scheme.
Cell* port_make(Cell* prototype, Cell* spec);
Cell* port_open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* port_read(Cell* port, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* port_write(Cell* port, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
                 Cell* seek, Cell* allow, Cell* as);

}  // namespace qor::port
