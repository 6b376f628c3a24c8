#include "base/module_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace cw {
namespace {

// The test main has attached the module once.
TEST(ModuleState, SecondAttachKeepsTheLocksUntilTheLastDetach) {
    ASSERT_EQ(1, moduleState.attachCount);
    EXPECT_EQ(1, libMain(moduleState.moduleHandle, REASON_PROCESS_ATTACH));
    EXPECT_EQ(2, moduleState.attachCount);
    EXPECT_EQ(1, libMain(moduleState.moduleHandle, REASON_PROCESS_DETACH));
    EXPECT_EQ(1, moduleState.attachCount);
    // The locks still work: another thread can take and release the fetch lock.
    std::thread other([] { platform::LockGuard lock(moduleState.fetchLock); });
    other.join();
}

TEST(ModuleState, ThreadNotificationsAndUnknownReasonsChangeNothing) {
    for (int32_t reason : {REASON_THREAD_ATTACH, REASON_THREAD_DETACH, 4, -1}) {
        EXPECT_EQ(1, libMain(nullptr, reason)) << reason;
        EXPECT_EQ(1, moduleState.attachCount) << reason;
    }
}

// A lock that is not re-entrant hangs the thread that takes it a second time.
// That thread is a detached one here, so the test fails after a while instead
// of hanging with it: two takes of a lock need microseconds, ten seconds is room
// enough for a loaded machine or Wine.
TEST(ModuleState, FetchLockIsReentrantForItsOwner) {
    auto reentered = std::make_shared<std::promise<void>>();
    std::future<void> done = reentered->get_future();
    std::thread([reentered] {
        platform::LockGuard outer(moduleState.fetchLock);
        platform::LockGuard inner(moduleState.fetchLock);
        reentered->set_value();
    }).detach();
    EXPECT_EQ(std::future_status::ready, done.wait_for(std::chrono::seconds(10)))
        << "the owner's second take of the fetch lock did not return";
}

TEST(ModuleState, ModuleFolderEndsWithTheSeparator) {
    std::string folder = moduleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(platform::PATH_SEPARATOR, folder.back());
    EXPECT_EQ(0u, moduleFilePath().rfind(folder, 0));
}

}  // namespace
}  // namespace cw
