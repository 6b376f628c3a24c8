// Feeds whole messages to the plug-in: an input is one message as it arrives
// (header, blank line, body), cut into header lines and body as the command-line
// host cuts it, and scanned through the exports with the shipped rules
// (examples/config/default_filters.dat and its lists) as the configuration, every
// answer checked (export_scan.h), then scanned again with the plain reference
// rule set of the same rules, which must give the same answers and log
// (two_way_scan.h).
#include <cstdint>
#include <string>

#include "cobbleweave_scan/message_source.h"
#include "replay_main.h"
#include "two_way_scan.h"

namespace {

fuzzhost::TwoWayConfig shippedRules;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    shippedRules = fuzzhost::loadTwoWays(
        fuzzhost::makeShippedRulesFolder(SHIPPED_RULES_DIR, "cobbleweave-message-fuzz"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cw::scantool::Message message;
    message.text.assign(reinterpret_cast<const char*>(data), size);
    cw::scantool::splitHeader(message);
    std::string_view body = std::string_view(message.text).substr(message.bodyOffset);
    fuzzhost::requireSameBothWays(fuzzhost::scanTwoWays(shippedRules, message.headerLines, body));
    return 0;
}

#if !defined(COBBLEWEAVE_LIBFUZZER)
int main(int argc, char** argv) {
    return replayMain(argc, argv);
}
#endif
