#include <atomic>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "app/AppMain.h"
#include "app/ConClientApp.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"

namespace {

TEST(ConClientApp, IsTheCommandRunnerAndQuitsOnAConfirmedQ) {
    ASSERT_EQ(&theConClientApp, theServant);
    CapturedUI ui;
    std::deque<std::string> answers = {"n", "y"};
    theConClientApp.setLineReader([&answers](char* buffer, int size) {
        if (answers.empty()) return false;
        snprintf(buffer, size, "%s", answers.front().c_str());
        answers.pop_front();
        return true;
    });
    theConClientApp.execute("q");
    EXPECT_TRUE(theConClientApp.isRunning());
    theConClientApp.execute("q now");
    EXPECT_FALSE(theConClientApp.isRunning());
    EXPECT_EQ(
        "Are you sure you want to exit?(y or n): \n"
        "Are you sure you want to exit?(y or n): \n",
        ui.out.text());
    EXPECT_TRUE(answers.empty());
}

// With the running flag cleared "!" has nothing to wait for.
TEST(ConClientApp, ArgumentsAreCommandsUnlessTheyWaitForSomething) {
    theConClientApp.stopRunning();
    const struct {
        const char* argument;
        bool command;
    } cases[] = {
        {"w", false},  {"w0", false}, {"wq", false}, {"w-3", false}, {"what", false}, {"!", false},
        {"!!", false}, {"vr", true},  {"q", true},   {"Q", true},    {"", true},      {" w", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(c.command, handleArgument(c.argument));
    }
}

// The seconds of "w" as the user typed them; a number beyond an int is
// refused instead of wrapping or waiting for decades. The running flag is
// cleared, so no case really waits.
TEST(ConClientApp, WaitArgumentsAndTheirSeconds) {
    theConClientApp.stopRunning();
    const struct {
        const char* argument;
        const char* printed;
    } cases[] = {
        {"w5", "Waiting 5\n"},
        {"w", "Waiting 0\n"},
        {"wq", "Waiting 0\n"},
        {"w-3", "Waiting -3\n"},
        {"w2147483647", "Waiting 2147483647\n"},
        {"w2147483648", "Cannot wait 2147483648 seconds\n"},
        {"w-2147483649", "Cannot wait -2147483649 seconds\n"},
        {"w99999999999999999999", "Cannot wait 99999999999999999999 seconds\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        testing::internal::CaptureStdout();
        EXPECT_FALSE(handleArgument(c.argument));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}

// "!" waits while the client runs. A quit that arrives through the queue
// meanwhile is asked on the waiting thread; a yes ends the wait.
TEST(ConClientApp, AQuitFromTheQueueEndsTheWaitOfAnExclamationMark) {
    CapturedUI ui;
    Servant* saved = theServant;
    {
        Servant servant;
        theServant = &servant;
        servant.addCommand(new Command("q", [](char*) { theServant->quit(); }));
        servant.setLineReader([](char* buffer, int size) {
            snprintf(buffer, size, "%s", "y");
            return true;
        });
        std::atomic<bool> waited{false};
        std::thread waiting([&waited] {
            handleArgument("!");
            waited = true;
        });
        Message quit(MSG_COMMAND,
                     std::make_unique<OwnedPayload<i4_string>>(std::make_unique<i4_string>("q ")));
        servant.handleMessage(&quit);
        waitUntil([&] { return waited.load(); });
        bool ended = waited;
        servant.stopRunning();  // frees a wait that never noticed the quit
        waiting.join();
        EXPECT_TRUE(ended);
        EXPECT_EQ("Are you sure you want to exit?(y or n): \n", ui.out.text());
    }
    theServant = saved;
    thePageViewer = &theConClientApp.getPager();
}

}  // namespace
