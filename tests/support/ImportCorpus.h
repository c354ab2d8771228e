// Test helper: the importers' media corpus, made by stock encoders. Used by the tests
// of one thread at a time.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <stdlib.h>
#include <string>

#include "i4min/TempDir.h"

// The corpus of this test run: made once by the test set-up (its directory in
// TORNAVEL_IMPORT_CORPUS), or here, once per process, when the binary runs alone.
inline const std::string& importCorpus() {
    static std::unique_ptr<TempDir> own;
    static std::string dir;
    if (!dir.empty()) return dir;
    const char* given = getenv("TORNAVEL_IMPORT_CORPUS");
    if (given && *given && fileExists(std::string(given) + "/reports.txt")) {
        dir = given;
        return dir;
    }
    own.reset(new TempDir);
    std::string cmd = "sh '" TORNAVEL_TEST_DATA "/../import/make_corpus.sh' '" + own->path + "'";
    EXPECT_EQ(0, system(cmd.c_str())) << cmd;
    dir = own->path;
    return dir;
}
