#pragma once
// Every target writes its seed corpus, made by builder code, when run with --write-seeds DIR.
#include <cstdint>
#include <vector>

using FuzzSeed = std::vector<uint8_t>;

// With --write-seeds DIR among the arguments: writes each seed to DIR/seed_N and exits, with
// status 1 when a file cannot be written. Otherwise returns and the fuzzer runs.
void FuzzWriteSeedsIfAsked(int argc, char** argv, std::vector<FuzzSeed> (*makeSeeds)());
