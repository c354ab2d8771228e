#include <gtest/gtest.h>
#include <math.h>
#include <signal.h>
#include <string.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/CoreOptions.h"
#include "core/PageViewer.h"
#include "core/ProtocolHolder.h"
#include "core/StringTable.h"
#include "core/XMLStringTable.h"
#include "i4min/TempDir.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_proxy_settings.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "support/ChildProcess.h"
#include "util/UniqueID.h"

namespace {

// pref.met as this test reads and writes it, independently of the record model.
struct StoredTag {
    uint8_t type;
    std::string name;
    std::string text;  // type 2
    int32_t number;    // type 3
    float real;        // type 4
};

struct PrefFile {
    bool ok = false;
    uint32_t ip = 0;
    uint16_t port = 0;
    std::vector<uint8_t> hash;
    std::vector<StoredTag> user, prefs;

    const StoredTag* find(const std::vector<StoredTag>& tags, const std::string& name) const {
        for (const StoredTag& t : tags)
            if (t.name == name) return &t;
        return nullptr;
    }
};

class Reader {
public:
    explicit Reader(const std::string& b) : bytes(b) {}
    bool take(size_t n, std::string* out = nullptr) {
        if (bytes.size() - at < n) return false;
        if (out) *out = bytes.substr(at, n);
        at += n;
        return true;
    }
    bool u(int width, uint32_t* out) {
        std::string b;
        if (!take(width, &b)) return false;
        *out = 0;
        for (int i = width - 1; i >= 0; i--) *out = *out << 8 | (uint8_t)b[i];
        return true;
    }
    bool text(std::string* out) {
        uint32_t n;
        return u(2, &n) && take(n, out);
    }
    bool tags(std::vector<StoredTag>* out) {
        uint32_t count;
        if (!u(4, &count)) return false;
        for (uint32_t i = 0; i < count; i++) {
            StoredTag t = {};
            uint32_t type, v;
            if (!u(1, &type) || !text(&t.name)) return false;
            t.type = (uint8_t)type;
            if (type == 2) {
                if (!text(&t.text)) return false;
            } else if (type == 3 || type == 4) {
                if (!u(4, &v)) return false;
                t.number = (int32_t)v;
                memcpy(&t.real, &v, 4);
            } else {
                return false;
            }
            out->push_back(t);
        }
        return true;
    }
    bool atEnd() const { return at == bytes.size(); }

private:
    std::string bytes;
    size_t at = 0;
};

PrefFile parsePrefs(const std::string& bytes) {
    PrefFile p;
    Reader r(bytes);
    uint32_t ip, port;
    std::string hash;
    if (!r.u(4, &ip) || !r.u(2, &port) || !r.take(16, &hash) || !r.tags(&p.user) ||
        !r.tags(&p.prefs))
        return p;
    p.ip = ip;
    p.port = (uint16_t)port;
    p.hash.assign(hash.begin(), hash.end());
    p.ok = r.atEnd();
    return p;
}

// Builds the bytes of a pref.met.
class Writer {
public:
    Writer& u(int width, uint32_t v) {
        for (int i = 0; i < width; i++) bytes += (char)(v >> (8 * i) & 0xFF);
        return *this;
    }
    Writer& text(const std::string& s) {
        u(2, (uint32_t)s.size());
        bytes += s;
        return *this;
    }
    Writer& count(uint32_t n) { return u(4, n); }
    Writer& str(const std::string& name, const std::string& value) {
        u(1, 2).text(name).text(value);
        return *this;
    }
    Writer& num(const std::string& name, int32_t value) {
        u(1, 3).text(name).u(4, (uint32_t)value);
        return *this;
    }
    Writer& real(const std::string& name, float value) {
        uint32_t bits;
        memcpy(&bits, &value, 4);
        u(1, 4).text(name).u(4, bits);
        return *this;
    }
    Writer& user(uint8_t hashByte, const std::string& name) {
        u(4, 0).u(2, 0);
        bytes += std::string(16, (char)hashByte);
        count(3).str("\x01", name).num("\x11", 1).num("\x0f", 4662);
        return *this;
    }
    std::string bytes;
};

class CoreOptionsTest : public ::testing::Test {
protected:
    void SetUp() override { initSpecialTags(); }
    void TearDown() override {
        delete theProxySettings;
        theProxySettings = nullptr;
    }
    std::string pref() { return dir / "pref.met"; }

