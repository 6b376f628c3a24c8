#include "replay_main.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool readFile(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

void runBytes(const std::string& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The files a command-line argument stands for.
std::vector<std::filesystem::path> filesOf(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::directory_iterator(path)) {
            files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    return files;
}

}  // namespace

int replayMain(int argc, char** argv, RandomInput randomInput) {
    LLVMFuzzerInitialize(&argc, &argv);
    const char* name = argc > 0 ? argv[0] : "fuzz driver";
    size_t saved = 0;
    size_t randomCount = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--random") == 0 && i + 1 < argc && randomInput != nullptr) {
            randomCount = std::strtoul(argv[++i], nullptr, 10);
            continue;
        }
        for (const auto& file : filesOf(argv[i])) {
            std::string bytes;
            if (!readFile(file, bytes)) {
                std::fprintf(stderr, "%s: cannot read %s\n", name, file.string().c_str());
                return 2;
            }
            runBytes(bytes);
            ++saved;
        }
    }
    if (saved == 0 && randomCount == 0) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER... [--random N]\n", name);
        return 2;
    }
    std::mt19937 random(1);
    for (size_t i = 0; i < randomCount; ++i) {
        runBytes(randomInput(random));
    }
    std::printf("%s: %zu saved and %zu random inputs passed\n", name, saved, randomCount);
    return 0;
}
