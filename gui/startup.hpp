// The GUI's part of start-up: event! among the datatypes, its routines, the
// face slot table and the event cell.
#pragma once

namespace qor::gui {

void register_types();     // event!
void register_routines();  // its routine tables, with the library's
void before_library();   // routines, the slot table, the event builder's roots

}  // namespace qor::gui
