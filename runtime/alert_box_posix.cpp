// Stand-in of the message box for the native build: the text goes to
// standard error, UTF-8 with CR LF line ends, as a redirected report would.
#include "runtime/alert_box.hpp"

#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"

#include <string>

namespace qor {

void show_alert_box(const char16_t* /*caption*/, const char16_t* text) {
    std::string utf8 = raw_utf::utf16_to_utf8(text ? text : u"");
    std::string out;
    for (char c : utf8) {
        if (c == '\n') out += '\r';
        out += c;
    }
    out += "\r\n";
    platform::write_std(platform::STD_ERR, out.data(), out.size());
}

}  // namespace qor
