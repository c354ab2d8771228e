// Any thread. An i4_string is used by one thread at a time (or under its owner's
// lock); the helpers below keep no shared state.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

class i4_file;

// An owned, zero-terminated heap text. The text pointer may be null: a null
// text has length 0 and counts as empty, but equals only another null text and
// sorts before every other text.
//
// Stored form (files and packets):
//   offset 0  u16 LE  length n (0xFFFF is not a length: readers fail on it)
//   offset 2  n bytes of text, no terminator
class i4_string {
public:
    i4_string();                  // ""
    i4_string(const char* text);  // copy; null stays null
    i4_string(const i4_string& other);
    i4_string(i4_string&& other) noexcept;  // leaves other null
    ~i4_string();

    // Reading constructors; a bad or short stored form reports an error.
    explicit i4_string(i4_file& f);
    // Keeps at most max bytes but leaves f after the whole stored text.
    i4_string(uint16_t max, i4_file& f);
    // Exactly n raw bytes, no length field.
    i4_string(i4_file& f, int32_t n);

    i4_string& operator=(const i4_string& other);
    i4_string& operator=(i4_string&& other) noexcept;
    i4_string& operator=(const char* text);

    const char* c_str() const { return text_; }
    char* char_at(int i) const { return text_ + i; }  // no bounds check
    int length() const;
    bool is_empty() const { return !text_ || !*text_; }

    void assign(const i4_string& other);
    void assign(const char* text);
    bool equals(const i4_string& other) const;
    bool equals(const char* text) const;
    bool differs(const i4_string& other) const { return !equals(other); }
    bool differs(const char* text) const { return !equals(text); }

    void append(const char* text);
    void append(const i4_string& other) { append(other.text_); }
    // Appends exactly n bytes of text; n must not exceed its length.
    void append_n(const char* text, int n);
    void to_lower();
    void truncate(int n);
    int replace_char(char from, char to);
    // Non-overlapping, left to right; old_text must not be empty.
    int replace(const char* old_text, const char* new_text);

    i4_string& format(const char* fmt, ...);
    i4_string& vformat(const char* fmt, va_list ap);

    // Texts of 65,535 bytes or more have no stored form: refused, nothing written.
    void write(i4_file& f) const;

    bool operator==(const i4_string& o) const { return equals(o); }
    bool operator!=(const i4_string& o) const { return !equals(o); }
    bool operator<(const i4_string& o) const;

private:
    void take(char* text);

    char* text_;
};

// Zero-terminated helpers. Bytes compare as signed 8-bit values; case folding
// maps ASCII letters only. Where a null pointer is allowed it reads as "".
int i4_strlen(const char* s);
int i4_strcmp(const char* a, const char* b);  // -1, 0, 1; null sorts first
int i4_stricmp(const char* a, const char* b);
int i4memcmp(const void* a, const void* b, int n);  // null is an error
int i4memicmp(const void* a, const void* b, int n);
char toUpperChar(char c);
char toLowerChar(char c);
char* i4_strlwr(char* s);
char* i4_strdup(const char* s);                      // null gives null
char* i4_strndup(char** out, const char* s, int n);  // n+1 bytes, terminated
char* i4_strcpy(char* dst, const char* src);
char* i4_strcat(char* dst, const char* src);
char* i4_strncpy(char* dst, const char* src, int n);  // at most n-1, terminated
int i4_atoi(const char* s);
const char* i4_strstr(const char* s, const char* pattern);
char* i4_strstr(char* s, const char* pattern);
const char* stristr(const char* s, const char* pattern);
char* stristr(char* s, const char* pattern);
// The pattern must already be lower-case.
const char* i4_strstr_lower(const char* s, const char* pattern);

// Copies the line at *pos (after any CR/LF) into buf, cut to buflen-1 bytes,
// moves *pos to its end and answers the character that ended it (0 at the end).
char i4_next_line(char* buf, int buflen, const char* text, int* pos);

// Tokenizer: answers the position of the character that ended the token (pass
// it back for the next one), -1 when the token ran to the end of the text, 0
// when nothing more was found (buffer untouched). buflen below 2 answers 0.
int i4_strtok(const char* text, const char* delims, int pos, char* buf, int buflen);

// Formatting with the engine of i4_file::vprintf (no format attribute: "%S",
// "%I" and the letter rules are its own).
char* i4_sprintf(char* buf, const char* fmt, ...);
char* i4_snprintf(char* buf, int n, const char* fmt, ...);
char* i4_vsnprintf(char* buf, int n, const char* fmt, va_list ap);
int i4_printf(const char* fmt, ...);

// Text as a terminal may be handed it: every control character shows as '?', so that text
// from the network cannot drive the terminal. Controls are the bytes below 0x20 and 0x7F, and
// the C1 controls (U+0080 to U+009F) whether written in UTF-8 or as single bytes; a well-formed
// UTF-8 sequence counts as one character. Every other byte stays as it is, so UTF-8 and
// Latin-1 text stay readable. With keepLayout, line ends and tabs stay, and a carriage return
// right before a line end. True when something was masked: out then holds the text to show.
bool i4_mask_controls(const char* text, int n, bool keepLayout, std::string& out);
// The whole zero-terminated text masked, layout included (one line of it).
std::string i4_masked_line(const char* text);

// Decodes "+" and "%hh" escapes in place; a malformed or "%00" escape stays as it is.
char* urlDecode(char* text);
i4_string formatSize(int64_t count);
double parseSize(const char* text);
// 0 for a number outside the int range (or none at all).
int parseMinutes(const char* text);
