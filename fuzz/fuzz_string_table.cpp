// layer: core
// The interface texts as users edit them: a ".str" table of one text a line, read through the
// real file classes, and the labels of ui.xml, looked up by every built-in key and by a key
// taken from the input. The first byte picks the form.
#include <stdint.h>
#include <string>

#include "core/StringTable.h"
#include "core/XMLStringTable.h"
#include "fuzz/fuzz_temp_file.h"
#include "util/XMLParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 20)) return 0;
    if (data[0] & 1) {
        StringTable table;
        table.resize(data[0] >> 1);
        int lines = table.loadText(fuzzFile("lang.str", data + 1, size - 1).c_str());
        if (lines < 0) return 0;
        for (int i = -1; i <= table.getCount(); i++) {
            const char* text = table.get(i).c_str();
            if (text && std::string(text).size() > StringTable::MAX_LINE) __builtin_trap();
        }
        return 0;
    }
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    // The key asked for besides the built-in ones: the input's last line.
    size_t nl = text.rfind('\n');
    std::string key = nl == std::string::npos ? text.substr(0, 64) : text.substr(nl + 1);
    XMLParser parser;
    XMLStringTable table;
    table.load(parser.parse(text.c_str(), text.size()));
    for (int id = 0; id <= XMLStringTable::SIZE; id++) {
        const char* t = table.get(id);
        if ((id >= 1 && id < XMLStringTable::SIZE) != (t != nullptr)) __builtin_trap();
        if (const char* k = XMLStringTable::keyOf(id)) table.lookup(k);
    }
    i4_string localized("fallback");
    table.localize(key.c_str(), localized);
    table.lookup(key.c_str());
    table.localized(key.c_str(), "fallback");
    return 0;
}
