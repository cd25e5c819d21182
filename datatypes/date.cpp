// date!: day numbers, normalisation, fields, construction from blocks and
// epoch seconds, arithmetic, comparison, random dates and the text form.
#include "datatypes/date.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/none.hpp"
#include "datatypes/number_hooks.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/system_fields.hpp"
#include "datatypes/word.hpp"
#include "datatypes/time.hpp"
#include "datatypes/unset.hpp"
#include "runtime/platform.hpp"
#include "runtime/random.hpp"

namespace qor {

using namespace number_support;

namespace date {

namespace {

constexpr double k_day = 86400.0;
constexpr int32_t k_year_min = -16384;   // what 15 signed bits hold
constexpr int32_t k_year_max = 16383;

// Remainder made non-negative.
inline int64_t mod_floor(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// Day number of a year, month and day (month and day may lie outside their
// ranges: the formula rolls them over).
int64_t days_of(int64_t y, int64_t m, int64_t d) {
    int64_t mm = (m + 9) % 12;   // March = 0 ... February = 11
    int64_t yy = y - mm / 10;
    return 365 * yy + yy / 4 - yy / 100 + yy / 400 + (306 * mm + 5) / 10 + (d - 1);
}

// The word of a day number; a year beyond what the word holds is
// math/overflow rather than a wrapped date.
uint32_t word_of_days(int64_t g, uint32_t zone, bool time) {
    int64_t y = int64_t(std::trunc((10000.0 * double(g) + 14780.0) / 3652425.0));
    int64_t r = g - (365 * y + y / 4 - y / 100 + y / 400);
    if (r < 0) {
        y -= 1;
        r = g - (365 * y + y / 4 - y / 100 + y / 400);
    }
    int64_t mi = (100 * r + 52) / 3060;
    int64_t month = (mi + 2) % 12 + 1;
    int64_t year = y + (mi + 2) / 12;
    int64_t day = r - (306 * mi + 5) / 10 + 1;
    if (year < k_year_min || year > k_year_max) raise_error("math", "overflow");
    return pack(int32_t(year), int32_t(month), int32_t(day), zone, time);
}

// The zone offset in fractional hours (sign applied to hours and quarters
// together, so -5:30 is -5.5).
double zone_hours(uint32_t zone) { return zone_seconds(zone) / 3600.0; }

// Normalises a 64-bit day count; the time must be finite.
int64_t normalize_days64(int64_t days, double* time, uint32_t zone) {
    double zh = zone_hours(zone);
    double t = *time;
    if (!std::isfinite(t) || std::fabs(t) > 1e15) raise_error("math", "overflow");
    int64_t n = int64_t(std::trunc(t / 3600.0 + zh)) / 24;
    days += n;
    t -= k_day * double(n);
    if (zh * 3600.0 + t < 0) {
        days -= 1;
        t += k_day;
    }
    *time = t;
    return days;
}

double to_local(double t, uint32_t zone) { return t + zone_seconds(zone); }
double to_utc(double t, uint32_t zone) { return t - zone_seconds(zone); }

// Rebuilds the word from a day number keeping the cell's zone and has-time.
void set_days(Cell* date, int64_t days) {
    uint32_t w = date->data1;
    date->data1 = word_of_days(days, zone_of(w), has_time(w));
}

int32_t isoweek_start(uint32_t word, int32_t* jan1_weekday) {
    int32_t j = year_start_days(word);
    int32_t w = weekday(j);
    if (jan1_weekday) *jan1_weekday = w;
    return w < 5 ? j + 1 - w : j + 8 - w;
}

// The month set to m (any integer): the year moves by whole years and a day
// past the month's end rolls into the next month.
void set_month(Cell* date, int64_t m) {
    uint32_t w = date->data1;
    int64_t year = int64_t(year_of(w)) + (m - 1 - mod_floor(m - 1, 12)) / 12;
    int64_t month = mod_floor(m - 1, 12) + 1;
    set_days(date, days_of(year, month, day_of(w)));
}

void set_year(Cell* date, int64_t year) {
    uint32_t w = date->data1;
    set_days(date, days_of(year, month_of(w), day_of(w)));
}

void set_week(Cell* date, int32_t n) {
    int64_t start = year_start_days(date->data1);
    if (n <= 1) {
        set_days(date, start);
        return;
    }
    int64_t s = mod_floor(start + 3, 7);
    set_days(date, start + 7 * int64_t(n) - s - 7);
}

int32_t read_week(uint32_t word) {
    int32_t start = year_start_days(word);
    int32_t e = int32_t(mod_floor(int64_t(start) + 3, 7));
    int32_t yearday = to_days(word) - start + 1;
    if (yearday <= 7 - e) return 1;
    return (yearday + e - 1) / 7 + 1;
}

int32_t read_isoweek(uint32_t word) {
    int32_t w;
    int32_t s = isoweek_start(word, &w);
    int32_t d = to_days(word);
    if (d < s) {
        if (w == 5) return 53;
        if (w == 6) return leap_year_q(year_of(word) - 1) ? 53 : 52;
        return 52;
    }
    uint32_t next_year = pack(year_of(word) + 1, 1, 1, 0, false);
    int32_t s2 = isoweek_start(next_year, nullptr);
    return d < s2 ? (d - s) / 7 + 1 : 1;
}


// The zone bits of set-zone's value: integer hours (remainder by 16) or a
// time (modulo 16 hours); the sign covers hours and minutes together.
uint32_t zone_from_value(const Cell* value) {
    if (type_of(value) == TYPE_INTEGER) {
        int32_t hours = integer::get_value(value) % 16;
        return zone_bits(hours * 60);
    }
    if (type_of(value) == TYPE_TIME) {
        double x = std::fmod(cell_float(value), 57600.0);
        int32_t hours = time::get_hours(x);
        int32_t minutes = time::get_minutes(x);
        return zone_bits(hours * 60 + (x < 0 ? -minutes : minutes));
    }
    raise_error("script", "invalid-arg", value);
}

void set_zone(Cell* date, const Cell* value, bool keep_instant) {
    uint32_t zone = zone_from_value(value);
    uint32_t w = date->data1 | HAS_TIME;
    double t = stored_time(date);
    if (keep_instant) {
        date->data1 = (w & ~ZONE_MASK) | zone;
        normalize(date, t, false);
    } else {
        double local = to_local(t, zone_of(w));
        date->data1 = (w & ~ZONE_MASK) | zone;
        set_cell_float(date, to_utc(local, zone));
    }
}

}  // namespace

// ---- Zones and day numbers ----------------------------------------------------------------------

uint32_t zone_bits(int32_t offset_minutes) { return platform::zone_bits(offset_minutes); }

int32_t zone_seconds(uint32_t zone) {
    int32_t s = int32_t((zone >> 2) & 15u) * 3600 + int32_t(zone & 3u) * 900;
    return (zone & ZONE_WEST) ? -s : s;
}

int32_t to_days(uint32_t word) { return int32_t(days_of(year_of(word), month_of(word), day_of(word))); }

uint32_t from_days(int32_t days, uint32_t zone, bool time) { return word_of_days(days, zone, time); }

bool leap_year_q(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int32_t year_start_days(uint32_t word) { return int32_t(days_of(year_of(word), 1, 1)); }

int32_t weekday(int32_t days) { return int32_t(mod_floor(int64_t(days) + 2, 7)) + 1; }

int32_t normalize_days(int32_t days, double* time, uint32_t zone) {
    int64_t d = normalize_days64(days, time, zone);
    if (d < INT32_MIN || d > INT32_MAX) raise_error("math", "overflow");
    return int32_t(d);
}

void normalize(Cell* date, double time, bool from_local) {
    uint32_t w = date->data1;
    if (from_local) time = to_utc(time, zone_of(w));
    int64_t days = normalize_days64(to_days(w), &time, zone_of(w));
    date->data1 = word_of_days(days, zone_of(w), has_time(w));
    set_cell_float(date, time);
}

// ---- Constructors -----------------------------------------------------------------------------------

void init_cell(Cell* cell, int32_t year, int32_t month, int32_t day, double seconds,
               int32_t zone_hours, int32_t zone_minutes, bool with_time) {
    bool west = zone_hours < 0 || zone_minutes < 0;
    int32_t offset = std::abs(zone_hours) * 60 + std::abs(zone_minutes);
    uint32_t zone = zone_bits(west ? -offset : offset);
    cell->header = TYPE_DATE;
    cell->data1 = pack(year, month, day, zone, with_time);
    set_cell_float(cell, with_time ? to_utc(seconds, zone) : 0.0);
}

void init_cell_from_hms(Cell* cell, int32_t year, int32_t month, int32_t day, int32_t hour,
                        int32_t minute, int32_t second, int32_t nanoseconds) {
    *cell = make(pack(year, month, day, 0, true),
                 3600.0 * hour + 60.0 * minute + second + 1e-9 * nanoseconds);
}

Cell* new_in_block(Cell* block, uint32_t word, double stored) {
    Cell cell = make(word, stored);
    return block::append_copy(block, &cell);
}

Cell* push_new(uint32_t word, double stored) {
    Cell* cell = stack::push_slot();
    *cell = make(word, stored);
    return cell;
}

void set_isoweek(Cell* date, int32_t week) {
    set_days(date, int64_t(isoweek_start(date->data1, nullptr)) + 7 * int64_t(week) - 7);
}

void set_weekday(Cell* date, int32_t n) {
    int64_t d = to_days(date->data1);
    set_days(date, d + n - 1 - mod_floor(d + 2, 7));
}

void set_yearday(Cell* date, int32_t n) {
    set_days(date, int64_t(year_start_days(date->data1)) + n - 1);
}

// ---- Epoch seconds and difference -------------------------------------------------------------------

namespace {
const int32_t k_epoch_days = int32_t(days_of(1970, 1, 1));
}

int32_t to_epoch_seconds(const Cell* date) {
    double t = stored_time(date) + 0.5;
    double seconds = double(int64_t(to_days(date->data1)) - k_epoch_days) * k_day;
    seconds += std::floor(t);   // rounded to the nearest second, also below zero
    if (!(seconds >= -2147483648.0 && seconds <= 2147483647.0)) {
        Cell type = datatype_cell(TYPE_INTEGER);
        raise_error("script", "type-limit", &type);
    }
    return int32_t(seconds);
}

Cell from_epoch_seconds(int32_t n) {
    Cell cell = make(word_of_days(int64_t(n / 86400) + k_epoch_days, 0, true), double(n % 86400));
    if (n < 0) normalize(&cell, stored_time(&cell), false);
    return cell;
}

void difference(Cell* date, const Cell* other) {
    double days = double(int64_t(to_days(date->data1)) - to_days(other->data1));
    double seconds = days * k_day + (stored_time(date) - stored_time(other));
    time::init_cell(seconds, date);
}

// ---- Fields -----------------------------------------------------------------------------------------

int32_t field_of_word(const Cell* word) {
    static const char* const names[] = {
        "date", "year", "month", "day", "zone", "time", "hour", "minute", "second",
        "weekday", "yearday", "timezone", "week", "isoweek",
    };
    for (int32_t i = 0; i < 14; ++i)
        if (word::spelled(word, names[i])) return i + 1;
    if (word::spelled(word, "julian")) return FIELD_YEARDAY;
    return -1;
}

Cell field_value(const Cell* date, int32_t field) {
    uint32_t w = date->data1;
    double local = to_local(stored_time(date), zone_of(w));
    switch (field) {
    case FIELD_DATE:    return make(w & ~(HAS_TIME | ZONE_MASK), 0.0);
    case FIELD_YEAR:    return integer::make(year_of(w));
    case FIELD_MONTH:   return integer::make(month_of(w));
    case FIELD_DAY:     return integer::make(day_of(w));
    case FIELD_ZONE:
    case FIELD_TIMEZONE:
        if (!has_time(w)) return Cell{TYPE_NONE, 0, 0, 0};
        return time::make(double(zone_seconds(zone_of(w))));
    case FIELD_TIME:
        if (!has_time(w)) return Cell{TYPE_NONE, 0, 0, 0};
        return time::make(local);
    case FIELD_HOUR:    return integer::make(time::get_hours(local));
    case FIELD_MINUTE:  return integer::make(time::get_minutes(local));
    case FIELD_SECOND:  return float_::make(std::fmod(local, 60.0));
    case FIELD_WEEKDAY: return integer::make(weekday(to_days(w)));
    case FIELD_YEARDAY: return integer::make(to_days(w) - year_start_days(w) + 1);
    case FIELD_WEEK:    return integer::make(read_week(w));
    default:            return integer::make(read_isoweek(w));
    }
}

Cell* get_field(const Cell* date, int32_t field) {
    Cell value = field_value(date, field);
    return stack::push(&value);
}

// ---- The clock --------------------------------------------------------------------------------------

Cell now(bool utc, bool precise) {
    uint32_t packed = platform::date_today(utc);
    uint32_t zone = utc ? 0 : zone_of(packed);
    // The platform's time of day is UTC; the local one wraps around the
    // local date the platform gave.
    double local = platform::time_of_day(precise) + zone_seconds(zone);
    if (local < 0) local += k_day;
    if (local >= k_day) local -= k_day;
    return make((packed & ~(HAS_TIME | ZONE_MASK)) | zone | HAS_TIME, to_utc(local, zone));
}

}  // namespace date

// ---------------------------------------------------------------------------
// make and to

namespace {

// The walk over a block spec: per state and value class (integer, time,
// float), the next state and the part the value fills; -1 refuses.
enum Part : int8_t {
    P_NONE, P_DAY, P_MONTH, P_YEAR, P_HOUR, P_TIME, P_ZONE_HOURS, P_ZONE_TIME, P_ZONE_MINUTES,
    P_MINUTE, P_SECOND, P_SECOND_FRACTION,
};
struct Step {
    int8_t next;
    Part   part;
};
constexpr Step NO{-1, P_NONE};
constexpr Step DATE_SPEC_TABLE[14][3] = {
    {{1, P_DAY}, NO, NO},
    {{2, P_MONTH}, NO, NO},
    {{3, P_YEAR}, NO, NO},
    {{8, P_HOUR}, {4, P_TIME}, NO},
    {{6, P_ZONE_HOURS}, {5, P_ZONE_TIME}, NO},
    {NO, NO, NO},
    {{7, P_ZONE_MINUTES}, NO, NO},
    {NO, NO, NO},
    {{9, P_MINUTE}, NO, NO},
    {{10, P_SECOND}, NO, {10, P_SECOND_FRACTION}},
    {{12, P_ZONE_HOURS}, {11, P_ZONE_TIME}, NO},
    {NO, NO, NO},
    {{13, P_ZONE_MINUTES}, NO, NO},
    {NO, NO, NO},
};

[[noreturn]] void bad_spec(const Cell* spec) { raise_bad_to_arg(TYPE_DATE, spec); }

// The date a block describes, in the result slot; `validate` refuses one
// whose parts rolled over.
void from_block(Cell* spec, bool validate) {
    uint32_t count = block::length(spec);
    int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    int32_t zone_h = 0, zone_m = 0;
    double fraction = 0.0, time_given = 0.0, zone_time = 0.0;
    bool zone_as_time = false, separate = false;
    int32_t state = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const Cell* item = block::item(spec, i);
        int cls;
        switch (type_of(item)) {
        case TYPE_INTEGER: cls = 0; break;
        case TYPE_TIME:    cls = 1; break;
        case TYPE_FLOAT:   cls = 2; break;
        default:           bad_spec(spec);
        }
        Step step = DATE_SPEC_TABLE[state][cls];
        if (step.next < 0) bad_spec(spec);
        state = step.next;
        int32_t n = cls == 0 ? integer::get_value(item) : 0;
        switch (step.part) {
        case P_DAY:            day = n; break;
        case P_MONTH:          month = n; break;
        case P_YEAR:           year = n; break;
        case P_HOUR:           hour = n, separate = true; break;
        case P_MINUTE:         minute = n; break;
        case P_SECOND:         second = n; break;
        case P_SECOND_FRACTION: fraction = cell_float(item); break;
        case P_TIME:           time_given = cell_float(item); break;
        case P_ZONE_HOURS:     zone_h = n; break;
        case P_ZONE_MINUTES:   zone_m = n; break;
        case P_ZONE_TIME:      zone_time = cell_float(item), zone_as_time = true; break;
        case P_NONE:           break;
        }
    }
    if (count < 3) bad_spec(spec);
    bool with_time = count > 3;

