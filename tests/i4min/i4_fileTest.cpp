#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "i4_test_util.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_unix_file_class.h"
#include "i4min/net/i4_printable.h"
#include "i4min/string/i4_string.h"

namespace {

class point : public i4_printable {
public:
    void print(i4_file& f) const override { f.printf("(%d,%d)", 3, -4); }
};

TEST(i4_file, PrintfConversions) {
    i4_string text("str");
    i4_string null_text((const char*)nullptr);
    point pt;
    struct {
        std::function<int32_t(i4_file&)> print;
        std::string out;
    } cases[] = {
        {[](i4_file& f) { return f.printf("%d%%", -5); }, "-5%"},
        {[](i4_file& f) { return f.printf("%5.2f", 3.14159); }, " 3.14"},
        {[](i4_file& f) { return f.printf("%-6.1f|", 2.25); }, "2.2   |"},
        {[](i4_file& f) { return f.printf("%+f", 1.5); }, "+1.500000"},
        {[](i4_file& f) { return f.printf("%*f|%d", 1.5, 7); }, "1.500000|7"},  // '*' takes nothing
        {[](i4_file& f) { return f.printf("%5d", 42); }, "42"},
        {[](i4_file& f) { return f.printf("%-05d|", 42); }, "42|"},
        {[](i4_file& f) { return f.printf("%d", INT_MIN); }, "-2147483648"},
        {[](i4_file& f) { return f.printf("%i %d", 0, 2147483647); }, "0 2147483647"},
        {[](i4_file& f) { return f.printf("%u", 4294967295u); }, "4294967295"},
        {[](i4_file& f) { return f.printf("%x %x", 255u, 0u); }, "ff 0"},
        {[](i4_file& f) { return f.printf("%08X|", 255u); }, "|"},  // upper-case X prints nothing
        {[](i4_file& f) { return f.printf("%o", 8u); }, "10"},
        {[](i4_file& f) { return f.printf("%p", (void*)0x1a2b); }, "1a2b"},
        {[](i4_file& f) { return f.printf("%c%c", 'o', 0x100 + 'k'); }, "ok"},
        {[](i4_file& f) { return f.printf("[%s]", (const char*)nullptr); }, "[]"},
        {[](i4_file& f) { return f.printf("[%s]", "a b"); }, "[a b]"},
        {[&](i4_file& f) { return f.printf("[%S]", &text); }, "[str]"},
        {[&](i4_file& f) { return f.printf("[%S]", &null_text); }, "[]"},
        {[](i4_file& f) { return f.printf("[%I]", (i4_printable*)nullptr); }, "[NULL]"},
        {[&](i4_file& f) { return f.printf("[%I]", &pt); }, "[(3,-4)]"},
        {[](i4_file& f) { return f.printf("%ld", 99L); }, "d"},  // 'l' ends the conversion
        {[](i4_file& f) { return f.printf("%lu|%d", 7); }, "u|7"},
        {[](i4_file& f) { return f.printf("%hhd", 7); }, "hd"},
        {[](i4_file& f) { return f.printf("%q%d", 7); }, "7"},
        {[](i4_file& f) { return f.printf("100%"); }, "100"},
        {[](i4_file& f) { return f.printf("%5"); }, ""},
        {[](i4_file& f) { return f.printf("%5%"); }, "%"},
        {[](i4_file& f) { return f.printf("50% d", 9); }, "509"},  // the blank is a flag
        {[](i4_file& f) { return f.printf("%n%d", 1); }, "1"},     // %n stores nothing
        {[](i4_file& f) { return f.printf(""); }, ""},
        {[](i4_file& f) { return f.printf("\xE9t\xE9"); }, "\xE9t\xE9"},
    };
    for (auto& c : cases) {
        int32_t n = 0;
        std::string out = bytes_written([&](i4_file& f) { n = c.print(f); });
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(n, (int32_t)c.out.size()) << c.out;
    }
}

// Counts the writes that reach it.
class write_counter : public i4_file {
public:
    int32_t read(void*, int32_t) override { return 0; }
    int32_t write(const void* buf, int32_t n) override {
        writes++;
        text.append((const char*)buf, (size_t)n);
        return n;
    }
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }
    int writes = 0;
    std::string text;
};