    TempDir dir;
    PageViewer pager;
    CapturedUI console{&pager};
};

bool isRandomName(const std::string& name) {
    if (name.size() != 5) return false;
    for (char c : name)
        if (c < 'a' || c > 'y') return false;
    return true;
}

TEST_F(CoreOptionsTest, FirstRunWritesANewIdentityWithEveryDefault) {
    CoreOptions options;
    EXPECT_FALSE(options.load(dir.path.c_str()));
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(options.getPrefPath().c_str(), pref());
    EXPECT_EQ(options.getFiltersPath().c_str(), dir / "filters.txt");
    EXPECT_EQ(options.getMaxUpload(), 0);
    EXPECT_EQ(options.getMaxDownload(), 0);
    EXPECT_EQ(options.maxCon, 45);
    EXPECT_EQ(options.maxUpSpeed, 5.0);
    EXPECT_EQ(pager.getLines(), 24);
    ASSERT_NE(theProxySettings, nullptr);
    EXPECT_EQ(theProxySettings->type, (uint32_t)I4_PROXY_DIRECT);
    ASSERT_TRUE(options.save());

    PrefFile p = parsePrefs(readText(pref()));
    ASSERT_TRUE(p.ok);
    EXPECT_NE(p.hash, std::vector<uint8_t>(16, 0));
    const StoredTag* name = p.find(p.user, "\x01");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->type, 2);
    EXPECT_TRUE(isRandomName(name->text)) << name->text;
    const StoredTag* version = p.find(p.user, "\x11");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->type, 3);
    EXPECT_EQ(version->number, 10501);
    EXPECT_EQ(p.find(p.user, "pr"), nullptr);

    const struct {
        const char* key;
        uint8_t type;
        double value;
    } keys[] = {
        {"userMaxUpF", 4, 0},   {"userMaxDownF", 4, 0},   {"lineDown", 4, 0},
        {"maxUpSpeed", 4, 5.0}, {"maxDownSpeed", 4, 5.0}, {"maxCon", 3, 45},
        {"screenLines", 3, 24}, {"partstyle", 3, 0},      {"pType", 3, 0},
    };
    EXPECT_EQ(p.prefs.size(), sizeof keys / sizeof keys[0]);
    for (const auto& k : keys) {
        const StoredTag* t = p.find(p.prefs, k.key);
        ASSERT_NE(t, nullptr) << k.key;
        EXPECT_EQ(t->type, k.type) << k.key;
        EXPECT_EQ(t->type == 4 ? (double)t->real : (double)t->number, k.value) << k.key;
    }
}

TEST_F(CoreOptionsTest, TheRecordSentToOthersCarriesPrButTheFileDoesNot) {
    CoreOptions options;
    options.load(dir.path.c_str());
    i4_ram_file_class wire(nullptr, 0, 256);
    ASSERT_TRUE(options.writeUserMeta(wire));
    EXPECT_EQ(options.getUserMetaSize(), (int)wire.size());
    std::string bytes((const char*)wire.get_buffer(), (size_t)wire.size());
    i4_free(wire.get_buffer());
    Reader r(bytes);
    std::vector<StoredTag> tags;
    ASSERT_TRUE(r.take(22) && r.tags(&tags));
    bool pr = false;
    for (const StoredTag& t : tags) pr = pr || (t.name == "pr" && t.type == 3 && t.number == 1);
    EXPECT_TRUE(pr);
    ASSERT_TRUE(options.save());
    EXPECT_EQ(parsePrefs(readText(pref())).find(parsePrefs(readText(pref())).user, "pr"), nullptr);
    // Still there in memory after the save.
    EXPECT_EQ(options.getOwnUser()->getTagInt("pr"), 1);
}

