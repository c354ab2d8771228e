#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"
#include "ui/Servant.h"

namespace {

const std::string kUnknown = "Unrecognized command. type ? for help\n\n";
const std::string kQuestion = "Are you sure you want to exit?(y or n): \n";

// What the test commands saw: "<command>:<line>" per call.
std::mutex ranLock;
std::vector<std::string> ran;

void record(const char* command, const char* line) {
    std::lock_guard<std::mutex> guard(ranLock);
    ran.push_back(std::string(command) + ":" + line);
}

std::vector<std::string> takeRan() {
    std::lock_guard<std::mutex> guard(ranLock);
    std::vector<std::string> out;
    out.swap(ran);
    return out;
}

void vrCommand(char* line) {
    record("vr", line);
}
void vCommand(char* line) {
    record("v", line);
}
void slowCommand(char* line) {
    i4_sleep_ms(300);
    record("slow", line);
}
void quitCommand(char*) {
    theServant->quit();
}
void listCommand(char*) {
    theServant->getPager().begin();
    for (int i = 1; i <= 3; ++i) theUI->printLine("row %d", i);
}

class ServantTest : public ::testing::Test {
protected:
    void SetUp() override {
        takeRan();
        saved = theServant;
        theServant = &servant;
        servant.addCommand(new Command("vr", vrCommand));
        servant.addCommand(new Command("v", vCommand));
        servant.addCommand(new Command("slow", slowCommand));
        servant.addCommand(new Command("q", quitCommand));
        servant.addCommand(new Command("list", listCommand));
        servant.getPager().setKeyReader([] { return ' '; });
        servant.setLineReader([this](char* buffer, int size) { return nextLine(buffer, size); });
    }
    void TearDown() override {
        stopCore();
        theServant = saved;
    }

    // The core task thread delivering theMessageQ, as the client runs it.
    void startCore() {
        servant.registerHandlers(theMessageQ);
        core.addTask(&theMessageQ);
        core.start();
    }
    void stopCore() {
        core.stop();
        theMessageQ.setHandler(nullptr, MSG_COMMAND);
    }

    bool nextLine(char* buffer, int size) {
        std::lock_guard<std::mutex> guard(inputLock);
        readerThreads.push_back(i4_get_thread_id());
        if (input.empty()) return false;
        snprintf(buffer, size, "%s", input.front().c_str());
        input.pop_front();
        return true;
    }
    void type(std::initializer_list<const char*> lines) {
        std::lock_guard<std::mutex> guard(inputLock);
        input.insert(input.end(), lines.begin(), lines.end());
    }
    bool allReadsOn(i4_thread_id thread) {
        std::lock_guard<std::mutex> guard(inputLock);
        for (i4_thread_id t : readerThreads)
            if (!pthread_equal(t, thread)) return false;
        return true;
    }

