// Packages built by the zip component for a stub: the stub, its settings and the
// archive in one file, which the stub's reader and outside tools both read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "sfx_format/sfx_archive.h"
#include "sfx_format/sfx_settings.h"
#include "sfx_packaging.h"
#include "zipcomp/zip_component.h"

namespace {

using zipcomp::ZipComponent;
using zipcomp::ZipResult;

std::string scratch() {
    char tmpl[] = "/tmp/qelvaro-sfx-XXXXXX";
    return mkdtemp(tmpl);
}

void write(const std::string& path, const std::string& bytes) {
    std::string dir = path.substr(0, path.rfind('/'));
    std::string cmd = "mkdir -p '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Enough of a Windows program for the component: "MZ", and at 60 the offset of "PE".
std::string fakeStub() {
    std::string s(512, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    s[60] = static_cast<char>(128);
    std::memcpy(&s[128], "PE\0\0", 4);
    return s;
}

class FileInput : public qsfx::Input {
public:
    explicit FileInput(std::string bytes) : b_(std::move(bytes)) {}
    std::uint64_t size() const override { return b_.size(); }
    bool readAt(std::uint64_t o, void* buf, std::size_t n) override {
        if (o > b_.size() || b_.size() - o < n) return false;
        std::memcpy(buf, b_.data() + o, n);
        return true;
    }
    std::string b_;
};

class Collect : public qsfx::Output {
public:
    qsfx::Status write(const void* d, std::size_t n) override {
        text.append(static_cast<const char*>(d), n);
        return qsfx::Status::Ok;
    }
    std::string text;
};

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    char buf[4096];
    while (p && fgets(buf, sizeof buf, p)) out += buf;
    if (p) pclose(p);
    return out;
}

struct Backup {
    std::string dir = scratch();
    std::map<std::string, std::string> files = {
        {"Display/Qelvaro Demo Graphics Adapter/oem3.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n"},
        {"Net/Qelvaro Demo Ethernet 以太网控制器/qvnet.sys", std::string(100000, 'n')},
        {"setup.exe", fakeStub() + "restore program"},
    };
    Backup() {
        for (const auto& [name, bytes] : files) write(dir + "/Quorvak/" + name, bytes);
        write(dir + "/sfx.bin", fakeStub());
    }
    ~Backup() { std::system(("rm -rf '" + dir + "'").c_str()); }
};

TEST(SfxPackage, TheBackupPackageHoldsStubSettingsAndTheEncryptedTree) {
    Backup b;
    const qelvaro::ZipOutcome outcome =
        qelvaro::PackBackupAsSfx(b.dir + "/Quorvak", b.dir + "/Quorvak.exe", b.dir + "/sfx.bin", "", {}, nullptr);
    ASSERT_TRUE(outcome.ok()) << outcome.description;
    const std::string package = read(b.dir + "/Quorvak.exe");
    EXPECT_EQ(package.compare(0, 512, fakeStub()), 0);
    EXPECT_FALSE(std::ifstream(b.dir + "/Quorvak/setup.exe").good()) << "packed files are deleted";

    FileInput in(package);
    qsfx::Archive a;
    ASSERT_EQ(a.open(in), qsfx::Status::Ok);
    qsfx::Settings s;
    ASSERT_TRUE(s.parse(reinterpret_cast<const std::uint8_t*>(package.data()), a.start()));
    EXPECT_STREQ(s.folder, "%t\\_sfxDriverSetup");
    EXPECT_STREQ(s.run, "%d\\setup.exe|%d");
    EXPECT_STREQ(s.password, "qorvantelbrix");
    EXPECT_TRUE(s.install);
    EXPECT_STREQ(s.title, "");  // the messages are emptied: no prompts
    EXPECT_STREQ(s.confirm, "");
    EXPECT_STREQ(s.done, "");
    std::map<std::string, std::string> unpacked;
    for (std::size_t i = 0; i < a.count(); ++i) {
        EXPECT_TRUE(a.entry(i).encrypted) << a.entry(i).name;
        Collect out;
        ASSERT_EQ(a.extract(in, a.entry(i), s.password, out), qsfx::Status::Ok);
        unpacked[a.entry(i).name] = out.text;
    }
    EXPECT_EQ(unpacked, b.files);

    // Outside readers take the stub for what it is and open the archive with the password.
    const std::string list = run("7z l -pqorvantelbrix '" + b.dir + "/Quorvak.exe'");
    for (const auto& [name, bytes] : b.files) EXPECT_THAT(list, testing::HasSubstr(name));
    EXPECT_THAT(run("7z t -pqorvantelbrix '" + b.dir + "/Quorvak.exe'"), testing::HasSubstr("Everything is Ok"));
    EXPECT_THAT(run("7z t -pwrong '" + b.dir + "/Quorvak.exe'"), testing::Not(testing::HasSubstr("Everything is Ok")));
}

TEST(SfxPackage, ASignedStubsCertificateTableStaysOutOfThePackage) {
    // A PE32 header whose security directory (the fifth) names a table at the end.
    std::string header = fakeStub();
    const auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&header[at], &v, 4); };
    header[152] = 0x0b, header[153] = 0x01;
    put32(152 + 64, 0x1234);  // checksum
    put32(152 + 92, 16);
    put32(152 + 96 + 4 * 8, 512);
    put32(152 + 96 + 4 * 8 + 4, 64);
    const std::string table(64, 'C');
    Backup b;
    write(b.dir + "/sfx.bin", header + table);
    ASSERT_TRUE(qelvaro::PackBackupAsSfx(b.dir + "/Quorvak", b.dir + "/Quorvak.exe", b.dir + "/sfx.bin", "", {}, nullptr).ok());
    const std::string package = read(b.dir + "/Quorvak.exe");
    std::string unsignedHeader = header;
    std::memset(&unsignedHeader[152 + 64], 0, 4);
    std::memset(&unsignedHeader[152 + 96 + 4 * 8], 0, 8);
    EXPECT_EQ(package.compare(0, 512, unsignedHeader), 0);
    EXPECT_EQ(package.find(table), std::string::npos);
    FileInput in(package);
    qsfx::Archive a;
    EXPECT_EQ(a.open(in), qsfx::Status::Ok);
}

