#include "cobbleweave_scan/message_source.h"

#include <errno.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace cw::scantool {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view MBOX_SEPARATOR = "From ";

bool beginsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

// Position just behind the LF that ends the line starting at `start`, or the end.
size_t lineEnd(std::string_view text, size_t start) {
    size_t feed = text.find('\n', start);
    return feed == std::string_view::npos ? text.size() : feed + 1;
}

bool isBlankLine(std::string_view line) {
    return line == "\n" || line == "\r\n";
}

bool isEscapedSeparator(std::string_view line) {
    size_t quotes = line.find_first_not_of('>');
    return quotes != 0 && quotes != std::string_view::npos &&
           beginsWith(line.substr(quotes), MBOX_SEPARATOR);
}

// The blank line that an mbox writer puts in front of the next "From " line.
void dropSeparatorBlankLine(std::string& message) {
    if (message.empty() || message.back() != '\n') {
        return;
    }
    size_t lastStart = 0;
    if (message.size() >= 2) {
        size_t previousFeed = message.rfind('\n', message.size() - 2);
        lastStart = previousFeed == std::string::npos ? 0 : previousFeed + 1;
    }
    if (isBlankLine(std::string_view(message).substr(lastStart))) {
        message.erase(lastStart);
    }
}

// Reads the file, or its first `limit` bytes and a few more; `cut` tells which.
bool readFileBytes(const std::string& path, std::string& bytes, std::string& error,
                   size_t limit = SIZE_MAX, bool* cut = nullptr) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    // Unbuffered: each chunk is read straight into the buffer, and a message
    // file costs one read and the one that finds its end.
    std::setvbuf(file, nullptr, _IONBF, 0);
    bytes.clear();
    char buffer[65536];
    size_t count;
    do {
        count = std::fread(buffer, 1, sizeof buffer, file);
        bytes.append(buffer, count);
    } while (count == sizeof buffer && bytes.size() <= limit);
    if (cut != nullptr) {
        *cut = count == sizeof buffer;
    }
    bool failed = std::ferror(file) != 0;
    int readErrno = errno;
    std::fclose(file);
    if (failed) {
        error = "cannot read '" + path + "': " + std::strerror(readErrno);
        return false;
    }
    return true;
}

bool readStandardInput(std::string& bytes, std::string& error) {
    bytes.clear();
    char buffer[65536];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        bytes.append(buffer, count);
    }
    if (std::ferror(stdin) != 0) {
        error = std::string("cannot read standard input: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void addFolderFiles(const std::string& folder, std::vector<InputFile>& files,
                    std::vector<std::string>& errors, std::vector<std::string>* warnings) {
    std::vector<std::string> found;
    std::error_code code;
    fs::recursive_directory_iterator walk(folder, code);
    for (; !code && walk != fs::recursive_directory_iterator(); walk.increment(code)) {
        const fs::directory_entry& entry = *walk;
        if (entry.path().filename().string().starts_with(".")) {
            if (entry.is_directory(code)) {
                walk.disable_recursion_pending();
            }
            continue;
        }
        if (warnings != nullptr && entry.is_directory(code)) {
            std::error_code listing;
            fs::directory_iterator probe(entry.path(), listing);
            if (listing) {
                warnings->push_back("skipped folder '" + entry.path().string() +
                                    "': " + listing.message());
                walk.disable_recursion_pending();
            }
            continue;
        }
        if (entry.is_regular_file(code)) {
            found.push_back(entry.path().string());
        }
    }
    if (code) {
        errors.push_back("cannot list folder '" + folder + "': " + code.message());
    }
    std::sort(found.begin(), found.end());
    for (std::string& path : found) {
        files.push_back(InputFile{std::move(path)});
    }
}

}  // namespace

