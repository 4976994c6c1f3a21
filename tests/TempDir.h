// SPDX-License-Identifier: MIT
#pragma once
// Tests that write files: a fresh directory per test, removed afterwards, and a disk that
// fills up half way through a write.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zvk::test {

// The directory is named after prefix ("/tmp/prefix-XXXXXX") so that one left behind
// tells which tests made it.
class TempDir : public ::testing::Test {
  protected:
    explicit TempDir(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / (prefix_ + "-XXXXXX")).string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        namespace fs = std::filesystem;
        std::error_code ec;
        // A test may have taken the write permission away to make writes fail.
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    std::string file(const std::string& name) const { return (dir / name).string(); }
    // A file at a path below the folder, its folders made as needed.
    void put(const std::string& relative, const std::string& text) const {
        const std::filesystem::path p = dir / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            names.push_back(e.path().filename());
        return names;
    }

    std::filesystem::path dir;

  private:
    std::string prefix_;
};

// Runs write while no file may grow beyond bytes, and a write beyond that fails instead of
// raising SIGXFSZ; the limit and the signal's default come back afterwards. Call it under
// ASSERT_NO_FATAL_FAILURE.
inline void withFileSizeLimit(rlim_t bytes, const std::function<void()>& write) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    write();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
}

}  // namespace zvk::test
