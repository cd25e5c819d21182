#include "runtime/digest.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <filesystem>
#include <unistd.h>
#endif

namespace {

using qor::crypto::Status;
namespace crypto = qor::crypto;

using Bytes = std::vector<uint8_t>;

Bytes from_hex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string to_hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The platform's digest (CryptoAPI on Windows) as hex, "" on failure.
std::string platform_hex(const Bytes& data, int32_t code) {
    uint8_t out[crypto::HASH_BUFFER];
    if (crypto::hash(data.data(), data.size(), code, out) != Status::ok) return "";
    for (size_t i = crypto::digest_size(code); i < crypto::HASH_BUFFER; i++)
        if (out[i] != 0) return "tail not zeroed";
    return to_hex(out, crypto::digest_size(code));
}

// The portable code's digest as hex, fed in one piece.
std::string soft_hex(const Bytes& data, int32_t code) {
    crypto::SoftState s;
    if (!crypto::soft::begin(s, code)) return "";
    crypto::soft::update(s, data.data(), data.size());
    uint8_t out[crypto::HASH_BUFFER] = {};
    crypto::soft::finish(s, out);
    return to_hex(out, crypto::digest_size(code));
}

const int32_t DIGESTS[] = {crypto::DIGEST_MD5, crypto::DIGEST_SHA1, crypto::DIGEST_SHA256,
                           crypto::DIGEST_SHA384, crypto::DIGEST_SHA512};

TEST(Digest, CodesSizesAndAlgorithms) {
    struct Row { int32_t code; size_t size, block; uint32_t alg; };
    const Row rows[] = {
        {crypto::DIGEST_TCP, 0, 64, 0},           {crypto::DIGEST_CRC32, 0, 64, 0},
        {crypto::DIGEST_MD5, 16, 64, 0x8003},     {crypto::DIGEST_SHA1, 20, 64, 0x8004},
        {crypto::DIGEST_SHA256, 32, 64, 0x800C},  {crypto::DIGEST_SHA384, 48, 128, 0x800D},
        {crypto::DIGEST_SHA512, 64, 128, 0x800E}, {7, 0, 64, 0}, {-1, 0, 64, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(crypto::digest_size(r.code), r.size);
        EXPECT_EQ(crypto::block_size(r.code), r.block);
        EXPECT_EQ(crypto::algorithm_id(r.code), r.alg);
    }
}

// Every byte-oriented vector of NIST's SHAVS, on the platform side and on
// the portable code.
TEST(Digest, NistShavsVectors) {
    struct File { const char* name; int32_t code; };
    const File files[] = {
        {"SHA1ShortMsg.rsp", crypto::DIGEST_SHA1},     {"SHA1LongMsg.rsp", crypto::DIGEST_SHA1},
        {"SHA256ShortMsg.rsp", crypto::DIGEST_SHA256}, {"SHA256LongMsg.rsp", crypto::DIGEST_SHA256},
        {"SHA384ShortMsg.rsp", crypto::DIGEST_SHA384}, {"SHA384LongMsg.rsp", crypto::DIGEST_SHA384},
        {"SHA512ShortMsg.rsp", crypto::DIGEST_SHA512}, {"SHA512LongMsg.rsp", crypto::DIGEST_SHA512},
    };
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        std::ifstream in(std::string(QOR_TEST_DATA) + "/nist-shavs/" + f.name);
        ASSERT_TRUE(in) << "test data missing";
        std::string line, msg;
        long bits = -1;
        bool any = false;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("Len = ", 0) == 0) bits = std::stol(line.substr(6));
            else if (line.rfind("Msg = ", 0) == 0) msg = line.substr(6);
            else if (line.rfind("MD = ", 0) == 0) {
                ASSERT_GE(bits, 0);
                Bytes data = bits == 0 ? Bytes{} : from_hex(msg);
                ASSERT_EQ(long(data.size()) * 8, bits);
                const std::string md = line.substr(5);
                EXPECT_EQ(platform_hex(data, f.code), md) << "Len = " << bits;
                EXPECT_EQ(soft_hex(data, f.code), md) << "Len = " << bits;
                any = true;
                bits = -1;
            }
        }
        EXPECT_TRUE(any) << "no vectors read";
    }
}

