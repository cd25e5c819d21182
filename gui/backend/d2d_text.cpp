// Text layouts of the draw backend and the rich-text style walker.
// The window-message enums come before windows.h defines the same names.
#include "gui/face_slots.hpp"
#include "gui/backend/d2d_text.hpp"

#include <cfloat>
#include <cstring>
#include <map>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/string.hpp"
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

IDWriteTextLayout* face_layout(const Cell* face, ID2D1DeviceContext* dc) {
    const Cell* text = faces::facet(face, faces::TEXT);
    if (!text || type_of(text) != TYPE_STRING) return nullptr;
    IDWriteTextFormat* format = text_format(faces::facet(face, faces::FONT));
    if (!format) return nullptr;
    const Cell* size = faces::facet(face, faces::SIZE);
    float w = FLT_MAX, h = FLT_MAX;
    if (size && type_of(size) == TYPE_PAIR) {
        if (int32_t(size->data2) > 0) w = float(int32_t(size->data2)) + 0.5f;
        if (int32_t(size->data3) > 0) h = float(int32_t(size->data3)) + 0.5f;
    }
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

uint32_t tuple_word(const Cell* t) {
    uint8_t b[12];
    std::memcpy(b, &t->data1, 12);
    uint32_t n = (t->header >> 19) & 15;
    return b[0] | b[1] << 8 | b[2] << 16 | uint32_t(n >= 4 ? b[3] : 0) << 24;
}

}  // namespace

void apply_styles(IDWriteTextLayout* layout, ID2D1DeviceContext* dc, const Cell* styles, const Cell* text) {
    using draw::Cursor;
    Cell blk = *styles;
    Cell txt = *text;
    Cursor c = draw::cursor_of(&blk);
    DWRITE_TEXT_RANGE range{0, 0};
    std::map<uint32_t, ID2D1SolidColorBrush*> brushes;   // one per colour
    auto brush = [&](uint32_t colour) -> ID2D1SolidColorBrush* {
        auto it = brushes.find(colour);
        if (it != brushes.end()) return it->second;
        ID2D1SolidColorBrush* b = nullptr;
        dc->CreateSolidColorBrush(d2d::colour(colour), &b);
        brushes[colour] = b;
        return b;
    };
    struct Release {
        std::map<uint32_t, ID2D1SolidColorBrush*>& m;
        ~Release() {
            for (auto& kv : m)
                if (kv.second) kv.second->Release();
        }
    } release_brushes{brushes};
    uint32_t text_length = string::remaining_length(&txt);
    uint32_t base = uint32_t(string::index_of(&txt));
    auto skip_optional = [&] {
        uint32_t ignored;
        Cell v = c.value();
        if (c.more() && type_of(&v) == TYPE_TUPLE && draw::colour_of(&v, &ignored)) ++c.at;
        v = c.value();
        if (c.more() && type_of(&v) == TYPE_LIT_WORD) ++c.at;
    };
    while (c.more()) {
        Cell v = c.value();
        uint32_t at = c.at++;
        switch (type_of(&v)) {
        case TYPE_PAIR: {
            int64_t start = int64_t(pair::x_of(&v)) - 1, length = pair::y_of(&v);
            if (start < 0) start = 0;
            if (start > text_length) start = text_length;
            if (length < 0) length = 0;
            if (start + length > text_length) length = text_length - start;
            // Characters above U+FFFF take two UTF-16 units.
            uint32_t before = 0, inside = 0;
            for (uint32_t i = 0; i < uint32_t(start + length); ++i)
                if (string::char_at(&txt, base + i) > 0xFFFF) (i < start ? before : inside)++;
            range = DWRITE_TEXT_RANGE{UINT32(start + before), UINT32(length + inside)};
            break;
        }
        case TYPE_TUPLE:
            if (auto* b = brush(tuple_word(&v))) layout->SetDrawingEffect(b, range);
            break;
        case TYPE_STRING:
            layout->SetFontFamilyName(wide(&v).c_str(), range);
            break;
        case TYPE_INTEGER:
        case TYPE_FLOAT:
            layout->SetFontSize(draw::number_of(&v) * 96.0f / 72.0f, range);
            break;
        case TYPE_WORD:
            if (draw::is_keyword(&v, "bold")) layout->SetFontWeight(DWRITE_FONT_WEIGHT_BOLD, range);
            else if (draw::is_keyword(&v, "italic")) layout->SetFontStyle(DWRITE_FONT_STYLE_ITALIC, range);
            else if (draw::is_keyword(&v, "underline")) {
                layout->SetUnderline(TRUE, range);
                skip_optional();
            } else if (draw::is_keyword(&v, "strike")) {
                layout->SetStrikethrough(TRUE, range);
                skip_optional();
            } else if (draw::is_keyword(&v, "border")) {
                skip_optional();
            } else if (draw::is_keyword(&v, "backdrop")) {
                // Accepted; the backdrop list has no painter yet.
                Cell col = c.value();
                uint32_t ignored;
                if (!c.more() || !draw::colour_of(&col, &ignored)) c.invalid(c.at);
                ++c.at;
            } else {
                c.invalid(at);
            }
            break;
        default:
            c.invalid(at);
        }
    }
}

}  // namespace qor::gui::d2d
