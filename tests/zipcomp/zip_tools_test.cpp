// Archives read by tools we did not write: Info-ZIP's unzip, 7-Zip, libarchive's bsdtar
// and Python's zipfile. Native only (the tools are Linux programs).
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include "test_support.h"
#include "zip_reader.h"
#include "zipcomp/zip_component.h"
#include "zipcomp/zip_format.h"

#include <zlib.h>

using namespace ziptest;
using zipcomp::ZipComponent;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;
};

Outcome run(const std::string& command) {
    Outcome o;
    std::FILE* p = ::popen(("LC_ALL=C.UTF-8 " + command + " </dev/null 2>&1").c_str(), "r");
    if (!p) return o;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.output.append(buf, n);
    int status = ::pclose(p);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return o;
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Compares every entry with its source file and prints the names it checked.
constexpr const char* kPythonCheck = R"(
import sys, zipfile
archive, root, password, deep = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] == "1"
with zipfile.ZipFile(archive) as z:
    if password:
        z.setpassword(password.encode())
    for info in z.infolist():
        if deep:
            with z.open(info) as f, open(root + "/" + info.filename, "rb") as src:
                while True:
                    a, b = f.read(1 << 20), src.read(1 << 20)
                    if a != b:
                        print("MISMATCH", info.filename); sys.exit(1)
                    if not a:
                        break
        print(info.filename, info.file_size, sep="\t")
)";

class ZipToolsTest : public testing::Test {
protected:
    void SetUp() override {
        pyScript = dir / "check.py";
        writeFile(pyScript, kPythonCheck);
    }

    void pack(const std::string& root, const std::string& archive, const std::string& password = {},
              int level = 6) {
        ZipComponent zip;
        zip.BasePath = root;
        zip.ZipFilename = archive;
        zip.EncryptionPassword = password;
        zip.CompressionLevel = level;
        ASSERT_EQ(zip.Zip(), 0) << zip.lastErrorPath();
    }

    // Every outside reader must accept the archive and see exactly `names`.
    void expectReadersAgree(const std::string& archive, const std::string& root, const std::set<std::string>& names,
                            const std::string& password = {}, bool deepPython = true) {
        std::string pw = password.empty() ? "" : " -P " + quote(password);
        Outcome u = run("unzip -t -qq" + pw + " " + quote(archive));
        EXPECT_EQ(u.exitCode, 0) << u.output;

        std::string p7 = password.empty() ? "" : " -p" + quote(password);
        Outcome s = run("7z t -bd" + p7 + " " + quote(archive));
        EXPECT_EQ(s.exitCode, 0) << s.output;
        EXPECT_NE(s.output.find("Everything is Ok"), std::string::npos) << s.output;

        Outcome b = run("bsdtar -tf " + quote(archive));
        EXPECT_EQ(b.exitCode, 0) << b.output;
        EXPECT_EQ(lines(b.output), names);

        Outcome py = run("python3 " + quote(pyScript) + " " + quote(archive) + " " + quote(root) + " " +
                         quote(password) + (deepPython ? " 1" : " 0"));
        EXPECT_EQ(py.exitCode, 0) << py.output;
        std::set<std::string> pyNames;
        for (const auto& l : lines(py.output)) pyNames.insert(l.substr(0, l.find('\t')));
        EXPECT_EQ(pyNames, names);
    }

    static std::set<std::string> lines(const std::string& text) {
        std::set<std::string> out;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            if (!l.empty()) out.insert(l);
        return out;
    }

    static std::set<std::string> keysOf(const std::map<std::string, std::string>& m) {
        std::set<std::string> s;
        for (const auto& kv : m) s.insert(kv.first);
        return s;
    }

    TempDir dir;
    std::string pyScript;
};

