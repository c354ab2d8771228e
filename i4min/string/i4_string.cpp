#include "i4min/string/i4_string.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "i4min/file/i4_debug_file_class.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

// ---- i4_string ----

i4_string::i4_string() : text_((char*)i4_malloc(1)) {
    *text_ = 0;
}

i4_string::i4_string(const char* text) : text_(i4_strdup(text)) {}

i4_string::i4_string(const i4_string& other) : text_(i4_strdup(other.text_)) {}

i4_string::i4_string(i4_string&& other) noexcept : text_(other.text_) {
    other.text_ = nullptr;
}

i4_string::~i4_string() {
    i4_free(text_);
}

i4_string::i4_string(i4_file& f) : i4_string(0xFFFF, f) {}

i4_string::i4_string(uint16_t max, i4_file& f) : text_(nullptr) {
    // The length is the file's word: the reader checks it against the bytes at hand before
    // anything is allocated.
    i4_field_reader(f).text(max, *this);
}

i4_string::i4_string(i4_file& f, int32_t n) : text_(nullptr) {
    i4_field_reader in(f);
    if (n < 0 || n > in.left()) I4_ERROR("read string error");
    char* t = (char*)i4_malloc((size_t)n + 1);
    try {
        in.bytes(t, n);
    } catch (...) {
        i4_free(t);
        throw;
    }
    t[n] = 0;
    text_ = t;
}

void i4_string::take(char* text) {
    i4_free(text_);
    text_ = text;
}

i4_string& i4_string::operator=(const i4_string& other) {
    assign(other.text_);
    return *this;
}

i4_string& i4_string::operator=(i4_string&& other) noexcept {
    if (this != &other) {
        i4_free(text_);
        text_ = other.text_;
        other.text_ = nullptr;
    }
    return *this;
}

i4_string& i4_string::operator=(const char* text) {
    assign(text);
    return *this;
}

int i4_string::length() const {
    return i4_strlen(text_);
}

void i4_string::assign(const i4_string& other) {
    assign(other.text_);
}

void i4_string::assign(const char* text) {
    if (text == text_) return;
    // Copy first: text may point into our own buffer.
    take(i4_strdup(text));
}

bool i4_string::equals(const i4_string& other) const {
    return i4_strcmp(text_, other.text_) == 0;
}

bool i4_string::equals(const char* text) const {
    return i4_strcmp(text_, text) == 0;
}

bool i4_string::operator<(const i4_string& o) const {
    return i4_strcmp(text_, o.text_) < 0;
}

void i4_string::append(const char* text) {
    if (text) append_n(text, i4_strlen(text));
}

void i4_string::append_n(const char* text, int n) {
    if (!text || n < 0) return;
    int len = length();
    char* t = (char*)i4_malloc((size_t)len + n + 1);
    if (len) memcpy(t, text_, len);
    memcpy(t + len, text, n);  // before take(): text may be our own
    t[len + n] = 0;
    take(t);
}

void i4_string::to_lower() {
    i4_strlwr(text_);
}

void i4_string::truncate(int n) {
    if (n < 0 || n >= length()) return;
    char* t;
    i4_strndup(&t, text_, n);
    take(t);
}

int i4_string::replace_char(char from, char to) {
    int count = 0;
    if (!text_ || !from) return 0;
    // Measured once: replacing by 0 cuts the text, yet every occurrence
    // in the buffer is still replaced and counted.
    int len = length();
    for (int i = 0; i < len; i++) {
        if (text_[i] == from) {
            text_[i] = to;
            count++;
        }
    }
    return count;
}

int i4_string::replace(const char* old_text, const char* new_text) {
    int old_len = i4_strlen(old_text);
    if (!text_ || old_len == 0) return 0;
    int new_len = i4_strlen(new_text);
    int count = 0;
    for (const char* p = strstr(text_, old_text); p; p = strstr(p + old_len, old_text)) count++;
    if (!count) return 0;
    // Counted in 64 bits: a product past the address space would otherwise
    // wrap to a small buffer that the copy below overruns.
    int64_t size = (int64_t)length() + (int64_t)count * (new_len - old_len) + 1;
    if (size > INT32_MAX) I4_ERROR("out of memory");
    char* t = (char*)i4_malloc((size_t)size);
    char* out = t;
    const char* in = text_;
    for (const char* p = strstr(in, old_text); p; p = strstr(in, old_text)) {
        memcpy(out, in, p - in);
        out += p - in;
        if (new_len) memcpy(out, new_text, new_len);
        out += new_len;
        in = p + old_len;
    }
    strcpy(out, in);
    take(t);
    return count;
}

i4_string& i4_string::format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vformat(fmt, ap);
    va_end(ap);
    return *this;
}

i4_string& i4_string::vformat(const char* fmt, va_list ap) {
    i4_ram_file_class f(nullptr, 0, 512);
    try {
        f.vprintf(fmt, ap);
        f.write_8(0);
    } catch (...) {
        i4_free(f.get_buffer());
        throw;
    }
    char* buf = (char*)f.get_buffer();
    // The result may be our own argument ("%S" of this string): copy, then free.
    take(i4_strdup(buf));
    i4_free(buf);
    return *this;
}

