#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/Search.h"
#include "meta/SpecialTagInfo.h"
#include "ui/ServerCommands.h"

namespace {

std::string text(const std::string& s) {
    return std::string{(char)(s.size() & 0xff), (char)(s.size() >> 8)} + s;
}

// The search's wire form, or "none" when the line makes no search.
std::string searchOf(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back(0);
    Search* s = ServerCommands::buildSearch(copy.data());
    if (!s) return "none";
    s->addRef();
    i4_ram_file_class out(nullptr, 0, 256);
    EXPECT_TRUE(s->toNetwork(out));
    std::string bytes((const char*)out.get_buffer(), (size_t)out.size());
    i4_free(out.get_buffer());
    EXPECT_EQ(out.size(), s->size());
    s->release();
    return bytes;
}

std::string typed(const std::string& type, const std::string& words) {
    return std::string("\x00\x00\x02", 3) + text(type) + text("\x03") + "\x01" + text(words);
}

std::string plain(const std::string& words) {
    return "\x01" + text(words);
}

TEST(ServerCommandsTest, SearchesAreBuiltFromAtMostFourTokens) {
    initSpecialTags();
    const std::string fifty(50, 'w');
    const struct {
        std::string line;
        std::string wire;
    } table[] = {
        {"s fat day -Audio", typed("Audio", "fat day")},
        {"s fat -Video day", typed("Video", "fat day")},
        {"s -Doc -Pro word", typed("Pro", "word")},
        {"s a b c d e", plain("a b c d")},
        {"s a,b\tc \"d\"", plain("a b c d")},
        {"s FAT Day", plain("fat day")},
        {"s one two three -Col four", typed("Col", "one two three")},
        {"s " + std::string(60, 'w') + " " + std::string(60, 'w') + " " + std::string(60, 'w') +
             " " + std::string(60, 'w'),
         plain((fifty + " " + fifty + " " + fifty + " " + fifty).substr(0, 200))},
        {"s", "none"},
        {"s -Video", "none"},
        {"s -Audio -Video", "none"},
    };
    for (const auto& c : table) EXPECT_EQ(searchOf(c.line), c.wire) << c.line;
}

}  // namespace
