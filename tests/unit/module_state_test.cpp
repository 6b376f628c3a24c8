#include "base/module_state.h"

#include <gtest/gtest.h>

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

TEST(ModuleState, FetchLockIsReentrantForItsOwner) {
    platform::LockGuard outer(moduleState.fetchLock);
    platform::LockGuard inner(moduleState.fetchLock);
    SUCCEED();
}

TEST(ModuleState, ModuleFolderEndsWithTheSeparator) {
    std::string folder = moduleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(platform::PATH_SEPARATOR, folder.back());
    EXPECT_EQ(0u, moduleFilePath().rfind(folder, 0));
}

}  // namespace
}  // namespace cw
