#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_path.h"
#include "i4min/string/i4_string.h"

namespace {

std::string str(const i4_string& s) {
    return s.c_str() ? s.c_str() : "(null)";
}

TEST(Path, SplitPathTable) {
    const struct {
        const char* in;
        const char* dir;  // "(old)": left as it was
        const char* base;
        const char* ext;
    } cases[] = {
        {"dir/sub/file.tar.gz", "dir/sub", "file.tar", "gz"},
        {"file", "(old)", "file", "(old)"},
        {"a.b/c", "a.b", "c", "(old)"},
        {"dir\\win.txt", "dir", "win", "txt"},
        {"a/b\\c.d", "a/b", "c", "d"},
        {"/abs.x", "", "abs", "x"},
        {"dir/", "dir", "", "(old)"},
        {".hidden", "(old)", "", "hidden"},
        {"name.", "(old)", "name", ""},
        {"", "(old)", "", "(old)"},
    };
    for (const auto& c : cases) {
        i4_string dir("(old)"), base("(old)"), ext("(old)");
        EXPECT_EQ(i4_split_path(c.in, dir, base, ext), 1);
        EXPECT_EQ(str(dir), c.dir) << c.in;
        EXPECT_EQ(str(base), c.base) << c.in;
        EXPECT_EQ(str(ext), c.ext) << c.in;
    }
}

TEST(Path, FixDotNameTable) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {".", "_"}, {"..", "__"}, {"...", "..."}, {"a.", "a."}, {".a", ".a"}, {"", ""}, {"x", "x"},
    };
    for (const auto& c : cases) {
        i4_string s(c.in);
        i4_fix_dot_name(s);
        EXPECT_EQ(str(s), c.out) << c.in;
    }
}

bool isDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(Path, SafeNameTable) {
    const std::string longest(255, 'x'), tooLong(256, 'x');
    const struct {
        const char* name;
        bool safe;
    } cases[] = {
        {"song.mp3", true},
        {"Remix: Live.mp3", true},
        {"...", true},
        {".hidden", true},
        {longest.c_str(), true},
        {"\xe9t\xe9", true},
        {nullptr, false},
        {"", false},
        {".", false},
        {"..", false},
        {"a/b", false},
        {"/abs", false},
        {"a\\b", false},
        {"tab\there", false},
        {"nl\n", false},
        {"del\x7f", false},
        {tooLong.c_str(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        EXPECT_EQ(i4_is_safe_name(c.name), c.safe);
    }
    EXPECT_FALSE(i4_is_safe_name("abcd", 3));
    EXPECT_TRUE(i4_is_safe_name("abc", 3));
}

TEST(Path, SafeComponentTable) {
    const std::string tooLong(300, 'x');
    const struct {
        const char* name;
        int max;
        const char* component;
    } cases[] = {
        {"song.mp3", 255, "song.mp3"},
        {"../../x", 255, "x"},
        {"a/b", 255, "b"},
        {"c\\..\\d", 255, "d"},
        {"dir/", 255, "_"},
        {"", 255, "_"},
        {nullptr, 255, "_"},
        {".", 255, "_"},
        {"..", 255, "__"},
        {"a/..", 255, "__"},
        {"tab\there\x1b[2J\x7f", 255, "tab_here_[2J_"},
        {tooLong.c_str(), 10, "xxxxxxxxxx"},
        // A cut never leaves half a character: the two-byte \xc3\xa9 goes whole.
        {"ab\xc3\xa9", 3, "ab"},
        {"ab\xc3\xa9", 4, "ab\xc3\xa9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        i4_string out;
        i4_safe_component(c.name, out, c.max);
        EXPECT_STREQ(out.c_str(), c.component);
        EXPECT_TRUE(i4_is_safe_name(out.c_str(), c.max));
    }
}

TEST(Path, MakePath) {
    TempDir dir;
    EXPECT_EQ(i4_make_path((dir / "a/b/c/").c_str()), 1);
    EXPECT_TRUE(isDir(dir / "a/b/c"));
    EXPECT_EQ(i4_make_path((dir / "a\\b\\d").c_str()), 1);
    EXPECT_TRUE(isDir(dir / "a/b/d")) << "backslashes separate steps as i4_open reads them";
    EXPECT_EQ(i4_make_path((dir / "a/b/c").c_str()), 1) << "existing path";

    writeText(dir / "file", "x");
    EXPECT_EQ(i4_make_path((dir / "file/sub").c_str()), 0);
    EXPECT_EQ(i4_make_path((dir / "file").c_str()), 0);
    EXPECT_EQ(i4_make_path(""), 0);
    EXPECT_EQ(i4_make_path(nullptr), 0);
}

TEST(Path, FullPathAndCwd) {
    TempDir dir;
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path.c_str(), real), nullptr);
    i4_string out;
    EXPECT_EQ(i4_full_path((dir.path + "/./").c_str(), out), 1);
    EXPECT_EQ(str(out), real);
    EXPECT_EQ(i4_full_path("/no/such/place", out), 1);
    EXPECT_EQ(str(out), "/no/such/place");

    i4_string old;
    i4_get_cwd(old);
    ASSERT_EQ(i4_chdir(dir.path.c_str()), 1);
    i4_string cwd;
    i4_get_cwd(cwd);
    EXPECT_EQ(str(cwd), real);
    EXPECT_EQ(i4_full_path("missing", out), 1);
    EXPECT_EQ(str(out), std::string(real) + "/missing");
    EXPECT_EQ(i4_chdir("no-such-dir"), 0);
    ASSERT_EQ(i4_chdir(old.c_str()), 1);
}

TEST(Path, RelativePath) {
    TempDir dir;
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path.c_str(), real), nullptr);
    std::string root = real;
    for (const char* d : {"home", "home/ab", "home/ac", "home/ab/x", "home/ab/x/y"})
        ASSERT_EQ(mkdir((root + "/" + d).c_str(), 0777), 0);
    writeText(root + "/home/ac/f", "");
    const struct {
        const char* cwd;
        const char* path;
        const char* out;
    } cases[] = {
        {"home/ab", "home/ac/f", "../ac/f"},  // "ab" and "ac" share "a" only as text
        {"home", "home/ab/x", "ab/x"},
        {"home/ab/x/y", "home", "../../../"},
        {"home/ab/x", "home/ab/x", ""},
    };
    i4_string old;
    i4_get_cwd(old);
    for (const auto& c : cases) {
        ASSERT_EQ(i4_chdir((root + "/" + c.cwd).c_str()), 1);
        i4_string out;
        i4_relative_path((root + "/" + c.path).c_str(), out);
        EXPECT_EQ(str(out), c.out) << c.cwd << " -> " << c.path;
    }
    ASSERT_EQ(i4_chdir(old.c_str()), 1);
}