void i4_string::write(i4_file& f) const {
    int len = length();
    // 0xFFFF means "no length" and more does not fit the field: refuse
    // rather than store a length that disagrees with the bytes.
    if (len >= 0xFFFF) I4_ERROR("write string error");
    if (f.write_16((uint16_t)len) != 2) I4_ERROR("write string error");
    if (len && f.write(text_, len) != len) I4_ERROR("write string error");
}

// ---- zero-terminated helpers ----

int i4_strlen(const char* s) {
    return s ? (int)strlen(s) : 0;
}

namespace {

int sign_of(int d) {
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

template <char (*Map)(char)>
int compare_text(const char* a, const char* b) {
    if (a == b) return 0;
    if (!a) return -1;
    if (!b) return 1;
    for (;; a++, b++) {
        signed char x = (signed char)Map(*a);
        signed char y = (signed char)Map(*b);
        if (x != y) return sign_of(x - y);
        if (!x) return 0;
    }
}

template <char (*Map)(char)>
int compare_bytes(const void* a, const void* b, int n) {
    const char* p = (const char*)a;
    const char* q = (const char*)b;
    for (int i = 0; i < n; i++) {
        signed char x = (signed char)Map(p[i]);
        signed char y = (signed char)Map(q[i]);
        if (x != y) return sign_of(x - y);
    }
    return 0;
}

char same_char(char c) {
    return c;
}

// MapText folds the searched text, MapPattern the pattern.
template <char (*MapText)(char), char (*MapPattern)(char)>
const char* find_text(const char* s, const char* pattern) {
    if (!s || !pattern) return nullptr;
    for (;; s++) {
        int i = 0;
        while (pattern[i] && MapText(s[i]) == MapPattern(pattern[i])) i++;
        if (!pattern[i]) return s;
        if (!*s) return nullptr;
    }
}

}  // namespace

int i4_strcmp(const char* a, const char* b) {
    return compare_text<same_char>(a, b);
}

int i4_stricmp(const char* a, const char* b) {
    return compare_text<toUpperChar>(a, b);
}

int i4memcmp(const void* a, const void* b, int n) {
    if (!a || !b) I4_ERROR("i4memcmp null pointers passed");
    return compare_bytes<same_char>(a, b, n);
}

int i4memicmp(const void* a, const void* b, int n) {
    if (!a || !b) I4_ERROR("i4memicmp null pointers passed");
    return compare_bytes<toUpperChar>(a, b, n);
}

char toUpperChar(char c) {
    return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
}

char toLowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

char* i4_strlwr(char* s) {
    if (s)
        for (char* p = s; *p; p++) *p = toLowerChar(*p);
    return s;
}

char* i4_strdup(const char* s) {
    if (!s) return nullptr;
    size_t n = strlen(s) + 1;
    char* d = (char*)i4_malloc(n);
    memcpy(d, s, n);
    return d;
}

char* i4_strndup(char** out, const char* s, int n) {
    if (n < 0) n = 0;
    char* d = (char*)i4_malloc((size_t)n + 1);
    int i = 0;
    if (s)
        for (; i < n && s[i]; i++) d[i] = s[i];
    d[i] = 0;
    if (out) *out = d;
    return d;
}

char* i4_strcpy(char* dst, const char* src) {
    if (src)
        strcpy(dst, src);
    else
        *dst = 0;
    return dst;
}

char* i4_strcat(char* dst, const char* src) {
    if (src) strcat(dst, src);
    return dst;
}

char* i4_strncpy(char* dst, const char* src, int n) {
    if (!dst || n <= 0) return dst;
    int i = 0;
    if (src)
        for (; i < n - 1 && src[i]; i++) dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

int i4_atoi(const char* s) {
    if (!s) return 0;
    bool neg = *s == '-';
    if (neg) s++;
    // Unsigned arithmetic: an overlong number wraps instead of being undefined.
    unsigned v = 0;
    for (; *s >= '0' && *s <= '9'; s++) v = v * 10 + (unsigned)(*s - '0');
    return (int)(neg ? 0u - v : v);
}

const char* i4_strstr(const char* s, const char* pattern) {
    return find_text<same_char, same_char>(s, pattern);
}

char* i4_strstr(char* s, const char* pattern) {
    return (char*)find_text<same_char, same_char>(s, pattern);
}

const char* stristr(const char* s, const char* pattern) {
    return find_text<toUpperChar, toUpperChar>(s, pattern);
}

char* stristr(char* s, const char* pattern) {
    return (char*)stristr((const char*)s, pattern);
}

const char* i4_strstr_lower(const char* s, const char* pattern) {
    return find_text<toLowerChar, same_char>(s, pattern);
}

char i4_next_line(char* buf, int buflen, const char* text, int* pos) {
    int p = *pos;
    while (text[p] == '\r' || text[p] == '\n') p++;
    int n = 0;
    for (; text[p] && text[p] != '\r' && text[p] != '\n'; p++)
        if (n < buflen - 1) buf[n++] = text[p];
    if (buflen > 0) buf[n] = 0;
    *pos = p;
    return text[p];
}

int i4_strtok(const char* text, const char* delims, int pos, char* buf, int buflen) {
    if (pos < 0 || buflen < 2 || !text || !buf) return 0;
    auto is_delim = [delims](char c) { return c && delims && strchr(delims, c); };
    while (is_delim(text[pos])) {
        pos++;
        if (!text[pos]) return 0;
    }
    int n = 0;
    for (;;) {
        char c = text[pos];
        if (!c) {
            buf[n] = 0;
            return -1;
        }
        buf[n++] = c;
        pos++;
        if (n == buflen - 1 || is_delim(text[pos])) {
            buf[n] = 0;
            return pos;
        }
    }
}

// ---- formatting ----

char* i4_sprintf(char* buf, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    i4_vsnprintf(buf, INT_MAX, fmt, ap);
    va_end(ap);
    return buf;
}

char* i4_snprintf(char* buf, int n, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    i4_vsnprintf(buf, n, fmt, ap);
    va_end(ap);
    return buf;
}

char* i4_vsnprintf(char* buf, int n, const char* fmt, va_list ap) {
    if (!buf || n <= 0) return buf;
    i4_ram_file_class f(buf, n - 1, 0);
    f.vprintf(fmt, ap);
    buf[f.tell()] = 0;
    return buf;
}

int i4_printf(const char* fmt, ...) {
    if (!i4_debug) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = i4_debug->vprintf(fmt, ap);
    va_end(ap);
    return n;
}

// ---- text helpers ----

namespace {
int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

namespace {

// Bytes of the well-formed UTF-8 sequence of two or more bytes that starts at p, else 0.
int utf8Length(const unsigned char* p, int left) {
    unsigned char c = p[0];
    int len = c >= 0xC2 && c <= 0xDF   ? 2
              : c >= 0xE0 && c <= 0xEF ? 3
              : c >= 0xF0 && c <= 0xF4 ? 4
                                       : 0;
    if (len == 0 || len > left) return 0;
    for (int i = 1; i < len; i++)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return len;
}

}  // namespace

bool i4_mask_controls(const char* text, int n, bool keepLayout, std::string& out) {
    const unsigned char* p = (const unsigned char*)text;
    bool masked = false;
    for (int i = 0; i < n;) {
        unsigned char c = p[i];
        int len = 1;
        bool control;
        if (c < 0x20) {
            bool layout = c == '\n' || c == '\t' || (c == '\r' && i + 1 < n && p[i + 1] == '\n');
            control = !(keepLayout && layout);
        } else if (c < 0x7F) {
            control = false;
        } else if (c == 0x7F) {
            control = true;
        } else if ((len = utf8Length(p + i, n - i)) > 0) {
            control = c == 0xC2 && p[i + 1] < 0xA0;
        } else {
            len = 1;
            control = c < 0xA0;
        }
        if (control && !masked) {
            out.assign(text, (size_t)i);
            masked = true;
        }
        if (control)
            out += '?';
        else if (masked)
            out.append(text + i, (size_t)len);
        i += len;
    }
    return masked;
}

std::string i4_masked_line(const char* text) {
    if (!text) return std::string();
    std::string out;
    int n = (int)strlen(text);
    return i4_mask_controls(text, n, false, out) ? out : std::string(text, (size_t)n);
}

char* urlDecode(char* text) {
    if (!text) return text;
    for (char* p = text; *p; p++)
        if (*p == '+') *p = ' ';
    char* out = text;
    const char* in = text;
    while (*in) {
        if (*in == '%') {
            if (!in[1] || !in[2]) break;
            int hi = hex_value(in[1]);
            int lo = hex_value(in[2]);
            // A zero byte would cut the text short; keep it (and any
            // malformed escape) as written.
            if (hi >= 0 && lo >= 0 && (hi | lo)) {
                *out++ = (char)(hi * 16 + lo);
                in += 3;
                continue;
            }
        }
        *out++ = *in++;
    }
    // Whatever stopped the decoding stays as it was.
    while (*in) *out++ = *in++;
    *out = 0;
    return text;
}

i4_string formatSize(int64_t count) {
    char buf[64];
    if (count > 1000000000)
        snprintf(buf, sizeof buf, "%.2fG", count / 1073741824.0);
    else if (count > 1000000)
        snprintf(buf, sizeof buf, "%.2fM", count / 1048576.0);
    else if (count > 1000)
        snprintf(buf, sizeof buf, "%.2fK", count / 1024.0);
    else
        snprintf(buf, sizeof buf, "%" PRId64, count);
    return i4_string(buf);
}

double parseSize(const char* text) {
    double v = atof(text ? text : "");
    if (stristr(text, "g")) return v * 1073741824.0;
    if (stristr(text, "m")) return v * 1048576.0;
    if (stristr(text, "k")) return v * 1024.0;
    return v;
}

int parseMinutes(const char* text) {
    double v = atof(text ? text : "");
    if (stristr(text, "h") && !stristr(text, "m")) v *= 60;
    // Converting a double outside the int range is undefined: such a text is refused.
    if (!(v > (double)INT_MIN - 1 && v < (double)INT_MAX + 1)) return 0;
    return (int)v;
}
