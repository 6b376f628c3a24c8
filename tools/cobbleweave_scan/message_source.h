// The messages the host stand-in scans: single message files, folders of them,
// mbox files and standard input, each cut into header lines and body the way the
// host hands a message to the plug-in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cw::scantool {

// One message, ready for the plug-in.
struct Message {
    std::string source;  // the input it came from ("-" for standard input)
    int mboxNumber = 0;  // 1, 2, ... inside an mbox; 0 for a message that is a whole input
    std::string text;    // the message's bytes, mbox escapes undone
    // Header lines in message order, each with its own line end; a continuation
    // line is an entry of its own. The blank line that ends the header is not one.
    std::vector<std::string> headerLines;
    size_t bodyOffset = 0;  // first byte after the blank line; the text's size when there is none
    // The file that ends in exactly `text`, when there is one, and where `text`
    // begins in it: the body can then be read from the file itself.
    std::string wholeFile;
    uint64_t fileOffset = 0;
};

// All the header and the largest body the plug-in reads, with room to spare.
inline constexpr size_t MESSAGE_READ_LIMIT = 8 * 1024 * 1024;

struct InputFile {
    std::string path;  // "-" stands for standard input
};

// Expands the command line's inputs, in the order given: "-" is standard input, a
// folder stands for every file below it in byte order of the paths (names that
// begin with a dot skipped), anything else is a file. An input that does not exist
// or a folder that cannot be listed adds a line to `errors` and is left out. With
// `warnings`, an input that is neither a folder nor a regular file (a FIFO would
// wait for a writer) and a folder below an input that cannot be listed add a
// line there instead and are left out.
void expandInputs(const std::vector<std::string>& arguments, std::vector<InputFile>& files,
                  std::vector<std::string>& errors, std::vector<std::string>* warnings = nullptr);

// Reads one input and hands each of its messages to `onMessage`, in order. An
// input is an mbox when `forceMbox` is set, when its name ends in ".mbox", or when
// it begins with "From "; an mbox that does not begin with "From " is malformed.
// Returns false with `error` when the input cannot be read or is malformed; then
// no message of it has been handed on. A message file is read only as far as the
// plug-in can need it (MESSAGE_READ_LIMIT), since the plug-in reads its body
// from the file itself; an mbox is read whole.
bool readMessages(const InputFile& input, bool forceMbox,
                  const std::function<void(Message&)>& onMessage, std::string& error);

// Cuts mbox text into messages. A message starts behind each line that begins
// with "From " at the start of the text or after a blank line; the blank line in
// front of such a line belongs to the mbox, not to the message; a line of one or
// more '>' followed by "From " loses one '>'. False when the text does not begin
// with "From ".
bool splitMbox(std::string_view text, std::vector<std::string>& messages);

// Fills `headerLines` and `bodyOffset` from `text`.
void splitHeader(Message& message);

}  // namespace cw::scantool