TEST(DirListing, ListsFilesAndDirectoriesApart) {
    TempDir dir;
    writeText(dir / "big", std::string(300, 'x'));
    writeText(dir / "small", "x");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0777), 0);
    ASSERT_EQ(symlink("sub", (dir / "link").c_str()), 0);

    i4_dir_listing l;
    EXPECT_EQ(i4_list_directory(dir.path.c_str(), l, true), 1);
    std::multiset<std::string> files, dirs;
    for (auto& s : l.file_names) files.insert(s.c_str());
    for (auto& s : l.dir_names) dirs.insert(s.c_str());
    EXPECT_EQ(files, (std::multiset<std::string>{"big", "small"}));
    EXPECT_EQ(dirs, (std::multiset<std::string>{".", "..", "sub", "link"}));
    ASSERT_EQ(l.statuses.size(), 2u);

    i4_sort_listing(l, I4_SORT_SIZE);
    EXPECT_STREQ(l.file_names[0].c_str(), "small");
    EXPECT_EQ(l.statuses[0].size, 1);
    EXPECT_STREQ(l.file_names[1].c_str(), "big");
    EXPECT_EQ(l.statuses[1].size, 300);

    i4_dir_listing bare;
    EXPECT_EQ(i4_list_directory(dir.path.c_str(), bare, false), 1);
    EXPECT_EQ(bare.file_names.size(), 2u);
    EXPECT_TRUE(bare.statuses.empty());
    i4_sort_listing(bare, I4_SORT_SIZE);  // nothing to sort by: unchanged
    EXPECT_EQ(bare.file_names.size(), 2u);

    EXPECT_EQ(l.statuses[1].is_regular, 1);

    i4_dir_listing none;
    EXPECT_EQ(i4_list_directory((dir / "small").c_str(), none, true), 0);
    EXPECT_EQ(i4_is_listable_directory((dir / "small").c_str()), 0);
    EXPECT_EQ(i4_is_listable_directory((dir / "none").c_str()), 0);
    EXPECT_EQ(i4_is_listable_directory((dir / "link").c_str()), 1);
    EXPECT_EQ(i4_is_listable_directory(dir.path.c_str()), 1);
    EXPECT_EQ(i4_list_directory((dir / "missing").c_str(), none, true), 0);
    EXPECT_TRUE(none.file_names.empty() && none.dir_names.empty());
}

TEST(DirListing, SortByTimes) {
    TempDir dir;
    const char* names[] = {"new", "old", "mid"};
    const time_t times[] = {3000, 1000, 2000};
    for (int i = 0; i < 3; i++) {
        std::string p = dir / names[i];
        writeText(p, "");
        struct timespec ts[2] = {{times[i], 0}, {times[i], 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), ts, 0), 0);
    }
    for (int key : {I4_SORT_MODIFIED, I4_SORT_ACCESSED}) {
        i4_dir_listing l;
        ASSERT_EQ(i4_list_directory(dir.path.c_str(), l, true), 1);
        i4_sort_listing(l, key);
        ASSERT_EQ(l.file_names.size(), 3u);
        EXPECT_STREQ(l.file_names[0].c_str(), "old");
        EXPECT_STREQ(l.file_names[1].c_str(), "mid");
        EXPECT_STREQ(l.file_names[2].c_str(), "new");
        EXPECT_EQ(l.statuses[0].modified, 1000);
    }
}

}  // namespace
