// Shared by the targets that read through the real file classes: a directory of this process's
// own, removed at exit, and a helper that puts the input there as a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <unistd.h>

inline void fuzzRemoveTempDir();

// Made on first use and never destroyed: the removal at exit still needs its name.
inline const std::string& fuzzTempDir() {
    static const std::string* dir = [] {
        char t[] = "/tmp/tornavel-fuzz-XXXXXX";
        const std::string* made = new std::string(mkdtemp(t) ? t : "/tmp");
        atexit(fuzzRemoveTempDir);
        return made;
    }();
    return *dir;
}

// The files of the directory and of the directories in it (a target may make some).
inline void fuzzRemoveTree(const std::string& dir, int depth) {
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2])))
                continue;
            std::string path = dir + "/" + e->d_name;
            if (unlink(path.c_str()) != 0 && depth > 0) fuzzRemoveTree(path, depth - 1);
        }
        closedir(d);
    }
    rmdir(dir.c_str());
}

inline void fuzzRemoveTempDir() {
    const std::string& dir = fuzzTempDir();
    if (dir == "/tmp") return;
    fuzzRemoveTree(dir, 2);
}

// The bytes as the file name in the directory; answers its path.
inline std::string fuzzFile(const char* name, const uint8_t* data, size_t size) {
    std::string path = fuzzTempDir() + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
        if (size) fwrite(data, 1, size, f);
        fclose(f);
    }
    return path;
}
