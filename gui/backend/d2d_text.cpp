// Text layouts of the draw backend and the rich-text style walker.
// The window-message enums come before windows.h defines the same names.
#include "gui/face_slots.hpp"
#include "gui/rich_text_styles.hpp"
#include "gui/backend/d2d_text.hpp"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/string.hpp"
#include "runtime/collector.hpp"
#include "gui/box_geometry.hpp"
#include "gui/draw_dialect.hpp"
#include "gui/face_slots.hpp"

namespace qor::gui::d2d {

IDWriteTextLayout* string_layout(const Cell* string, IDWriteTextFormat* format) {
    Devices& d = devices();
    if (!d.write || !format) return nullptr;
    std::wstring text = wide(string);
    IDWriteTextLayout* layout = nullptr;
    d.write->CreateTextLayout(text.c_str(), UINT32(text.size()), format, FLT_MAX, FLT_MAX, &layout);
    return layout;
}

namespace {

// The backdrop ranges of the last face layout: a layout has no backdrop of
// its own, so they are filled in before its text is drawn.
struct Backdrop {
    uint32_t start, length, colour;
};
std::vector<Backdrop> g_backdrops;
// Reused between draws; it only grows.
std::vector<DWRITE_HIT_TEST_METRICS> g_hits;

float number(const Cell* v) {
    if (v && type_of(v) == TYPE_INTEGER) return float(integer::get_value(v));
    if (v && type_of(v) == TYPE_FLOAT) return float(float_::get_value(v));
    return 0;
}

// A rich-text face's tab stops and line spacing, in pixels; other values
// (none, 'default) keep DirectWrite's own.
void box_settings(IDWriteTextFormat* format, const Cell* face) {
    float tabs = number(field(face, "tabs"));
    if (tabs > 0) format->SetIncrementalTabStop(tabs);
    float spacing = number(field(face, "line-spacing"));
    if (spacing > 0) format->SetLineSpacing(DWRITE_LINE_SPACING_METHOD_UNIFORM, spacing, spacing * 0.8f);
}

}  // namespace

IDWriteTextLayout* face_layout(const Cell* face, ID2D1DeviceContext* dc) {
    // Copies: making the format may allocate (the font's name as UTF-16),
    // which may move the face's values.
    const Cell* text_facet = faces::facet(face, faces::TEXT);
    if (!text_facet || type_of(text_facet) != TYPE_STRING) return nullptr;
    Cell text_cell = *text_facet;
    gc::CellRoot keep_text(&text_cell);
    const Cell* text = &text_cell;
    g_backdrops.clear();
    IDWriteTextFormat* format = text_format(faces::facet(face, faces::FONT));
    if (!format) return nullptr;
    const Cell* size = faces::facet(face, faces::SIZE);
    // The box is the size rounded to whole units; a face without a size
    // (or a side not above 0) is not held to a box on that side.
    double sw = 0, sh = 0;
    if (size && type_of(size) == TYPE_PAIR) {
        sw = int32_t(size->data2);
        sh = int32_t(size->data3);
    } else if (size && type_of(size) == TYPE_POINT2D) {
        sw = point::coordinate(size, 0);
        sh = point::coordinate(size, 1);
    }
    float w = sw > 0 && sw < 1e7 ? float(std::floor(sw + 0.5)) : FLT_MAX;
    float h = sh > 0 && sh < 1e7 ? float(std::floor(sh + 0.5)) : FLT_MAX;
    // The para's alignment and wrapping.
    const Cell* para = faces::facet(face, faces::PARA);
    const Cell* align = field(para, "align");
    const Cell* v_align = field(para, "v-align");
    const Cell* wrap = field(para, "wrap?");
    format->SetTextAlignment(align && draw::is_keyword(align, "center")  ? DWRITE_TEXT_ALIGNMENT_CENTER
                             : align && draw::is_keyword(align, "right") ? DWRITE_TEXT_ALIGNMENT_TRAILING
                                                                         : DWRITE_TEXT_ALIGNMENT_LEADING);
    format->SetParagraphAlignment(v_align && draw::is_keyword(v_align, "middle")   ? DWRITE_PARAGRAPH_ALIGNMENT_CENTER
                                  : v_align && draw::is_keyword(v_align, "bottom") ? DWRITE_PARAGRAPH_ALIGNMENT_FAR
                                                                                   : DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    format->SetWordWrapping(wrap && type_of(wrap) == TYPE_LOGIC && wrap->data1 ? DWRITE_WORD_WRAPPING_WRAP
                                                                               : DWRITE_WORD_WRAPPING_NO_WRAP);
    if (faces::type_is(face, "rich-text")) box_settings(format, face);
    std::wstring chars = wide(text);
    IDWriteTextLayout* layout = nullptr;
    devices().write->CreateTextLayout(chars.c_str(), UINT32(chars.size()), format, w, h, &layout);
    format->Release();
    if (!layout) return nullptr;
    const Cell* data = faces::facet(face, faces::DATA);
    if (faces::type_is(face, "rich-text") && data && type_of(data) == TYPE_BLOCK && block::length(data) > 1) {
        try {
            apply_styles(layout, dc, data, text);
        } catch (...) {
            layout->Release();
            throw;
        }
    }
    return layout;
}

namespace {

// Sets each style on the layout; one brush per colour.
class LayoutSink final : public rich_text::StyleSink {
public:
    LayoutSink(IDWriteTextLayout* layout, ID2D1DeviceContext* dc) : layout_(layout), dc_(dc) {}
    ~LayoutSink() override {
        for (auto& kv : brushes_)
            if (kv.second) kv.second->Release();
    }
    void colour(rich_text::Range r, uint32_t c) override {
        if (ID2D1SolidColorBrush* b = brush(c)) layout_->SetDrawingEffect(b, range(r));
    }
    void family(rich_text::Range r, const Cell* name) override {
        layout_->SetFontFamilyName(wide(name).c_str(), range(r));
    }
    void size(rich_text::Range r, float points) override { layout_->SetFontSize(points * 96.0f / 72.0f, range(r)); }
    void bold(rich_text::Range r) override { layout_->SetFontWeight(DWRITE_FONT_WEIGHT_BOLD, range(r)); }
    void italic(rich_text::Range r) override { layout_->SetFontStyle(DWRITE_FONT_STYLE_ITALIC, range(r)); }
    void underline(rich_text::Range r) override { layout_->SetUnderline(TRUE, range(r)); }
    void strike(rich_text::Range r) override { layout_->SetStrikethrough(TRUE, range(r)); }
    void backdrop(rich_text::Range r, uint32_t c) override { g_backdrops.push_back(Backdrop{r.start, r.length, c}); }

private:
    static DWRITE_TEXT_RANGE range(rich_text::Range r) { return DWRITE_TEXT_RANGE{r.start, r.length}; }
    ID2D1SolidColorBrush* brush(uint32_t c) {
        auto it = brushes_.find(c);
        if (it != brushes_.end()) return it->second;
        ID2D1SolidColorBrush* b = nullptr;
        dc_->CreateSolidColorBrush(d2d::colour(c), &b);
        brushes_[c] = b;
        return b;
    }
    IDWriteTextLayout* layout_;
    ID2D1DeviceContext* dc_;
    std::map<uint32_t, ID2D1SolidColorBrush*> brushes_;
};

}  // namespace

void draw_backdrops(ID2D1DeviceContext* dc, IDWriteTextLayout* layout, D2D1_POINT_2F at) {
    if (g_backdrops.empty()) return;
    std::vector<Backdrop> ranges;
    ranges.swap(g_backdrops);
    ID2D1SolidColorBrush* brush = nullptr;
    if (FAILED(dc->CreateSolidColorBrush(colour(0), &brush)) || !brush) return;
    for (const Backdrop& r : ranges) {
        UINT32 count = 0;
        layout->HitTestTextRange(r.start, r.length, at.x, at.y, nullptr, 0, &count);   // asks the count
        if (count == 0) continue;
        if (g_hits.size() < size_t(count) + 1) g_hits.resize(size_t(count) + 1);
        if (FAILED(layout->HitTestTextRange(r.start, r.length, at.x, at.y, g_hits.data(), UINT32(g_hits.size()),
                                            &count)))
            continue;
        brush->SetColor(colour(r.colour));
        for (UINT32 i = 0; i < count && i < g_hits.size(); ++i) {
            const DWRITE_HIT_TEST_METRICS& m = g_hits[i];
            box_geometry::Box b = box_geometry::hit_box(m.left, m.top, m.width, m.height);
            dc->FillRectangle(D2D1::RectF(float(b.left), float(b.top), float(b.right), float(b.bottom)), brush);
        }
    }
    brush->Release();
}

void apply_styles(IDWriteTextLayout* layout, ID2D1DeviceContext* dc, const Cell* styles, const Cell* text) {
    LayoutSink sink(layout, dc);
    rich_text::walk(sink, styles, text);
}

}  // namespace qor::gui::d2d
