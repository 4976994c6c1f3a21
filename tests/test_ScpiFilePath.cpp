// SPDX-License-Identifier: MIT
// The one folder a remote client's file names may reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TempDir.h"
#include "remote/ErrorQueue.h"
#include "remote/FilePath.h"

namespace zvk::remote {
namespace {

namespace fs = std::filesystem;

class ScpiFilePath : public test::TempDir {
  protected:
    ScpiFilePath() : TempDir("zvk-scpi-path") {}
    void SetUp() override {
        TempDir::SetUp();
        // files/ is the folder a client reaches; outside.cfg lies beside it.
        files = dir / "files";
        fs::create_directories(files / "sub");
        std::ofstream(files / "a.cfg") << "x";
        std::ofstream(files / "sub" / "b.cfg") << "x";
        std::ofstream(dir / "outside.cfg") << "x";
        fs::create_symlink(dir / "outside.cfg", files / "out.cfg");
        fs::create_directory_symlink(dir, files / "up");
        fs::create_symlink(files / "a.cfg", files / "in.cfg");
        fs::create_symlink(dir / "nowhere.cfg", files / "dangling.cfg");
    }
    fs::path files;
};

TEST_F(ScpiFilePath, TakesNamesInsideTheFolderOnly) {
    struct Case {
        const char* name;
        bool mustExist;
        int code;
        const char* resolved;  // below the folder, when taken
    };
    const Case cases[] = {
        {"a.cfg", true, 0, "a.cfg"},
        {"sub/b.cfg", true, 0, "sub/b.cfg"},
        {"./sub/../a.cfg", true, kFileNameError, nullptr},
        {"sub//b.cfg", true, 0, "sub/b.cfg"},
        {"in.cfg", true, 0, "a.cfg"},
        {"new.cfg", false, 0, "new.cfg"},
        {"sub/new.cfg", false, 0, "sub/new.cfg"},
        {"a.cfg", false, 0, "a.cfg"},
        {"missing.cfg", true, kFileNameNotFound, nullptr},
        {"nofolder/new.cfg", false, kFileNameNotFound, nullptr},
        {"sub", true, kFileNameError, nullptr},
        {"sub", false, kFileNameError, nullptr},
        {"", true, kFileNameError, nullptr},
        {"/etc/passwd", true, kFileNameError, nullptr},
        {"/tmp/x.cfg", false, kFileNameError, nullptr},
        {"../outside.cfg", true, kFileNameError, nullptr},
        {"sub/../../outside.cfg", false, kFileNameError, nullptr},
        {"..", false, kFileNameError, nullptr},
        {"out.cfg", true, kFileNameError, nullptr},
        {"out.cfg", false, kFileNameError, nullptr},
        {"up/outside.cfg", true, kFileNameError, nullptr},
        {"up/new.cfg", false, kFileNameError, nullptr},
        {"dangling.cfg", false, kFileNameError, nullptr},
    };
    for (const Case& c : cases) {
        const FileInFolder f = fileInFolder(files.string(), c.name, c.mustExist);
        EXPECT_EQ(f.code, c.code) << c.name << ": " << f.why;
        if (c.code == 0) {
            EXPECT_EQ(f.path, (fs::canonical(files) / c.resolved).string()) << c.name;
        } else {
            EXPECT_TRUE(f.path.empty()) << c.name;
            EXPECT_FALSE(f.why.empty()) << c.name;
        }
    }
}

TEST_F(ScpiFilePath, AnEmptyFolderIsTheWorkingFolder) {
    const fs::path before = fs::current_path();
    fs::current_path(files);
    const FileInFolder inside = fileInFolder("", "a.cfg", true);
    const FileInFolder outside = fileInFolder("", "../outside.cfg", true);
    fs::current_path(before);
    EXPECT_EQ(inside.code, 0) << inside.why;
    EXPECT_EQ(inside.path, (fs::canonical(files) / "a.cfg").string());
    EXPECT_EQ(outside.code, kFileNameError);
}

TEST_F(ScpiFilePath, AMissingFolderIsNoFolderToReach) {
    const FileInFolder f = fileInFolder((dir / "none").string(), "a.cfg", false);
    EXPECT_EQ(f.code, kFileNameNotFound);
    EXPECT_TRUE(f.path.empty());
}

}  // namespace
}  // namespace zvk::remote
