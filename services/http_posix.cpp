// The HTTP client over libcurl, behaving as the COM object of the Windows
// side does: no proxy, redirects followed, certificates checked, only the request's
// own headers sent (curl's Accept, its form Content-Type and its
// "Expect: 100-continue" are taken away unless the request names them),
// time limits per stage rather than for the whole transfer.
//
// libcurl is opened on the first request, not linked: it pulls in some
// thirty libraries (TLS, Kerberos, LDAP, ...) whose loading and
// initialisers would otherwise make every start-up pay for HTTP.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstring>
#include <new>
#include <strings.h>

#include "services/http.hpp"

namespace qor::http {

namespace {

struct Transfer {
    Response* response;
    size_t max_body;
    bool too_big = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    if (t->response->body.size() + n > t->max_body) {
        t->too_big = true;
        return 0;   // ends the transfer with a write error
    }
    try {
        t->response->body.append(data, n);
    } catch (const std::bad_alloc&) {
        t->too_big = true;
        return 0;
    }
    return n;
}

// Each response (a redirect's, an interim 1xx's, the final one) starts with
// its status line: keep only the last response's header lines.
size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    size_t n = size * count;
    std::string& text = t->response->header_text;
    if (n >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        text.clear();
    } else if (!(n == 2 && data[0] == '\r') && !(n == 1 && data[0] == '\n')) {
        if (text.size() + n > k_max_header_text) return 0;
        try {
            text.append(data, n);
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    return n;
}

bool names(const Request& r, const char* name) {
    for (const auto& h : r.headers)
        if (strcasecmp(h.first.c_str(), name) == 0) return true;
    return false;
}

bool known_scheme(const std::string& url) {
    return strncasecmp(url.c_str(), "http://", 7) == 0 || strncasecmp(url.c_str(), "https://", 8) == 0;
}

uint32_t seconds_up(uint32_t ms) { return ms == 0 ? 0 : (ms + 999) / 1000; }

// The functions of libcurl this client calls.
struct Curl {
    decltype(&::curl_global_init) global_init;
    decltype(&::curl_easy_init) easy_init;
    decltype(&::curl_easy_setopt) setopt;
    decltype(&::curl_easy_perform) perform;
    decltype(&::curl_easy_getinfo) getinfo;
    decltype(&::curl_easy_cleanup) cleanup;
    decltype(&::curl_slist_append) slist_append;
    decltype(&::curl_slist_free_all) slist_free_all;
};

template <class F>
bool find(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

// libcurl, opened and initialised once; null when it cannot be loaded,
// which leaves the process without an HTTP client object.
const Curl* curl_library() {
    static const Curl* const loaded = []() -> const Curl* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static Curl c;
        bool complete = find(library, "curl_global_init", c.global_init) &&
                        find(library, "curl_easy_init", c.easy_init) &&
                        find(library, "curl_easy_setopt", c.setopt) &&
                        find(library, "curl_easy_perform", c.perform) &&
                        find(library, "curl_easy_getinfo", c.getinfo) &&
                        find(library, "curl_easy_cleanup", c.cleanup) &&
                        find(library, "curl_slist_append", c.slist_append) &&
                        find(library, "curl_slist_free_all", c.slist_free_all);
        if (!complete || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
        return &c;
    }();
    return loaded;
}

}  // namespace

Outcome perform(const Request& request, Response& response) {
    if (!known_scheme(request.url)) return Outcome::NOT_MADE;
    const Curl* lib = curl_library();
    if (!lib) return Outcome::NOT_MADE;
    response = Response{};
    CURL* curl = lib->easy_init();
    if (!curl) return Outcome::NOT_MADE;
    Transfer transfer{&response, request.max_body};
    std::string url = wire_url(request.url);
    curl_slist* headers = nullptr;
    for (const auto& [name, value] : request.headers) {
        // "Name;" is curl's spelling of a header sent with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        headers = lib->slist_append(headers, line.c_str());
    }
    for (const char* own : {"Accept", "Content-Type", "Expect"})
        if (!names(request, own)) headers = lib->slist_append(headers, (std::string(own) + ":").c_str());

    lib->setopt(curl, CURLOPT_URL, url.c_str());
    lib->setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    lib->setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    lib->setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Straight to the host, as the COM object goes by default: no proxy
    // taken from the environment's http_proxy and the like.
    lib->setopt(curl, CURLOPT_PROXY, "");
    lib->setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib->setopt(curl, CURLOPT_MAXREDIRS, 10L);
    lib->setopt(curl, CURLOPT_HTTPHEADER, headers);
    lib->setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    lib->setopt(curl, CURLOPT_WRITEDATA, &transfer);
    lib->setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
    lib->setopt(curl, CURLOPT_HEADERDATA, &transfer);
    lib->setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.max_body));
    if (request.connect_ms) lib->setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(request.connect_ms));
    // Sending or receiving stalled (under one byte a second) for the longer
    // of the two limits ends the request.
    uint32_t stall = seconds_up(request.receive_ms > request.send_ms ? request.receive_ms : request.send_ms);
    if (stall) {
        lib->setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        lib->setopt(curl, CURLOPT_LOW_SPEED_TIME, long(stall));
    }

    if (request.method == "GET") {
        lib->setopt(curl, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        lib->setopt(curl, CURLOPT_NOBODY, 1L);
    } else {
        lib->setopt(curl, CURLOPT_POST, 1L);
        lib->setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        lib->setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        if (request.method != "POST") lib->setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }

    CURLcode code = lib->perform(curl);
    long status = 0;
    lib->getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    lib->slist_free_all(headers);
    lib->cleanup(curl);
    response.status = int32_t(status);
    if (code == CURLE_OK) return Outcome::DONE;
    if (code == CURLE_URL_MALFORMAT) return Outcome::NOT_MADE;
    response.body.clear();
    return Outcome::FAILED;
}

}  // namespace qor::http
