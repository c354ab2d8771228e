// Any thread. Handlers are set before threads start; the report location is per thread.
#pragma once

#include <exception>

#include "i4min/string/i4_string.h"

// The base layer's exception, thrown by value. Where it was reported is kept
// per thread: read it with i4_get_error_location.
class i4_err : public std::exception {
public:
    explicit i4_err(const char* msg) : msg_(msg) {}
    const char* message() const { return msg_.c_str() ? msg_.c_str() : ""; }
    const char* what() const noexcept override { return message(); }

private:
    i4_string msg_;
};

typedef void (*i4_reporter_type)(const char* fmt, ...);
typedef void (*i4_error_handler_type)(const char* text);
typedef void (*i4_warning_handler_type)(const char* text);
typedef void (*i4_debug_handler_type)(const i4_string& text);

// Stores the location (when file is set) for this thread, then answers the reporter.
i4_reporter_type i4_error_at(const char* file, int line);
// Formats into 500 bytes (longer messages are cut) and calls the error handler.
void i4_error_reporter(const char* fmt, ...);
i4_reporter_type i4_warning_at(const char* file, int line);
void i4_warning_reporter(const char* fmt, ...);
void i4_debug_print(const char* fmt, ...);

// Never returns: if a replaced handler returns, the i4_err is thrown here.
[[noreturn]] void i4_error_report(const char* file, int line, const char* fmt, ...);

void i4_get_error_location(const char** file, int* line);
void i4_set_error_location(const char* file, int line);

void i4_set_error_handler(i4_error_handler_type h);
void i4_set_warning_handler(i4_warning_handler_type h);
i4_warning_handler_type i4_get_warning_handler();
void i4_set_debug_handler(i4_debug_handler_type h);

void i4_default_debug(const i4_string& text);
void i4_default_warning(const char* text);
void i4_default_error(const char* text);

#define I4_ERROR(...) i4_error_report(__FILE__, __LINE__, __VA_ARGS__)
#define I4_WARNING(...) i4_warning_at(__FILE__, __LINE__)(__VA_ARGS__)