// The whole text reaches the file in one write, objects printed with %I included: one system
// call per line on the console and on sockets, never one per byte.
TEST(i4_file, PrintfWritesOncePerCall) {
    point pt;
    const struct {
        std::function<int32_t(i4_file&)> print;
        int writes;
        std::string out;
    } cases[] = {
        {[](i4_file& f) { return f.printf("Thread error : %s\n", "boom"); }, 1,
         "Thread error : boom\n"},
        {[&](i4_file& f) {
             return f.printf("%d %u %x %c %f %I end\n", -1, 2u, 255u, 'z', 0.5, &pt);
         },
         1, "-1 2 ff z 0.500000 (3,-4) end\n"},
        {[](i4_file& f) { return f.printf(""); }, 0, ""},
        {[](i4_file& f) { return f.printf("%s", ""); }, 0, ""},
    };
    for (const auto& c : cases) {
        write_counter f;
        EXPECT_EQ((int32_t)c.out.size(), c.print(f)) << c.out;
        EXPECT_EQ(c.writes, f.writes) << c.out;
        EXPECT_EQ(c.out, f.text);
    }
}

// Lines printed by two threads onto one pipe arrive whole.
TEST(i4_file, LinesOfTwoThreadsNeverTear) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    std::string got;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, (size_t)n);
    });
    {
        i4_unix_file_class out(fds[1]);
        auto printer = [&out](const char* who) {
            for (int i = 0; i < 400; i++) out.printf("%s line %d of the printer\n", who, i);
        };
        std::thread a(printer, "first"), b(printer, "second");
        a.join();
        b.join();
    }  // closes the write end
    reader.join();
    close(fds[0]);
    std::istringstream lines(got);
    std::string line;
    int count = 0;
    std::regex whole("(first|second) line [0-9]+ of the printer");
    while (std::getline(lines, line)) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
        count++;
    }
    EXPECT_EQ(800, count);
}

TEST(i4_file, PrintfAnswersBytesWrittenInTheMiddleOfAFile) {
    char buf[32];
    i4_ram_file_class f(buf, sizeof buf, 0);
    f.seek(10);
    EXPECT_EQ(f.printf("%d%%", -5), 3);
    EXPECT_EQ(f.tell(), 13);
    EXPECT_EQ(std::string(buf + 10, 3), "-5%");

    // A full file takes only what fits and says so.
    i4_ram_file_class small(buf, 4, 0);
    EXPECT_EQ(small.printf("abcdef%d", 123), 4);
}

TEST(i4_file, FloatBeyondItsBufferIsCut) {
    std::string out = bytes_written([](i4_file& f) { f.printf("%300f", 1.0); });
    EXPECT_EQ(out.size(), 127u);
}

TEST(i4_file, WritersAreLittleEndian) {
    struct {
        std::function<int32_t(i4_file&)> write;
        int32_t result;
        std::string bytes;
    } cases[] = {
        {[](i4_file& f) { return f.write_8(0xAB); }, 1, "\xAB"},
        {[](i4_file& f) { return f.write_16(0x1234); }, 2, "\x34\x12"},
        {[](i4_file& f) { return f.write_32(0x12345678); }, 4, "\x78\x56\x34\x12"},
        {[](i4_file& f) { return f.write_64(UINT64_C(0x0102030405060708)); }, 8,
         "\x08\x07\x06\x05\x04\x03\x02\x01"},
        {[](i4_file& f) { return f.write_32(0); }, 4, std::string(4, '\0')},
    };
    for (auto& c : cases) {
        int32_t r = 0;
        EXPECT_EQ(bytes_written([&](i4_file& f) { r = c.write(f); }), c.bytes);
        EXPECT_EQ(r, c.result);
    }
    // Writers answer what write answered, even when short.
    char buf[3];
    i4_ram_file_class f(buf, 3, 0);
    EXPECT_EQ(f.write_32(1), 3);
    EXPECT_EQ(f.write_8(1), 0);
}