TEST(Digest, Md5Rfc1321Suite) {
    const std::pair<std::string, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, md] : suite) {
        SCOPED_TRACE(text);
        EXPECT_EQ(platform_hex(bytes_of(text), crypto::DIGEST_MD5), md);
        EXPECT_EQ(soft_hex(bytes_of(text), crypto::DIGEST_MD5), md);
    }
}

// A million 'a's, fed in uneven pieces: the streaming entries must agree
// with the one-shot result whatever the split, on both sides.
TEST(Digest, StreamingMatchesOneShot) {
    const char* million_a[] = {
        "7707d6ae4e027c70eea2a935c2296f21",
        "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
        "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
        "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985",
        "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b",
    };
    const Bytes data(1000000, 'a');
    std::mt19937 gen(5);
    for (int k = 0; k < 5; k++) {
        const int32_t code = DIGESTS[k];
        SCOPED_TRACE(code);
        EXPECT_EQ(platform_hex(data, code), million_a[k]);

        crypto::Digest d;
        crypto::SoftState s;
        ASSERT_EQ(crypto::digest_begin(d, code), Status::ok);
        ASSERT_TRUE(crypto::soft::begin(s, code));
        for (size_t pos = 0; pos < data.size();) {
            size_t piece = std::min<size_t>(gen() % 300, data.size() - pos);
            ASSERT_EQ(crypto::digest_update(d, data.data() + pos, piece), Status::ok);
            crypto::soft::update(s, data.data() + pos, piece);
            pos += piece;
        }
        uint8_t a[crypto::HASH_BUFFER], b[crypto::HASH_BUFFER] = {};
        ASSERT_EQ(crypto::digest_finish(d, a), Status::ok);
        crypto::soft::finish(s, b);
        EXPECT_EQ(to_hex(a, crypto::digest_size(code)), million_a[k]);
        EXPECT_EQ(to_hex(b, crypto::digest_size(code)), million_a[k]);
    }
}

// Codes without a digest are refused, and a digest used after it was
// finished fails: neither hands back bytes as a result.
TEST(Digest, RefusalsLeaveNoResult) {
    uint8_t out[crypto::HASH_BUFFER];
    for (int32_t code : {int32_t(crypto::DIGEST_TCP), int32_t(crypto::DIGEST_CRC32), 7, -1}) {
        std::memset(out, 0xAA, sizeof out);
        EXPECT_EQ(crypto::hash("abc", 3, code, out), Status::unsupported) << code;
        EXPECT_EQ(to_hex(out, sizeof out), std::string(128, '0'));
    }
    crypto::Digest d;
    ASSERT_EQ(crypto::digest_begin(d, crypto::DIGEST_SHA256), Status::ok);
    ASSERT_EQ(crypto::digest_finish(d, out), Status::ok);
    EXPECT_EQ(crypto::digest_update(d, "x", 1), Status::failed);
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(crypto::digest_finish(d, out), Status::failed);
    EXPECT_EQ(to_hex(out, sizeof out), std::string(128, '0'));
}