    if (day >= 100 && day > year) std::swap(day, year);
    uint32_t zone;
    if (zone_as_time) {
        double x = zone_time;
        int32_t h = time::get_hours(x), m = time::get_minutes(x);
        zone = date::zone_bits(h * 60 + (x < 0 ? -m : m));
    } else {
        int64_t offset = int64_t(std::abs(int64_t(zone_h))) * 60 + std::abs(int64_t(zone_m));
        bool west = zone_h < 0 || zone_m < 0;
        if (offset > 16 * 60) offset = offset % (16 * 60);   // the zone keeps 4 bits of hours
        zone = date::zone_bits(int32_t(west ? -offset : offset));
    }
    double t = time_given;
    if (separate) t = 3600.0 * hour + 60.0 * minute + (fraction != 0.0 ? fraction : double(second));
    int32_t given_hour = separate ? hour : time::get_hours(t);
    int32_t given_minute = separate ? minute : time::get_minutes(t);
    if (!std::isfinite(t)) bad_spec(spec);

    Cell* result = stack::arguments_base();
    // Day 0 of the month (rolled over by whole years), then the day added:
    // days and months past their ends roll forward.
    int64_t m0 = int64_t(month) - 1;
    int64_t rolled_month = date::mod_floor(m0, 12);
    int64_t rolled_year = int64_t(year) + (m0 - rolled_month) / 12;
    int64_t days = date::days_of(rolled_year, rolled_month + 1, 0) + day;
    Cell made = date::make(date::word_of_days(days, 0, with_time), 0.0);
    date::normalize(&made, t, false);
    if (validate) {
        uint32_t w = made.data1;
        bool ok = date::year_of(w) == year && date::month_of(w) == month && date::day_of(w) == day;
        double rt = date::stored_time(&made);
        if (t != 0.0) {
            int32_t h = time::get_hours(t);
            ok = ok && h >= 0 && h <= 23 && time::get_minutes(rt) == given_minute;
        } else {
            ok = ok && time::get_hours(rt) == given_hour && time::get_minutes(rt) == given_minute;
        }
        if (!ok) bad_spec(spec);
    }
    made.data1 = (made.data1 & ~date::ZONE_MASK) | zone;
    date::normalize(&made, date::stored_time(&made), true);
    *result = made;
}

Cell* make_or_to(Cell* spec, bool validate) {
    Cell* result = stack::arguments_base();
    switch (type_of(spec)) {
    case TYPE_DATE:
        *result = *spec;
        return result;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
        from_block(spec, validate);
        return result;
    case TYPE_INTEGER:
        if (!validate) {
            *result = date::from_epoch_seconds(integer::get_value(spec));
            return result;
        }
        [[fallthrough]];
    default:
        bad_spec(spec);
    }
}

}  // namespace

Cell* date_make(Cell* prototype, Cell* spec) { return make_or_to(spec, true); }
Cell* date_to(Cell* prototype, Cell* spec) { return make_or_to(spec, false); }

// ---------------------------------------------------------------------------
// random

Cell* date_random(Cell* value, bool seed, bool secure, bool only) {
    uint32_t w = value->data1;
    double t = date::stored_time(value);
    if (seed) {
        double tt = std::trunc(t);
        int32_t whole = std::isfinite(tt) && std::fabs(tt) < 2147483648.0 ? int32_t(tt) : 0;
        random::seed(int32_t(w + uint32_t(whole)));
        unset::set(value);
        return value;
    }
    int32_t r;
    if (!random::integer(secure, date::to_days(w), r)) raise_error("internal", "feature-na");
    uint32_t zone = date::zone_of(w);
    bool with_time = date::has_time(w);
    if (with_time) zone = uint32_t(random::next()) & date::ZONE_MASK;
    Cell made = date::make(date::from_days(r - 1, zone, with_time), 0.0);
    if (with_time) {
        double u;
        if (secure) {
            int32_t s1, s2;
            if (!random::secure_next(s1) || !random::secure_next(s2)) raise_error("internal", "feature-na");
            u = (double(s2) + double(s1) / 2147483647.0) / (2147483648.0 / 3600.0);
        } else {
            u = double(random::next()) / 2147483647.0 * 3600.0;
        }
        date::normalize(&made, std::floor(u) / 3600.0 * 24.0 * 3600.0, true);
    }
    made.header = (value->header & ~TYPE_MASK) | TYPE_DATE;
    *value = made;
    return value;
}

// ---------------------------------------------------------------------------
// Text

namespace {

constexpr const char* FALLBACK_MONTHS[12] = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
};

// Up to three characters of the month's name from system/locale/months;
// before the system object exists, the English abbreviations.
uint32_t month_chars(int32_t month, uint32_t out[3]) {
    const Cell* system = system_fields::value({});
    if (!system || type_of(system) != TYPE_OBJECT) {
        const char* name = FALLBACK_MONTHS[(month + 11) % 12];
        for (int i = 0; i < 3; ++i) out[i] = uint8_t(name[i]);
        return 3;
    }
    const Cell* months = system_fields::field(system_fields::field(system, "locale"), "months");
    if (!months || !is_any_block(type_of(months)) || month < 1) raise_error("script", "invalid-months");
    uint32_t index = uint32_t(month - 1);
    if (index >= block::length(months)) raise_error("script", "invalid-months");
    const Cell* name = block::item(months, index);
    if (type_of(name) != TYPE_STRING) raise_error("script", "invalid-months");
    uint32_t n = string::length(name);
    if (n > 3) n = 3;
    for (uint32_t i = 0; i < n; ++i) out[i] = string::char_at(name, uint32_t(string::index_of(name)) + i);
    return n;
}

int32_t append_decimal(Cell* out, int32_t value, int32_t limit) {
    const char* text = integer::to_decimal_chars(value);
    uint32_t n = uint32_t(std::strlen(text));
    append_text(out, text, n);
    return limit - int32_t(n);
}

int32_t date_text(Cell* value, Cell* out, int32_t limit) {
    uint32_t w = value->data1;
    int32_t year = date::year_of(w);
    uint32_t name[3];
    uint32_t name_length = month_chars(date::month_of(w), name);
    const char* sep = int32_t(w) < 0 ? "/" : "-";

    limit = append_decimal(out, date::day_of(w), limit);
    append_text(out, sep, 1);
    for (uint32_t i = 0; i < name_length; ++i) string::append_char(out, name[i]);
    append_text(out, sep, 1);
    limit -= 2 + int32_t(name_length);
    if (year < 0) {
        append_text(out, "-", 1);
        limit--;
    }
    int32_t magnitude = year < 0 ? -year : year;
    if (magnitude <= 99) {
        char text[5] = {'0', '0', char('0' + magnitude / 10), char('0' + magnitude % 10), 0};
        append_text(out, text, 4);
        limit -= 4;
    } else {
        limit = append_decimal(out, magnitude, limit);
    }
    if (date::has_time(w)) {
        uint32_t zone = date::zone_of(w);
        append_text(out, "/", 1);
        limit = time::form_text(date::stored_time(value) + date::zone_seconds(zone), out, limit - 1);
        if (zone != 0) {
            int32_t hours = int32_t((zone >> 2) & 15u);
            int32_t minutes = int32_t(zone & 3u) * 15;
            char text[7] = {(zone & date::ZONE_WEST) ? '-' : '+', char('0' + hours / 10),
                            char('0' + hours % 10), ':', char('0' + minutes / 10),
                            char('0' + minutes % 10), 0};
            append_text(out, text, 6);
            limit -= 6;
        }
    }
    return limit;
}

}  // namespace

int32_t date_form(Cell* value, Cell* out, Cell* part, int32_t limit) {
    return date_text(value, out, limit);
}

int32_t date_mold(Cell* value, Cell* out, bool only, bool all, bool flat, Cell* part,
                  int32_t limit, int32_t indent) {
    return date_text(value, out, limit);
}

// ---------------------------------------------------------------------------
// Paths and pick

namespace {

int32_t path_field(const Cell* element) {
    uint32_t t = type_of(element);
    if (t == TYPE_INTEGER) {
        int32_t n = integer::get_value(element);
        return n >= 1 && n <= 14 ? n : -1;
    }
    if (is_any_word(t)) return date::field_of_word(element);
    return -1;
}

// Writes one field; the value's type was not checked yet.
void set_field(Cell* d, int32_t field, const Cell* v) {
    uint32_t vt = type_of(v);
    switch (field) {
    case date::FIELD_DATE:
        if (vt != TYPE_DATE) raise_error("script", "invalid-arg", v);
        d->data1 = (v->data1 & ~date::ZONE_MASK) | date::zone_of(d->data1);
        return;
    case date::FIELD_ZONE:
    case date::FIELD_TIMEZONE:
        if (vt != TYPE_INTEGER && vt != TYPE_TIME) raise_error("script", "invalid-arg", v);
        date::set_zone(d, v, field == date::FIELD_TIMEZONE);
        return;
    case date::FIELD_TIME:
        if (vt == TYPE_NONE) {
            d->data1 &= ~date::HAS_TIME;
            set_cell_float(d, 0.0);
            return;
        }
        if (vt != TYPE_TIME) raise_error("script", "invalid-arg", v);
        d->data1 |= date::HAS_TIME;
        date::normalize(d, cell_float(v), true);
        return;
    case date::FIELD_HOUR:
    case date::FIELD_MINUTE:
    case date::FIELD_SECOND:
        if (vt != TYPE_INTEGER && !(field == date::FIELD_SECOND && vt == TYPE_FLOAT))
            raise_error("script", "invalid-arg", v);
        time::set_field(d, field - 6, v);
        d->data1 |= date::HAS_TIME;
        date::normalize(d, date::stored_time(d), field == date::FIELD_HOUR);
        return;
    default:
        break;
    }
    if (vt != TYPE_INTEGER) raise_error("script", "invalid-arg", v);
    int32_t n = integer::get_value(v);
    switch (field) {
    case date::FIELD_YEAR:    date::set_year(d, n); break;
    case date::FIELD_MONTH:   date::set_month(d, n); break;
    case date::FIELD_DAY: {
        uint32_t w = d->data1;
        date::set_days(d, date::days_of(date::year_of(w), date::month_of(w), 0) + n);
        break;
    }
    case date::FIELD_WEEKDAY: date::set_weekday(d, n); break;
    case date::FIELD_YEARDAY: date::set_yearday(d, n); break;
    case date::FIELD_WEEK:    date::set_week(d, n); break;
    default:                  date::set_isoweek(d, n); break;
    }
}

}  // namespace

Cell* date_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell* parent,
                     Cell* previous, int32_t step, bool case_sensitive, uint32_t reserved,
                     bool last, bool notify) {
    int32_t field = path_field(element);
    if (field < 0) raise_error("script", "invalid-path", path, element);
    if (!new_value) return date::get_field(value, field);

    Cell old = *value;
    Cell changed = *value;
    set_field(&changed, field, new_value);   // the value stays as it was when this raises
    *value = changed;
    auto tell = number_hooks::get().notify_path_change;
    if (notify && tell && parent) tell(parent, previous, &old, value, field);
    return new_value;
}

