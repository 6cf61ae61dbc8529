// Replays fuzz inputs without the fuzzer: each argument is an input file or a folder of them
// (names starting with '.' are skipped). Built with every non-fuzzing configuration, so the
// corpus and the committed crashers run as ordinary tests.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& p) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(p)) {
        for (const auto& e : std::filesystem::directory_iterator(p)) {
            if (e.is_regular_file() && e.path().filename().string().rfind('.', 0) != 0)
                files.push_back(e.path());
        }
        std::sort(files.begin(), files.end());
    } else if (std::filesystem::exists(p)) {
        files.push_back(p);
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const auto files = inputsOf(argv[i]);
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "replaying %s\n", f.string().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    // Nothing replayed means the paths are wrong, not that all is well.
    return replayed > 0 ? 0 : 1;
}
