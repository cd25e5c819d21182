// Date literals against the RFC 3339 cases of tests/data/datetime-formats:
// each text is loaded as source; a text the RFC accepts must load as one
// date! with its year, month, day, time and zone, and one it refuses must
// not load as a date.  The date syntax differs from RFC 3339 on purpose in
// the cases listed in DIFFERENCES; a listed case that stops differing fails
// too, so the list stays true.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/date.hpp"
#include "runtime_fixture.hpp"

namespace qor {
namespace {

using namespace std::string_literals;

struct Case {
    std::string text;
    bool valid;
};

// Appends a code point as UTF-8.
void put_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6), out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | c >> 12), out += char(0x80 | ((c >> 6) & 0x3F)), out += char(0x80 | (c & 0x3F));
    }
}

// The cases whose data is a string: `"data": "..."` then `"valid": ...`.
std::vector<Case> read_cases(const std::string& file) {
    std::ifstream in(std::string(QOR_TEST_DATA) + "/datetime-formats/" + file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string json = buffer.str();
    std::vector<Case> cases;
    const std::string key = "\"data\": \"";
    for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at)) {
        size_t p = at + key.size();
        std::string text;
        while (json[p] != '"') {
            if (json[p] != '\\') {
                text += json[p++];
                continue;
            }
            char e = json[p + 1];
            p += 2;
            if (e == 'u') {
                put_utf8(text, uint32_t(std::stoul(json.substr(p, 4), nullptr, 16)));
                p += 4;
            } else {
                text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            }
        }
        size_t v = json.find("\"valid\": ", p);
        cases.push_back({text, json.compare(v + 9, 4, "true") == 0});
        at = p;
    }
    return cases;
}

// Where the date syntax parts from RFC 3339, and why.
const std::map<std::string, const char*> DIFFERENCES = {
    {"2013-350", "ordinal dates are dates"},
    {"2023-W01", "ISO week dates are dates"},
    {"2023-W13-2", "ISO week dates are dates"},
    {"1998-1-20", "months and days may have one digit"},
    {"1998-01-1", "months and days may have one digit"},
    {"2020-01-001", "the last number may have up to four digits"},
    {"20-01-01", "a small first number is the day: 20-Jan-2001"},
    {"998-01-01", "years need not have four digits"},
    {"-2020-01-01", "years may be negative"},
    {" 2024-01-15", "blanks delimit values"},
    {"2024-01-15 ", "blanks delimit values"},
    {"2020-11-28T23:55:45Z", "a date may carry a time"},
    {"1985-04-12T23:20:50+01", "zone minutes may be left out"},
    {"1998-12-31T23:59:60Z", "no leap seconds: seconds stay below 60"},
    {"1998-12-31T15:59:60.123-08:00", "no leap seconds: seconds stay below 60"},
    {"1985-04-12T00:59:59.999999999999999Z", "the seconds round to 60.0"},
    {"1963-06-19t08:30:06.283185z", "the time separator is an upper-case T"},
    {"2013-350T01:01:01", "ordinal dates are dates"},
    {"1963-6-19T08:30:06.283185Z", "months and days may have one digit"},
    {"1963-06-1T08:30:06.283185Z", "months and days may have one digit"},
    {"1985-04-12T23:20:50Z\n", "blanks delimit values"},
    {"2020-01-01\0"s, "a NUL byte ends the source text"},
};

// The loaded date, or false when the text does not load as one date!.
bool load_date(const std::string& text, Cell* out) {
    try {
        Cell block = test::load_source(text);
        gc::CellRoot keep(&block);
        if (block::length(&block) != 1) return false;
        *out = *block::item(&block, 0);
        return type_of(out) == TYPE_DATE;
    } catch (const Thrown&) {
        return false;
    }
}

int32_t field_int(const Cell& d, int32_t field) {
    Cell v = date::field_value(&d, field);
    return integer::get_value(&v);
}

// The parts of an RFC 3339 text the test accepts and the language loads.
void check_fields(const std::string& text, const Cell& d) {
    SCOPED_TRACE(text);
    EXPECT_EQ(field_int(d, date::FIELD_YEAR), std::stoi(text.substr(0, 4)));
    EXPECT_EQ(field_int(d, date::FIELD_MONTH), std::stoi(text.substr(5, 2)));
    EXPECT_EQ(field_int(d, date::FIELD_DAY), std::stoi(text.substr(8, 2)));
    if (text.size() == 10) {
        EXPECT_FALSE(date::has_time(d.data1));
        return;
    }
    ASSERT_TRUE(date::has_time(d.data1));
    size_t zone_at = text.find_first_of("Zz+-", 19);
    double seconds = std::stoi(text.substr(11, 2)) * 3600.0 + std::stoi(text.substr(14, 2)) * 60.0 +
                     std::stod(text.substr(17, zone_at - 17));
    Cell time = date::field_value(&d, date::FIELD_TIME);
    EXPECT_NEAR(cell_float(&time), seconds, 1e-6);
    int32_t offset = 0;   // minutes east of UTC
    if (text[zone_at] == '+' || text[zone_at] == '-') {
        offset = std::stoi(text.substr(zone_at + 1, 2)) * 60 + std::stoi(text.substr(zone_at + 4, 2));
        offset = offset / 15 * 15;   // the zone holds whole quarter hours
        if (text[zone_at] == '-') offset = -offset;
    }
    Cell zone = date::field_value(&d, date::FIELD_ZONE);
    EXPECT_EQ(cell_float(&zone), offset * 60.0);
}

class DateCorpus : public test::RuntimeFixture {
protected:
    void SetUp() override {
        RuntimeFixture::SetUp();
        saved_ = registry::tables();
        date::init();
    }
    void TearDown() override {
        registry::tables() = saved_;   // other tests expect date! unregistered
        number_hooks::get().date_to_epoch_seconds = nullptr;
        RuntimeFixture::TearDown();
    }
    RegistryTables saved_;
};

TEST_F(DateCorpus, RfcVerdictsHoldOrDifferOnPurpose) {
    for (const char* file : {"date.json", "date-time.json"}) {
        std::vector<Case> cases = read_cases(file);
        ASSERT_FALSE(cases.empty()) << file;
        for (const Case& c : cases) {
            Cell d{};
            bool loads = load_date(c.text, &d);
            bool listed = DIFFERENCES.count(c.text) != 0;
            EXPECT_EQ(loads != c.valid, listed)
                << "\"" << c.text << "\": RFC " << (c.valid ? "accepts" : "refuses") << ", the loader "
                << (loads ? "accepts" : "refuses");
            if (loads && c.valid) check_fields(c.text, d);
        }
    }
}

}  // namespace
}  // namespace qor
