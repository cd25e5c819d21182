#include "runtime/runtime_error.hpp"

#include "runtime/alert_box.hpp"
#include "runtime/heap.hpp"
#include "runtime/output_hooks.hpp"
#include "runtime/platform.hpp"
#include "runtime/raw_utf.hpp"
#include "runtime/runtime_record.hpp"

#include <cstdio>

namespace qor::runtime {

// ORDER ERROR-NUMBER: 1 to 34 are processor/OS exceptions and signal names.
static const char* const low_messages[] = {
    "access violation",
    "invalid alignment",
    "breakpoint",
    "single step",
    "bounds exceeded",
    "float denormal operan",
    "float divide by zero",
    "float inexact result",
    "float invalid operation",
    "float overflow",
    "float stack check",
    "float underflow",
    "integer divide by zero",
    "integer overflow",
    "privileged instruction",
    "invalid virtual address",
    "illegal instruction",
    "non-continuable exception",
    "stack error or overflow",
    "invalid disposition",
    "guard page",
    "invalid handle",
    "illegal operand",
    "illegal addressing mode",
    "illegal trap",
    "coprocessor error",
    "non-existent physical address",
    "object specific hardware error",
    "hardware memory error consumed AR",
    "hardware memory error consumed AO",
    "privileged register",
    "segmentation fault",
    "FPU error",
    "Bus error",
};
static_assert(sizeof low_messages / sizeof low_messages[0] == 34);

const char* error_message(int number) {
    if (number >= 1 && number <= 34) return low_messages[number - 1];
    switch (number) {
        case ERR_OUT_OF_MEMORY:   return "out of memory";
        case ERR_NO_CATCH:        return "no CATCH for THROW";
        case ERR_ASSERTION:       return "assertion failed";
        case ERR_UNKNOWN:         return "unknown error";
        case ERR_NO_CASE_MATCH:   return "no value matched in CASE";
        case ERR_NO_SWITCH_MATCH: return "no value matched in SWITCH";
        default:                  return "unknown error code!";
    }
}

std::string report_text(int number, uintptr_t address) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "*** Runtime Error %d: %s\n*** at: %08Xh", number,
                  error_message(number), unsigned(address));
    return buf;
}

// The report for standard error: UTF-8 with CR LF line ends, as every text
// the runtime writes to a file or pipe.
static void report_to_stderr(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    out += "\r\n";
    platform::write_std(platform::STD_ERR, out.data(), out.size());
}

void error(int number, uintptr_t address) {
    if (number != 0) {
        std::string text = report_text(number, address);
        // Nobody watches a redirected standard error for dialogs: a test run
        // or a script runner must never wait on one.
        if (platform::is_redirected(platform::STD_ERR)) {
            report_to_stderr(text);
        } else {
            std::u16string wide = raw_utf::utf8_to_utf16(text);
            show_alert_box(u"Qor App Error", wide.c_str());
        }
    }
    exit();
    platform::exit_process(number);
}

void uncaught_throw() { error(ERR_NO_CATCH, record->throw_address); }

int exception_number(uint32_t code) {
    switch (code) {
        case 0xC0000005u: return 1;
        case 0x80000002u: return 2;
        case 0x80000003u: return 3;
        case 0x80000004u: return 4;
        case 0xC000008Cu: return 5;
        case 0xC0000094u: return 13;
        case 0xC0000095u: return 14;
        case 0xC0000096u: return 15;
        case 0xC0000006u: return 16;
        case 0xC000001Du: return 17;
        case 0xC0000025u: return 18;
        case 0xC00000FDu: return 19;
        case 0xC0000026u: return 20;
        case 0x80000001u: return 21;
        case 0xC0000008u: return 22;
        case 0xC000013Au: return 0;
        default: break;
    }
    // Float exceptions, denormal operand to underflow, in that order.
    if (code >= 0xC000008Du && code <= 0xC0000093u) return 6 + int(code - 0xC000008Du);
    return ERR_UNKNOWN;
}

static FaultPosition fault_position;

uintptr_t record_fault_position(const void* frame, const void* return_address) {
    // The frame holds the caller's saved frame pointer, then the return
    // address; the caller's stack position lies just above them.
    auto words = static_cast<const uintptr_t*>(frame);
    fault_position.stack = uintptr_t(frame) + 2 * sizeof(uintptr_t);
    fault_position.frame = words[0];
    record->fault_position = &fault_position;
    return uintptr_t(return_address);
}

void set_fault_position(uintptr_t stack, uintptr_t frame) {
    fault_position.stack = stack;
    fault_position.frame = frame;
    record->fault_position = &fault_position;
}

void exit() {
    output_hooks::forget();
    record->argc = 0;
    record->argv = nullptr;
    heap::free_all();
}

}  // namespace qor::runtime
