// Runs a body decoder over a source text into an output area that is followed by
// guard bytes, and reports what it wrote, where it stopped and whether it kept
// to its capacity.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "mime/base64_body.h"
#include "mime/multipart_body.h"
#include "mime/quoted_printable_body.h"

namespace cw {

struct DecoderRun {
    std::string written;  // every byte the decoder wrote, NUL bytes included
    size_t stoppedAt;     // offset of the returned source position
    size_t capacityLeft;
    bool terminated;  // a NUL behind the output
    bool guardIntact;
};

// `decode(source, output, capacity&)` returns the source position where it stopped.
template <typename Decode>
DecoderRun runDecoder(const std::string& source, size_t capacity, Decode decode) {
    constexpr size_t GUARD_BYTES = 16;
    // An exact copy, so that the sanitizers see any read past the terminator.
    std::vector<char> text(source.c_str(), source.c_str() + source.size() + 1);
    std::vector<char> area(capacity + 1 + GUARD_BYTES, '#');
    size_t left = capacity;
    const char* stop = decode(text.data(), area.data(), left);
    size_t count = capacity - left;
    DecoderRun run{std::string(area.data(), count), static_cast<size_t>(stop - text.data()), left,
                   area[count] == '\0', true};
    for (size_t i = capacity + 1; i < area.size(); ++i) {
        run.guardIntact = run.guardIntact && area[i] == '#';
    }
    return run;
}

inline DecoderRun runBase64Decoder(const std::string& source, size_t capacity) {
    return runDecoder(source, capacity,
                      [](const char* s, char* o, size_t& c) { return decodeBase64Body(s, o, c); });
}

inline DecoderRun runQuotedPrintableDecoder(const std::string& source, const char* boundary,
                                            size_t capacity) {
    return runDecoder(source, capacity, [boundary](const char* s, char* o, size_t& c) {
        return decodeQuotedPrintableBody(s, o, c, boundary);
    });
}

// The multipart decoder does not report its written count: `written` ends at the
// first NUL.
inline DecoderRun runMultipartDecoder(const std::string& source, const char* boundary,
                                      size_t capacity) {
    return runDecoder(source, capacity, [boundary](const char* s, char* o, size_t& c) {
        const char* stop = decodeMultipartBody(s, o, c, boundary);
        c -= std::strlen(o);
        return stop;
    });
}

}  // namespace cw