TEST(i4_file, ReadersAreLittleEndian) {
    std::string bytes(
        "\x34\x12\x78\x56\x34\x12\xAB\x08\x07\x06\x05\x04\x03\x02\xF1\x00\x00\x80\x3F", 19);
    i4_ram_file_class f((void*)bytes.data(), (int32_t)bytes.size(), 0);
    EXPECT_EQ(f.read_16(), 0x1234);
    EXPECT_EQ(f.read_32(), 0x12345678u);
    EXPECT_EQ(f.read_8(), 0xAB);
    EXPECT_EQ(f.read_64(), UINT64_C(0xF102030405060708));
    EXPECT_EQ(f.read_float(), 1.0f);
    EXPECT_EQ(f.tell(), 19);
}

TEST(i4_file, ShortReadsReportErrors) {
    struct {
        std::string bytes;
        std::function<void(i4_file&)> read;
        std::string error;
    } cases[] = {
        {"", [](i4_file& f) { f.read_8(); }, "read_8 error"},
        {"\x01", [](i4_file& f) { f.read_16(); }, "read_16 error"},
        {"\x01\x02\x03", [](i4_file& f) { f.read_32(); }, "read_32 error"},
        {"1234567", [](i4_file& f) { f.read_64(); }, "readAll error"},
        {"12345",
         [](i4_file& f) {
             f.read_32();
             f.read_32();
         },
         "read_32 error"},
        {"123", [](i4_file& f) { f.read_float(); }, "read_32 error"},
        {"abc",
         [](i4_file& f) {
             char b[4];
             f.readAll(b, 4);
         },
         "readAll error"},
        {"abcd",
         [](i4_file& f) {
             char b[4];
             f.readAll(b, 4);
         },
         "(no error)"},
        {"ab", [](i4_file& f) { f.read_16(); }, "(no error)"},
    };
    for (auto& c : cases) {
        i4_ram_file_class f((void*)c.bytes.data(), (int32_t)c.bytes.size(), 0);
        EXPECT_EQ(error_of([&] { c.read(f); }), c.error) << c.bytes.size() << " bytes";
    }
}

// Hands out at most one byte per read, like a socket under load.
class trickle_file : public i4_file {
public:
    explicit trickle_file(std::string data) : data_(std::move(data)) {}
    int32_t read(void* buf, int32_t n) override {
        if (n <= 0 || pos_ >= data_.size()) return 0;
        *(char*)buf = data_[pos_++];
        return 1;
    }
    int32_t write(const void*, int32_t n) override {
        writes_++;
        return n > 100 ? 100 : n;
    }
    int64_t seek(int64_t p) override { return p; }
    int64_t size() override { return (int64_t)data_.size(); }
    int64_t tell() override { return (int64_t)pos_; }
    int writes_ = 0;

private:
    std::string data_;
    size_t pos_ = 0;
};

TEST(i4_file, ReadAllGathersPiecesButFixedReadersDoNot) {
    trickle_file f(std::string("\x08\x07\x06\x05\x04\x03\x02\x01\x78\x56\x34\x12", 12));
    EXPECT_EQ(f.read_64(), UINT64_C(0x0102030405060708));
    EXPECT_EQ(error_of([&] { f.read_32(); }), "read_32 error");
}

TEST(i4_file, WriteFill) {
    struct {
        int64_t count;
        uint8_t byte;
    } cases[] = {{0, 1}, {1, 0xAB}, {1024, 0}, {1025, 0x7F}, {3000, 0xFF}};
    for (auto& c : cases) {
        int r = -1;
        std::string out = bytes_written([&](i4_file& f) { r = f.write_fill(c.byte, c.count); });
        EXPECT_EQ(r, 1);
        EXPECT_EQ(out, std::string((size_t)c.count, (char)c.byte));
    }
    char buf[100];
    i4_ram_file_class full(buf, sizeof buf, 0);
    EXPECT_EQ(full.write_fill(0, 101), 0);
    EXPECT_EQ(full.tell(), 100);

    // Partial writes continue until all is written.
    trickle_file slow("");
    EXPECT_EQ(slow.write_fill(1, 250), 1);
    EXPECT_EQ(slow.writes_, 3);
}

TEST(i4_file, DefaultsOfTheBaseClass) {
    trickle_file f("ab");
    EXPECT_EQ(f.memory_at(0), nullptr);
    EXPECT_EQ(f.is_memory(), 0);
    f.flush();
    EXPECT_EQ(f.read_8(), 'a');
}

}  // namespace
