// URL splitting; pure, any thread.
#pragma once
class i4_string;

// Splits "scheme://host[:port][/path]". The port is set only when the URL carries one (the
// caller presets its default); without a path the path is "/" and the file empty. The file
// is the part of the path after its last '/'. 1 when a scheme and a host were found and any
// port is a number from 1 to 65535, else 0.
int i4_split_url(const char* url, i4_string* scheme, i4_string* host, i4_string* path,
                 i4_string* file, int* port);
