// SPDX-License-Identifier: MIT
// Whole-file reads and replacements: only regular files of sane size are read, without
// ever blocking, and a replacement keeps what it must.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
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

// Tests that need a second user: the links and files are given to nobody with lchown,
// which only root may do.
class FileTextAsRoot : public FileText {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to give files to another user";
        FileText::SetUp();
        // The folder must be passable for nobody's child processes below.
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    }
    static constexpr uid_t kNobody = 65534;
    static constexpr gid_t kNogroup = 65534;
};

TEST_F(FileTextAsRoot, ALinkOfAnotherUserInASharedFolderIsNotFollowed) {
    struct Case {
        const char* what;
        mode_t folderMode;
        uid_t folderOwner, linkOwner;
        bool followed;
    };
    const Case cases[] = {
        {"sticky /tmp, nobody's link", 01777, 0, kNobody, false},
        {"writable for all, nobody's link", 0777, 0, kNobody, false},
        {"sticky, the follower's own link", 01777, 0, 0, true},
        {"sticky, the folder owner's link", 01777, kNobody, kNobody, true},
        {"a private folder, nobody's link", 0755, 0, kNobody, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir / ("f" + std::to_string(n++));
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), c.folderOwner, 0), 0);
        ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
        const std::string victim = write("victim" + std::to_string(n), "secret");
        const std::string link = (folder / "trace.log").string();
        fs::create_symlink(victim, link);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, 0), 0);
        // A dangling one of the same owner, which would make a new file of root's.
        const std::string dangling = (folder / "new.log").string();
        fs::create_symlink(file("made" + std::to_string(n)), dangling);
        ASSERT_EQ(::lchown(dangling.c_str(), c.linkOwner, 0), 0);

        EXPECT_EQ(checkReplaceable(link).has_value(), !c.followed);
        const auto error = replaceFileText(link, "new");
        EXPECT_EQ(error.has_value(), !c.followed);
        if (error) {
            EXPECT_NE(error->find("symbolic link of"), std::string::npos) << *error;
        }
        EXPECT_EQ(readFileText(victim).value_or(""), c.followed ? "new" : "secret");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(replaceFileText(dangling, "x").has_value(), !c.followed);
        EXPECT_EQ(fs::exists(file("made" + std::to_string(n))), c.followed);
    }
    // A link to a folder is a link like any other.
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", shared / "sub");
    ASSERT_EQ(::lchown((shared / "sub").c_str(), kNobody, 0), 0);
    EXPECT_TRUE(replaceFileText((shared / "sub" / "x.cfg").string(), "x").has_value());
    EXPECT_FALSE(fs::exists(dir / "elsewhere" / "x.cfg"));
}

// Runs save in a child process that is nobody (group nogroup); its result as the child saw it.
std::string asNobody(const std::function<std::optional<std::string>()>& save) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const gid_t groups[] = {65534};
        if (::setgroups(1, groups) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
            ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(2);
        const std::string said = save().value_or("saved");
        const ssize_t n = ::write(fds[1], said.data(), said.size());
        ::_exit(n == ssize_t(said.size()) ? 0 : 1);
    }
    ::close(fds[1]);
    std::string said;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : "the child failed";
}

TEST_F(FileTextAsRoot, ASaveKeepsTheOwnerAndGroupOfTheFile) {
    // daemon's file, writable for its group, in daemon's folder that gives new files the
    // folder's group: nobody, a member of the group, saves it with a shorter text.
    const fs::path folder = dir / "shared";
    fs::create_directory(folder);
    ASSERT_EQ(::chown(folder.c_str(), 1, kNogroup), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 02775), 0);
    const std::string theirs = (folder / "f.cfg").string();
    std::ofstream(theirs) << "a much longer old text";
    ASSERT_EQ(::chown(theirs.c_str(), 1, kNogroup), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0664), 0);
    fs::create_hard_link(theirs, folder / "second.cfg");
    EXPECT_EQ(asNobody([&] { return replaceFileText(theirs, "new"); }), "saved");
    struct stat st {};
    ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, kNogroup);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(readFileText(theirs).value_or(""), "new");
    // Written in place: the second name still shows the same file.
    EXPECT_EQ(readFileText((folder / "second.cfg").string()).value_or(""), "new");

    // nobody's own file of group nogroup in a folder that gives new files group daemon.
    const fs::path other = dir / "other";
    fs::create_directory(other);
    ASSERT_EQ(::chown(other.c_str(), 0, 1), 0);
    ASSERT_EQ(::chmod(other.c_str(), 02777), 0);
    const std::string mine = (other / "f.cfg").string();
    std::ofstream(mine) << "old";
    ASSERT_EQ(::chown(mine.c_str(), kNobody, kNogroup), 0);
    EXPECT_EQ(asNobody([&] { return replaceFileText(mine, "new"); }), "saved");
    ASSERT_EQ(::stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_gid, kNogroup);
    EXPECT_EQ(readFileText(mine).value_or(""), "new");
}

