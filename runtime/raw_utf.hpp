// Raw UTF-8 / UTF-16 conversion for the runtime's own OS boundary (console
// output, command line, environment, paths).  Works on plain buffers, never
// on string values.  Malformed input never stops a conversion: each broken
// sequence or lone surrogate becomes U+FFFD, and no function reads past the
// count it is given.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qor::raw_utf {

constexpr uint32_t REPLACEMENT = 0xFFFD;

// Writes the UTF-8 form of cp (1-4 bytes) and answers the byte count.
// Surrogates and values above U+10FFFF are written as U+FFFD.
size_t encode_utf8(uint32_t cp, char* out);

// Decodes one character from s (avail > 0 bytes).  *used receives the bytes
// consumed (at least 1).  Overlong forms, surrogates, values above U+10FFFF,
// stray continuation bytes and sequences cut by the end give U+FFFD; a broken
// sequence consumes its lead byte and the valid continuation bytes after it.
uint32_t decode_utf8(const unsigned char* s, size_t avail, size_t* used);

// Writes cp as one or two UTF-16 units and answers the count; values above
// U+10FFFF and surrogate code points are written as U+FFFD.
size_t encode_utf16(uint32_t cp, char16_t* out);

// Decodes one character from s (avail > 0 units); a lone surrogate gives U+FFFD.
uint32_t decode_utf16(const char16_t* s, size_t avail, size_t* used);

std::u16string utf8_to_utf16(std::string_view text);
std::string    utf16_to_utf8(std::u16string_view text);

}  // namespace qor::raw_utf
