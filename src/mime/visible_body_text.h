// The text that "HtmlText:" rules test: a body with the content of its HTML
// parts replaced by their visible text (html_text.h) and everything else as it
// stands, so that plain mail reads as its Body: does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cw {

// The visible text of `body` (the raw or the decoded body) of a message with
// these header lines (null entries skipped). The message's first
// "Content-Type:" header (any case, any white space behind the colon) decides:
// - "text/html": the whole body is HTML;
// - none, or any type but "multipart/", and the body begins (behind white
//   space) with <html, <!doctype html, <head or <body: the same;
// - otherwise the body is read as MIME parts. A part begins behind a line that
//   begins with "--" (its boundary line) and its header lines, up to the first
//   empty line; when one of them is a "Content-Type:" naming text/html, its
//   content, up to where that boundary shows again, is HTML. (Where the decoder
//   ran into the boundary behind base64 content, the boundary shows one '-'
//   short, maybe behind the last line of the content.) The visible text of a
//   part stands on lines of its own. Nothing else changes: preamble, part
//   headers, boundary lines and every other part stay as they are.
std::string visibleBodyText(std::string_view body, const char* const* headerLines,
                            int32_t headerCount);

}  // namespace cw
