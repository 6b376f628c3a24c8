// Feeds whole messages to the plug-in: an input is one message as it arrives
// (header, blank line, body), cut into header lines and body as the command-line
// host cuts it, and scanned through the exports with the shipped rules
// (examples/config/default_filters.dat and its lists) as the configuration, every
// answer checked (export_scan.h).
#include <cstdint>
#include <filesystem>
#include <string>

#include "cobbleweave_scan/message_source.h"
#include "export_scan.h"
#include "replay_main.h"

namespace {

int32_t configHandle = 0;

// The shipped rules as the folder's filters.dat, their lists beside them.
std::string makeShippedConfiguration() {
    namespace fs = std::filesystem;
    std::string folder = fuzzhost::makeScratchFolder("cobbleweave-message-fuzz");
    for (const auto& entry : fs::directory_iterator(SHIPPED_RULES_DIR)) {
        std::string name = entry.path().filename().string();
        if (name == "default_filters.dat") {
            name = "filters.dat";
        }
        fs::copy_file(entry.path(), folder + name);
    }
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    configHandle = loadConfig(makeShippedConfiguration().c_str());
    fuzzhost::require(configHandle > 0, "loadConfig refused the shipped rules");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cw::scantool::Message message;
    message.text.assign(reinterpret_cast<const char*>(data), size);
    cw::scantool::splitHeader(message);
    std::string_view body = std::string_view(message.text).substr(message.bodyOffset);
    fuzzhost::scanMessage(configHandle, message.headerLines, body);
    return 0;
}

#if !defined(COBBLEWEAVE_LIBFUZZER)
int main(int argc, char** argv) {
    return replayMain(argc, argv);
}
#endif
