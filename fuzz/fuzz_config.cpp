// layer: util
// Configuration files are edited by hand: any bytes must load without a crash or a read past
// the line buffer, and any name asked for must be looked up safely. The input's first line
// names what is asked for: "section|key|section index|key index"; the rest is the file. Every
// section and key the file itself holds is asked for too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "i4min/string/i4_string.h"
#include "util/ConfigFile.h"

namespace {

void ask(ConfigFile& c, const char* section, const char* key, int si, int ki) {
    i4_string s;
    int n;
    bool b;
    c.find(section, key);
    c.getString(section, key, s);
    c.getInt(section, key, n);
    c.getBool(section, key, b);
    c.getString(section, si, key, s);
    c.getString(section, key, ki, s);
    c.getString(section, si, key, ki, s);
    c.getInt(section, si, key, ki, n);
    c.getBool(section, si, key, ki, b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    std::string all(reinterpret_cast<const char*>(data), size);
    size_t nl = all.find('\n');
    std::string head = nl == std::string::npos ? all : all.substr(0, nl);
    std::string body = nl == std::string::npos ? std::string() : all.substr(nl + 1);
    std::vector<std::string> names;
    size_t from = 0;
    for (int i = 0; i < 4; i++) {
        size_t bar = head.find('|', from);
        names.push_back(
            head.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    while (names.size() < 4) names.push_back("");

    ConfigFile c;
    if (!body.empty()) {
        FILE* f = fmemopen(&body[0], body.size(), "r");
        if (!f) return 0;
        c.loadStream(f);
        fclose(f);
    }
    int si = atoi(names[2].c_str());
    int ki = atoi(names[3].c_str());
    ask(c, names[0].c_str(), names[1].c_str(), si, ki);
    // Lookups walk the file: a bounded number of them keeps a large input quick.
    int asked = 0;
    for (ConfigSection* s = &c; s && asked < 256; s = s->next)
        for (ConfigEntry* e = s->entries.next; e != &s->entries && asked < 256;
             e = e->next, asked++)
            ask(c, s->name, e->key, si, ki);
    return 0;
}