TEST_F(CoreOptionsTest, RoundTripKeepsValuesIdentityAndUnknownKeys) {
    CoreOptions first;
    first.load(dir.path.c_str());
    first.setMaxUpload(12);
    first.setMaxDownload(30);
    first.maxCon = 80;
    first.lineDown = 64;
    first.maxUpSpeed = 11;
    first.maxDownSpeed = 99;
    first.partstyle = true;
    first.setUserName("somebody");
    first.setIntPref("doorPort", 4662);
    first.setStringPref("incoming", "/srv/in");
    first.getPrefs()->setTag("futureKey", "kept", MetaTag::STRING);
    pager.setLines(10);
    i4_proxy_settings socks;
    socks.type = I4_PROXY_SOCKS5;
    socks.host = i4_strdup("proxy.example");
    socks.port = 1080;
    socks.user = i4_strdup("me");
    socks.password = i4_strdup("secret");
    EXPECT_TRUE(first.setProxy(&socks));
    ASSERT_TRUE(first.save());

    pager.setLines(24);
    console.out.clear();
    CoreOptions second;
    EXPECT_TRUE(second.load(dir.path.c_str()));
    EXPECT_EQ(console.text(), "");
    EXPECT_EQ(memcmp(second.getOwnUser()->hash, first.getOwnUser()->hash, 16), 0);
    EXPECT_STREQ(second.getUserName().c_str(), "somebody");
    EXPECT_EQ(second.getMaxUpload(), 12);
    EXPECT_EQ(second.getMaxDownload(), 30);
    EXPECT_EQ(second.maxCon, 80);
    EXPECT_EQ(second.lineDown, 64);
    EXPECT_EQ(second.maxUpSpeed, 11);
    EXPECT_EQ(second.maxDownSpeed, 99);
    EXPECT_TRUE(second.partstyle);
    EXPECT_EQ(pager.getLines(), 10);
    int door = 0;
    EXPECT_TRUE(second.getIntPref("doorPort", &door));
    EXPECT_EQ(door, 4662);
    EXPECT_STREQ(second.getStringPref("incoming"), "/srv/in");
    EXPECT_STREQ(second.getStringPref("futureKey"), "kept");
    ASSERT_NE(theProxySettings, nullptr);
    EXPECT_TRUE(i4_proxy_settings::equals(theProxySettings, &socks));

    // The unknown key survives a second save too.
    ASSERT_TRUE(second.save());
    PrefFile p = parsePrefs(readText(pref()));
    ASSERT_TRUE(p.ok);
    ASSERT_NE(p.find(p.prefs, "futureKey"), nullptr);
    EXPECT_EQ(p.find(p.prefs, "futureKey")->text, "kept");
}

TEST_F(CoreOptionsTest, PathSettingsReadBackWholeUpTo4095Bytes) {
    std::string deep = "/srv";
    while (deep.size() < 4095) deep += "/d";
    deep.resize(4095);
    CoreOptions first;
    first.load(dir.path.c_str());
    first.setStringPref("incoming", deep.c_str());
    first.setStringPref("temp", (deep + "xyz").c_str());
    ASSERT_TRUE(first.save());

    CoreOptions second;
    ASSERT_TRUE(second.load(dir.path.c_str()));
    EXPECT_EQ(std::string(second.getStringPref("incoming")), deep);
    EXPECT_EQ(std::string(second.getStringPref("temp")), deep);
}

TEST_F(CoreOptionsTest, VersionIsSetAndThePortTagDroppedWhateverTheFileHeld) {
    writeText(pref(), Writer().user(0x42, "stored").count(0).bytes);
    CoreOptions options;
    EXPECT_TRUE(options.load(dir.path.c_str()));
    EXPECT_EQ(options.getOwnUser()->getSpecialInt(SpecialTagInfo::VERSION), 10501);
    EXPECT_EQ(options.getOwnUser()->getSpecialValue(SpecialTagInfo::PORT), nullptr);
    EXPECT_STREQ(options.getUserName().c_str(), "stored");
    EXPECT_EQ(options.getOwnUser()->hash[0], 0x42);
}

