// Replays saved inputs through a fuzz target without libFuzzer:
//   quarvel_fuzz_replay TARGET PATH...   (files, or directories read recursively)
// A missing directory holds no inputs. Exits non-zero only by crashing or on misuse.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "fuzz_target.hpp"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    using quarvel::fuzz::registry;
    if (argc < 2) {
        std::cerr << "usage: quarvel_fuzz_replay TARGET PATH...\n";
        return 2;
    }
    const auto target = std::find_if(registry().begin(), registry().end(),
                                     [&](const auto& t) { return std::strcmp(t.name, argv[1]) == 0; });
    if (target == registry().end()) {
        std::cerr << "unknown fuzz target " << argv[1] << "\n";
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        const fs::path path = argv[i];
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::recursive_directory_iterator(path))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else if (fs::exists(path)) {
            inputs.push_back(path);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::cout << "replaying " << path.filename().string() << " (" << data.size() << " bytes)" << std::endl;
        quarvel::fuzz::run_one(target->run, data);
    }
    std::cout << "replayed " << inputs.size() << " inputs through " << target->name << "\n";
    return 0;
}
