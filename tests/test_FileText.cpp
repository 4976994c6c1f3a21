// SPDX-License-Identifier: MIT
// Whole-file reads and replacements: only regular files of sane size are read, without
// ever blocking, and a replacement keeps what it must.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TempDir.h"
#include "storage/FileText.h"

namespace zvk {
namespace {

namespace fs = std::filesystem;

class FileText : public test::TempDir {
  protected:
    FileText() : TempDir("zvk-filetext") {}
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(file(name)) << text;
        return file(name);
    }
};

TEST_F(FileText, ReadsOnlyRegularFilesOfSaneSize) {
    ASSERT_EQ(::mkfifo(file("pipe.cfg").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.cfg");
    const std::string big = file("big.cfg");
    std::ofstream(big).close();
    fs::resize_file(big, uintmax_t(kMaxFileSize) + 1);  // sparse: no disk space needed
    struct Case {
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {file("pipe.cfg"), "FIFO"},  // would block for ever in open() without a writer
        {file("folder.cfg"), "directory"},
        {"/dev/zero", "device"},  // would be read until memory runs out
        {big, "larger than 16 MiB"},
        {file("missing.cfg"), "No such file"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(readFileText(c.path, &error).has_value()) << c.path;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.path << ": " << error;
    }
    // A link to a device is the device.
    fs::create_symlink("/dev/zero", dir / "zero.cfg");
    std::string error;
    EXPECT_FALSE(readFileText(file("zero.cfg"), &error).has_value());
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    EXPECT_EQ(readFileText(write("ok.cfg", "fRF\t433")).value_or(""), "fRF\t433");
}

TEST_F(FileText, AWriteProtectedOrSpecialFileIsNotReplaced) {
    const std::string locked = write("locked.INI", "[Lab]\nmine=1\n");
    ::chmod(locked.c_str(), 0444);
    ASSERT_EQ(::mkfifo(file("pipe.INI").c_str(), 0600), 0);
    for (const std::string& path : {locked, file("pipe.INI")}) {
        const auto before = entries();
        const auto error = replaceFileText(path, "new");
        ASSERT_TRUE(error.has_value()) << path;
        EXPECT_EQ(entries(), before) << path;  // no temporary file left either
    }
    EXPECT_EQ(readFileText(locked).value_or(""), "[Lab]\nmine=1\n");
    EXPECT_NE(replaceFileText(locked, "new")->find("write-protected"), std::string::npos);
}

TEST_F(FileText, AReplacedFileKeepsItsModeAndANewOneFollowsTheUmask) {
    const std::string secret = write("secret.INI", "old");
    ::chmod(secret.c_str(), 0600);
    ASSERT_FALSE(replaceFileText(secret, "new").has_value());
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(readFileText(secret).value_or(""), "new");

    const mode_t old = ::umask(027);
    ASSERT_FALSE(replaceFileText(file("fresh.INI"), "x").has_value());
    ::umask(old);
    ASSERT_EQ(::stat(file("fresh.INI").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(FileText, StaleTemporariesOfDeadWritersAreRemoved) {
    const std::string settings = write("zvk40310.INI", "[Form]\n");
    // A process id no process has: the kernel's limit is below 2^22.
    const std::string dead = ".zvk40310.INI.tmp4194305.0.1";
    ASSERT_NE(::kill(4194305, 0), 0);
    const std::string alive = ".zvk40310.INI.tmp" + std::to_string(::getpid()) + ".0.1";
    for (const std::string& name : {dead, alive, std::string(".other.INI.tmp4194305.0.1"),
                                    std::string(".zvk40310.INI.tmpnotours")})
        write(name, "partial");
    removeStaleTemporaries(settings);
    EXPECT_FALSE(fs::exists(dir / dead));
    EXPECT_TRUE(fs::exists(dir / alive));  // its writer may be saving right now
    EXPECT_TRUE(fs::exists(dir / ".other.INI.tmp4194305.0.1"));
    EXPECT_TRUE(fs::exists(dir / ".zvk40310.INI.tmpnotours"));
    EXPECT_TRUE(fs::exists(settings));
}

}  // namespace
}  // namespace zvk
