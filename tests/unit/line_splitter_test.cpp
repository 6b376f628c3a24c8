#include "mime/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cw {
namespace {

std::vector<std::string> split(const std::string& text, size_t maxLines = 100) {
    std::string area = text;
    std::vector<const char*> lines(maxLines);
    size_t stored = cutLines(area.data(), lines.data(), maxLines);
    return std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(stored));
}

struct SplitCase {
    const char* text;
    std::vector<std::string> lines;
};

TEST(LineSplitter, LinesAreRunsOfBytesOtherThanLf) {
    const SplitCase cases[] = {
        {"a\n\nb\n", {"a", "b"}}, {"a\r\n\r\nb\r\n", {"a\r", "\r", "b\r"}},
        {"\n\nlast", {"last"}},   {"one", {"one"}},
        {"\n\n\n", {}},           {"", {}},
        {" \n\t", {" ", "\t"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(c.lines.size(), countLines(c.text)) << c.text;
        EXPECT_EQ(c.lines, split(c.text)) << c.text;
    }
}

TEST(LineSplitter, StoresAtMostTheGivenNumberOfLines) {
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), split("a\nb\nc\n", 2));
    EXPECT_EQ(std::vector<std::string>{}, split("a\nb\n", 0));
}

}  // namespace
}  // namespace cw