    CapturedUI ui;
    Servant servant;
    Servant* saved = nullptr;
    TaskThread core;
    std::mutex inputLock;
    std::deque<std::string> input;
    std::vector<i4_thread_id> readerThreads;
};

TEST_F(ServantTest, FindsTheCommandByItsFirstWord) {
    const struct {
        const char* line;
        const char* ran;  // null: the unknown-command text
    } cases[] = {
        {"vr", "vr:vr"},
        {"vr 12 x", "vr:vr 12 x"},
        {",vr", "vr:,vr"},
        {"\"vr\"", "vr:\"vr\""},
        {"\t vr\n", "vr:\t vr\n"},
        {"v,r", "v:v,r"},
        {"v", "v:v"},
        {"VR", nullptr},
        {"vrx", nullptr},
        {"", nullptr},
        {"   ", nullptr},
        {",\"\t", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ui.out.clear();
        servant.execute(c.line);
        std::vector<std::string> got = takeRan();
        if (c.ran) {
            EXPECT_EQ(std::vector<std::string>({c.ran}), got);
            EXPECT_EQ("", ui.out.text());
        } else {
            EXPECT_TRUE(got.empty());
            EXPECT_EQ(kUnknown, ui.out.text());
        }
    }
}

TEST_F(ServantTest, MessageRunsTheLineAndFreesIt) {
    Message command(MSG_COMMAND,
                    std::make_unique<OwnedPayload<i4_string>>(std::make_unique<i4_string>("vr 3")));
    servant.handleMessage(&command);
    EXPECT_EQ(std::vector<std::string>({"vr:vr 3"}), takeRan());

    Message wrongId(MSG_COMMAND + 1,
                    std::make_unique<OwnedPayload<i4_string>>(std::make_unique<i4_string>("vr")));
    servant.handleMessage(&wrongId);
    EXPECT_TRUE(takeRan().empty());
}

TEST_F(ServantTest, QuitAsksAndStopsOnlyOnYes) {
    const struct {
        std::vector<const char*> typed;
        bool running;
    } cases[] = {
        {{"q", "y"}, false}, {{"q", "Y"}, false}, {{"q", "yes please"}, false},
        {{"q", "n"}, true},  {{"q", ""}, true},   {{"q", " y"}, true},
        {{"q", "nY"}, true}, {{"q"}, false},  // end of input while asking
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.size() > 1 ? c.typed[1] : "end of input");
        Servant fresh;
        theServant = &fresh;
        fresh.addCommand(new Command("q", quitCommand));
        fresh.setLineReader([this](char* buffer, int size) { return nextLine(buffer, size); });
        for (const char* line : c.typed) type({line});
        ui.out.clear();
        fresh.readCommand();
        EXPECT_EQ(c.running, fresh.isRunning());
        EXPECT_EQ(kQuestion, ui.out.text());
        input.clear();
    }
}

TEST_F(ServantTest, EndOfInputEndsTheConsoleAsAConfirmedQuit) {
    startCore();
    type({"vr"});
    servant.readCommand();
    EXPECT_TRUE(servant.isRunning());
    servant.readCommand();
    EXPECT_FALSE(servant.isRunning());
    EXPECT_EQ(std::vector<std::string>({"vr:vr"}), takeRan());
}

TEST_F(ServantTest, TypedLinesRunOnTheCoreThreadAndTheConsoleWaitsForThem) {
    startCore();
    type({"vr 1", "nonsense", "list"});
    servant.readCommand();
    EXPECT_EQ(std::vector<std::string>({"vr:vr 1"}), takeRan());
    ui.out.clear();
    servant.readCommand();
    EXPECT_EQ(kUnknown, ui.out.text());
    ui.out.clear();
    servant.readCommand();
    EXPECT_EQ("row 1\nrow 2\nrow 3\n",
              ui.out.text());  // the pager's lines, shown after the command
    EXPECT_TRUE(servant.isRunning());
}

// A remote line that finishes while the console waits must not let the
// console go on before its own line has run.
TEST_F(ServantTest, TheConsoleWaitsForItsOwnLineOnly) {
    startCore();
    theMessageQ.post(MSG_COMMAND, std::make_unique<i4_string>("slow remote"));
    type({"vr mine"});
    servant.readCommand();
    std::vector<std::string> got = takeRan();
    EXPECT_EQ(std::vector<std::string>({"slow:slow remote", "vr:vr mine"}), got);
}

// "q " is posted like any line; its question is asked by the console on the
// main thread, never by the core task thread.
TEST_F(ServantTest, AQuitFromTheQueueIsConfirmedOnTheConsoleThread) {
    startCore();
    type({"q ", "n", "q ", "y"});
    servant.readCommand();
    EXPECT_TRUE(servant.isRunning());
    EXPECT_EQ("", ui.out.text());
    servant.readCommand();  // asks, answer n, then reads "q " again
    EXPECT_TRUE(servant.isRunning());
    EXPECT_EQ(kQuestion, ui.out.text());
    servant.readCommand();  // asks, answer y
    EXPECT_FALSE(servant.isRunning());
    EXPECT_TRUE(allReadsOn(i4_get_thread_id()));
}

// A listing asked by a remote controller prints at once: it must not switch the
// pager on, or the console's own output would wait for the next typed command.
TEST_F(ServantTest, OnlyTheConsolesOwnLineSwitchesThePagerOn) {
    startCore();
    theMessageQ.post(MSG_COMMAND, std::make_unique<i4_string>("list"));
    theMessageQ.post(MSG_COMMAND, std::make_unique<i4_string>("vr remote"));
    std::vector<std::string> got;
    waitUntil([&] {
        got = takeRan();
        return !got.empty();
    });
    ASSERT_EQ(std::vector<std::string>({"vr:vr remote"}), got);
    EXPECT_FALSE(servant.getPager().isActive());
    EXPECT_EQ("row 1\nrow 2\nrow 3\n", ui.out.text());
}

}  // namespace
