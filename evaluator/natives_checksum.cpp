// The checksum native: CRC-32, the Internet (TCP) checksum, Adler-32, the
// MD5 and SHA digests and HMACs over them, of a binary, a string (as UTF-8)
// or a file's content.
#include <string>

#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "evaluator/natives.hpp"
#include "datatypes/binary.hpp"
#include "evaluator/natives_system.hpp"
#include "evaluator/natives_support.hpp"
#include "runtime/checksum.hpp"
#include "runtime/digest.hpp"
#include "runtime/output_hooks.hpp"
#include "services/files.hpp"

namespace qor::natives {

using support::arg;
using support::check_arg;
using support::typeset_of;
using support::used;

namespace {

// The method words, in their start-up order, and what each computes.
// ORDER CHECKSUM-METHODS
enum Method : int32_t { M_TCP, M_MD5, M_SHA1, M_CRC32, M_ADLER32, M_SHA256, M_SHA384, M_SHA512, M_HASH };
const char* const METHOD_NAMES[] = {"tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash"};
const int32_t DIGEST_CODES[] = {crypto::DIGEST_TCP,    crypto::DIGEST_MD5,    crypto::DIGEST_SHA1,
                                crypto::DIGEST_CRC32,  -1,                    crypto::DIGEST_SHA256,
                                crypto::DIGEST_SHA384, crypto::DIGEST_SHA512, -1};

constexpr const char* HASH_NOT_DONE = "** /hash support not yet implemented; algorithm TBD.";

// The method a word names, compared without regard to case; another word
// raises script/invalid-arg with it.
Method method_of(const Cell* word) {
    int32_t id = symbol::resolve_alias(word::symbol_of(word));
    for (int32_t m = M_TCP; m <= M_HASH; m++)
        if (symbol::resolve_alias(symbol::intern(METHOD_NAMES[m])) == id) return Method(m);
    raise_error("script", "invalid-arg", word);
}

Cell with_refinement() {
    Cell w = *word::make_from_c_string("with");
    w.header = (w.header & ~TYPE_MASK) | TYPE_REFINEMENT;
    return w;
}

[[noreturn]] void invalid_with(const Cell* value) {
    Cell refinement = with_refinement();
    gc::CellRoot keep(&refinement);
    Cell v = *value;
    gc::CellRoot keep_value(&v);
    raise_error("script", "invalid-refine-arg", &refinement, &v);
}

// A digest or HMAC the platform failed to compute is an error, never a
// result.
void require_ok(crypto::Status status) {
    if (status != crypto::Status::ok) raise_error("internal", "feature-na");
}

}  // namespace

void init_checksum_methods() {
    for (const char* name : METHOD_NAMES) symbol::intern(name);
}

int32_t checksum_star(bool check, const int32_t* refinements) {
    check_arg(check, 0, typeset_of({TYPE_BINARY, TYPE_STRING, TYPE_FILE}), 0);
    check_arg(check, 1, typeset_of({TYPE_WORD}), 1);
    check_arg(check, refinements[0],
              typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_BINARY, TYPE_INTEGER}),
              3);
    Cell* data = arg(0);
    uint32_t data_type = type_of(data);
    if (data_type != TYPE_BINARY && data_type != TYPE_STRING && data_type != TYPE_FILE)
        raise_error("script", "invalid-arg", data);
    Method method = method_of(arg(1));
    bool with = used(refinements, 0);
    Cell* spec = with ? arg(uint32_t(refinements[0])) : nullptr;

    // Everything that can fail on the arguments alone is checked before the
    // data is read.
    if (method == M_CRC32 || method == M_TCP || method == M_ADLER32) {
        if (with) invalid_with(arg(1));
    } else if (with) {
        uint32_t st = type_of(spec);
        if (st == TYPE_INTEGER) {
            system_print::TypedRecord line = system_print::string(HASH_NOT_DONE);
            system_print::print_line(1, &line);
            stack::set_last_keep(integer::make(0));
            return 0;
        }
        if (!is_any_string(st) && st != TYPE_BINARY) raise_error("script", "invalid-arg", spec);
        if (method == M_HASH) invalid_with(spec);
    } else if (method == M_HASH) {
        invalid_with(arg(1));
    }

    // The key first: converting it may allocate, and the data's address
    // below must stay valid until the digest is computed.
    std::string key = with ? binary::bytes_of(spec) : std::string();
    std::string held;
    const uint8_t* bytes;
    size_t length;
    if (data_type == TYPE_FILE) {
        if (!files::read(data, held)) raise_error("access", "cannot-open", data);
    } else if (data_type == TYPE_STRING) {
        held = string::to_utf8(data);
    }
    if (data_type == TYPE_BINARY) {
        bytes = binary::data_at_index(data);
        length = binary::length_from_index(data);
    } else {
        bytes = reinterpret_cast<const uint8_t*>(held.data());
        length = held.size();
    }

    switch (method) {
    case M_CRC32:
        stack::set_last_keep(integer::make(int32_t(crc32::compute(bytes, length))));
        return 0;
    case M_TCP:
        stack::set_last_keep(integer::make(int32_t(tcp::checksum(bytes, length))));
        return 0;
    case M_ADLER32:
        stack::set_last_keep(integer::make(int32_t(adler32::compute(bytes, length))));
        return 0;
    default:
        break;
    }

    int32_t code = DIGEST_CODES[method];
    uint8_t out[crypto::HASH_BUFFER];
    if (with) require_ok(hmac::compute(bytes, length, key.data(), key.size(), code, out));
    else require_ok(crypto::hash(bytes, length, code, out));
    stack::set_last_keep(binary::make(out, uint32_t(crypto::digest_size(code))));
    return 0;
}

}  // namespace qor::natives
