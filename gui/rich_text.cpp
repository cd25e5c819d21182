// Rich text: style runs and fixed-metric layout queries.
#include "gui/rich_text.hpp"

#include <cmath>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"

namespace qor::gui::rich_text {

namespace {

bool word_named(const Cell* v, const char* name) { return type_of(v) == TYPE_WORD && word::spelled(v, name); }

uint32_t colorref(const Cell* t, uint32_t* alpha) {
    uint8_t b[tuple::MAX_COUNT];
    tuple::get_bytes(t, b);
    *alpha = tuple::count(t) >= 4 ? b[3] : 0;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16;
}

struct Line {
    uint32_t start, length;   // characters
};

std::vector<Line> lines_of(const std::vector<uint32_t>& text) {
    std::vector<Line> lines;
    uint32_t start = 0;
    for (uint32_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            lines.push_back({start, i - start});
            start = i + 1;
        }
    lines.push_back({start, uint32_t(text.size()) - start});
    return lines;
}

double coordinate(const Cell* p, int i) {
    if (type_of(p) == TYPE_PAIR) return i == 0 ? pair::x_of(p) : pair::y_of(p);
    return point::coordinate(p, i);
}

}  // namespace

std::vector<uint32_t> code_points(const Cell* text) {
    std::u32string points = string::to_code_points(text);
    return std::vector<uint32_t>(points.begin(), points.end());
}

uint32_t utf16_position(const std::vector<uint32_t>& text, uint32_t index) {
    uint32_t pos = 0;
    for (uint32_t i = 0; i < index && i < text.size(); ++i) pos += text[i] > 0xFFFF ? 2 : 1;
    return pos;
}

uint32_t character_index(const std::vector<uint32_t>& text, uint32_t position) {
    uint32_t pos = 0, i = 0;
    for (; i < text.size() && pos < position; ++i) pos += text[i] > 0xFFFF ? 2 : 1;
    return i;
}

std::vector<StyleRun> style_runs(const Cell* data, const std::vector<uint32_t>& text) {
    std::vector<StyleRun> runs;
    if (!data || type_of(data) != TYPE_BLOCK) return runs;
    uint32_t n = block::length(data);
    const uint32_t chars = uint32_t(text.size());
    StyleRun* run = nullptr;
    bool keep = false;
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* v = block::item(data, i);
        if (type_of(v) == TYPE_PAIR) {
            int32_t start = pair::x_of(v) - 1, length = pair::y_of(v);
            if (start < 0) {
                length += start;
                start = 0;
            }
            keep = length > 0 && uint32_t(start) < chars;
            if (keep && uint32_t(start + length) > chars) length = int32_t(chars) - start;
            runs.push_back(StyleRun{});
            run = &runs.back();
            run->start = utf16_position(text, uint32_t(start));
            run->length = keep ? utf16_position(text, uint32_t(start + length)) - run->start : 0;
            continue;
        }
        if (!run) continue;   // styles before the first range
        if (word_named(v, "bold")) run->bold = true;
        else if (word_named(v, "italic")) run->italic = true;
        else if (word_named(v, "underline")) run->underline = true;
        else if (word_named(v, "strike")) run->strike = true;
        else if (word_named(v, "backdrop")) {
            if (i + 1 < n && type_of(block::item(data, i + 1)) == TYPE_TUPLE) {
                run->has_backdrop = true;
                run->backdrop = colorref(block::item(data, ++i), &run->backdrop_alpha);
            }
        } else if (type_of(v) == TYPE_TUPLE) {
            run->has_color = true;
            run->color = colorref(v, &run->alpha);
        } else if (type_of(v) == TYPE_INTEGER) {
            run->size = integer::get_value(v);
        } else if (type_of(v) == TYPE_FLOAT) {
            run->size = float_::get_value(v);
        } else if (type_of(v) == TYPE_STRING) {
            run->font = string::to_utf8(v);
        }
    }
    std::vector<StyleRun> kept;
    for (const StyleRun& r : runs)
        if (r.length > 0) kept.push_back(r);
    return kept;
}

bool fixed_metrics(const std::vector<uint32_t>& text, const Cell* arg, int32_t type, int32_t cw, int32_t lh,
                   Cell* out) {
    std::vector<Line> lines = lines_of(text);
    auto caret = [&](int32_t n, double* x, double* y) {   // n: 1-based character
        uint32_t index = n < 1 ? 0 : std::min<uint32_t>(uint32_t(n - 1), uint32_t(text.size()));
        uint32_t k = 0;
        while (k + 1 < lines.size() && index > lines[k].start + lines[k].length) ++k;
        *x = double(index - lines[k].start) * cw;
        *y = double(k) * lh;
    };
    switch (type) {
    case 0: case 6: {
        if (type_of(arg) != TYPE_INTEGER) return false;
        double x, y;
        caret(integer::get_value(arg), &x, &y);
        if (type == 6) {
            x += cw;
            y += lh;
        }
        *out = point::make2d(x, y);
        return true;
    }
    case 1: case 5: {
        if (type_of(arg) != TYPE_PAIR && type_of(arg) != TYPE_POINT2D) return false;
        double x = coordinate(arg, 0), y = coordinate(arg, 1);
        int32_t k = y < 0 ? 0 : int32_t(y / lh);
        if (k >= int32_t(lines.size())) k = int32_t(lines.size()) - 1;
        const Line& line = lines[size_t(k)];
        double cells = x < 0 ? 0 : x / cw;
        uint32_t col = uint32_t(cells);
        if (type == 1 && cells - col >= 0.5) ++col;   // the trailing half of a character
        if (col > line.length) col = line.length;
        *out = integer::make(int32_t(line.start + col + 1));
        return true;
    }
    case 2:
        *out = float_::make(double(lh));
        return true;
    case 3: {
        uint32_t longest = 0;
        for (const Line& l : lines) longest = std::max(longest, l.length);
        *out = point::make2d(double(longest) * cw, double(lines.size()) * lh);
        return true;
    }
    default:
        *out = integer::make(int32_t(lines.size()));
        return true;
    }
}

}  // namespace qor::gui::rich_text
