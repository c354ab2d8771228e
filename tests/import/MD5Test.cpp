#include <gtest/gtest.h>
#include <stdio.h>
#include <string>

#include "ImportTestUtil.h"
#include "i4min/TempDir.h"
#include "import/MD5.h"
#include "util/UniqueID.h"

namespace {

std::string hexOf(const uint8_t d[16]) {
    char* h = UniqueID::toHex(d);
    std::string s(h);
    i4_free(h);
    return s;
}

std::string md5Of(const std::string& s) {
    uint8_t d[16];
    MD5::digest(s.data(), s.size(), d);
    return hexOf(d);
}

// The test suite of RFC 1321, appendix A.5.
TEST(MD5Test, ReferenceSuite) {
    struct Case {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890123456789012345678901234567890123456"
         "7890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.digest, md5Of(c.text)) << '"' << c.text << '"';
}

// Lengths around the padding boundaries, fed in uneven pieces, against md5sum.
TEST(MD5Test, PaddingBoundariesAgreeWithMd5sum) {
    TempDir dir;
    for (size_t n : {55, 56, 57, 63, 64, 65, 119, 120, 121, 128, 1000, 70001}) {
        std::string data(n, 0);
        for (size_t i = 0; i < n; ++i) data[i] = (char)(i * 7 + n);
        writeText(dir / "blob", data);
        std::string cmd = "md5sum '" + (dir / "blob") + "'";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_TRUE(p);
        char out[33] = {};
        ASSERT_EQ(1u, fread(out, 32, 1, p));
        pclose(p);

        MD5 m;
        for (size_t at = 0, step = 1; at < n; at += step, step = step * 3 % 71 + 1)
            m.update(data.data() + at, step < n - at ? step : n - at);
        uint8_t d[16];
        m.final(d);
        EXPECT_EQ(std::string(out), hexOf(d)) << n << " bytes";
    }
}

class FailingFile : public SparseFile {
public:
    FailingFile() : SparseFile(1 << 20) {}
    int32_t read(void* buf, int32_t n) override {
        return reads++ < 2 ? SparseFile::read(buf, n > 10 ? 10 : n) : -1;
    }
};

TEST(MD5Test, FileHexDigestsTheWholeFileFromItsStart) {
    Bytes data = text("The quick brown fox jumps over the lazy dog");
    ByteReader in(data);
    in->seek(10);
    EXPECT_STREQ("9e107d9d372bb6826bd81d3542a419d6", MD5::fileHex(*in).c_str());

    FailingFile broken;
    EXPECT_STREQ("", MD5::fileHex(broken).c_str()) << "a read error gives no digest";
}

}  // namespace
