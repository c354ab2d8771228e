#include "i4min/string/i4_string.h"

#include <gtest/gtest.h>

#include <string>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

namespace {

// Bytes of the stored form of s.
std::string stored(const i4_string& s)
{
    i4_ram_file_class f(nullptr, 0, 64);
    s.write(f);
    std::string out((const char*)f.get_buffer(), (size_t)f.size());
    i4_free(f.get_buffer());
    return out;
}

TEST(i4_string, StoredForms)
{
    struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"", std::string("\0\0", 2)},
        {nullptr, std::string("\0\0", 2)},
        {"abc", std::string("\3\0abc", 5)},
    };
    for (auto& c : cases)
        EXPECT_EQ(stored(i4_string(c.text)), c.bytes) << (c.text ? c.text : "(null)");
}

TEST(i4_string, NullIsEmptyButNotEqualToEmpty)
{
    i4_string def;
    i4_string null_text((const char*)nullptr);
    ASSERT_NE(def.c_str(), nullptr);
    EXPECT_STREQ(def.c_str(), "");
    EXPECT_TRUE(def.is_empty());
    EXPECT_EQ(null_text.c_str(), nullptr);
    EXPECT_TRUE(null_text.is_empty());
    EXPECT_FALSE(null_text.equals(def));
    EXPECT_TRUE(null_text.equals((const char*)nullptr));
    EXPECT_TRUE(null_text < def);
}

}  // namespace
