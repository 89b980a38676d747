#include "fuzz/fuzz_seeds.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

void FuzzWriteSeedsIfAsked(int argc, char** argv, std::vector<FuzzSeed> (*makeSeeds)()) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--write-seeds") != 0)
      continue;
    int index = 0;
    for (const FuzzSeed& seed : makeSeeds()) {
      const std::string path = std::string(argv[i + 1]) + "/seed_" + std::to_string(index++);
      std::ofstream file(path, std::ios::binary);
      file.write(reinterpret_cast<const char*>(seed.data()), std::streamsize(seed.size()));
      if (!file)
        std::exit(1);
    }
    std::exit(0);
  }
}
