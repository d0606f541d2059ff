// The component against a hostile user: files swapped, rewritten or replaced by pipes
// between the listing and the delete, links that lead out of the folder or nowhere,
// archive names that are not files, and a run stopped from outside. The races are made
// deterministic through the seams of the faulty file access.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "test_support.h"
#include "zip_reader.h"
#include "zipcomp/interrupt_cleanup.h"
#include "zipcomp/zip_command.h"
#include "zipcomp/zip_component.h"
#include "zipcomp/zip_paths.h"

#ifndef _WIN32
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace ziptest;
using testing::HasSubstr;
using zipcomp::SkipReason;
using zipcomp::ZipComponent;
using zipcomp::ZipResult;

namespace {

int code(ZipResult r) { return static_cast<int>(r); }

bool hasTemporary(const std::string& dir) {
    for (const auto& n : namesIn(dir))
        if (n.size() > 4 && n.substr(n.size() - 4) == ".tmp") return true;
    return false;
}

// Same bytes count, same modification time to the last digit the file system keeps.
void rewriteKeepingSizeAndTime(const std::string& path, const std::string& content) {
    auto p = fsPath(path);
    auto time = std::filesystem::last_write_time(p);
    ASSERT_EQ(std::filesystem::file_size(p), content.size());
    writeFile(path, content);
    std::filesystem::last_write_time(p, time);
}

std::string skippedText(const ZipComponent& zip) {
    std::string s;
    for (const auto& e : zip.lastSkipped()) s += e.path + ":" + std::to_string(static_cast<int>(e.reason)) + ";";
    return s;
}

// A file rewritten after it was read, with the same size and time, holds bytes that
// are not in the archive.
TEST(ZipHostileTest, MoveKeepsAFileRewrittenWithTheSameSizeAndTime) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "old bytes");
    writeFile(dir / "in/b.txt", "b");
    auto fs = std::make_shared<FaultyFileAccess>();
    fs->afterReplace = [&] { rewriteKeepingSizeAndTime(dir / "in/a.txt", "NEW BYTES"); };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    EXPECT_EQ(zip.Zip(), code(ZipResult::SourcesKept));
    EXPECT_EQ(readFile(dir / "in/a.txt"), "NEW BYTES");
    EXPECT_FALSE(exists(dir / "in/b.txt")) << "an unchanged file still goes";
    std::string error;
    EXPECT_EQ(extractAll(dir / "a.zip", error).at("a.txt"), "old bytes");
}

// Another file put in the place of an archived one, alike in name, size and time, was
// never archived.
TEST(ZipHostileTest, MoveKeepsAFileThatTookTheArchivedOnesPlace) {
    TempDir dir;
    writeFile(dir / "in/sub/a.txt", "archived");
    auto fs = std::make_shared<FaultyFileAccess>();
    fs->afterReplace = [&] {
        auto original = fsPath(dir / "in/sub/a.txt");
        auto time = std::filesystem::last_write_time(original);
        writeFile(dir / "stranger", "stranger");
        std::filesystem::last_write_time(fsPath(dir / "stranger"), time);
        std::filesystem::rename(fsPath(dir / "stranger"), original);
    };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    EXPECT_EQ(zip.Zip(), code(ZipResult::SourcesKept));
    EXPECT_EQ(readFile(dir / "in/sub/a.txt"), "stranger");
}

// A folder or device under the archive's name would be replaced by a regular file.
TEST(ZipHostileTest, AnArchiveNameThatIsNotAFileIsRefused) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    std::filesystem::create_directories(fsPath(dir / "folder.zip/inside"));
    ZipComponent zip;
    configure(zip, dir / "in", dir / "folder.zip", false);
    EXPECT_EQ(zip.Zip(), code(ZipResult::TargetNotAFile));
    EXPECT_TRUE(std::filesystem::is_directory(fsPath(dir / "folder.zip/inside")));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "pipe.zip").c_str(), 0600), 0);
    configure(zip, dir / "in", dir / "pipe.zip", true);
    EXPECT_EQ(zip.Zip(), code(ZipResult::TargetNotAFile));
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "pipe.zip").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(readFile(dir / "in/a.txt"), "a");
#endif
    EXPECT_FALSE(hasTemporary(dir.path()));
}

// The cleanup that the interrupt handlers run removes a temporary archive in progress;
// the run then fails instead of presenting an archive.
TEST(ZipHostileTest, InterruptCleanupRemovesTheTemporaryArchive) {
    TempDir dir;
    writeFile(dir / "in/a.txt", randomBytes(5000, 3));
    auto fs = std::make_shared<FaultyFileAccess>();
    bool sawTemporary = false;
    fs->beforeOpen = [&](const std::string&) {
        sawTemporary = sawTemporary || hasTemporary(dir.path());
        zipcomp::removeRegisteredTemporaries();
    };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    zip.setThreads(1);
    EXPECT_NE(zip.Zip(), 0);
    EXPECT_TRUE(sawTemporary);
    EXPECT_FALSE(hasTemporary(dir.path()));
    EXPECT_FALSE(exists(dir / "a.zip"));
    EXPECT_TRUE(exists(dir / "in/a.txt"));
}

