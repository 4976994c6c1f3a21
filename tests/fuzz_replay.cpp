// SPDX-License-Identifier: MIT
// Replays the fuzzers' corpora (fuzz/corpus/<target>/) through their harnesses as ordinary
// test cases, one case per file, so that an input that once crashed a harness is tried on
// every test run, without clang or libFuzzer. A harness stops the process on a finding
// (a trap or a sanitizer's report): the case that ran last names the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern "C" int zvkFuzz_config(const uint8_t* data, size_t size);
extern "C" int zvkFuzz_settings(const uint8_t* data, size_t size);
extern "C" int zvkFuzz_cli_json(const uint8_t* data, size_t size);
extern "C" int zvkFuzz_cli_input(const uint8_t* data, size_t size);
extern "C" int zvkFuzz_scpi(const uint8_t* data, size_t size);

namespace {

using Harness = int (*)(const uint8_t*, size_t);

const std::map<std::string, Harness>& harnesses() {
    static const std::map<std::string, Harness> all = {
        {"config", zvkFuzz_config},     {"settings", zvkFuzz_settings},
        {"cli_json", zvkFuzz_cli_json}, {"cli_input", zvkFuzz_cli_input},
        {"scpi", zvkFuzz_scpi},
    };
    return all;
}

class Replay : public testing::Test {
  public:
    Replay(Harness harness, std::filesystem::path file)
        : harness_(harness), file_(std::move(file)) {}
    void TestBody() override {
        std::ifstream in(file_, std::ios::binary);
        ASSERT_TRUE(in) << file_;
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        harness_(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }

  private:
    Harness harness_;
    std::filesystem::path file_;
};

// A corpus file's name as a test name: letters, digits and '_' only.
std::string caseName(const std::string& file) {
    std::string name = file;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Every harness the build knows has a corpus folder, and every folder a harness.
    std::stringstream targets(ZVK_FUZZ_TARGETS);
    for (std::string target; std::getline(targets, target, ',');) {
        const auto found = harnesses().find(target);
        const std::filesystem::path dir =
            std::filesystem::path(ZVK_SOURCE_DIR) / "fuzz" / "corpus" / target;
        if (found == harnesses().end() || !std::filesystem::is_directory(dir)) {
            std::fprintf(stderr, "fuzz_replay: no harness or no corpus for \"%s\"\n",
                         target.c_str());
            return 1;
        }
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        const std::string suite = "FuzzCorpus_" + target;
        for (const std::filesystem::path& file : files) {
            const Harness harness = found->second;
            testing::RegisterTest(
                suite.c_str(), caseName(file.filename().string()).c_str(), nullptr,
                file.string().c_str(), __FILE__, __LINE__,
                [harness, file]() -> testing::Test* { return new Replay(harness, file); });
        }
    }
    return RUN_ALL_TESTS();
}
