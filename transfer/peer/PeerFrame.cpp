#include "transfer/peer/PeerFrame.h"

#include <cstring>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "net/TCPPacket.h"
#include "util/BoolArray.h"

namespace {

int32_t storedLength(const char* text) {
    size_t n = text ? strlen(text) : 0;
    return n > PeerFrame::MAX_STRING ? (int32_t)PeerFrame::MAX_STRING : (int32_t)n;
}

}  // namespace

// ---- the opcode alone, a hash alone

TCPPacket* PeerFrame::bare(uint8_t opcode) {
    return start(opcode, 1);
}

TCPPacket* PeerFrame::withHash(uint8_t opcode, const uint8_t hash[16]) {
    TCPPacket* p = start(opcode, 1 + HASH_SIZE);
    p->file().write(hash, HASH_SIZE);
    return p;
}

void PeerFrame::readHash(i4_field_reader& in, uint8_t hash[16]) {
    in.bytes(hash, HASH_SIZE);
}

// ---- 70 data

bool PeerFrame::readData(i4_field_reader& in, Data& out) {
    out.start = in.u32();
    out.end = in.u32();
    if (out.end < out.start) return false;
    uint32_t n = out.end - out.start;
    in.need(n);
    i4_file& f = in.file();
    out.bytes = static_cast<const uint8_t*>(f.memory_at(in.position()));
    // Handed on in place: a payload that is not one block of memory has no such bytes.
    if (!out.bytes || !f.is_memory()) throw i4_err("peer payload is not in memory");
    in.skip(n);
    return true;
}

uint8_t* PeerFrame::writeData(TCPPacket& frame, const uint8_t hash[16], uint32_t start,
                              uint32_t end) {
    i4_file& f = frame.file();
    f.write_8(OP_DATA);
    f.write(hash, HASH_SIZE);
    f.write_32(start);
    f.write_32(end);
    // The bytes count as written once reserved, so none is zeroed after.
    return static_cast<uint8_t*>(frame.file().reserve((int32_t)(end - start)));
}

// ---- 71 range request

PeerFrame::Ranges PeerFrame::readRanges(i4_field_reader& in) {
    Ranges r;
    for (int i = 0; i < 3; i++) r.starts[i] = in.u32();
    for (int i = 0; i < 3; i++) r.ends[i] = in.u32();
    return r;
}

TCPPacket* PeerFrame::ranges(const uint8_t hash[16], const uint32_t starts[3],
                             const uint32_t ends[3]) {
    TCPPacket* p = start(OP_REQUEST_RANGES, 1 + HASH_SIZE + 24);
    i4_file& f = p->file();
    f.write(hash, HASH_SIZE);
    for (int i = 0; i < 3; i++) f.write_32(starts[i]);
    for (int i = 0; i < 3; i++) f.write_32(ends[i]);
    return p;
}

// ---- 77 id change

PeerFrame::IdChange PeerFrame::readIdChange(i4_field_reader& in) {
    IdChange c;
    c.id = in.u32();
    c.serverIp = in.u32();
    return c;
}

TCPPacket* PeerFrame::idChange(uint32_t id, uint32_t serverIp) {
    TCPPacket* p = start(OP_ID_CHANGE, 9);
    p->file().write_32(id);
    p->file().write_32(serverIp);
    return p;
}

// ---- 78 chat

i4_string PeerFrame::readChat(i4_field_reader& in) {
    return readString(in, MAX_CHAT);
}

TCPPacket* PeerFrame::chat(const char* text) {
    TCPPacket* p = start(OP_CHAT, 1 + stringSize(text));
    writeString(p->file(), text);
    return p;
}

// ---- 80 file status

void PeerFrame::readFileStatus(i4_field_reader& in, BoolArray& bits) {
    uint16_t count = in.u16();
    if (count > 0) in.need(count / 8 + 1);
    in.file().seek(in.position() - 2);
    bits.read(in.file());
}

TCPPacket* PeerFrame::fileStatus(const uint8_t hash[16], const BoolArray& bits) {
    TCPPacket* p = start(OP_FILE_STATUS, (int32_t)(1 + HASH_SIZE + bits.diskSize()));
    p->file().write(hash, HASH_SIZE);
    bits.write(p->file());
    return p;
}

// ---- 82 part hashes

void PeerFrame::checkPartHashes(i4_field_reader& in) {
    int64_t at = in.position();
    in.need((int64_t)in.u16() * HASH_SIZE);
    in.file().seek(at);
}