Cell* date_pick(Cell* value, int32_t index) {
    Cell index_cell = pick_index_arg(value, index);
    if (is_any_word(type_of(&index_cell))) index = date::field_of_word(&index_cell);
    if (index < 1 || index > 14) raise_error("script", "out-of-range", &index_cell);
    return date::get_field(value, index);
}

// ---------------------------------------------------------------------------
// Comparison

int32_t date_compare(Cell* value1, Cell* value2, int32_t op) {
    if (type_of(value2) != TYPE_DATE) return COMPARE_INCOMPARABLE;
    int32_t k1 = int32_t(value1->data1 & ~date::HAS_TIME) >> 7;
    int32_t k2 = int32_t(value2->data1 & ~date::HAS_TIME) >> 7;
    double t1 = date::stored_time(value1), t2 = date::stored_time(value2);
    bool equal = k1 == k2 && float_::near_equal_q(t1, t2);
    switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_FIND:
        return equal ? 0 : 1;
    case COMP_SAME:
        return k1 == k2 && std::memcmp(&value1->data2, &value2->data2, 8) == 0 ? 0 : 1;
    default:
        if (equal) return 0;
        if (k1 != k2) return k1 < k2 ? -1 : 1;
        return (t1 > t2) - (t1 < t2);
    }
}

