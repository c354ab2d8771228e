// Any thread: plain helpers without state. A payload is read by one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "i4min/string/i4_string.h"
#include "transfer/peer/PeerProtocol.h"

class BoolArray;
class FileList;
class FileMeta;
class TCPPacket;
class i4_field_reader;
class i4_file;

// Every peer frame but the hello (1, 76), which is the connection's own (Peer): its bytes,
// its reader and its writer side by side. A frame is the TCP frame (marker 0xE3, u32 payload
// length, payload) and the payload starts with the opcode. Integers are little-endian; the
// fields:
//   hash    16 bytes
//   string  u16 length n, then n bytes, no terminator; (max N): the reader keeps N of them
//   bits    u16 bit count c, then c/8 + 1 bytes, lowest bit first; nothing more when c is 0
// A reader takes the payload past the opcode, and past the hash for a frame that leads with
// one: the dispatcher reads that with readHash. Readers go through i4_field_reader, which
// checks every field, length and count against the bytes left before it reads or allocates
// and throws i4_err when they are short: the connection's pass catches it and drops the
// connection. Bytes after the last field are left unread. A writer returns the whole frame,
// of exactly its length.
class PeerFrame : public PeerProtocol {
public:
    enum { MARKER = 0xE3, HASH_SIZE = 16, MAX_STRING = 0xFFFE };

    // ---- The opcode alone: 5, 83, 85, 86, 87, 93, 97, 98, 99, 100, 107.
    static TCPPacket* bare(uint8_t opcode);

    // ---- A hash alone: 72, 73, 79, 81, 84, 88, 91, 101, 102, 103, 105. Every frame about a
    // file starts with its hash (70-73, 79-82, 84, 88, 89, 91, 101-106).
    static TCPPacket* withHash(uint8_t opcode, const uint8_t hash[16]);
    static void readHash(i4_field_reader& in, uint8_t hash[16]);

    // ---- 70 data, sent by the upload into its own packet:
    //   offset  width        field
    //   0       1            opcode 70
    //   1       16           file hash
    //   17      4            u32 start offset
    //   21      4            u32 end offset, exclusive
    //   25      end - start  the file's bytes
    enum { DATA_HEAD = 25 };
    struct Data {
        uint32_t start, end;
        const uint8_t* bytes;  // in place, in the payload
    };
    // False for a range that ends before it starts: it carries no data, only trouble.
    static bool readData(i4_field_reader& in, Data& out);
    // Into a fresh frame of DATA_HEAD + end - start payload bytes: writes the head and answers
    // where the file's bytes go, to be read in place (null when the frame has no room).
    static uint8_t* writeData(TCPPacket& frame, const uint8_t hash[16], uint32_t start,
                              uint32_t end);

    // ---- 71 range request: hash, u32 start[3], u32 end[3]; pairs not in use are 0.
    struct Ranges {
        uint32_t starts[3], ends[3];
    };
    static Ranges readRanges(i4_field_reader& in);
    static TCPPacket* ranges(const uint8_t hash[16], const uint32_t starts[3],
                             const uint32_t ends[3]);

    // ---- 77 id change: u32 id, u32 server ip.
    struct IdChange {
        uint32_t id, serverIp;
    };
    static IdChange readIdChange(i4_field_reader& in);
    static TCPPacket* idChange(uint32_t id, uint32_t serverIp);

    // ---- 78 chat: string (max 200).
    static i4_string readChat(i4_field_reader& in);
    static TCPPacket* chat(const char* text);

    // ---- 80 file status: hash, bits. The length always counts count/8 + 3 bytes for the
    // bits, so a complete file's status (count 0) ends with one padding byte, 0, that no
    // reader reads. The bit count is held against the bytes left before the array is made.
    static void readFileStatus(i4_field_reader& in, BoolArray& bits);
    static TCPPacket* fileStatus(const uint8_t hash[16], const BoolArray& bits);

    // ---- 82 part hashes: hash, u16 count, count hashes. Never sent; the download reads
    // them: this checks that they are there and leaves the reader at the count.
    static void checkPartHashes(i4_field_reader& in);

    // ---- 89 file name: hash, string (max 300).
    static i4_string readFileName(i4_field_reader& in);
    static TCPPacket* fileName(const uint8_t hash[16], const char* name);

    // ---- 90 connect request: u32 ip, u16 port.
    struct Address {
        uint32_t ip;
        uint16_t port;
    };
    static Address readConnectRequest(i4_field_reader& in);
    static TCPPacket* connectRequest(uint32_t ip, uint16_t port);

    // ---- 92 queue rank: u32 rank.
    static uint32_t readQueueRank(i4_field_reader& in);
    static TCPPacket* queueRank(uint32_t rank);

    // ---- 94 directory file-list request: string directory (max 200).
    static i4_string readDirectory(i4_field_reader& in);
    static TCPPacket* directoryFilesRequest(const char* directory);

    // ---- 95 directory list: u32 n, n strings (max 200 each).
    static std::vector<i4_string> readDirectoryList(i4_field_reader& in);
    static TCPPacket* directoryList(const std::vector<i4_string>& names);

    // ---- 96 directory file list: string directory (max 200), the file list's network form.
    // Read in two steps, readDirectory then readFileList, as the receiver acts between them;
    // false when the list cannot be read.
    static bool readFileList(i4_field_reader& in, FileList& files);
    static TCPPacket* directoryFiles(const char* directory, FileList& files);

    // ---- 104 crumb hashes: hash, the file record's hash sets, which the download reads.
    static TCPPacket* crumbHashes(const uint8_t hash[16], FileMeta& shared);

    // ---- 106 crumb available: hash, u32 crumb index.
    static uint32_t readCrumbAvailable(i4_field_reader& in);
    static TCPPacket* crumbAvailable(const uint8_t hash[16], uint32_t crumb);

    // ---- The fields.
    // A frame of exactly payloadLength bytes with the opcode written; the writer adds the rest.
    static TCPPacket* start(uint8_t opcode, int32_t payloadLength);
    // Stored size of a text (cut to MAX_STRING bytes) and its writer.
    static int32_t stringSize(const char* text);
    static void writeString(i4_file& f, const char* text);

private:
    // Keeps at most max bytes and leaves the payload after the whole text.
    static i4_string readString(i4_field_reader& in, int max);
};
