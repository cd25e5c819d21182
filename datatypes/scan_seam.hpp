// The lexer's single-token scan: which datatype the token at the start of a
// text would load as.  Word conversions use it to check that a name is a
// word.  Implemented by the lexer (evaluator/lexer.cpp).
#pragma once
#include <cstdint>

namespace qor::lexer {

// The datatype id of the token that starts the UTF-8 text (the word kinds
// told apart: set-word!, get-word!, lit-word!, refinement!), or 0 when the
// text is empty or does not start with a valid token.
uint32_t scan_token_type(const char* utf8, uint32_t length);

}  // namespace qor::lexer
