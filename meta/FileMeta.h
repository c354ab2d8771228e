// The record of one file: its tags (name in special tag 1, size in special tag 2)
// plus local path, modification time, file hash and, for files of two or more parts
// or crumbs, the part and crumb hashes. No lock: used by the thread that holds it or
// under the lock of the list that holds it.
//
// Known-file layout (disk form, version 2; integers little-endian):
//   offset  width  field
//   0       1      version, 2
//   1       4      modification time
//   5       16     file hash
//   21      ...    tags (Meta); a record with a local path adds the string tag "Path"
//   then           hash sets, only for a non-zero size:
//                    part count >= 2:  1 and part count x 16 bytes, or 0
//                    crumb count >= 2: 1 and crumb count x 8 bytes, or 0
// Older layout (first byte not 2): time, hash, u16 n, n x 16 part hashes, tags.
// Wire form: 16-byte hash, u32 0, u16 0, tags.
#pragma once

#include <stdint.h>
#include <vector>

#include "i4min/string/i4_string.h"
#include "meta/Meta.h"

class FileHashState;
class i4_field_reader;

class FileMeta : public Meta {
public:
    enum {
        KNOWN_VERSION = 2,
        PART_HASH = 16,  // bytes of one part hash
        CRUMB_HASH = 8,  // bytes of one crumb hash
        // No file below 4 GiB has more hash bytes than this (crumbs of 486,400 bytes).
        MAX_HASH_BYTES = 8832 * 16,
    };
    // The string tag that carries the local path in the disk form.
    static constexpr const char* LOCAL_PATH_TAG = "Path";

    FileMeta();
    FileMeta(FileMeta& other);
    // Describes a local file for hashing: sets path, name and size and fills the
    // state. Reports "couldn't open" when the file cannot be read and refuses a file
    // of 4 GiB or more, whose size no record or packet can carry.
    FileMeta(const char* path, FileHashState& state);
    ~FileMeta() override;

    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    // Tags, path, time and hash; the hash arrays sized from this record's size.
    bool copyFrom(Meta* other) override;

    // Hashes the next crumb of the file into the record: true while more remains,
    // false after the step that set the file hash.
    bool hashStep(FileHashState& state);

    void setPath(const char* p) { path = p; }
    const char* getPath() const { return path.c_str(); }
    uint32_t getModTime() const { return modTime; }
    void setModTime(uint32_t t) { modTime = t; }
    uint8_t* getFileHash() { return fileHash; }
    void setFileHash(const uint8_t hash[16]);

    // Null for an index outside the parts; without part hashes the file hash of a
    // one-part file.
    const uint8_t* getPartHash(int index);
    // The crumb hash's 8 bytes, first byte lowest; 0 without one.
    uint64_t getCrumbHash(int index);
    // A crumb's MD4 digest in the form getCrumbHash answers, for comparing the two.
    static uint64_t crumbValue(const uint8_t digest[16]);
    int partCount();
    int crumbCount();
    bool hasPartHashes();
    bool hasCrumbHashes();
    // The record describes the file at that path as it is now: same path (exact bytes),
    // size and modification time. A file of the same name elsewhere is another file.
    bool isSameFile(uint32_t size, uint32_t time, const char* path);
    // Takes the part hashes when exactly partCount() of them are given.
    bool setPartHashes(const uint8_t* hashes, int count);
    void setCrumbHashes(const uint8_t* hashes, int count);

    // Throws i4_err when the file takes the bytes short.
    void writeHashSets(i4_file& f);
    bool readHashSets(i4_file& f);
    int hashSetsSize();
    // Whether the part hashes hash to the file hash, by the record rule or, for
    // a size that is a multiple of a part, by the completion rule.
    bool partHashesMatch(const uint8_t* hashes, int count);
    // u16 count, then part hashes: read only when the count equals the part count,
    // kept only when they hash to the file hash.
    bool readPartHashesChecked(i4_file& f);
    // Drops what is local to this client before a record is published.
    void stripTransientTags();
    // Gives a shared file the local tags it lacks: "# Sent" (whole copies uploaded) 0.0
    // and the upload priority (special tag 19) 0.
    void addTransientTags();
    void print(bool withHashes, MetaOutput* out = nullptr);

private:
    void freeHashes();
    // Part hashes are kept only when their MD4 is the file hash.
    bool takePartHashes(std::vector<uint8_t> hashes);
    bool readOlderLayout(i4_field_reader& in);
    // The local path stored with a record read from the disk.
    void takeLocalPath();

    // Empty when absent; otherwise exactly the crumb or part count of hashes.
    std::vector<uint8_t> crumbHashes;
    std::vector<uint8_t> partHashes;
    uint32_t modTime;
    i4_string path;
    uint8_t fileHash[16];
};