// An archive name near the name limit: the temporary name must fit as well.
TEST(ZipHostileTest, ALongArchiveNameGetsATemporaryNameThatFits) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    std::string name = std::string(240, 'n') + ".zip";
    ZipComponent zip;
    configure(zip, dir / "in", dir / name, false);
    ASSERT_EQ(zip.Zip(), 0) << zip.GetErrorDescription(0, zip.Zip());
    EXPECT_TRUE(exists(dir / name));
    EXPECT_FALSE(hasTemporary(dir.path()));
}

TEST(ZipHostileTest, CommandLineOptionsControlCharactersAndLanguage) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    std::ostringstream out, err;
    // "--move" after "--password" is the option the user meant, not a password.
    EXPECT_EQ(zipcomp::runZipCommand({dir / "in", dir / "a.zip", "--password", "--move"}, out, err, false), 2);
    EXPECT_THAT(err.str(), HasSubstr("--password=")) << "tells how to give such a password";
    EXPECT_FALSE(exists(dir / "a.zip"));
    EXPECT_TRUE(exists(dir / "in/a.txt"));

    out.str(""), err.str("");
    EXPECT_EQ(zipcomp::runZipCommand({dir / "in", dir / "a.zip", "--password=--move"}, out, err, false), 0) << err.str();
    EXPECT_TRUE(exists(dir / "in/a.txt")) << "no move was asked";
    std::string error;
    EXPECT_EQ(extractAll(dir / "a.zip", error, "--move").at("a.txt"), "a") << error;

    out.str(""), err.str("");
    EXPECT_EQ(zipcomp::runZipCommand({"--help"}, out, err, false), 0);
    EXPECT_EQ(zipcomp::runZipCommand({dir / "in", "--help"}, out, err, false), 0);
    EXPECT_THAT(out.str(), HasSubstr("usage: qelvaro zip"));
    EXPECT_EQ(err.str(), "");

    // A name with an escape sequence is shown escaped, in English like the usage.
    out.str(""), err.str("");
    EXPECT_EQ(zipcomp::runZipCommand({dir / "missing\x1b]0;owned\x07", dir / "b.zip"}, out, err, false), 1);
    EXPECT_EQ(err.str().find('\x1b'), std::string::npos);
    EXPECT_THAT(err.str(), HasSubstr("missing\\x1b]0;owned\\x07"));
    for (unsigned char c : err.str()) EXPECT_LT(c, 0x80) << err.str();
}

#ifndef _WIN32

// After the listing a folder is swapped for a link to a folder elsewhere that holds a
// decoy of the same name, size and time: the delete must not follow it.
TEST(ZipHostileTest, MoveNeverDeletesThroughAFolderSwappedForALink) {
    TempDir dir;
    writeFile(dir / "in/sub/f.txt", "original");
    writeFile(dir / "elsewhere/f.txt", "decoy!!!");
    std::filesystem::last_write_time(fsPath(dir / "elsewhere/f.txt"),
                                     std::filesystem::last_write_time(fsPath(dir / "in/sub/f.txt")));
    auto fs = std::make_shared<FaultyFileAccess>();
    fs->afterReplace = [&] {
        std::filesystem::rename(fsPath(dir / "in/sub"), fsPath(dir / "kept-sub"));
        std::filesystem::create_directory_symlink(fsPath(dir / "elsewhere"), fsPath(dir / "in/sub"));
    };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    EXPECT_EQ(zip.Zip(), code(ZipResult::SourcesKept));
    EXPECT_EQ(readFile(dir / "elsewhere/f.txt"), "decoy!!!");
    std::string error;
    EXPECT_EQ(extractAll(dir / "a.zip", error).at("sub/f.txt"), "original");
}

// The same swap before the files are read: nothing from elsewhere is packed, nothing
// is deleted.
TEST(ZipHostileTest, AFolderSwappedForALinkBeforeReadingFailsTheRun) {
    TempDir dir;
    writeFile(dir / "in/sub/f.txt", "original");
    writeFile(dir / "elsewhere/f.txt", "secret!!");
    auto fs = std::make_shared<FaultyFileAccess>();
    fs->afterCreate = [&] {
        std::filesystem::rename(fsPath(dir / "in/sub"), fsPath(dir / "kept-sub"));
        std::filesystem::create_directory_symlink(fsPath(dir / "elsewhere"), fsPath(dir / "in/sub"));
    };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    EXPECT_EQ(zip.Zip(), code(ZipResult::SourceChanged));
    EXPECT_FALSE(exists(dir / "a.zip"));
    EXPECT_EQ(readFile(dir / "elsewhere/f.txt"), "secret!!");
    EXPECT_EQ(readFile(dir / "kept-sub/f.txt"), "original");
}

