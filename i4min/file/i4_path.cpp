#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_path.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/string/i4_string.h"

namespace {

const int PATH_BUFFER = 4096;

bool is_sep(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

int i4_get_cwd(i4_string& out) {
    char buf[PATH_BUFFER];
    out.assign(::getcwd(buf, sizeof buf) ? buf : "");
    return 1;
}

int i4_full_path(const char* name, i4_string& out) {
    char buf[PATH_MAX > PATH_BUFFER ? PATH_MAX : PATH_BUFFER];
    if (name && ::realpath(name, buf)) {
        out.assign(buf);
        return 1;
    }
    // Callers print or compare the result, so they get a usable text.
    const char* n = name ? name : "";
    if (n[0] == '/') {
        out.assign(n);
        return 1;
    }
    i4_get_cwd(out);
    out.append("/");
    out.append(n);
    return 1;
}

int i4_chdir(const char* name) {
    return name && ::chdir(name) == 0;
}

void i4_fix_dot_name(i4_string& name) {
    if (name.equals("."))
        name.assign("_");
    else if (name.equals(".."))
        name.assign("__");
}

void i4_safe_component(const char* name, i4_string& out, int max_len) {
    const char* start = name ? name : "";
    for (const char* p = start; *p; p++)
        if (is_sep(*p)) start = p + 1;
    int n = (int)strlen(start);
    if (max_len < 1) max_len = 1;
    if (n > max_len) {
        n = max_len;
        // start[n] continuing a sequence means the cut splits it: back off to its lead byte.
        for (int k = 0; k < 3 && n > 0 && ((unsigned char)start[n] & 0xC0) == 0x80; k++) n--;
    }
    std::string text(start, (size_t)n);
    for (char& c : text)
        if ((unsigned char)c < 0x20 || c == 0x7f) c = '_';
    out.assign(text.empty() ? "_" : text.c_str());
    i4_fix_dot_name(out);
}

int i4_split_path(const char* name, i4_string& dir, i4_string& base, i4_string& ext) {
    const char* n = name ? name : "";
    const char* start = n;
    for (const char* p = n; *p; p++)
        if (is_sep(*p)) start = p + 1;
    if (start != n) {
        dir.assign("");
        dir.append_n(n, static_cast<int>(start - 1 - n));
    }
    const char* dot = strrchr(start, '.');
    const char* end = dot ? dot : start + strlen(start);
    base.assign("");
    base.append_n(start, static_cast<int>(end - start));
    if (dot) ext.assign(dot + 1);
    return 1;
}

int i4_make_path(const char* path) {
    if (!path || !path[0]) return 0;
    // Translated as i4_open translates, so that the files later opened
    // under the path land in the directories made here.
    std::string p = i4_os_path(path);
    if (p.empty()) return 0;
    for (size_t i = 1; i <= p.size(); i++) {
        bool at_end = i == p.size();
        if (!at_end && !is_sep(p[i])) continue;
        if (at_end && is_sep(p[i - 1])) break;  // a trailing separator adds no step
        // After a drive letter the separator belongs to the step: "c:/".
        size_t len = !at_end && p[i - 1] == ':' ? i + 1 : i;
        std::string prefix = p.substr(0, len);
        i4_file_status st;
        if (i4_get_status(prefix.c_str(), st)) {
            if (!st.is_dir) return 0;
            continue;
        }
        // Another thread may make the same directory at the same moment.
        if (!i4_mkdir(prefix.c_str()) && !(i4_get_status(prefix.c_str(), st) && st.is_dir))
            return 0;
    }
    return 1;
}

void i4_relative_path(const char* path, i4_string& out) {
    i4_string full, cwd;
    i4_full_path(path, full);
    i4_full_path(".", cwd);
    const char* p = full.c_str() ? full.c_str() : "";
    const char* c = cwd.c_str() ? cwd.c_str() : "";
    bool drive_p = p[0] && p[1] == ':', drive_c = c[0] && c[1] == ':';
    if (drive_p != drive_c || (drive_p && toUpperChar(p[0]) != toUpperChar(c[0]))) {
        out.assign(p);
        return;
    }
    // Common prefix, cut back to a whole directory name so that "/a/bc"
    // and "/a/bd" share "/a", not "/a/b".
    int i = 0, boundary = -1;
    while (p[i] && c[i] && (p[i] == c[i] || (is_sep(p[i]) && is_sep(c[i])))) {
        if (is_sep(p[i])) boundary = i;
        i++;
    }
    if ((!p[i] || is_sep(p[i])) && (!c[i] || is_sep(c[i]))) boundary = i;
    if (boundary < 0) {
        out.assign(p);
        return;
    }
    const char* rest_p = p[boundary] ? p + boundary + 1 : p + boundary;
    const char* rest_c = c + boundary;
    out.assign("");
    if (*rest_c && rest_c[1]) {
        for (const char* q = rest_c; *q; q++)
            if (is_sep(*q)) out.append("../");
    }
    out.append(rest_p);
}

bool i4_is_safe_name(const char* name, int max_len) {
    if (!name || !*name) return false;
    if (!strcmp(name, ".") || !strcmp(name, "..")) return false;
    int n = 0;
    for (const char* p = name; *p; p++, n++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (n >= max_len || c == '/' || c == '\\' || c < 0x20 || c == 0x7f) return false;
    }
    return true;
}
