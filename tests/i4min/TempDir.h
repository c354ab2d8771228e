// A scratch directory for one test, removed with everything in it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/stat.h>

class TempDir {
public:
    // Under `base` (a directory on the file system the test needs).
    explicit TempDir(const std::string& base = "") {
        std::string root = base;
        if (root.empty()) {
            const char* t = getenv("TMPDIR");
            root = t && *t ? t : "/tmp";
        }
        std::string templ = root + "/tornavel-test-XXXXXX";
        char* made = mkdtemp(&templ[0]);
        if (made) path = made;
        EXPECT_FALSE(path.empty()) << "cannot make a scratch directory under " << root;
    }
    ~TempDir() {
        if (!path.empty()) nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

    std::string path;

private:
    static int removeEntry(const char* name, const struct stat*, int, struct FTW*) {
        ::remove(name);
        return 0;
    }
};

inline void writeText(const std::string& name, const std::string& content) {
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f << content;
}

inline std::string readText(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline bool fileExists(const std::string& name) {
    std::ifstream f(name);
    return f.good();
}
