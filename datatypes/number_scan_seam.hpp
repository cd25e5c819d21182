// Text-to-number scanning of text values (to integer!, to float!).  The
// scanners live with the lexer (evaluator/number_scan.hpp); this header is
// kept for the datatypes that include it.
#pragma once
#include "datatypes/number_scan.hpp"
