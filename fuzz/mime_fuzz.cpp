// Feeds inputs to the message decoders and aborts at the first broken bound: an
// output area overrun, a stop position outside the input, a header text or a
// visible text of HTML that grew, a body text longer than MAXSIZE. Without libFuzzer
// it replays saved inputs and --random N generated ones (replay_main.h).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "base/module_state.h"
#include "mime/base64_body.h"
#include "mime/encoded_word.h"
#include "mime/html_text.h"
#include "mime/message_texts.h"
#include "mime/multipart_body.h"
#include "mime/quoted_printable_body.h"
#include "mime/visible_body_text.h"
#include "replay_main.h"

namespace {

constexpr size_t GUARD_BYTES = 16;
// A pipe takes this much without a reader on every linux kernel.
constexpr size_t PIPE_BYTES = 60000;
constexpr int32_t FUZZ_MAX_SIZE = 1024;

const std::vector<std::vector<const char*>> HEADER_SETS = {
    {"Content-Type: text/plain\r\n", "Content-Transfer-Encoding: base64\r\n"},
    {"Content-Type: text/plain\r\n", "Content-Transfer-Encoding: quoted-printable\r\n"},
    {"Content-Type: multipart/mixed; boundary=\"b1\"\r\n"},
    {"Content-Type: multipart/alternative;\r\n"},
    {"Content-Type: text/html\r\n", "Content-Transfer-Encoding: quoted-printable\r\n"},
};

const std::vector<std::string> PIECES = {"--b1\r\n",
                                         "Content-Type: text/plain\r\n",
                                         "Content-Type: text/html\r\n",
                                         "Content-Transfer-Encoding: base64\r\n",
                                         "Content-Transfer-Encoding: quoted-printable\r\n",
                                         "\r\n",
                                         "\n",
                                         "=",
                                         "=0",
                                         "=00",
                                         "-",
                                         "QUJD",
                                         "a=3Db",
                                         "=?x?Q?",
                                         "=?x?B?",
                                         "?=",
                                         "_",
                                         " ",
                                         "\x80\xff",
                                         "<",
                                         "<b",
                                         ">",
                                         "<!--",
                                         "-->",
                                         "<script>",
                                         "</script",
                                         "&#",
                                         "&#x4",
                                         "&amp;",
                                         "&nbsp;",
                                         "x"};

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "mime_fuzz: %s\n", what);
        std::abort();
    }
}

// Runs `decode` into an area of capacity + 1 bytes followed by guard bytes.
template <typename Decode>
void checkDecoder(const std::vector<char>& source, size_t capacity, Decode decode,
                  const char* name) {
    std::vector<char> area(capacity + 1 + GUARD_BYTES, '#');
    const char* stop = decode(source.data(), area.data(), capacity);
    require(stop >= source.data() && stop < source.data() + source.size(), name);
    for (size_t i = area.size() - GUARD_BYTES; i < area.size(); ++i) {
        require(area[i] == '#', name);
    }
}

void checkDecoders(const std::vector<char>& source, size_t capacity) {
    checkDecoder(
        source, capacity,
        [](const char* s, char* o, size_t c) { return cw::decodeBase64Body(s, o, c); },
        "base64 decoder");
    checkDecoder(
        source, capacity,
        [](const char* s, char* o, size_t c) {
            return cw::decodeQuotedPrintableBody(s, o, c, "b1");
        },
        "quoted-printable decoder");
    checkDecoder(
        source, capacity,
        [](const char* s, char* o, size_t c) { return cw::decodeMultipartBody(s, o, c, "b1"); },
        "multipart decoder");
}

// The body step reads the input through a pipe, as from the host's body file.
void checkBodyStep(const std::string& input, const std::vector<const char*>& headers) {
    static cw::MessageTexts texts;
    int ends[2];
    require(pipe(ends) == 0, "pipe");
    size_t count = std::min(input.size(), PIPE_BYTES);
    require(write(ends[1], input.data(), count) == static_cast<ssize_t>(count), "pipe write");
    close(ends[1]);
    cw::loadMessageBody(headers.data(), static_cast<int32_t>(headers.size()), ends[0], texts);
    close(ends[0]);
    require(texts.rawBody.size() <= FUZZ_MAX_SIZE, "raw body size");
    require(texts.decodedBody.size() <= FUZZ_MAX_SIZE, "decoded body size");
}

void runOne(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();
    size_t length = std::strlen(text);
    // An exact copy that ends at the first NUL: a read past it is a sanitizer error.
    std::vector<char> source(text, text + length + 1);
    size_t selector = size > 0 ? data[0] : 0;
    checkDecoders(source, selector % 97);
    checkDecoders(source, length);

    std::string header(text);
    cw::decodeHeaderWords(header);
    require(header.size() <= length, "header text grew");

    const std::vector<const char*>& headers = HEADER_SETS[selector % HEADER_SETS.size()];
    checkBodyStep(input, headers);

    require(cw::htmlVisibleText(text).size() <= length, "visible text of HTML grew");
    cw::visibleBodyText(text, headers.data(), static_cast<int32_t>(headers.size()));
}

void attachModule() {
    cw::libMain(cw::platform::ownModuleHandle(), cw::REASON_PROCESS_ATTACH);
    cw::filterOptions.maxSize = FUZZ_MAX_SIZE;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    attachModule();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runOne(data, size);
    return 0;
}

#if !defined(COBBLEWEAVE_LIBFUZZER)
namespace {

// One generated input for --random: a selector byte and pieces of the encodings.
std::string makeRandomInput(std::mt19937& random) {
    std::uniform_int_distribution<size_t> pieceCount(0, 60);
    std::uniform_int_distribution<size_t> pick(0, PIECES.size() - 1);
    std::uniform_int_distribution<int> firstByte(0, 255);
    std::string input(1, static_cast<char>(firstByte(random)));
    for (size_t n = pieceCount(random); n > 0; --n) {
        input += PIECES[pick(random)];
    }
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    return replayMain(argc, argv, makeRandomInput);
}
#endif
