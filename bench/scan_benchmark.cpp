// How long one message takes to score with the shipped rules, with and without
// PRECOMPILE, and what bringing the statistics files up to date costs per
// message. Run by hand:
//   build/linux/bench/scan_benchmark [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/filter_options.h"
#include "base/module_state.h"
#include "config/config_table.h"
#include "config/statistics.h"
#include "engine/added_lines.h"
#include "engine/fetch_table.h"
#include "engine/message_scan.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The shipped rules in a scratch folder, as a user's configuration.
std::string prepareConfigFolder(bool precompile) {
    fs::path folder = fs::temp_directory_path() /
                      (std::string("cobbleweave-bench-") + (precompile ? "cached" : "plain"));
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR "/config")) {
        fs::path target = folder / entry.path().filename();
        if (target.filename() == "default_filters.dat") {
            target = folder / "filters.dat";
        }
        fs::copy_file(entry.path(), target);
    }
    std::ofstream(folder / "local_filters.dat", std::ios::binary)
        << (precompile ? "PRECOMPILE\n" : "NOPRECOMPILE\n");
    return folder.string() + "/";
}

struct Message {
    std::vector<std::string> headerLines;
    std::string bodyPath;
};

Message loadMessage(const fs::path& path, const fs::path& bodyFolder) {
    std::string text = readFile(path);
    Message message;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(position, end - position);
        position = end;
        if (line == "\r\n" || line == "\n") {
            break;
        }
        message.headerLines.push_back(line);
    }
    message.bodyPath = (bodyFolder / (path.filename().string() + ".body")).string();
    std::ofstream(message.bodyPath, std::ios::binary) << text.substr(position);
    return message;
}

void scanExamples(benchmark::State& state, bool precompile) {
    std::string folder = prepareConfigFolder(precompile);
    int32_t handle = cw::loadConfig(folder.c_str());
    std::vector<Message> messages;
    for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR "/messages")) {
        if (entry.path().extension() == ".eml") {
            messages.push_back(loadMessage(entry.path(), folder));
        }
    }
    cw::AccountInfo account{"pop.example.org", 0, "alice"};
    cw::FetchInfo fetchInfo{};
    fetchInfo.fetchType = cw::POP3_RETR;
    cw::fetchStart(1);
    int64_t scanned = 0;
    for (auto _ : state) {
        for (const Message& message : messages) {
            std::vector<const char*> lines;
            for (const std::string& line : message.headerLines) {
                lines.push_back(line.c_str());
            }
            cw::MessageStatus status{};
            status.account = &account;
            status.fetchInfo = &fetchInfo;
            int body = open(message.bodyPath.c_str(), O_RDONLY);
            cw::filterOnMessageBody(lines.data(), static_cast<int32_t>(lines.size()), body, 1,
                                    &status, handle);
            close(body);
            benchmark::DoNotOptimize(status.spam);
            ++scanned;
        }
    }
    cw::fetchEnd(1);
    cw::releaseConfig(handle);
    state.SetItemsProcessed(scanned);
}

void BM_ScanExamplesPrecompiled(benchmark::State& state) {
    scanExamples(state, true);
}
void BM_ScanExamplesCompiledPerMessage(benchmark::State& state) {
    scanExamples(state, false);
}

// processedMessage after every message, with the configuration folder on the
// ordinary disk (under the build folder, not the temporary folder).
void BM_ProcessedMessageStatistics(benchmark::State& state) {
    fs::path folder = fs::path(BENCH_WORK_DIR) / "statistics";
    fs::remove_all(folder);
    fs::create_directories(folder);
    std::string path = folder.string() + "/";
    cw::readStatistics(path);
    cw::MessageStatus status{};
    for (auto _ : state) {
        status.spam = !status.spam;
        cw::processedMessage(&status);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ScanExamplesPrecompiled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanExamplesCompiledPerMessage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProcessedMessageStatistics)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    cw::libMain(cw::platform::ownModuleHandle(), cw::REASON_PROCESS_ATTACH);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