TEST_F(ZipToolsTest, MixedBackupRootPlainAndEncrypted) {
    std::string root = dir / "Quorvak";
    writeFile(root + "/Display/Contoso/contoso.inf", "[Version]\r\nClass=Display\r\n");
    writeFile(root + "/Display/Contoso/contoso.sys", randomBytes(1 << 20, 7));  // does not shrink
    writeFile(root + "/Display/Contoso/empty.cat", "");
    writeFile(root + "/网络适配器/英特尔 网卡/驱动程序.inf", std::string(200000, 'z'));
    writeFile(root + "/Printers/hp/3/unidrv.dll", randomBytes(5000, 8) + std::string(5000, 0));
    writeFile(root + "/setup.exe", "MZ" + randomBytes(3000, 9));
    std::filesystem::create_directories(fsPath(root + "/Empty/Deeper"));
    auto names = keysOf(snapshotTree(root));

    pack(root, dir / "plain.zip");
    expectReadersAgree(dir / "plain.zip", root, names);

    pack(root, dir / "secret.zip", "qorvantelbrix");
    expectReadersAgree(dir / "secret.zip", root, names, "qorvantelbrix");
    Outcome wrong = run("unzip -t -qq -P nope " + quote(dir / "secret.zip"));
    EXPECT_NE(wrong.exitCode, 0);

    pack(root, dir / "stored.zip", {}, 0);
    expectReadersAgree(dir / "stored.zip", root, names);
}

TEST_F(ZipToolsTest, SetOfEmptyFiles) {
    std::string root = dir / "empty";
    for (const char* n : {"a", "b/c", "b/d/e"}) writeFile(root + "/" + n, "");
    pack(root, dir / "empty.zip");
    expectReadersAgree(dir / "empty.zip", root, {"a", "b/c", "b/d/e"});
    pack(root, dir / "empty-enc.zip", "pw");
    expectReadersAgree(dir / "empty-enc.zip", root, {"a", "b/c", "b/d/e"}, "pw");
}

TEST_F(ZipToolsTest, MoreEntriesThanTheClassicCountHolds) {
    std::string root = dir / "many";
    std::set<std::string> names;
    for (int d = 0; d < 70; ++d) {
        std::string sub = "d" + std::to_string(d);
        std::filesystem::create_directories(fsPath(root + "/" + sub));
        for (int f = 0; f < 1000; ++f) {
            std::string rel = sub + "/f" + std::to_string(f) + ".inf";
            int fd = ::open((root + "/" + rel).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            std::string content = rel + "\n";
            ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
            ::close(fd);
            names.insert(rel);
        }
    }
    pack(root, dir / "many.zip");
    ReadArchive a = readArchive(dir / "many.zip");
    EXPECT_EQ(a.error, "");
    EXPECT_TRUE(a.zip64End);
    EXPECT_EQ(a.entries.size(), 70000u);
    expectReadersAgree(dir / "many.zip", root, names);
}

// A sparse file past 4 GiB: Zip64 sizes, streamed through zlib, small on disk.
TEST_F(ZipToolsTest, SparseFileBeyondFourGiB) {
    std::string root = dir / "big";
    std::filesystem::create_directories(fsPath(root));
    const std::uint64_t size = (std::uint64_t{1} << 32) + 12345;  // just past what 32 bits hold
    int fd = ::open((root + "/huge.vhd").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "tail", 4, static_cast<off_t>(size - 4)), 4);
    ::close(fd);
    writeFile(root + "/zz-after.txt", "written after the big one");

    pack(root, dir / "big.zip", {}, 1);
    ReadArchive a = readArchive(dir / "big.zip");
    ASSERT_EQ(a.error, "");
    ASSERT_EQ(a.entries.size(), 2u);
    EXPECT_EQ(a.entries[0].name, "huge.vhd");
    EXPECT_EQ(a.entries[0].size, size);
    EXPECT_TRUE(a.entries[0].hasZip64);
    EXPECT_LT(std::filesystem::file_size(fsPath(dir / "big.zip")), std::uint64_t{64} << 20);

    Outcome u = run("unzip -t -qq " + quote(dir / "big.zip"));
    EXPECT_EQ(u.exitCode, 0) << u.output;
    // One full decompression by an outside reader is enough; the others read the sizes.
    Outcome s = run("7z l -slt " + quote(dir / "big.zip"));
    EXPECT_EQ(s.exitCode, 0) << s.output;
    EXPECT_NE(s.output.find("Size = " + std::to_string(size)), std::string::npos) << s.output;
    Outcome b = run("bsdtar -tvf " + quote(dir / "big.zip"));
    EXPECT_EQ(b.exitCode, 0) << b.output;
    EXPECT_NE(b.output.find(std::to_string(size)), std::string::npos) << b.output;
    Outcome py = run("python3 " + quote(pyScript) + " " + quote(dir / "big.zip") + " " + quote(root) + " '' 0");
    EXPECT_EQ(py.exitCode, 0) << py.output;
    EXPECT_NE(py.output.find("huge.vhd\t" + std::to_string(size)), std::string::npos) << py.output;
}

