#include "i4min/string/i4_err.h"

#include <atomic>

#include "i4min/file/i4_debug_file_class.h"

namespace {

std::atomic<i4_error_handler_type> error_handler{i4_default_error};
std::atomic<i4_warning_handler_type> warning_handler{i4_default_warning};
std::atomic<i4_debug_handler_type> debug_handler{i4_default_debug};

// Thread-local storage needs no key creation, so concurrent first reports
// cannot race; a thread that never reported reads (null, 0).
thread_local const char* location_file = nullptr;
thread_local int location_line = 0;

const int report_size = 500;

}  // namespace

void i4_set_error_location(const char* file, int line) {
    location_file = file;
    location_line = line;
}

void i4_get_error_location(const char** file, int* line) {
    if (file) *file = location_file;
    if (line) *line = location_line;
}

namespace {

// A report is cut to what fits in report_size, then handed to the handler.
struct report_text {
    char text[report_size];
    report_text(const char* fmt, va_list ap) { i4_vsnprintf(text, sizeof text, fmt, ap); }
};

i4_reporter_type locate(const char* file, int line, i4_reporter_type reporter) {
    if (file) i4_set_error_location(file, line);
    return reporter;
}

}  // namespace

i4_reporter_type i4_error_at(const char* file, int line) {
    return locate(file, line, i4_error_reporter);
}

i4_reporter_type i4_warning_at(const char* file, int line) {
    return locate(file, line, i4_warning_reporter);
}

void i4_error_reporter(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    report_text r(fmt, ap);
    va_end(ap);
    error_handler.load()(r.text);
}

void i4_error_report(const char* file, int line, const char* fmt, ...) {
    locate(file, line, nullptr);
    va_list ap;
    va_start(ap, fmt);
    report_text r(fmt, ap);
    va_end(ap);
    error_handler.load()(r.text);
    throw i4_err(r.text);
}

void i4_warning_reporter(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    report_text r(fmt, ap);
    va_end(ap);
    warning_handler.load()(r.text);
}

void i4_debug_print(const char* fmt, ...) {
    i4_string text;
    va_list ap;
    va_start(ap, fmt);
    text.vformat(fmt, ap);
    va_end(ap);
    debug_handler.load()(text);
}

void i4_set_error_handler(i4_error_handler_type h) {
    error_handler = h ? h : i4_default_error;
}

void i4_set_warning_handler(i4_warning_handler_type h) {
    warning_handler = h ? h : i4_default_warning;
}

i4_warning_handler_type i4_get_warning_handler() {
    return warning_handler;
}

void i4_set_debug_handler(i4_debug_handler_type h) {
    debug_handler = h ? h : i4_default_debug;
}

void i4_default_debug(const i4_string& text) {
    i4_printf("%S", &text);
}

void i4_default_warning(const char* text) {
    if (!i4_debug) return;
    const char* file;
    int line;
    i4_get_error_location(&file, &line);
    if (file)
        i4_debug->printf("Warning (%s:%d) : %s\n", file, line, text);
    else
        i4_debug->printf("Warning %s\n", text);
}

void i4_default_error(const char* text) {
    throw i4_err(text);
}
