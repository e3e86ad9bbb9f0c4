// Without libFuzzer (the native build), a fuzz target replays the inputs
// it is given, files or folders of files, so its corpus runs as a test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in.eof() && in.fail()) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return 1;
    }
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int failed = 0;
    size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::directory_iterator(p)) {
                failed += Replay(e.path());
                ++inputs;
            }
        } else {
            failed += Replay(p);
            ++inputs;
        }
    }
    std::printf("replayed %zu inputs\n", inputs);
    return failed || inputs == 0 ? 1 : 0;
}
