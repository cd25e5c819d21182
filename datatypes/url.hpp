// url!: URLs held as decoded text (a child of string!, parent of file!).
//
// It molds percent-encoded (url_codec.hpp), builds URLs from blocks, joins
// path components, and reads and writes: "http" URLs (https too) through
// the HTTP client that a service registers at start-up, every other scheme
// through a port made by the library's URL parser.
#pragma once
#include "datatypes/registry.hpp"

namespace qor::url {

void init();   // registers url! (after string!)

// The HTTP client: one request with the method word, the url, a header
// block or none, data or none, and read's /binary, /lines and /info.  It
// answers the response's value, or null when no connection could be made.
using HttpClient = Cell* (*)(Cell* method, Cell* url, Cell* header, Cell* data, bool binary, bool lines,
                             bool info);
// Registers the client; null removes it.  Without one, a request raises
// access/unknown-scheme naming the url.
void set_http_client(HttpClient client);
HttpClient http_client();

// url!'s make, to and eval-path, which file! inherits.
Cell* url_make(Cell* prototype, Cell* spec);
Cell* url_to(Cell* prototype, Cell* spec);
Cell* url_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent, Cell* previous,
                    int32_t step, bool case_sensitive, uint32_t reserved, bool last, bool notify);

}  // namespace qor::url
