// The rich-text style walker (see the header).
#include "gui/rich_text_styles.hpp"

#include "datatypes/pair.hpp"
#include "datatypes/string.hpp"
#include "gui/draw_dialect.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::rich_text {

void walk(StyleSink& sink, const Cell* styles, const Cell* text) {
    using draw::Cursor;
    Cell blk = *styles, txt = *text;
    gc::CellRoot keep(&blk), keep_text(&txt);
    Cursor c = draw::cursor_of(&blk);
    Range range{0, 0};   // styles before the first pair change nothing
    uint32_t text_length = string::remaining_length(&txt);
    uint32_t base = uint32_t(string::index_of(&txt));
    // The optional colour and lit-word after underline, strike and border.
    auto skip_optional = [&] {
        Cell v = c.value();
        if (c.more() && type_of(&v) == TYPE_TUPLE) ++c.at;
        v = c.value();
        if (c.more() && type_of(&v) == TYPE_LIT_WORD) ++c.at;
    };
    while (c.more()) {
        Cell v = c.value();
        uint32_t at = c.at++;
        uint32_t colour;
        switch (type_of(&v)) {
        case TYPE_PAIR: {
            int64_t start = int64_t(pair::x_of(&v)) - 1, length = pair::y_of(&v);
            if (start < 0) start = 0;
            if (start > int64_t(text_length)) start = text_length;
            if (length < 0) length = 0;
            if (start + length > int64_t(text_length)) length = int64_t(text_length) - start;
            // A character above U+FFFF takes two UTF-16 units.
            uint32_t before = 0, inside = 0;
            for (uint32_t i = 0; i < uint32_t(start + length); ++i)
                if (string::char_at(&txt, base + i) > 0xFFFF) ++(int64_t(i) < start ? before : inside);
            range = Range{uint32_t(start) + before, uint32_t(length) + inside};
            break;
        }
        case TYPE_TUPLE:
            if (!draw::colour_of(&v, &colour)) c.invalid(at);
            sink.colour(range, colour);
            break;
        case TYPE_STRING:
            sink.family(range, &v);
            break;
        case TYPE_INTEGER:
        case TYPE_FLOAT:
            if (!draw::is_number(&v)) c.invalid(at);
            sink.size(range, draw::number_of(&v));
            break;
        case TYPE_WORD:
            if (draw::is_keyword(&v, "bold")) {
                sink.bold(range);
            } else if (draw::is_keyword(&v, "italic")) {
                sink.italic(range);
            } else if (draw::is_keyword(&v, "underline")) {
                sink.underline(range);
                skip_optional();
            } else if (draw::is_keyword(&v, "strike")) {
                sink.strike(range);
                skip_optional();
            } else if (draw::is_keyword(&v, "border")) {
                skip_optional();
            } else if (draw::is_keyword(&v, "backdrop")) {
                Cell col = c.value();
                if (!c.more() || !draw::colour_of(&col, &colour)) c.invalid(c.at);
                ++c.at;
                sink.backdrop(range, colour);
            } else {
                c.invalid(at);
            }
            break;
        default:
            c.invalid(at);
        }
    }
}

}  // namespace qor::gui::rich_text
