// Threads: any, except i4_chdir, which changes what relative names mean for
// every thread and is called only while no other thread uses them.
#pragma once

class i4_string;

// The absolute, resolved form of the name. When it cannot be resolved the
// name itself (made absolute against the current directory). Returns 1.
int i4_full_path(const char* name, i4_string& out);
// The current directory. Returns 1.
int i4_get_cwd(i4_string& out);
// 1 on success, else 0.
int i4_chdir(const char* name);

// True when a name from outside (a peer, a controller, a typed argument) may
// become one component of a path: 1 to max_len bytes, no '/', '\\' or control
// byte, and not "." or "..".
bool i4_is_safe_name(const char* name, int max_len = 255);

// Makes a name from outside into one component that i4_is_safe_name accepts
// with the same max_len: the text after its last '/' or '\\', control bytes and
// DEL as '_', "." and ".." fixed as i4_fix_dot_name does, cut to max_len bytes
// without splitting a UTF-8 sequence, and "_" when nothing is left.
void i4_safe_component(const char* name, i4_string& out, int max_len = 255);

// A name that is exactly "." becomes "_", exactly ".." becomes "__";
// others stay. Keeps a download's name from naming a directory.
void i4_fix_dot_name(i4_string& name);

// Splits at the last '/' or '\\' (directory, assigned only when there is
// one) and the last '.' after it (extension, assigned only when there is
// one); the base name between is always assigned. Returns 1.
int i4_split_path(const char* name, i4_string& dir, i4_string& base, i4_string& ext);

// Makes every missing directory of a path separated by '/' or '\\'.
// 1 when the whole path then exists as directories, else 0.
int i4_make_path(const char* path);

// The path relative to the current directory.
void i4_relative_path(const char* path, i4_string& out);
