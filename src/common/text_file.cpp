#include "common/text_file.h"

#include "platform/platform.h"

namespace cw {

std::string toTextModeBytes(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 32 + 2);
    size_t start = 0;
    for (size_t feed; (feed = text.find('\n', start)) != std::string::npos; start = feed + 1) {
        bytes.append(text, start, feed - start);
        bytes += "\r\n";
    }
    bytes.append(text, start, std::string::npos);
    return bytes;
}

int readTextModeByte(FILE* file) {
    int c = std::getc(file);
    if (c == '\r') {
        int following = std::getc(file);
        if (following == '\n') {
            return '\n';
        }
        if (following != EOF) {
            std::ungetc(following, file);
        }
    }
    return c;
}

TextFileReader::~TextFileReader() {
    close();
}

bool TextFileReader::open(const std::string& path) {
    close();
    bytesRead_ = 0;
    file_ = platform::openFile(path, "r");
    return file_ != nullptr;
}

void TextFileReader::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

int TextFileReader::nextByte() {
    return readTextModeByte(file_);
}

bool TextFileReader::readPiece(std::string& piece, size_t maxBytes) {
    piece.clear();
    if (file_ == nullptr) {
        return false;
    }
    while (piece.size() < maxBytes) {
        int c = nextByte();
        if (c == EOF) {
            break;
        }
        piece += static_cast<char>(c);
        if (c == '\n') {
            break;
        }
    }
    bytesRead_ += piece.size();
    return !piece.empty();
}

bool canOpenForReading(const std::string& path) {
    FILE* file = platform::openFile(path, "r");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

}  // namespace cw