// ---------------------------------------------------------------------------
// Arithmetic

namespace {

void do_math(int32_t op) {
    Cell* left = stack::arguments_base();
    const Cell* right = left + 1;
    int64_t days = 0;
    double seconds = 0.0;
    bool dates = false, set_time = false;
    switch (type_of(right)) {
    case TYPE_INTEGER: days = integer::get_value(right); break;
    case TYPE_TIME: seconds = cell_float(right), set_time = true; break;
    case TYPE_DATE:
        if (op == MATH_ADD) raise_not_related("add", TYPE_DATE);
        days = date::to_days(right->data1);
        seconds = date::stored_time(right);
        dates = true;
        break;
    default:
        raise_invalid_type(type_of(right));
    }
    uint32_t w = left->data1;
    int64_t d = date::to_days(w);
    double t = date::stored_time(left);
    if (op == MATH_ADD) {
        d += days;
        t += seconds;
    } else {
        d -= days;
        t -= seconds;
    }
    d = date::normalize_days64(d, &t, date::zone_of(w));
    if (dates) {
        if (d < INT32_MIN || d > INT32_MAX) raise_error("math", "overflow");
        integer::set(left, int32_t(d));
        return;
    }
    Cell result = date::make(date::word_of_days(d, date::zone_of(w), date::has_time(w) || set_time), t);
    result.header = (left->header & ~TYPE_MASK) | TYPE_DATE;
    *left = result;
}

}  // namespace

void date_add() { do_math(MATH_ADD); }
void date_subtract() { do_math(MATH_SUBTRACT); }

// ---------------------------------------------------------------------------
// Registration

namespace date {

void init() {
    TypeSpec spec = make_type_spec(TYPE_DATE);
    set_slot<SLOT_MAKE>(spec, date_make);
    set_slot<SLOT_RANDOM>(spec, date_random);
    set_slot<SLOT_TO>(spec, date_to);
    set_slot<SLOT_FORM>(spec, date_form);
    set_slot<SLOT_MOLD>(spec, date_mold);
    set_slot<SLOT_EVAL_PATH>(spec, date_eval_path);
    set_slot<SLOT_COMPARE>(spec, date_compare);
    set_slot<SLOT_ADD>(spec, date_add);
    set_slot<SLOT_SUBTRACT>(spec, date_subtract);
    set_slot<SLOT_PICK>(spec, date_pick);
    install_datatype(TYPE_SPEC_WORDS, &spec);
    number_hooks::get().date_to_epoch_seconds = to_epoch_seconds;
}

}  // namespace date

}  // namespace qor
