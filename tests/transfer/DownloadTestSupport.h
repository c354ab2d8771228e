// Helpers of the download tests: a temporary and an incoming directory made
// the transfer side's own for one test, file contents and their records.
#pragma once

#include <gtest/gtest.h>
#include <random>
#include <stdint.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "i4min/TempDir.h"
#include "meta/FileHashState.h"
#include "meta/FileMeta.h"
#include "transfer/TempFiles.h"
#include "transfer/TransferOptions.h"

// base: a directory on the file system the test needs ("" for the default).
struct TransferDirs {
    explicit TransferDirs(const std::string& base = "") : root(base) {
        temp = root / "temp";
        incoming = root / "incoming";
        mkdir(temp.c_str(), 0777);
        mkdir(incoming.c_str(), 0777);
        theTransferOptions.setTemp(temp.c_str());
        theTransferOptions.setIncoming(incoming.c_str());
        theTransferOptions.saveCor = 1;
        theTempFiles.reset();
    }
    TempDir root;
    std::string temp;
    std::string incoming;
};

inline std::vector<uint8_t> randomBytes(uint64_t size, uint32_t seed) {
    std::vector<uint8_t> b((size_t)size);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < b.size(); i += 4) {
        uint32_t v = rng();
        for (size_t k = 0; k < 4 && i + k < b.size(); k++) b[i + k] = (uint8_t)(v >> (8 * k));
    }
    return b;
}

// The record of the content as the hashing of shared files makes it: size,
// file hash, part and crumb hashes, with the given name and no path.
inline FileMeta* recordOf(const std::vector<uint8_t>& content, const char* name,
                          const std::string& scratchDir) {
    std::string path = scratchDir + "/hash-scratch";
    writeText(path, std::string(content.begin(), content.end()));
    FileHashState state;
    FileMeta* record = new FileMeta(path.c_str(), state);
    while (record->hashStep(state)) {
    }
    record->setName(name);
    record->setPath("");
    remove(path.c_str());
    return record;
}