TEST_F(FileText, ALinkLoopIsRefusedAndTheLinksStay) {
    fs::create_symlink("loopB.cfg", dir / "loopA.cfg");
    fs::create_symlink("loopA.cfg", dir / "loopB.cfg");
    const auto error = replaceFileText(file("loopA.cfg"), "x");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("Too many levels of symbolic links"), std::string::npos) << *error;
    EXPECT_TRUE(fs::is_symlink(dir / "loopA.cfg"));
    EXPECT_TRUE(fs::is_symlink(dir / "loopB.cfg"));
}

TEST_F(FileText, TheLongestFileNameCanBeSavedAndItsStaleTemporariesGo) {
    const std::string name(255, 'n');
    ASSERT_EQ(replaceFileText(file(name), "first"), std::nullopt);
    ASSERT_EQ(replaceFileText(file(name), "second"), std::nullopt);
    EXPECT_EQ(readFileText(file(name)).value_or(""), "second");
    // A dead writer's temporary file of that name, and one of a short name: the next save
    // of each removes its own.
    const std::string stale = "." + name.substr(0, 236) + ".tmp4194305.abcdef";
    ASSERT_LE(stale.size(), 255u);
    write(stale, "partial");
    write(".f.cfg.tmp4194305.abcdef", "partial");
    ASSERT_EQ(replaceFileText(file(name), "third"), std::nullopt);
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / ".f.cfg.tmp4194305.abcdef"));
    ASSERT_EQ(replaceFileText(file("f.cfg"), "x"), std::nullopt);
    EXPECT_FALSE(fs::exists(dir / ".f.cfg.tmp4194305.abcdef"));
}

TEST_F(FileText, ACheckOfAnOutputChangesNothing) {
    const std::string locked = write("locked.log", "old");
    ::chmod(locked.c_str(), 0444);
    fs::create_directory(dir / "folder.log");
    struct Case {
        std::string path;
        const char* says;  // "" when it can be written
    };
    const Case cases[] = {
        {file("new.log"), ""},
        {write("old.log", "old"), ""},
        {file("missing/new.log"), "No such file"},
        {locked, "write-protected"},
        {file("folder.log"), "directory"},
    };
    const auto before = entries();
    for (const Case& c : cases) {
        const auto error = checkReplaceable(c.path);
        if (c.says[0] == '\0') {
            EXPECT_EQ(error, std::nullopt) << c.path;
        } else {
            EXPECT_NE(error.value_or("").find(c.says), std::string::npos) << c.path;
        }
        EXPECT_EQ(entries(), before) << c.path;
    }
    EXPECT_EQ(readFileText(file("old.log")).value_or(""), "old");
}

TEST_F(FileText, OneFileByAnyNameHasOneIdentity) {
    const std::string real = write("real.cfg", "x");
    fs::create_symlink("real.cfg", dir / "link.cfg");
    fs::create_hard_link(real, dir / "hard.cfg");
    fs::create_directory(dir / "sub");
    fs::create_directory_symlink(dir / "sub", dir / "sublink");
    EXPECT_EQ(fileIdentity(file("link.cfg")), fileIdentity(real));
    EXPECT_EQ(fileIdentity(file("hard.cfg")), fileIdentity(real));
    EXPECT_EQ(fileIdentity(file("sub/../real.cfg")), fileIdentity(real));
    // Not there yet: the same place by two names is one file to be.
    EXPECT_EQ(fileIdentity(file("sublink/new.cfg")), fileIdentity(file("sub/new.cfg")));
    EXPECT_NE(fileIdentity(file("sub/new.cfg")), fileIdentity(file("sub/other.cfg")));
}

TEST_F(FileText, ASaveLockWaitsForItsHolderAndLeavesNoFile) {
    const std::string target = write("f.cfg", "x");
    fs::create_symlink("f.cfg", dir / "link.cfg");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            const SaveLock held(target);
            const ssize_t n = ::write(fds[1], "L", 1);
            ::usleep(400000);
            if (n != 1) ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    char byte = 0;
    ASSERT_EQ(::read(fds[0], &byte, 1), 1);
    ::close(fds[0]);
    EXPECT_TRUE(fs::exists(dir / ".f.cfg.lock"));
    const auto start = std::chrono::steady_clock::now();
    {
        // Through the link: the lock lies beside the file it leads to.
        const SaveLock mine(file("link.cfg"));
        EXPECT_FALSE(mine.refusal().has_value());
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fs::exists(dir / ".f.cfg.lock"));
}

}  // namespace
}  // namespace zvk
