// Date literals: the forms the lexer's date tokens take, read into a date!.
#include "datatypes/date.hpp"

#include <cstring>

#include "datatypes/number_scan.hpp"

namespace qor::date {

namespace {

// The parts of a date literal.
struct DateParts {
    int32_t year = 0, month = 0, day = 0;
    bool    has_time = false;
    int32_t hour = 0, minute = 0;
    double  second = 0;
    bool    has_zone = false;
    bool    zone_west = false;   // a "-" zone, also when its hours are 0
    int32_t zone_hours = 0, zone_minutes = 0;
};

inline bool is_digit(uint32_t c) { return c >= '0' && c <= '9'; }
inline char lower(uint8_t c) { return char(c >= 'A' && c <= 'Z' ? c | 0x20 : c); }

constexpr const char* MONTHS[12] = {
    "january", "february", "march", "april", "may", "june",
    "july", "august", "september", "october", "november", "december",
};

bool leap_year(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int32_t month_days(int32_t y, int32_t m) {
    static const int32_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap_year(y) ? 29 : days[m - 1];
}

// A month name (a prefix of 3 to 9 letters of its full name) or number.
int32_t read_month(const uint8_t*& p, const uint8_t* end) {
    if (p < end && is_digit(*p)) {
        int32_t m = 0, n = 0;
        while (p < end && is_digit(*p) && n < 2) m = m * 10 + (*p++ - '0'), n++;
        return m;
    }
    const uint8_t* q = p;
    while (q < end && ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z')) q++;
    uint32_t n = uint32_t(q - p);
    if (n < 3 || n > 9) return 0;
    for (int32_t m = 0; m < 12; m++) {
        if (std::strlen(MONTHS[m]) < n) continue;
        bool same = true;
        for (uint32_t i = 0; i < n && same; i++) same = lower(p[i]) == MONTHS[m][i];
        if (same) {
            p = q;
            return m + 1;
        }
    }
    return 0;
}

// A signed number of up to `max` digits; false when there is none.
bool read_number(const uint8_t*& p, const uint8_t* end, uint32_t max, int32_t* value, uint32_t* digits) {
    bool negative = p < end && *p == '-';
    const uint8_t* q = negative ? p + 1 : p;
    int32_t v = 0;
    uint32_t n = 0;
    while (q < end && is_digit(*q)) {
        if (++n > max) return false;
        v = v * 10 + (*q++ - '0');
    }
    if (n == 0) return false;
    p = q;
    *value = negative ? -v : v;
    *digits = n;
    return true;
}

// Z, or a zone: a sign, hours of up to two digits, an optional ":" and two
// digits of minutes; nothing may follow.
bool read_zone(const uint8_t* p, const uint8_t* end, DateParts* d) {
    if (p < end && (*p == 'Z' || *p == 'z')) {
        d->has_zone = true;
        return p + 1 == end;
    }
    if (p == end || (*p != '+' && *p != '-')) return false;
    bool negative = *p++ == '-';
    int32_t hh = 0, mm = 0;
    uint32_t count = 0;
    while (p < end && is_digit(*p) && count < 2) hh = hh * 10 + (*p++ - '0'), count++;
    if (count == 0) return false;
    if (p < end && *p == ':') p++;
    if (p < end) {
        count = 0;
        while (p < end && is_digit(*p) && count < 2) mm = mm * 10 + (*p++ - '0'), count++;
        if (count != 2 || mm > 59) return false;
    }
    d->has_zone = true;
    d->zone_west = negative;
    d->zone_hours = negative ? -hh : hh;
    d->zone_minutes = mm;
    return p == end;
}

// The time part of a date: hh:mm[:ss[.frac]] then Z or a zone.
bool read_date_time(const uint8_t* p, const uint8_t* end, DateParts* d) {
    int32_t v;
    uint32_t n;
    d->has_time = true;
    if (!read_number(p, end, 2, &v, &n) || v < 0) return false;
    d->hour = v;
    if (p == end || *p != ':') return false;
    p++;
    if (!read_number(p, end, 2, &v, &n) || v < 0) return false;
    d->minute = v;
    if (p < end && *p == ':') {
        const uint8_t* s = ++p;
        while (p < end && (is_digit(*p) || *p == '.')) p++;
        if (!number_scan::read_float(s, p, 0, &d->second)) return false;
    }
    return p == end || read_zone(p, end, d);
}

bool date_checks(DateParts* d) {
    if (d->month < 1 || d->month > 12) return false;
    if (d->year < -9999 || d->year > 9999) return false;
    if (d->day < 1 || d->day > month_days(d->year, d->month)) return false;
    if (d->has_time && (d->hour > 23 || d->minute > 59 || d->second >= 60.0)) return false;
    if (d->zone_hours < -15 || d->zone_hours > 15) return false;
    return true;
}

// Day of an ISO week (week 1 holds the year's first Thursday).
void iso_week_date(int32_t year, int32_t week, int32_t weekday, DateParts* d) {
    // Day of the week of January 4 (1 Monday .. 7 Sunday), Zeller-style.
    int32_t y = year - 1;
    int32_t jan1 = (1 + 5 * (y % 4) + 4 * (y % 100) + 6 * (y % 400)) % 7;  // 0 Sunday
    int32_t jan1_iso = jan1 == 0 ? 7 : jan1;
    int32_t ordinal = (week - 1) * 7 + weekday - (jan1_iso - 1) + (jan1_iso <= 4 ? 0 : 7);
    d->year = year;
    while (ordinal < 1) {
        d->year--;
        ordinal += leap_year(d->year) ? 366 : 365;
    }
    while (ordinal > (leap_year(d->year) ? 366 : 365)) {
        ordinal -= leap_year(d->year) ? 366 : 365;
        d->year++;
    }
    int32_t m = 1;
    while (ordinal > month_days(d->year, m)) ordinal -= month_days(d->year, m++);
    d->month = m;
    d->day = ordinal;
}

bool parse_date(const uint8_t* start, const uint8_t* end, DateParts* d) {
    *d = DateParts{};
    const uint8_t* p = start;
    // The basic form yyyymmddThhmm[ss].
    const uint8_t* t = start;
    while (t < end && is_digit(*t)) t++;
    if (t - start == 8 && t < end && *t == 'T') {
        auto num = [](const uint8_t* q, int n) {
            int32_t v = 0;
            for (int i = 0; i < n; i++) v = v * 10 + (q[i] - '0');
            return v;
        };
        d->year = num(start, 4), d->month = num(start + 4, 2), d->day = num(start + 6, 2);
        const uint8_t* h = t + 1;
        const uint8_t* q = h;
        while (q < end && is_digit(*q)) q++;
        if (q - h != 4 && q - h != 6) return false;
        d->has_time = true;
        d->hour = num(h, 2), d->minute = num(h + 2, 2);
        if (q - h == 6) d->second = num(h + 4, 2);
        if (q < end && !read_zone(q, end, d)) return false;
        return date_checks(d);
    }
    int32_t first;
    uint32_t first_digits;
    if (!read_number(p, end, 5, &first, &first_digits) || p == end) return false;
    uint8_t sep = *p;
    if (sep != '-' && sep != '/') return false;
    p++;
    // yyyy-ddd and yyyy-Www[-d].
    if (sep == '-' && p < end && (*p == 'W' || *p == 'w')) {
        int32_t week, weekday = 1;
        uint32_t n;
        p++;
        if (!read_number(p, end, 2, &week, &n) || n != 2 || week < 1 || week > 53) return false;
        if (p < end && *p == '-') {
            p++;
            if (!read_number(p, end, 1, &weekday, &n) || weekday < 1 || weekday > 7) return false;
        }
        iso_week_date(first, week, weekday, d);
        if (p < end) {
            if (*p != '/' && *p != 'T') return false;
            if (!read_date_time(p + 1, end, d)) return false;
        }
        return date_checks(d);
    }
    const uint8_t* q = p;
    while (q < end && is_digit(*q)) q++;
    if (sep == '-' && q - p == 3 && (q == end || *q == '/' || *q == 'T')) {
        int32_t ordinal = (p[0] - '0') * 100 + (p[1] - '0') * 10 + (p[2] - '0');
        if (ordinal == 0 || ordinal > (leap_year(first) ? 366 : 365)) return false;
        d->year = first;
        int32_t m = 1;
        while (ordinal > month_days(first, m)) ordinal -= month_days(first, m++);
        d->month = m, d->day = ordinal;
        if (q < end && !read_date_time(q + 1, end, d)) return false;
        return date_checks(d);
    }
    int32_t month = read_month(p, end);
    if (month == 0 || p == end || *p != sep) return false;
    p++;
    int32_t last;
    uint32_t last_digits;
    if (!read_number(p, end, 4, &last, &last_digits)) return false;
    // Day first when the first number is small or the last cannot be a day.
    if ((first <= 99 && first_digits <= 2) || last < 0 || last > 31) {
        d->day = first;
        d->year = last;
        if (last_digits <= 2 && last >= 0) d->year = last <= 49 ? 2000 + last : 1900 + last;
    } else {
        d->year = first;
        d->day = last;
    }
    d->month = month;
    if (p < end) {
        if (*p != '/' && *p != 'T') return false;
        if (!read_date_time(p + 1, end, d)) return false;
    }
    return date_checks(d);
}

}  // namespace

uint32_t decode_literal(const uint8_t* start, const uint8_t* end, uint32_t, bool make, Cell* out) {
    DateParts d;
    if (!parse_date(start, end, &d)) return TYPE_DATE;
    out->header = TYPE_DATE;
    if (!make) return 0;
    // A zone west of UTC is negative in hours and minutes alike (-00:30).
    int32_t zone_minutes = d.zone_west ? -d.zone_minutes : d.zone_minutes;
    init_cell(out, d.year, d.month, d.day, d.hour * 3600.0 + d.minute * 60.0 + d.second, d.zone_hours,
              zone_minutes, d.has_time);
    return 0;
}

}  // namespace qor::date
