// Text-mode files made byte-identical on every target: the C runtime on Windows
// writes LF as CR LF and reads CR LF as LF, glibc does neither, so files are
// opened in binary mode on both and the conversion is done here.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cw {

// Every LF becomes CR LF, as a text-mode write on Windows does.
std::string toTextModeBytes(const std::string& text);

// The next byte of `file` as a text-mode read gives it (CR LF as LF), or EOF.
int readTextModeByte(FILE* file);

// Reads a file in pieces of at most `maxBytes` bytes, each ending behind its LF
// (as fgets with a buffer of maxBytes + 1 does), with CR LF read as LF. The
// file is read in large blocks: a list of a million lines read byte by byte
// spent a third of its load in the C runtime.
class TextFileReader {
  public:
    TextFileReader() = default;
    ~TextFileReader();
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    void close();

    // False at the end of the file (nothing read).
    bool readPiece(std::string& piece, size_t maxBytes);

    // The bytes the pieces since `open` held (CR LF counted as one).
    size_t bytesRead() const { return bytesRead_; }

  private:
    // Makes the buffer hold unread bytes; false at the end of the file.
    bool fill();

    FILE* file_ = nullptr;
    size_t bytesRead_ = 0;
    std::vector<char> buffer_;
    size_t next_ = 0;  // the first unread byte in buffer_
    size_t end_ = 0;   // one past the last
};

// Whether `path` can be opened for reading (the file is closed again at once).
bool canOpenForReading(const std::string& path);

}  // namespace cw