// Local headers past 4 GiB need Zip64 offsets in the central directory. Writing 4 GiB
// for real is slow, so the archive is assembled from the writer's own records around a
// hole, which costs nothing on disk; the readers must find both entries.
TEST_F(ZipToolsTest, EntriesStartingBeyondFourGiB) {
    using namespace zipcomp;
    const std::string first = "first entry", second = "second entry, far away";
    EntryRecord a, b;
    a.name = "first.txt";
    b.name = "Net/远处.txt";
    a.mtime = b.mtime = 1700000000;
    a.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(first.data()), static_cast<uInt>(first.size())));
    b.crc = static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(second.data()), static_cast<uInt>(second.size())));
    a.size = a.compressedSize = first.size();
    b.size = b.compressedSize = second.size();
    a.localOffset = 0;
    b.localOffset = (std::uint64_t{5} << 30) + 3;

    auto la = localHeader(a), lb = localHeader(b);
    std::uint64_t centralOffset = b.localOffset + lb.size() + second.size();
    std::vector<std::uint8_t> tail;
    appendCentralHeader(tail, a);
    appendCentralHeader(tail, b);
    std::uint64_t centralSize = tail.size();
    appendEnd(tail, 2, centralOffset, centralSize);

    std::string path = dir / "far.zip";
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    auto put = [&](const void* d, std::size_t n, std::uint64_t off) {
        ASSERT_EQ(::pwrite(fd, d, n, static_cast<off_t>(off)), static_cast<ssize_t>(n));
    };
    put(la.data(), la.size(), 0);
    put(first.data(), first.size(), la.size());
    put(lb.data(), lb.size(), b.localOffset);
    put(second.data(), second.size(), b.localOffset + lb.size());
    put(tail.data(), tail.size(), centralOffset);
    ::close(fd);

    std::string error;
    auto content = extractAll(path, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(content.at("Net/远处.txt"), second);
    EXPECT_TRUE(readArchive(path).zip64End);

    Outcome u = run("unzip -t -qq " + quote(path));
    EXPECT_EQ(u.exitCode, 0) << u.output;
    Outcome s = run("7z t -bd " + quote(path));
    EXPECT_EQ(s.exitCode, 0) << s.output;
    Outcome bs = run("bsdtar -tf " + quote(path));
    EXPECT_EQ(bs.exitCode, 0) << bs.output;
    EXPECT_EQ(lines(bs.output), (std::set<std::string>{"first.txt", "Net/远处.txt"}));
    Outcome py = run("python3 -c " +
                     quote("import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
                           "print(z.read('Net/远处.txt').decode()); print(z.getinfo('Net/远处.txt').header_offset)") +
                     " " + quote(path));
    EXPECT_EQ(py.exitCode, 0) << py.output;
    EXPECT_EQ(py.output, second + "\n" + std::to_string(b.localOffset) + "\n");
}

}  // namespace
