// layer: i4min
// Stored strings as they arrive from peers and files, and the text helpers
// that walk command lines and links.
#include <cstdint>
#include <cstring>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Stored strings, read with the limits the record readers use, then written back.
    static const uint16_t limits[] = {0xFFFF, 100, 128, 200, 300, 0};
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    i4_ram_file_class out(nullptr, 0, 256);
    try {
        for (int i = 0; in.tell() < in.size(); i++) {
            i4_string s(limits[i % 6], in);
            s.write(out);
        }
    } catch (const i4_err&) {
    }
    i4_free(out.get_buffer());

    std::vector<char> text(data, data + size);
    text.push_back(0);
    int buflen = size ? data[0] % 40 : 0;
    std::vector<char> token((size_t)buflen + 1);
    int pos = 0;
    for (int i = 0; i <= (int)size + 1; i++) {
        pos = i4_strtok(text.data(), " ,\t\n\"", pos, token.data(), buflen);
        if (pos <= 0) break;
    }
    char line[64];
    int at = 0;
    for (int i = 0; i <= (int)size + 1 && i4_next_line(line, sizeof line, text.data(), &at); i++) {
    }
    urlDecode(text.data());
    return 0;
}
