// Runs a fuzz target's LLVMFuzzerTestOneInput over files without libFuzzer,
// so the seeds and the past findings of every target run as a regression
// test in an ordinary build. Arguments are files or folders (every file in a
// folder, in name order); a crash or abort in the target fails the run.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

int main(int Argc, char** Argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < Argc; ++i) {
        const std::filesystem::path given(Argv[i]);
        if (std::filesystem::is_directory(given)) {
            std::vector<std::filesystem::path> inside;
            for (const auto& entry : std::filesystem::directory_iterator(given))
                if (entry.is_regular_file())
                    inside.push_back(entry.path());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else if (std::filesystem::exists(given)) {
            files.push_back(given);
        }
    }
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "%s (%zu bytes)\n", file.string().c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs\n", files.size());
    // A target without a single input would prove nothing.
    return files.empty() ? 1 : 0;
}