// Every way pref.met and its ".bak" can be found at start: the identity and
// the settings come from the best copy, and the console says what was wrong
// (%P stands for pref.met's path, %B for the backup's).
TEST_F(CoreOptionsTest, DamagedAndUnreadableCopies) {
    const std::string good =
        Writer().user(0x42, "stored").count(2).num("maxCon", 70).num("screenLines", 30).bytes;
    const std::string settingsCut = good.substr(0, good.size() - 3);
    const std::string userCut = good.substr(0, 10);
    const std::string DIRECTORY = "<directory>", FIFO = "<fifo>";
    const struct {
        const char* what;
        std::string main;    // empty: no file
        std::string backup;  // empty: no file
        bool identityKept;
        int maxCon;
        const char* message;
    } table[] = {
        {"all-zero hash", Writer().user(0, "zero").count(0).bytes, "", false, 45,
         "%P is damaged: starting with a new identity"},
        {"cut inside the user record", userCut, "", false, 45,
         "%P is damaged: starting with a new identity"},
        {"one stray byte", "x", "", false, 45, "%P is damaged: starting with a new identity"},
        {"cut inside the settings", settingsCut, "", true, 70,
         "%P is damaged: the identity and the settings before the damage are kept"},
        {"damaged, complete backup", userCut, good, true, 70,
         "%P is damaged: settings taken from %B"},
        {"settings cut, complete backup", settingsCut, good, true, 70,
         "%P is damaged: settings taken from %B"},
        {"damaged, backup with its settings cut", userCut, settingsCut, true, 70,
         "%P is damaged: the identity and the settings before the damage are kept from %B"},
        {"both damaged", userCut, good.substr(0, 20), false, 45,
         "%P is damaged: starting with a new identity"},
        {"missing, complete backup", "", good, true, 70, "%P is missing: settings taken from %B"},
        {"missing, damaged backup", "", userCut, false, 45,
         "%P is missing and %B is damaged: starting with a new identity"},
        {"a directory, complete backup", DIRECTORY, good, true, 70,
         "%P cannot be read (Is a directory): settings taken from %B"},
        {"a FIFO", FIFO, "", false, 45,
         "%P cannot be read (not a regular file): starting with a new identity"},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        TempDir here;
        std::string path = here / "pref.met";
        if (c.main == DIRECTORY)
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        else if (c.main == FIFO)
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        else if (!c.main.empty())
            writeText(path, c.main);
        if (!c.backup.empty()) writeText(path + ".bak", c.backup);
        console.out.clear();
        CoreOptions options;
        EXPECT_EQ(options.load(here.path.c_str()), c.identityKept);
        std::string expected = c.message;
        expected.replace(expected.find("%P"), 2, path);
        if (expected.find("%B") != std::string::npos)
            expected.replace(expected.find("%B"), 2, path + ".bak");
        EXPECT_EQ(console.text(), expected + "\n");
        UserMeta* me = options.getOwnUser();
        EXPECT_FALSE(UniqueID::isZero(me->hash));
        if (c.identityKept) {
            EXPECT_EQ(me->hash[5], 0x42);
            EXPECT_STREQ(options.getUserName().c_str(), "stored");
        } else {
            EXPECT_TRUE(isRandomName(options.getUserName().c_str()));
        }
        EXPECT_EQ(options.maxCon, c.maxCon);
        EXPECT_EQ(me->getSpecialInt(SpecialTagInfo::VERSION), 10501);
        EXPECT_EQ(me->getTagInt("pr"), 1);
    }
}

