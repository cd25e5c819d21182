// Rich text over DirectWrite: style runs applied to a text layout, and the
// metrics queries answered from it.

#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/box_geometry.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <dwrite.h>

namespace qor::gui::win32 {

namespace {

// Process-wide buffers that only grow.
std::vector<DWRITE_LINE_METRICS> g_lines;

std::wstring wide(const std::string& s) {
    std::u16string u = dialogs::utf16(s);
    return std::wstring(u.begin(), u.end());
}

float coordinate(const Cell* p, int i) {
    if (type_of(p) == TYPE_PAIR) return float(i == 0 ? pair::x_of(p) : pair::y_of(p));
    return point::coordinate(p, i);
}

}  // namespace

void apply_runs(void* raw, const std::vector<StyleRun>& runs, const RunSink& sink) {
    auto* layout = static_cast<IDWriteTextLayout*>(raw);
    if (!layout) return;
    for (const StyleRun& r : runs) {
        DWRITE_TEXT_RANGE range{r.start, r.length};
        if (r.has_color && sink.color) sink.color(layout, r.start, r.length, r.color, r.alpha);
        if (r.has_backdrop && sink.backdrop) sink.backdrop(r.start, r.length, r.backdrop, r.backdrop_alpha);
        if (r.bold) layout->SetFontWeight(DWRITE_FONT_WEIGHT_BOLD, range);
        if (r.italic) layout->SetFontStyle(DWRITE_FONT_STYLE_ITALIC, range);
        if (r.underline) layout->SetUnderline(TRUE, range);
        if (r.strike) layout->SetStrikethrough(TRUE, range);
        if (!r.font.empty()) {
            std::wstring name = wide(r.font);
            layout->SetFontFamilyName(name.c_str(), range);
        }
        if (r.size > 0) layout->SetFontSize(float(r.size * 96.0 / 72.0), range);
    }
}

bool layout_text_size(void* raw, double scale, double* w, double* h) {
    auto* layout = static_cast<IDWriteTextLayout*>(raw);
    if (!layout) return false;
    DWRITE_TEXT_METRICS m{};
    if (FAILED(layout->GetMetrics(&m))) return false;
    *w = m.width * 0.98 / scale;   // the laid-out width runs a little wide of the drawn text
    *h = m.height / scale;
    return true;
}

bool layout_metrics(void* raw, const std::vector<uint32_t>& text, const Cell* arg, int32_t type, Cell* out) {
    auto* layout = static_cast<IDWriteTextLayout*>(raw);
    if (!layout) return false;
    switch (type) {
    case 0: case 6: {
        if (type_of(arg) != TYPE_INTEGER) return false;
        int32_t n = integer::get_value(arg);
        uint32_t position = rich_text::utf16_position(text, n > 0 ? uint32_t(n - 1) : 0);
        float x = 0, y = 0;
        DWRITE_HIT_TEST_METRICS hit{};
        layout->HitTestTextPosition(position, FALSE, &x, &y, &hit);
        if (y < 0) y = 0;
        if (type == 6) {
            x += hit.width;
            y += hit.height;
        }
        *out = point::make2d(x, y);
        return true;
    }
    case 1: case 5: {
        if (type_of(arg) != TYPE_PAIR && type_of(arg) != TYPE_POINT2D) return false;
        BOOL trailing = FALSE, inside = FALSE;
        DWRITE_HIT_TEST_METRICS hit{};
        layout->HitTestPoint(coordinate(arg, 0), coordinate(arg, 1), &trailing, &inside, &hit);
        uint32_t index = rich_text::character_index(text, hit.textPosition);
        if (type == 1 && trailing) ++index;
        *out = integer::make(int32_t(index + 1));
        return true;
    }
    case 2: {
        if (type_of(arg) != TYPE_INTEGER) return false;
        UINT32 count = 0;
        layout->GetLineMetrics(nullptr, 0, &count);
        if (g_lines.size() < count + 1) g_lines.resize(count + 1);
        layout->GetLineMetrics(g_lines.data(), UINT32(g_lines.size()), &count);
        // Line lengths count UTF-16 units: so does the position of character n.
        int32_t n = integer::get_value(arg);
        std::vector<uint32_t> lengths(count);
        for (UINT32 i = 0; i < count; ++i) lengths[i] = g_lines[i].length;
        int32_t position = n > 0 ? int32_t(rich_text::utf16_position(text, uint32_t(n))) : n;
        uint32_t k = box_geometry::line_holding(lengths, position);
        *out = float_::make(count ? g_lines[k].height : 0.0f);
        return true;
    }
    case 3: {
        DWRITE_TEXT_METRICS m{};
        layout->GetMetrics(&m);
        *out = point::make2d(m.width, m.height);
        return true;
    }
    default: {
        DWRITE_TEXT_METRICS m{};
        layout->GetMetrics(&m);
        *out = integer::make(int32_t(m.lineCount));
        return true;
    }
    }
}

}  // namespace qor::gui::win32
