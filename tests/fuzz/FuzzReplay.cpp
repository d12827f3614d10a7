// The fuzz targets' main outside libFuzzer: every file of the folders named on
// the command line goes through the target once, in name order, so CTest
// replays the seed corpus and every input that once crashed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [CRASHERS_DIR...]\n", argv[0]);
        return 2;
    }
    int nReplayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(argv[i], error)) {
            const std::string name = entry.path().filename().string();
            // Notes kept beside the inputs are no inputs.
            if (entry.is_regular_file() && name != ".gitkeep" && name != "README.md") {
                files.push_back(entry.path());
            }
        }
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 2;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // Printed first, so a crash names its input.
            std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), bytes.size());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++nReplayed;
        }
        // The seed corpus must hold something, or a wrong path would pass.
        if (i == 1 && files.empty()) {
            std::fprintf(stderr, "%s holds no input\n", argv[i]);
            return 2;
        }
    }
    std::printf("%d inputs replayed\n", nReplayed);
    return 0;
}
