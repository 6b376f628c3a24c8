// The main of a fuzz driver built without libFuzzer: it replays saved inputs
// through the driver's LLVMFuzzerTestOneInput, so that the seed corpus runs as
// a test under every preset (and under the sanitizers of the sanitize preset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Makes one generated input for the --random option.
using RandomInput = std::string (*)(std::mt19937& random);

// Calls LLVMFuzzerInitialize, then runs every file named on the command line
// (every file of a folder named, in name order), then, with `--random N` and a
// `randomInput`, N generated inputs. Prints what it ran; 0 when all returned, 2
// for a usage error or a file that cannot be read. A broken bound aborts inside
// the driver, as it does under libFuzzer.
int replayMain(int argc, char** argv, RandomInput randomInput = nullptr);