TEST(SfxPackage, ABadStubIconOrFolderIsAnErrorAndTouchesNothing) {
    Backup b;
    write(b.dir + "/notaprogram.bin", "just text, long enough to be read as something else entirely..........");
    write(b.dir + "/icon.ico", std::string("\0\0\1\0\1\0", 6) + std::string(16, '\0'));
    write(b.dir + "/bad.ico", "not an icon");
    struct Case {
        std::string stub, icon, folder;
        ZipResult expected;
    };
    const Case cases[] = {
        {b.dir + "/missing.bin", "", "%t\\x", ZipResult::SfxStubInvalid},
        {b.dir + "/notaprogram.bin", "", "%t\\x", ZipResult::SfxStubInvalid},
        {b.dir + "/sfx.bin", b.dir + "/bad.ico", "%t\\x", ZipResult::SfxIconInvalid},
        {b.dir + "/sfx.bin", b.dir + "/missing.ico", "%t\\x", ZipResult::SfxIconInvalid},
        {b.dir + "/sfx.bin", "", "", ZipResult::SfxSettingsInvalid},
    };
    for (const Case& c : cases) {
        ZipComponent zip;
        zip.BasePath = b.dir + "/Quorvak";
        zip.ZipFilename = b.dir + "/Quorvak.exe";
        zip.DeleteZippedFiles = true;
        zip.SfxBinaryModule = c.stub;
        zip.SfxIconFilename = c.icon;
        zip.SfxDefaultUnzipToFolder = c.folder;
        EXPECT_EQ(zip.Zip(), static_cast<std::int32_t>(c.expected)) << c.stub << " " << c.icon;
        EXPECT_FALSE(std::ifstream(b.dir + "/Quorvak.exe").good());
        EXPECT_EQ(read(b.dir + "/Quorvak/setup.exe"), b.files["setup.exe"]);
    }
}

TEST(SfxPackage, WithoutAResourceWriterAnIconIsReportedNotDropped) {
    Backup b;
    // A valid one-image icon file.
    std::string ico("\0\0\1\0\1\0", 6);
    ico += std::string("\x10\x10\0\0\1\0\x20\0", 8) + std::string("\x04\0\0\0\x16\0\0\0", 8) + "DATA";
    write(b.dir + "/icon.ico", ico);
    ZipComponent zip;
    zip.BasePath = b.dir + "/Quorvak";
    zip.ZipFilename = b.dir + "/Quorvak.exe";
    zip.SfxBinaryModule = b.dir + "/sfx.bin";
    zip.SfxIconFilename = b.dir + "/icon.ico";
    zip.SfxDefaultUnzipToFolder = "%t\\x";
    EXPECT_EQ(zip.Zip(), static_cast<std::int32_t>(ZipResult::SfxIconNotWritten));
    EXPECT_THAT(zip.GetErrorDescription(0, zip.Zip()), testing::HasSubstr("图标"));
    EXPECT_FALSE(std::ifstream(b.dir + "/Quorvak.exe").good());
}

}  // namespace