// A pipe in a listed file's place would block the reader forever.
TEST(ZipHostileTest, AFileReplacedByAPipeAfterTheListingDoesNotHang) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    std::string pipe = dir / "in/a.txt";
    auto fs = std::make_shared<FaultyFileAccess>();
    fs->afterCreate = [&] {
        std::filesystem::remove(fsPath(pipe));
        ::mkfifo(pipe.c_str(), 0600);
    };
    ZipComponent zip(fs);
    configure(zip, dir / "in", dir / "a.zip", true);
    auto result = std::async(std::launch::async, [&] { return zip.Zip(); });
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "Zip hangs on the pipe";
        int w = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);  // lets the blocked open return
        if (w >= 0) ::close(w);
    }
    EXPECT_EQ(result.get(), code(ZipResult::SourceChanged));
    EXPECT_FALSE(exists(dir / "a.zip"));
}

// A link that leads nowhere or loops is left out and named; so are pipes and links to
// folders, and a move leaves them in place.
TEST(ZipHostileTest, WhatCannotBePackedIsNamedAndNeverFailsTheRun) {
    TempDir dir;
    writeFile(dir / "in/a.txt", "a");
    writeFile(dir / "in/sub/b.txt", "b");
    std::filesystem::create_symlink("nowhere", fsPath(dir / "in/sub/dangling"));
    std::filesystem::create_symlink("loop", fsPath(dir / "in/loop"));
    std::filesystem::create_directory_symlink(fsPath(dir / "in/sub"), fsPath(dir / "in/folderlink"));
    ASSERT_EQ(::mkfifo((dir / "in/pipe").c_str(), 0600), 0);
    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.zip", true);
    ASSERT_EQ(zip.Zip(), 0) << zip.lastErrorPath();
    EXPECT_EQ(skippedText(zip), "folderlink:0;loop:2;pipe:1;sub/dangling:2;");
    std::string error;
    auto content = extractAll(dir / "a.zip", error);
    EXPECT_EQ(content.size(), 2u);
    EXPECT_FALSE(exists(dir / "in/a.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(fsPath(dir / "in/folderlink")));

    // The command names them too.
    writeFile(dir / "in/c.txt", "c");
    std::ostringstream out, err;
    ASSERT_EQ(zipcomp::runZipCommand({dir / "in", dir / "b.zip", "--move"}, out, err, false), 0) << err.str();
    EXPECT_THAT(err.str(), HasSubstr("4 entries not packed (and left in place)"));
    EXPECT_THAT(err.str(), HasSubstr("pipe: not a regular file"));
    EXPECT_THAT(err.str(), HasSubstr("sub/dangling: link that leads nowhere"));
    EXPECT_THAT(err.str(), HasSubstr("folderlink: link to a folder"));
}

// A link to a file outside the folder (in a folder others can write to, a link to
// /etc/shadow) is packed only when asked.
TEST(ZipHostileTest, LinksOutOfTheFolderArePackedOnlyWhenAsked) {
    TempDir dir;
    writeFile(dir / "outside/secret.txt", "secret");
    writeFile(dir / "in/own.txt", "own");
    std::filesystem::create_symlink(fsPath(dir / "outside/secret.txt"), fsPath(dir / "in/shadow"));
    std::filesystem::create_symlink("own.txt", fsPath(dir / "in/inner-link"));
    ZipComponent zip;
    configure(zip, dir / "in", dir / "a.zip", false);
    ASSERT_EQ(zip.Zip(), 0);
    EXPECT_EQ(skippedText(zip), "shadow:3;");
    std::string error;
    auto content = extractAll(dir / "a.zip", error);
    EXPECT_EQ(content.count("shadow"), 0u);
    EXPECT_EQ(content.at("inner-link"), "own") << "a link inside the folder is packed";

    zip.FollowLinks = true;
    zip.DeleteZippedFiles = true;
    ASSERT_EQ(zip.Zip(), 0);
    EXPECT_TRUE(zip.lastSkipped().empty());
    content = extractAll(dir / "a.zip", error);
    EXPECT_EQ(content.at("shadow"), "secret");
    EXPECT_FALSE(std::filesystem::is_symlink(fsPath(dir / "in/shadow"))) << "the link is moved";
    EXPECT_EQ(readFile(dir / "outside/secret.txt"), "secret") << "its target stays";
}

// A signal that ends the process in the middle of a run (from outside, a reader that
// went away, the file-size limit): the handler removes the temporary archive.
TEST(ZipHostileTest, ATerminatedRunLeavesNoTemporaryArchive) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGUSR1, SIGXFSZ}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir dir;
        for (int i = 0; i < 4; ++i) writeFile(dir / ("in/f" + std::to_string(i)), randomBytes(200000, i));
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The signal's default action as a fresh program finds it (no core file).
            std::signal(sig, SIG_DFL);
            struct rlimit noCore {0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            zipcomp::removeTemporariesOnInterrupt();
            auto fs = std::make_shared<FaultyFileAccess>();
            fs->beforeOpen = [sig](const std::string&) { ::kill(::getpid(), sig); };
            ZipComponent zip(fs);
            configure(zip, dir / "in", dir / "a.zip", true);
            zip.setThreads(1);
            zip.Zip();
            ::sleep(5);  // the signal arrives long before
            ::_exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"in"});
        EXPECT_EQ(snapshotTree(dir / "in").size(), 4u);
    }
}

#endif

}  // namespace