void expandInputs(const std::vector<std::string>& arguments, std::vector<InputFile>& files,
                  std::vector<std::string>& errors, std::vector<std::string>* warnings) {
    for (const std::string& argument : arguments) {
        if (argument == "-") {
            files.push_back(InputFile{argument});
            continue;
        }
        std::error_code code;
        fs::file_status status = fs::status(argument, code);
        if (code || !fs::exists(status)) {
            errors.push_back("cannot read '" + argument + "': " +
                             (code ? code.message() : std::string("no such file or folder")));
        } else if (fs::is_directory(status)) {
            addFolderFiles(argument, files, errors, warnings);
        } else if (warnings != nullptr && !fs::is_regular_file(status)) {
            warnings->push_back("skipped '" + argument + "': not a regular file");
        } else {
            files.push_back(InputFile{argument});
        }
    }
}

bool splitMbox(std::string_view text, std::vector<std::string>& messages) {
    messages.clear();
    if (!beginsWith(text, MBOX_SEPARATOR)) {
        return false;
    }
    std::string current;
    bool afterBlankLine = true;
    bool started = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = lineEnd(text, start);
        std::string_view line = text.substr(start, end - start);
        start = end;
        if (afterBlankLine && beginsWith(line, MBOX_SEPARATOR)) {
            if (started) {
                dropSeparatorBlankLine(current);
                messages.push_back(std::move(current));
                current.clear();
            }
            started = true;
            afterBlankLine = false;
            continue;
        }
        afterBlankLine = isBlankLine(line);
        current.append(isEscapedSeparator(line) ? line.substr(1) : line);
    }
    dropSeparatorBlankLine(current);
    messages.push_back(std::move(current));
    return true;
}

void splitHeader(Message& message) {
    std::string_view text = message.text;
    message.headerLines.clear();
    for (size_t start = 0; start < text.size();) {
        size_t end = lineEnd(text, start);
        std::string_view line = text.substr(start, end - start);
        if (isBlankLine(line)) {
            message.bodyOffset = end;
            return;
        }
        message.headerLines.emplace_back(line);
        start = end;
    }
    message.bodyOffset = text.size();
}

bool readMessages(const InputFile& input, bool forceMbox,
                  const std::function<void(Message&)>& onMessage, std::string& error) {
    bool fromStandardInput = input.path == "-";
    std::string bytes;
    bool namedMbox = forceMbox || endsWithNoCase(input.path, ".mbox");
    bool cut = false;
    if (fromStandardInput ? !readStandardInput(bytes, error)
                          : !readFileBytes(input.path, bytes, error,
                                           namedMbox ? SIZE_MAX : MESSAGE_READ_LIMIT, &cut)) {
        return false;
    }
    bool isMbox = namedMbox || beginsWith(bytes, MBOX_SEPARATOR);
    if (isMbox && cut && !readFileBytes(input.path, bytes, error)) {
        return false;
    }
    if (!isMbox) {
        Message message;
        message.source = input.path;
        message.text = std::move(bytes);
        if (!fromStandardInput) {
            message.wholeFile = input.path;
        }
        splitHeader(message);
        onMessage(message);
        return true;
    }
    std::vector<std::string> texts;
    if (!splitMbox(bytes, texts)) {
        error = "'" + input.path + "' is not an mbox file: it does not begin with a \"From \" line";
        return false;
    }
    for (size_t index = 0; index < texts.size(); ++index) {
        Message message;
        message.source = input.path;
        message.mboxNumber = static_cast<int>(index) + 1;
        message.text = std::move(texts[index]);
        // The last message runs to the end of the file, unless an escape was
        // undone or a separating blank line dropped: then its bytes differ from
        // the file's, and the body must be copied.
        if (!fromStandardInput && index + 1 == texts.size() &&
            std::string_view(bytes).ends_with(message.text)) {
            message.wholeFile = input.path;
            message.fileOffset = bytes.size() - message.text.size();
        }
        splitHeader(message);
        onMessage(message);
    }
    return true;
}

}  // namespace cw::scantool
