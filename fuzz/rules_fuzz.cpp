// Feeds inputs to the rule reader and the rule engine: an input is a filters.dat
// and a list file named "list.txt" (its rules include it with B_INCLUDE_...),
// split at the first NUL byte. The folder is loaded through loadConfig and the
// one fixed multipart message below is scanned through the exports, with every
// answer checked (export_scan.h), and scanned again with the plain reference
// rule set, which must give the same answers and log (two_way_scan.h); the
// configurations are then released and the options set back to a fresh
// process's, so that each input runs alone.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/filter_options.h"
#include "replay_main.h"
#include "two_way_scan.h"

namespace {

// Every header and body form a rule can test: encoded words, a folded line,
// sender and recipient fields, a multipart body with a quoted-printable and a
// base64 part. The lines are short: a runaway pattern then reaches PCRE2's
// match limit without costing seconds per rule.
const std::vector<std::string> HEADER_LINES = {
    "Return-Path: <offers@example.com>\r\n",
    "Received: from mx.example.com (192.0.2.7)\r\n",
    "\tby pop.example.org; Mon, 1 Jan 2024\r\n",
    "From: =?utf-8?q?Caf=C3=A9_Offers?= <offers@example.com>\r\n",
    "To: alice@example.org\r\n",
    "Subject: FREE money =?iso-8859-1?q?caf=E9?= now!!\r\n",
    "Date: Mon, 1 Jan 2024 00:00:00 +0000\r\n",
    "MIME-Version: 1.0\r\n",
    "Content-Type: multipart/alternative; boundary=\"b1\"\r\n",
};

const std::string_view BODY =
    "--b1\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Buy now, only =E2=82=AC 9.99 =\r\n"
    "per month.\r\n"
    "Visit http://192.0.2.7/offer\r\n"
    "--b1\r\n"
    "Content-Type: text/html\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "PGh0bWw+PGZvbnQgc2l6ZT03PkZSRUU8L2ZvbnQ+PC9odG1sPg==\r\n"
    "--b1--\r\n";

// Include names under /proc and /sys: some of them are regular files of any
// size (/proc/kcore), read correctly up to the include bound, but at seconds and
// hundreds of MB per input. Devices and FIFOs stay in: they are refused at open.
const char* const REFUSED_PATH_PARTS[] = {"proc/", "sys/"};

// A runaway pattern costs one match limit per message, and one that stays below
// the limit costs at most the rule's time budget (250 ms, more under the
// sanitizers). Inputs with more possible patterns (braces, list lines) than
// this are passed over, so that one input stays well below the -timeout of
// fuzz/README.md.
constexpr size_t MAX_PATTERNS = 64;

std::string folder;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = fuzzhost::makeScratchFolder("cobbleweave-rules-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const char* part : REFUSED_PATH_PARTS) {
        if (input.find(part) != std::string_view::npos) {
            return -1;  // not added to the corpus
        }
    }
    size_t split = input.find('\0');
    std::string_view rules = input.substr(0, split);
    std::string_view list = split == std::string_view::npos ? "" : input.substr(split + 1);
    size_t patterns = static_cast<size_t>(std::count(input.begin(), input.end(), '{') +
                                          std::count(list.begin(), list.end(), '\n'));
    if (patterns > MAX_PATTERNS) {
        return -1;
    }
    fuzzhost::writeFile(folder + "filters.dat", rules);
    fuzzhost::writeFile(folder + "list.txt", list);
    // The statistics stay: made anew, they would be flushed to disk for every
    // input. The log is emptied before each scan.

    fuzzhost::TwoWayConfig config = fuzzhost::loadTwoWays(folder);
    fuzzhost::requireSameBothWays(fuzzhost::scanTwoWays(config, HEADER_LINES, BODY));
    fuzzhost::releaseTwoWays(config);
    cw::filterOptions = cw::FilterOptions{};
    return 0;
}

#if !defined(COBBLEWEAVE_LIBFUZZER)
int main(int argc, char** argv) {
    return replayMain(argc, argv);
}
#endif