// RFC 2202 / RFC 4231 style cases: short key, text key, a key longer than
// every block (hashed first), an empty key and a key of exactly 64 bytes
// (one block for MD5/SHA-1/SHA-256, half a block for SHA-384/512).
TEST(Hmac, KnownValues) {
    struct Case { Bytes key; std::string data; const char* mac[5]; };
    const Case cases[] = {
        {Bytes(20, 0x0b), "Hi There",
         {"5ccec34ea9656392457fa1ac27f08fbc", "b617318655057264e28bc0b6fb378c8ef146be00",
          "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
          "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6",
          "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"}},
        {bytes_of("Jefe"), "what do ya want for nothing?",
         {"750c783e6ab0b503eaa86e310a5db738", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79",
          "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
          "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649",
          "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"}},
        {Bytes(131, 0xaa), "Test Using Larger Than Block-Size Key - Hash Key First",
         {"bfecaf4efff90a3a668f3922fec3762d", "90d0dace1c1bdc957339307803160335bde6df2b",
          "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
          "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952",
          "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"}},
        {Bytes{}, "",
         {"74e6f7298a9c2d168935f58c001bad88", "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d",
          "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad",
          "6c1f2ee938fad2e24bd91298474382ca218c75db3d83e114b3d4367776d14d3551289e75e8209cd4b792302840234adc",
          "b936cee86c9f87aa5d3c6f2e84cb5a4239a5fe50480a6ec66b70ab5b1f4ac6730c6c515421b327ec1d69402e53dfb49ad7381eb067b338fd7b0cb22247225d47"}},
        {Bytes(64, 0xaa), "key exactly one md5/sha1/sha256 block",
         {"c9e6a92d2ca41db3a1e9933a008d6cef", "cbde9c1f72f6ad659721d8159e6992e350065267",
          "34b08afc58a8c62a49f873ae0d974c9f310f3eb54a4f650c1aa647ce5482c5cf",
          "36f0d77b854dfd5edd7dd83f65ff040227daa5beed371913282c4c538daeedfb953a62aa658ba3ea0e76e18c56f77ed7",
          "61b30472e91c69a58bdee7e265a121c902aee79199b20a0a5bfa53b4d99b8231ce4b7c180f9338b665dc21092b53bf629f3d2e5c034b8b4e70a2e3638ce830b1"}},
    };
    for (const Case& c : cases) {
        for (int k = 0; k < 5; k++) {
            SCOPED_TRACE(c.data + " / code " + std::to_string(DIGESTS[k]));
            uint8_t out[crypto::HASH_BUFFER];
            ASSERT_EQ(qor::hmac::compute(c.data.data(), c.data.size(), c.key.data(), c.key.size(),
                                         DIGESTS[k], out),
                      Status::ok);
            EXPECT_EQ(to_hex(out, crypto::digest_size(DIGESTS[k])), c.mac[k]);
        }
    }
}

TEST(Hmac, ChecksumMethodsHaveNone) {
    uint8_t out[crypto::HASH_BUFFER];
    for (int32_t code : {int32_t(crypto::DIGEST_TCP), int32_t(crypto::DIGEST_CRC32), 9}) {
        std::memset(out, 0xAA, sizeof out);
        EXPECT_EQ(qor::hmac::compute("abc", 3, "k", 1, code, out), Status::unsupported);
        EXPECT_EQ(to_hex(out, sizeof out), std::string(128, '0'));
    }
}

#ifndef _WIN32
// The platform digests agree with coreutils on generated files, with sizes
// around the padding boundaries of both block sizes and one large random file.
TEST(Digest, AgreesWithCoreutils) {
    const char* tools[] = {"md5sum", "sha1sum", "sha256sum", "sha384sum", "sha512sum"};
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("qor-digest-" + std::to_string(getpid()) + ".bin")).string();
    std::mt19937 gen(1321);
    for (size_t size : {size_t(0), size_t(55), size_t(56), size_t(64), size_t(111), size_t(112),
                        size_t(128), size_t(1000), size_t(3 << 20)}) {
        Bytes data(size);
        for (auto& b : data) b = uint8_t(gen());
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        }
        for (int k = 0; k < 5; k++) {
            SCOPED_TRACE(std::string(tools[k]) + " of " + std::to_string(size) + " bytes");
            FILE* p = popen((std::string(tools[k]) + " '" + path + "'").c_str(), "r");
            ASSERT_NE(p, nullptr);
            char line[256] = {};
            ASSERT_NE(fgets(line, sizeof line, p), nullptr);
            pclose(p);
            const std::string expected(line, crypto::digest_size(DIGESTS[k]) * 2);
            EXPECT_EQ(platform_hex(data, DIGESTS[k]), expected);
        }
    }
    std::remove(path.c_str());
}
#endif

}  // namespace
