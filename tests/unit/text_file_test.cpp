#include "common/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_folder.h"

namespace cw {
namespace {

// The pieces as fgets in text mode gives them: CR LF as LF, at most
// `maxBytes` bytes each, ending behind a LF.
std::vector<std::string> piecesOneByteAtATime(const std::string& bytes, size_t maxBytes) {
    std::vector<std::string> pieces;
    std::string piece;
    for (size_t at = 0; at < bytes.size(); ++at) {
        char c = bytes[at];
        if (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') {
            c = '\n';
            ++at;
        }
        piece += c;
        if (c == '\n' || piece.size() == maxBytes) {
            pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece);
    }
    return pieces;
}

TEST(TextFileReader, PiecesAreThoseOfAByteWiseTextModeRead) {
    const size_t BLOCK = 64 * 1024;  // the reader's block: line ends across it
    struct Case {
        std::string bytes;
        size_t maxBytes;
    };
    std::vector<Case> cases = {
        {"", 8},
        {"a\r\nb\rc\n\r\r\n\rx", 8},
        {"12345678\r\n", 8},  // CR LF right behind a full piece
        {"1234567\r\nz", 8},  // CR LF as the piece's last byte
        {"1234567\rz", 8},    // a lone CR as the last byte
        {"\r", 8},
        {std::string(BLOCK - 1, 'a') + "\r\nb", 4095},
        {std::string(BLOCK - 1, 'a') + "\rb\r", 4095},
        {std::string(BLOCK, 'a') + "\r\n", BLOCK + 10},
        {std::string(3 * BLOCK + 7, 'q'), 4095},
    };
    std::string folder = makeScratchFolder();
    for (const Case& each : cases) {
        std::string path = folder + "/list.txt";
        writeFileBytes(path, each.bytes);
        TextFileReader reader;
        ASSERT_TRUE(reader.open(path));
        std::vector<std::string> pieces;
        std::string piece;
        size_t total = 0;
        while (reader.readPiece(piece, each.maxBytes)) {
            pieces.push_back(piece);
            total += piece.size();
        }
        std::vector<std::string> expected = piecesOneByteAtATime(each.bytes, each.maxBytes);
        EXPECT_EQ(expected, pieces) << "file of " << each.bytes.size() << " bytes";
        EXPECT_EQ(total, reader.bytesRead());
    }
}

}  // namespace
}  // namespace cw
