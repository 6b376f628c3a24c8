#include "common/text_file.h"

#include <algorithm>
#include <cstring>

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
    next_ = end_ = 0;
    file_ = platform::openFile(path, "r");
    return file_ != nullptr;
}

void TextFileReader::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool TextFileReader::fill() {
    if (next_ < end_) {
        return true;
    }
    constexpr size_t BLOCK_BYTES = 64 * 1024;
    buffer_.resize(BLOCK_BYTES);
    next_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    return end_ > 0;
}

bool TextFileReader::readPiece(std::string& piece, size_t maxBytes) {
    piece.clear();
    if (file_ == nullptr) {
        return false;
    }
    while (piece.size() < maxBytes && fill()) {
        const char* start = buffer_.data() + next_;
        size_t length = std::min(end_ - next_, maxBytes - piece.size());
        // The piece ends behind a LF; a CR needs the byte after it.
        const char* feed = static_cast<const char*>(std::memchr(start, '\n', length));
        size_t plain = feed == nullptr ? length : static_cast<size_t>(feed - start);
        const char* carriage = static_cast<const char*>(std::memchr(start, '\r', plain));
        if (carriage != nullptr) {
            plain = static_cast<size_t>(carriage - start);
        }
        piece.append(start, plain);
        next_ += plain;
        if (carriage != nullptr) {
            ++next_;
            if (fill() && buffer_[next_] == '\n') {
                ++next_;
                piece += '\n';
                break;
            }
            piece += '\r';
        } else if (feed != nullptr) {
            ++next_;
            piece += '\n';
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
