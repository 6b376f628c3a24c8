// A fixture whose log goes to a scratch folder, for tests that check the lines the
// code under test writes at once and the lines it holds as evidence.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/log_writer.h"
#include "scratch_folder.h"

namespace cw {

using Lines = std::vector<std::string>;

class LogCaptureTest : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = makeScratchFolder();
        ASSERT_TRUE(setLogFolder(folder_));
    }

    // The lines in the log file so far, without their time stamps.
    Lines logLines() const { return logLinesWithoutStamps(folder_ + "cobbleweave.log"); }

    // Writes the held lines to the file and returns them, oldest first; the
    // file's other lines are left out.
    Lines heldLines() {
        size_t before = logLines().size();
        int held = heldLineCount();
        writeLog("", LOG_FLUSH);
        Lines all = logLines();
        if (all.size() < before + static_cast<size_t>(held)) {
            ADD_FAILURE() << "held lines missing from the log";
            return {};
        }
        return Lines(all.begin() + static_cast<std::ptrdiff_t>(before),
                     all.begin() + static_cast<std::ptrdiff_t>(before + held));
    }

  private:
    std::string folder_;
};

}  // namespace cw
