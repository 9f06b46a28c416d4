// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without
// libFuzzer, so that the ordinary build (any compiler, any sanitizer) runs
// the committed corpus as a test. Arguments are files or directories (every
// regular file directly inside, in name order). A broken contract aborts in
// the target; finding no input at all fails too, so that a misplaced corpus
// cannot pass unnoticed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        if (!fs::is_directory(argv[i])) inputs.emplace_back(argv[i]);
        else
            for (const fs::directory_entry& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end()); // name order within each directory, and across them
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 1;
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replaying %s\n", path.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    if (inputs.empty()) return std::fprintf(stderr, "no inputs to replay\n"), 1;
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
