#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ui/CommandArgs.h"

namespace {

TEST(CommandArgs, SkipsTheCommandWordAndSplitsAtEveryDelimiter) {
    const struct {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"mcon", {}},
        {"", {}},
        {" ,\t", {}},
        {"dumax 40 3", {"40", "3"}},
        {",dumax\t40,,3\n", {"40", "3"}},
        {"name \"two words\"", {"two", "words"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<char> copy(c.line, c.line + strlen(c.line) + 1);
        CommandArgs args(copy.data());
        std::vector<std::string> got;
        for (int i = 0; i < 10; ++i) {
            const char* a = args.next();
            if (!a) break;
            got.push_back(a);
        }
        EXPECT_EQ(c.args, got);
        EXPECT_EQ(nullptr, args.next()) << "the end stays the end";
    }
}

TEST(CommandArgs, WholeNumbersAreTheWholeTokenAndFitAnInt) {
    const struct {
        const char* text;
        bool whole;
        int value;
    } cases[] = {
        {"12", true, 12},
        {"-5", true, -5},
        {"+8", true, 8},
        {"0", true, 0},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1},
        {"2147483648", false, 0},
        {"99999999999", false, 0},
        {"12x", false, 0},
        {"x12", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"+-3", false, 0},
        {" 7", false, 0},
        {"1.5", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int out = 12345;
        EXPECT_EQ(c.whole, CommandArgs::wholeNumber(c.text, &out));
        EXPECT_EQ(c.whole ? c.value : 12345, out);
    }
    int out = 1;
    EXPECT_FALSE(CommandArgs::wholeNumber(nullptr, &out));
}

}  // namespace
