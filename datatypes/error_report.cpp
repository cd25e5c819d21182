// The report of an error that nothing caught (see error_report.hpp).
#include "datatypes/error_report.hpp"

#include <climits>
#include <string>

#include "datatypes/dispatch.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/string.hpp"
#include "runtime/alert_box.hpp"
#include "runtime/collector.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/runtime_error.hpp"

namespace qor::error {

namespace {
CaptionReader g_caption_reader = nullptr;
}

void set_caption_reader(CaptionReader reader) { g_caption_reader = reader; }

void report_uncaught(const Cell* error_in) {
    Cell error = *error_in;
    gc::CellRoot keep(&error);
    std::string caption = "Qor NoName App";
    if (g_caption_reader) {
        const Cell* title = g_caption_reader();
        if (title && type_of(title) == TYPE_STRING) caption = string::to_utf8(title);
    }
    Cell text = string::make(64);
    gc::CellRoot keep_text(&text);
    if (stack::state.bottom) {
        stack::state.base = stack::state.top = stack::state.bottom;
        *stack::push_slot() = error;
    }
    dispatch::form(&error, &text, nullptr, INT32_MAX);
    std::string body = string::to_utf8(&text);
    if (platform::is_redirected(platform::STD_ERR)) {
        std::string out;
        for (char c : body) {
            if (c == '\n') out += '\r';
            out += c;
        }
        out += "\r\n";
        platform::write_std(platform::STD_ERR, out.data(), out.size());
    } else {
        std::u16string wide_caption = raw_utf::utf8_to_utf16(caption);
        std::u16string wide_text = raw_utf::utf8_to_utf16(body);
        show_alert_box(wide_caption.c_str(), wide_text.c_str());
    }
    runtime::exit();
    platform::exit_process(-2);
}

}  // namespace qor::error
