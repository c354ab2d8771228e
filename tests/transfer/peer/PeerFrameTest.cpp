#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "../PeerTestSupport.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "net/TCPPacket.h"
#include "transfer/peer/PeerFrame.h"
#include "util/BoolArray.h"

using namespace peertest;

namespace {

const std::string H = hashOf(0xA0);

std::string str(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}

std::string text(const i4_string& s) {
    return s.c_str() ? s.c_str() : "";
}

// One frame: how its writer is called, its payload as the protocol's tables give it (opcode
// first), and what its reader makes of that payload, told as text.
struct Case {
    const char* what;
    std::function<TCPPacket*()> write;
    std::string payload;
    bool aboutFile;  // the hash is read first, as the dispatcher does
    std::function<std::string(i4_field_reader&)> read;
    std::string fields;
    int unread = 0;  // padding the reader leaves
};

const char* const REFUSED = "refused";

TCPPacket* dataFrame() {
    TCPPacket* p = new TCPPacket(PeerFrame::DATA_HEAD + 4, PeerFrame::MARKER);
    uint8_t* bytes = PeerFrame::writeData(*p, raw(H), 5, 9);
    memcpy(bytes, "abcd", 4);
    return p;
}

std::vector<Case> cases() {
    // The list does not own its records: the record outlives it, both for the whole run.
    static FileMeta song;
    static FileList songs;
    if (songs.getList()->count() == 0) {
        song.setFileHash(raw(hashOf(0x60)));
        song.setName("song.ogg");
        song.setFileSize(12345);
        songs.add(&song);
    }
    static FileMeta plain;
    plain.setFileSize(5000000);
    static const uint32_t starts[3] = {1, 2, 3}, ends[3] = {4, 5, 6};
    BoolArray crumbs(42);
    crumbs.set(3, 1);
    auto none = [](i4_field_reader&) { return std::string(); };
    auto bits = [](i4_field_reader& in) {
        BoolArray b;
        PeerFrame::readFileStatus(in, b);
        char t[64] = {0};
        b.toString(t, 63);
        return std::to_string(b.size()) + ":" + t;
    };
    return {
        {"ping", [] { return PeerFrame::bare(PeerFrame::OP_PING); }, "\x62", false, none, ""},
        {"no such file", [] { return PeerFrame::withHash(PeerFrame::OP_NO_SUCH_FILE, raw(H)); },
         "\x48" + H, true, none, ""},
        {"data", dataFrame, "\x46" + H + le32(5) + le32(9) + "abcd", true,
         [](i4_field_reader& in) {
             PeerFrame::Data d;
             if (!PeerFrame::readData(in, d)) return std::string(REFUSED);
             return std::to_string(d.start) + "-" + std::to_string(d.end) + ":" +
                    std::string((const char*)d.bytes, d.end - d.start);
         },
         "5-9:abcd"},
        {"ranges", [] { return PeerFrame::ranges(raw(H), starts, ends); },
         "\x47" + H + le32(1) + le32(2) + le32(3) + le32(4) + le32(5) + le32(6), true,
         [](i4_field_reader& in) {
             PeerFrame::Ranges r = PeerFrame::readRanges(in);
             std::string t;
             for (int i = 0; i < 3; i++)
                 t += std::to_string(r.starts[i]) + "-" + std::to_string(r.ends[i]) + ";";
             return t;
         },
         "1-4;2-5;3-6;"},
        {"id change", [] { return PeerFrame::idChange(0x11223344, 0x55667788); },
         "\x4d" + le32(0x11223344) + le32(0x55667788), false,
         [](i4_field_reader& in) {
             PeerFrame::IdChange c = PeerFrame::readIdChange(in);
             return std::to_string(c.id) + "@" + std::to_string(c.serverIp);
         },
         std::to_string(0x11223344) + "@" + std::to_string(0x55667788)},
        {"chat, kept to its cap", [] { return PeerFrame::chat(std::string(250, 'x').c_str()); },
         "\x4e" + str(std::string(250, 'x')), false,
         [](i4_field_reader& in) { return text(PeerFrame::readChat(in)); },
         std::string(PeerFrame::MAX_CHAT, 'x')},
        {"status of a complete file: 20 bytes, count 0 and a pad",
         [] { return PeerFrame::fileStatus(raw(H), BoolArray()); },
         "\x50" + H + le16(0) + std::string(1, '\0'), true, bits, "0:", 1},
        {"status in crumbs", [crumbs] { return PeerFrame::fileStatus(raw(H), crumbs); },
         "\x50" + H + le16(42) + std::string("\x08\0\0\0\0\0", 6), true, bits,
         "42:000100000000000000000000000000000000000000"},
        {"file name", [] { return PeerFrame::fileName(raw(H), "whole.ogg"); },
         "\x59" + H + str("whole.ogg"), true,
         [](i4_field_reader& in) { return text(PeerFrame::readFileName(in)); }, "whole.ogg"},
        {"connect request", [] { return PeerFrame::connectRequest(0x04030201, 4662); },
         "\x5a" + le32(0x04030201) + le16(4662), false,
         [](i4_field_reader& in) {
             PeerFrame::Address a = PeerFrame::readConnectRequest(in);
             return std::to_string(a.ip) + ":" + std::to_string(a.port);
         },
         std::to_string(0x04030201) + ":4662"},
        {"queue rank", [] { return PeerFrame::queueRank(12); }, "\x5c" + le32(12), false,
         [](i4_field_reader& in) { return std::to_string(PeerFrame::readQueueRank(in)); }, "12"},
        {"directory files request", [] { return PeerFrame::directoryFilesRequest("music"); },
         "\x5e" + str("music"), false,
         [](i4_field_reader& in) { return text(PeerFrame::readDirectory(in)); }, "music"},
        {"directory list",
         [] {
             return PeerFrame::directoryList({i4_string("music"), i4_string("video")});
         },
         "\x5f" + le32(2) + str("music") + str("video"), false,
         [](i4_field_reader& in) {
             std::string t;
             for (const i4_string& name : PeerFrame::readDirectoryList(in)) t += text(name) + ";";
             return t;
         },
         "music;video;"},
        {"directory files", [] { return PeerFrame::directoryFiles("music", songs); },
         [] {
             std::string bytes(songs.size(), '\0');
             i4_ram_file_class f(&bytes[0], (int32_t)bytes.size(), 0);
             songs.toNetwork(f);
             return "\x60" + str("music") + bytes;
         }(),
         false,
         [](i4_field_reader& in) {
             std::string t = text(PeerFrame::readDirectory(in));
             FileList got;
             if (!PeerFrame::readFileList(in, got)) return std::string(REFUSED);
             FileMeta* first = static_cast<FileMeta*>(got.getList()->first());
             t += ":" + std::to_string(got.getList()->count());
             if (first) t += ":" + std::string(first->getName());
             got.deleteAll();
             return t;
         },
         "music:1:song.ogg"},
        {"crumb hashes of a file without hash sets",
         [] { return PeerFrame::crumbHashes(raw(H), plain); }, "\x68" + H + std::string(1, '\0'),
         true, none, "", 1},
        {"crumb available", [] { return PeerFrame::crumbAvailable(raw(H), 17); },
         "\x6a" + H + le32(17), true,
         [](i4_field_reader& in) { return std::to_string(PeerFrame::readCrumbAvailable(in)); },
         "17"},
    };
}

// Reads a payload (opcode first) as the connection would: the opcode, the hash when the
// frame leads with one, then the frame's reader; throws i4_err for a short payload.
std::string readBack(const Case& k, const std::string& payload, int64_t* left) {
    std::vector<uint8_t> copy(payload.begin(), payload.end());
    i4_ram_file_class f(copy.data(), (int32_t)copy.size(), 0);
    i4_field_reader in(f);
    in.u8();
    if (k.aboutFile) {
        uint8_t hash[16];
        PeerFrame::readHash(in, hash);
        EXPECT_EQ(H, std::string((const char*)hash, 16));
    }
    std::string fields = k.read(in);
    if (left) *left = in.left();
    return fields;
}

TEST(PeerFrameTest, EachWriterMakesItsBytesAndItsReaderGetsThemBack) {
    for (const Case& k : cases()) {
        SCOPED_TRACE(k.what);
        std::unique_ptr<TCPPacket> p(k.write());
        std::string frame((const char*)p->bytes(), p->getSize());
        EXPECT_EQ(std::string(1, '\xe3') + le32((uint32_t)k.payload.size()) + k.payload, frame);
        int64_t left = -1;
        EXPECT_EQ(k.fields, readBack(k, k.payload, &left));
        EXPECT_EQ(k.unread, left) << "the reader and the writer disagree on the length";
    }
}

TEST(PeerFrameTest, AFrameCutShortIsNeverReadAsWhole) {
    for (const Case& k : cases()) {
        SCOPED_TRACE(k.what);
        for (size_t n = 1; n < k.payload.size() - k.unread; n++) {
            std::string fields;
            try {
                fields = readBack(k, k.payload.substr(0, n), nullptr);
            } catch (const i4_err&) {
                continue;
            }
            EXPECT_EQ(REFUSED, fields) << "cut to " << n << " bytes";
        }
    }
}

TEST(PeerFrameTest, ADataRangeThatEndsBeforeItStartsIsRefused) {
    std::string payload = "\x46" + H + le32(9) + le32(5);
    Case k{"", nullptr, payload, true, nullptr, ""};
    k.read = [](i4_field_reader& in) {
        PeerFrame::Data d;
        return std::string(PeerFrame::readData(in, d) ? "read" : REFUSED);
    };
    EXPECT_EQ(REFUSED, readBack(k, payload, nullptr));
}

}  // namespace