// What could not be read at start is not replaced at quit, and the console
// says so; the ".bak" the settings came from stays.
TEST_F(CoreOptionsTest, APrefMetThatCouldNotBeReadIsNeverReplaced) {
    const std::string good = Writer().user(0x42, "stored").count(1).num("maxCon", 70).bytes;
    ASSERT_EQ(mkdir(pref().c_str(), 0700), 0);
    writeText(pref() + ".bak", good);
    CoreOptions options;
    ASSERT_TRUE(options.load(dir.path.c_str()));
    console.out.clear();
    EXPECT_FALSE(options.save());
    EXPECT_EQ(console.text(),
              "Settings couldn't be saved\n" + pref() + " was not replaced: Is a directory\n");
    struct stat st;
    ASSERT_EQ(stat(pref().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(readText(pref() + ".bak"), good);
}

TEST_F(CoreOptionsTest, StoredValuesOutOfRangeFallBackToTheirDefaults) {
    const float nan = NAN;
    const struct {
        const char* what;
        std::string tags;  // settings record after the count
        uint32_t count;
        int lines, maxCon;
        double up, down, topUp, topDown, line;
    } table[] = {
        {"nothing stored", "", 0, 24, 45, 0, 0, 5, 5, 0},
        {"sane values",
         Writer()
             .num("screenLines", 10)
             .num("maxCon", 100)
             .real("userMaxUpF", 12)
             .real("userMaxDownF", 40)
             .real("maxUpSpeed", 7)
             .real("maxDownSpeed", 70)
             .real("lineDown", 3)
             .bytes,
         7, 10, 100, 12, 40, 7, 70, 3},
        {"zeros",
         Writer()
             .num("screenLines", 0)
             .num("maxCon", 0)
             .real("maxUpSpeed", 0)
             .real("maxDownSpeed", 0)
             .bytes,
         4, 24, 45, 0, 0, 5, 5, 0},
        {"negatives",
         Writer()
             .num("screenLines", -3)
             .num("maxCon", -5)
             .real("userMaxUpF", -4)
             .real("userMaxDownF", -1)
             .real("maxUpSpeed", -1)
             .real("lineDown", -2)
             .bytes,
         6, 24, 45, 0, 0, 5, 5, 0},
        {"too large",
         Writer().num("screenLines", 2000000).num("maxCon", 70000).real("userMaxUpF", 5e6f).bytes,
         3, 24, 45, 0, 0, 5, 5, 0},
        {"not numbers",
         Writer()
             .real("userMaxUpF", nan)
             .real("userMaxDownF", nan)
             .real("maxUpSpeed", nan)
             .real("maxDownSpeed", INFINITY)
             .real("lineDown", nan)
             .bytes,
         5, 24, 45, 0, 0, 5, 5, 0},
        {"wrong kinds",
         Writer().str("screenLines", "10").str("maxCon", "9").num("userMaxUpF", 3).bytes, 3, 24, 45,
         0, 0, 5, 5, 0},
        {"stored limits capped", Writer().real("userMaxUpF", 3).real("userMaxDownF", 0).bytes, 2,
         24, 45, 3, 9, 5, 5, 0},
    };
    for (const auto& c : table) {
        TempDir here;
        writeText(here / "pref.met", Writer().user(1, "x").count(c.count).bytes + c.tags);
        pager.setLines(50);
        CoreOptions options;
        ASSERT_TRUE(options.load(here.path.c_str())) << c.what;
        EXPECT_EQ(pager.getLines(), c.lines) << c.what;
        EXPECT_EQ(options.maxCon, c.maxCon) << c.what;
        EXPECT_EQ(options.getMaxUpload(), c.up) << c.what;
        EXPECT_EQ(options.getMaxDownload(), c.down) << c.what;
        EXPECT_EQ(options.maxUpSpeed, c.topUp) << c.what;
        EXPECT_EQ(options.maxDownSpeed, c.topDown) << c.what;
        EXPECT_EQ(options.lineDown, c.line) << c.what;
    }
}

TEST_F(CoreOptionsTest, ProxyStoredWithAnUnknownKindConnectsDirectly) {
    const struct {
        int type;
        uint32_t want;
    } table[] = {{0, I4_PROXY_DIRECT},
                 {1, I4_PROXY_SOCKS4},
                 {3, I4_PROXY_HTTP},
                 {4, I4_PROXY_DIRECT},
                 {-1, I4_PROXY_DIRECT}};
    for (const auto& c : table) {
        TempDir here;
        writeText(here / "pref.met", Writer()
                                         .user(1, "x")
                                         .count(3)
                                         .num("pType", c.type)
                                         .str("pSName", "h")
                                         .num("pPort", 8080)
                                         .bytes);
        CoreOptions options;
        ASSERT_TRUE(options.load(here.path.c_str()));
        ASSERT_NE(theProxySettings, nullptr);
        EXPECT_EQ(theProxySettings->type, c.want) << c.type;
        EXPECT_EQ(theProxySettings->port, c.want ? 8080 : 0) << c.type;
        EXPECT_STREQ(theProxySettings->host, c.want ? "h" : nullptr) << c.type;
    }
}

TEST_F(CoreOptionsTest, DownloadCap) {
    const struct {
        double up, down;  // given in this order
        double wantUp, wantDown;
    } table[] = {
        {3, 0, 3, 9},        {8, 50, 8, 32},         {12, 0, 12, 0},     {12, 500, 12, 500},
        {1000000, 0, 0, 0},  {999999, 0, 999999, 0}, {4.9, 10, 4.9, 10}, {5, 0, 5, 20},
        {9.5, 100, 9.5, 38}, {10, 0, 10, 0},         {0, 0, 0, 0},       {0, 70, 0, 70},
        {-3, 0, 0, 0},       {3, -1, 3, 9},
    };
    for (const auto& c : table) {
        CoreOptions options;
        options.setMaxUpload(c.up);
        options.setMaxDownload(c.down);
        EXPECT_DOUBLE_EQ(options.getMaxUpload(), c.wantUp) << c.up << " " << c.down;
        EXPECT_DOUBLE_EQ(options.getMaxDownload(), c.wantDown) << c.up << " " << c.down;
    }
    // Lowering the upload limit caps a download limit already set.
    CoreOptions options;
    options.setMaxDownload(100);
    options.setMaxUpload(2);
    EXPECT_DOUBLE_EQ(options.getMaxDownload(), 6);
}

TEST_F(CoreOptionsTest, AFailedSaveKeepsTheOldFileAndSaysSo) {
    CoreOptions options;
    options.load(dir.path.c_str());
    ASSERT_TRUE(options.save());
    const std::string before = readText(pref());
    options.maxCon = 99;
    console.out.clear();
    ChildOptions fullDisk;
    fullDisk.fileSizeLimit = 16;
    int code = exitStatusOfChild(fullDisk, [&] {
        bool saved = options.save();
        return !saved && console.text() == "Settings couldn't be saved\n" + pref() +
                                               " was not replaced: File too large\n"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0) << "the failure was not reported";
    EXPECT_EQ(readText(pref()), before);

    CoreOptions again;
    EXPECT_TRUE(again.load(dir.path.c_str()));
    EXPECT_EQ(again.maxCon, 45);
}

TEST_F(CoreOptionsTest, AccessorsOfTheSettingsRecord) {
    CoreOptions options;
    int v = -1;
    EXPECT_FALSE(options.getIntPref("k", &v));
    EXPECT_EQ(options.getStringPref("k"), nullptr);
    options.setStringPref("k", "text");
    EXPECT_FALSE(options.getIntPref("k", &v)) << "a text tag is not an integer";
    EXPECT_STREQ(options.getStringPref("k"), "text");
    options.setIntPref("k", 7);
    EXPECT_TRUE(options.getIntPref("k", &v));
    EXPECT_EQ(v, 7);
    EXPECT_EQ(options.getStringPref("k"), nullptr);
    options.setIntPref("k", 8);
    EXPECT_TRUE(options.getIntPref("k", &v));
    EXPECT_EQ(v, 8);
}

TEST_F(CoreOptionsTest, OwnRecordFields) {
    CoreOptions options;
    EXPECT_EQ(options.setClientId(1234), 0u);
    EXPECT_EQ(options.setClientId(99), 1234u);
    EXPECT_EQ(options.getClientId(), 99u);
    options.setDoorPort(65535);
    options.setServerIp(0x0100007F);
    options.setServerPort(4661);
    EXPECT_EQ(options.getDoorPort(), 65535);
    EXPECT_EQ(options.getServerIp(), 0x0100007Fu);
    EXPECT_EQ(options.getServerPort(), 4661);
    EXPECT_STREQ(options.getUserName().c_str(), "????");
    options.setUserName(std::string(100, 'n').c_str());
    EXPECT_EQ(std::string(options.getUserName().c_str()), std::string(64, 'n'));
    options.setUserName("");
    EXPECT_STREQ(options.getUserName().c_str(), "");
}

TEST_F(CoreOptionsTest, ProxyChangesReachTheProtocol) {
    CoreOptions options;
    i4_proxy_settings http;
    http.type = I4_PROXY_HTTP;
    http.host = i4_strdup("h");
    http.port = 3128;
    i4_proxy_settings direct;
    auto inForce = [] {
        return theProtocolHolder.get() ? (int)theProtocolHolder.get()->proxy_type() : -1;
    };
    theProtocolHolder.setProxy(nullptr);

    const struct {
        const char* what;
        const i4_proxy_settings* given;
        bool changed;
        int protocolType;
    } steps[] = {
        {"none in force, none given", nullptr, false, 0},
        {"an HTTP proxy", &http, true, 3},
        {"the same proxy again", &http, false, 3},
        {"a direct record", &direct, true, 0},
        {"none after a direct record", nullptr, false, 0},
        {"the HTTP proxy once more", &http, true, 3},
        {"none", nullptr, true, 0},
        {"a direct record while none is in force", &direct, false, 0},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(options.setProxy(s.given), s.changed) << s.what;
        EXPECT_EQ(inForce(), s.protocolType) << s.what;
        if (s.given) {
            EXPECT_NE(theProxySettings, s.given) << s.what << ": a copy is kept";
        }
    }
    EXPECT_EQ(theProxySettings, nullptr);
}

// A working directory that the system cannot name (removed while the shell
// stood in it) must not make the files paths at the root of the disk.
TEST_F(CoreOptionsTest, AWorkingDirectoryWithoutANameGivesNoPathsAtTheRoot) {
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    {
        TempDir gone;
        ASSERT_EQ(chdir(gone.path.c_str()), 0);
    }
    CoreOptions options;
    options.load();
    std::string base = CoreOptions::workingDirectory().c_str();
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(base, ".");
    EXPECT_STREQ(options.getBaseDir().c_str(), ".");
    EXPECT_STREQ(options.getPrefPath().c_str(), "./pref.met");
    EXPECT_STREQ(options.getFiltersPath().c_str(), "./filters.txt");
}

TEST_F(CoreOptionsTest, LanguageFileFromTheBaseDirectory) {
    CoreOptions options;
    options.load(dir.path.c_str());
    EXPECT_STREQ(options.getLanguageFile().c_str(), "default.str");
    writeText(dir / "de.str", "zero\none\n");
    options.setLanguage("de");
    EXPECT_STREQ(options.getLanguageFile().c_str(), "de.str");
    EXPECT_STREQ(theStringTable.get(1).c_str(), "one");
    EXPECT_STREQ(SpecialTagInfo::get(SpecialTagInfo::NAME)->displayName.c_str(),
                 theXMLStringTable.get(52));
}

TEST_F(CoreOptionsTest, LanguageNamesThatWouldLeaveTheBaseDirectoryAreRefused) {
    CoreOptions options;
    options.load(dir.path.c_str());
    TempDir outside;
    writeText(outside / "evil.str", "zero\nowned\n");
    std::string escape = "../" + outside.path.substr(outside.path.rfind('/') + 1) + "/evil";
    const char* names[] = {escape.c_str(), "/etc/passwd", "..", "", "a\\b", "a\nb", nullptr};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(options.setLanguage(name));
        EXPECT_STREQ(options.getLanguageFile().c_str(), "default.str");
        EXPECT_STRNE(theStringTable.get(1).c_str(), "owned");
    }
}

}  // namespace
