// The HTTP client: one synchronous request, and its response as a value.
//
// `request` is what url!'s read and write call (the shape of url!'s client
// hook): it turns the method word, the url, the header block and the body
// into a Request, hands it to the platform's client (the WinHttpRequest COM
// object in http_win32.cpp, libcurl in http_posix.cpp), and builds the
// response's value: text, bytes, lines, or with info the status, the header
// map and the body.  The platform halves only move bytes; everything the
// two builds must agree on (method spelling, default headers, header
// parsing, text decoding) is here, in http.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::http {

// A body longer than this fails the request instead of exhausting a 32-bit
// address space; a claimed Content-Length is never allocated up front.
constexpr size_t k_max_body = size_t(256) << 20;
// Header lines past this much text fail the request likewise.
constexpr size_t k_max_header_text = size_t(1) << 20;

struct Request {
    std::string method = "GET";   // sent as spelled
    std::string url;              // UTF-8, as the url! holds it (decoded)
    std::vector<std::pair<std::string, std::string>> headers;   // sent in this order, nothing added
    enum Body : uint8_t { NO_BODY, BYTES, TEXT };
    Body body_kind = NO_BODY;     // never sent with GET or HEAD
    std::string body;
    // Time limits in milliseconds (0: none), the COM object's defaults: a
    // server that accepts the connection and never answers fails the request
    // after the receive limit.  Tests shorten them.
    uint32_t resolve_ms = 0;
    uint32_t connect_ms = 60000;
    uint32_t send_ms = 30000;
    uint32_t receive_ms = 30000;
    size_t max_body = k_max_body;   // a longer body fails the request
};

struct Response {
    int32_t status = 0;
    // The header lines of the final response, "Name: value" each ending in
    // CR LF, without the status line (the form GetAllResponseHeaders gives).
    std::string header_text;
    std::string body;
};

enum class Outcome : uint8_t {
    DONE,       // a whole response arrived (any status)
    NOT_MADE,   // the request could not be made (bad url, no client object): nothing was sent
    FAILED,     // sent, but no whole response came back (refused, reset, truncated, timed out, too big)
};

// The platform's client (http_win32.cpp, http_posix.cpp).  Follows
// redirects; sends only the request's headers beside the ones the protocol
// itself needs (Host, Content-Length).
Outcome perform(const Request& request, Response& response);

// ---- Shared by both builds -----------------------------------------------------------------

// The url's text with the bytes a request line cannot carry (controls,
// blank, non-ASCII and " < > \ ^ ` { | }) percent-encoded; "%" is kept.
std::string wire_url(const std::string& utf8);

// Header lines "Name: value" (CR LF or LF ended) as pairs in order; lines
// without ": " or whose name is not a token are skipped.
std::vector<std::pair<std::string, std::string>> parse_header_text(const std::string& text);

// A response body as text: the UTF-8 byte-order mark skipped, CR LF and a
// lone CR made LF.
std::string body_text(const std::string& bytes);

// The body's lines: the byte-order mark skipped, cut at each LF, a CR
// before it dropped, text after the last LF a last line.
std::vector<std::string> body_lines(const std::string& bytes);

// The client url! calls: (method word, url!, header block or none, body or
// none, binary?, lines?, info?).  Answers the pushed result, or null when no
// response came back (url! raises its access error).  Body text that is not
// UTF-8 raises access/invalid-utf8.
Cell* request(Cell* method, Cell* url, Cell* header, Cell* data, bool binary, bool lines, bool info);

// The Request that `request` sends for these values (forming a header or
// body value allocates).
Request build_request(Cell* method, Cell* url, Cell* header, Cell* data);

}  // namespace qor::http
