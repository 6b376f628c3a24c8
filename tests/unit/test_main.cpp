// Unit tests link the core directly, so nothing loads the module: attach it here,
// as the loader would, before any test takes a lock.
#include <gtest/gtest.h>

#include "base/module_state.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    cw::libMain(cw::platform::ownModuleHandle(), cw::REASON_PROCESS_ATTACH);
    return RUN_ALL_TESTS();
}
