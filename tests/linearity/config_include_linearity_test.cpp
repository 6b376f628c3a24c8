// Loading an include list must cost time and memory in proportion to its length.
// The bytes allocated during a load stand in for its cost: they are the same on
// every run, unlike wall time, and grow with the square of the list's length as
// soon as anything copies or regrows the stored lines one line at a time.
// Counting them means replacing the global operator new, which is why this test
// has an executable of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "../unit/scratch_folder.h"
#include "config/config_table.h"
#include "base/module_state.h"

namespace {

std::atomic<size_t> bytesAllocated{0};

}  // namespace

void* operator new(size_t size) {
    bytesAllocated += size;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}

namespace cw {
namespace {

std::string senderList(int count) {
    std::string list;
    char address[40];
    for (int i = 0; i < count; ++i) {
        std::snprintf(address, sizeof address, "sender%05d@example.org\n", i);
        list += address;
    }
    return list;
}

struct LoadCost {
    size_t bytes;
    int32_t lines;
};

LoadCost loadWithSenderList(int count) {
    std::string folder = makeScratchFolder();
    moduleState.moduleFolderOverride = folder;
    writeFileBytes(folder + "senders.txt", senderList(count));
    writeFileBytes(folder + "filters.dat", "B_INCLUDE_SENDER 2 senders.txt\n");
    size_t before = bytesAllocated;
    int32_t handle = loadConfig(folder.c_str());
    LoadCost cost{bytesAllocated - before, findConfig(handle)->lineCount()};
    releaseConfig(handle);
    return cost;
}

TEST(ConfigIncludeLinearity, FiveTimesTheListCostsAboutFiveTimesTheBytes) {
    LoadCost small = loadWithSenderList(10000);
    LoadCost large = loadWithSenderList(50000);
    ASSERT_EQ(10001, small.lines);
    ASSERT_EQ(50001, large.lines);
    double ratio = static_cast<double>(large.bytes) / static_cast<double>(small.bytes);
    // Linear growth gives about 5, but the lines sit in blocks that double as
    // they grow, and the two loads' last doublings may fall either side of a
    // power of two: up to 10. Growing the stored lines one by one gives 25.
    EXPECT_LT(ratio, 12.0) << small.bytes << " vs " << large.bytes;
    EXPECT_GT(ratio, 3.0) << small.bytes << " vs " << large.bytes;
}

}  // namespace
}  // namespace cw

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    cw::libMain(cw::platform::ownModuleHandle(), cw::REASON_PROCESS_ATTACH);
    return RUN_ALL_TESTS();
}
