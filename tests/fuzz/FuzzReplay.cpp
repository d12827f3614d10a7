// The fuzz targets' main outside libFuzzer: every file of the folders named on
// the command line goes through the target once, in name order, so CTest
// replays the seed corpus and every input that once crashed.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::set<std::filesystem::path> files; // in name order
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && name != ".gitkeep" && name != "README.md") // notes are no inputs
                files.insert(entry.path());
        }
        // The seed corpus must hold something, or a wrong path would pass.
        if (error || (i == 1 && files.empty())) {
            std::fprintf(stderr, "%s: no inputs (%s)\n", argv[i], error.message().c_str());
            return 2;
        }
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(),
                         bytes.size()); // names a crash's input
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        }
    }
    return argc < 2 ? 2 : 0;
}