// ---- 89 file name

i4_string PeerFrame::readFileName(i4_field_reader& in) {
    return readString(in, MAX_FILE_NAME);
}

TCPPacket* PeerFrame::fileName(const uint8_t hash[16], const char* name) {
    TCPPacket* p = start(OP_FILE_NAME, 1 + HASH_SIZE + stringSize(name));
    p->file().write(hash, HASH_SIZE);
    writeString(p->file(), name);
    return p;
}

// ---- 90 connect request

PeerFrame::Address PeerFrame::readConnectRequest(i4_field_reader& in) {
    Address a;
    a.ip = in.u32();
    a.port = in.u16();
    return a;
}

TCPPacket* PeerFrame::connectRequest(uint32_t ip, uint16_t port) {
    TCPPacket* p = start(OP_CONNECT_REQUEST, 7);
    p->file().write_32(ip);
    p->file().write_16(port);
    return p;
}

// ---- 92 queue rank

uint32_t PeerFrame::readQueueRank(i4_field_reader& in) {
    return in.u32();
}

TCPPacket* PeerFrame::queueRank(uint32_t rank) {
    TCPPacket* p = start(OP_QUEUE_RANK, 5);
    p->file().write_32(rank);
    return p;
}

// ---- 94 directory file-list request

i4_string PeerFrame::readDirectory(i4_field_reader& in) {
    return readString(in, MAX_DIRECTORY);
}

TCPPacket* PeerFrame::directoryFilesRequest(const char* directory) {
    TCPPacket* p = start(OP_DIRECTORY_FILES_REQUEST, 1 + stringSize(directory));
    writeString(p->file(), directory);
    return p;
}

// ---- 95 directory list

std::vector<i4_string> PeerFrame::readDirectoryList(i4_field_reader& in) {
    // Every name takes at least its 2-byte length.
    uint32_t n = in.count32(MAX_DIRECTORIES, 2);
    std::vector<i4_string> names;
    names.reserve(n);
    for (uint32_t i = 0; i < n; i++) names.push_back(readDirectory(in));
    return names;
}

TCPPacket* PeerFrame::directoryList(const std::vector<i4_string>& names) {
    int32_t length = 1 + 4;
    for (const i4_string& name : names) length += stringSize(name.c_str());
    TCPPacket* p = start(OP_DIRECTORY_LIST, length);
    p->file().write_32((uint32_t)names.size());
    for (const i4_string& name : names) writeString(p->file(), name.c_str());
    return p;
}

// ---- 96 directory file list

bool PeerFrame::readFileList(i4_field_reader& in, FileList& files) {
    try {
        return files.fromNetwork(in.file());
    } catch (...) {
        return false;
    }
}

TCPPacket* PeerFrame::directoryFiles(const char* directory, FileList& files) {
    TCPPacket* p = start(OP_DIRECTORY_FILES, 1 + stringSize(directory) + files.size());
    writeString(p->file(), directory);
    files.toNetwork(p->file());
    return p;
}

// ---- 104 crumb hashes

TCPPacket* PeerFrame::crumbHashes(const uint8_t hash[16], FileMeta& shared) {
    TCPPacket* p = start(OP_CRUMB_HASHES, 1 + HASH_SIZE + shared.hashSetsSize());
    p->file().write(hash, HASH_SIZE);
    shared.writeHashSets(p->file());
    return p;
}

// ---- 106 crumb available

uint32_t PeerFrame::readCrumbAvailable(i4_field_reader& in) {
    return in.u32();
}

TCPPacket* PeerFrame::crumbAvailable(const uint8_t hash[16], uint32_t crumb) {
    TCPPacket* p = start(OP_CRUMB_AVAILABLE, 1 + HASH_SIZE + 4);
    p->file().write(hash, HASH_SIZE);
    p->file().write_32(crumb);
    return p;
}

// ---- the fields

TCPPacket* PeerFrame::start(uint8_t opcode, int32_t payloadLength) {
    TCPPacket* p = new TCPPacket(payloadLength, MARKER);
    p->file().write_8(opcode);
    return p;
}

int32_t PeerFrame::stringSize(const char* text) {
    return 2 + storedLength(text);
}

void PeerFrame::writeString(i4_file& f, const char* text) {
    int32_t n = storedLength(text);
    f.write_16((uint16_t)n);
    if (n > 0) f.write(text, n);
}

i4_string PeerFrame::readString(i4_field_reader& in, int max) {
    i4_string text;
    in.text(max, text);
    return text;
}
