// The stub's reader on archives made byte by byte and by the zip component: what it
// unpacks, and what it refuses before anything is written.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "sfx_format/sfx_archive.h"
#include "sfx_format/sfx_names.h"
#include "sfx_format/sfx_settings.h"
#include "zip_builder.h"
#include "zipcomp/archive_writer.h"

namespace {

using qsfx::Archive;
using qsfx::Status;
using sfxtest::BuildEntry;
using sfxtest::BuildOptions;
using sfxtest::buildZip;

class MemoryInput : public qsfx::Input {
public:
    explicit MemoryInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool readAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (offset > bytes_.size() || bytes_.size() - offset < n) return false;
        std::memcpy(buffer, bytes_.data() + offset, n);
        return true;
    }

private:
    std::string bytes_;
};

class StringOutput : public qsfx::Output {
public:
    Status write(const void* data, std::size_t n) override {
        if (text.size() + n > room) return Status::DiskFull;
        text.append(static_cast<const char*>(data), n);
        return Status::Ok;
    }
    std::string text;
    std::size_t room = SIZE_MAX;
};

// Every entry of an archive unpacked, by name; the status of the first failure.
Status unpackAll(const std::string& bytes, std::map<std::string, std::string>& files,
                 const char* password = "qorvantelbrix", std::size_t wholeLimit = 64 << 20) {
    MemoryInput in(bytes);
    Archive a;
    a.setWholeLimit(wholeLimit);
    if (Status s = a.open(in); s != Status::Ok) return s;
    for (std::size_t i = 0; i < a.count(); ++i) {
        StringOutput out;
        if (Status s = a.extract(in, a.entry(i), password, out); s != Status::Ok) return s;
        files[std::string(a.entry(i).name) + (a.entry(i).isFolder ? "/" : "")] = out.text;
    }
    return Status::Ok;
}

std::string noisy(std::size_t n) {
    std::string s(n, '\0');
    std::uint32_t x = 12345;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return s;
}

const std::vector<BuildEntry> kMixed = {
    {"Display/Qelvaro Demo/oem3.inf", std::string(5000, 'a') + "[Version]", true, "qorvantelbrix"},
    {"Net/以太网/qvnet.sys", noisy(70000), false, "qorvantelbrix"},
    {"setup.exe", "MZ" + noisy(3000), true, ""},
    {"empty.txt", "", false, "qorvantelbrix"},
    {"Printer/", "", false, ""},
};

TEST(SfxArchive, UnpacksStoredDeflatedEncryptedAndPlainEntriesWithTheirNames) {
    for (bool zip64 : {false, true}) {
        for (bool relative : {false, true}) {
            BuildOptions o;
            o.prefix = "MZ-stub" + sfxtest::settingsBlock({{"folder", "%t\\x"}});
            o.zip64 = zip64;
            o.relativeOffsets = relative;
            std::map<std::string, std::string> files;
            ASSERT_EQ(unpackAll(buildZip(kMixed, o), files), Status::Ok) << zip64 << relative;
            ASSERT_EQ(files.size(), kMixed.size());
            for (const auto& e : kMixed) EXPECT_EQ(files[e.name], e.data) << e.name;
        }
    }
}

TEST(SfxArchive, WholeAndStreamedInflatingGiveTheSameBytes) {
    const std::vector<BuildEntry> big = {{"big.bin", noisy(3 << 20) + std::string(2 << 20, 'z'), true, "pw"}};
    std::map<std::string, std::string> whole, streamed;
    ASSERT_EQ(unpackAll(buildZip(big), whole, "pw"), Status::Ok);
    ASSERT_EQ(unpackAll(buildZip(big), streamed, "pw", 0), Status::Ok);
    EXPECT_EQ(whole["big.bin"], big[0].data);
    EXPECT_EQ(streamed["big.bin"], big[0].data);
}

// The reader checks size and CRC itself: what it writes need not be kept.
class Discard : public qsfx::Output {
public:
    Status write(const void*, std::size_t) override { return Status::Ok; }
};

// Past the in-memory limit entries stream through zlib a megabyte at a time; ending just
// past a megabyte boundary, zlib still holds output when it has taken the last input.
TEST(SfxArchive, StreamedEntriesJustPastAMegabyteBoundaryUnpack) {
    const auto dir = std::filesystem::temp_directory_path() / ("qelvaro-sfx-" + std::to_string(getpid()));
    std::filesystem::create_directory(dir);
    std::vector<zipcomp::SourceFile> files;
    for (std::uint64_t size : {(64 << 20) + 1, (64 << 20) + 2, (65 << 20) + 100}) {
        const std::string path = dir / std::to_string(size);
        std::ofstream(path).close();
        std::filesystem::resize_file(path, size);  // zeros, and sparse
        files.push_back({path, std::to_string(size), size});
    }
    auto fs = zipcomp::platformFileAccess();
    zipcomp::WriterProgress progress;
    std::unique_ptr<zipcomp::WriteStream> out;
    ASSERT_EQ(fs->createNew(dir / "package.zip", out), zipcomp::IoStatus::Ok);
    ASSERT_EQ(zipcomp::ArchiveWriter(*fs, {.password = "pw"}, progress).write(files, *out).code, zipcomp::ZipResult::Ok);
    out->close();
    std::ifstream package(dir / "package.zip", std::ios::binary);
    MemoryInput in(std::string(std::istreambuf_iterator<char>(package), {}));
    std::filesystem::remove_all(dir);
    Archive a;
    ASSERT_EQ(a.open(in), Status::Ok);
    for (std::size_t i = 0; i < a.count(); ++i) {
        Discard sink;
        EXPECT_EQ(a.extract(in, a.entry(i), "pw", sink), Status::Ok) << a.entry(i).name;
    }
}

void put(std::string& b, std::size_t at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
}

// The archive ends the file or, in a signed program, where the signed bytes end: what
// the certificate table holds besides signatures (a second archive, which an older
// reader took) lies outside the signature and is damage.
TEST(SfxArchive, TheArchiveEndsTheFileOrWhereItsSignatureStarts) {
    const std::string settings = sfxtest::settingsBlock({{"folder", "%t\\x"}, {"run", "%d\\setup.exe|%d"}});
    const std::string plain = buildZip(kMixed, {sfxtest::peHeaders() + settings});
    const std::string plus = buildZip(kMixed, {sfxtest::peHeaders(true) + settings});
    ASSERT_NE(plain.size() % 8, 0u) << "the table's alignment is tested";
    const std::string certificate = noisy(3001);
    const std::string signed_ = sfxtest::withCertificates(plain, {certificate});
    const std::size_t table = plain.size() + (8 - plain.size() % 8), directory = sfxtest::securityDirectory(plain);
    // A second archive at the table's end, the table's length and its entry's grown over it.
    std::string hidden = signed_ + buildZip({{"setup.exe", "MZ other program"}});
    hidden.append((8 - hidden.size() % 8) % 8, '\0');
    put(hidden, directory + 4, hidden.size() - table, 4);
    put(hidden, table, hidden.size() - table, 4);
    std::string dirtyAlignment = signed_, dirtyPadding = signed_, noCertificate = signed_;
    dirtyAlignment[table - 1] = 1;
    dirtyPadding[dirtyPadding.size() - 1] = 1;
    noCertificate[table + 8] = 'P';  // no DER object
    const struct {
        const char* what;
        std::string bytes;
        Status expected;
    } cases[] = {
        {"unsigned", plain, Status::Ok},
        {"signed", signed_, Status::Ok},
        {"signed PE32+", sfxtest::withCertificates(plus, {certificate}), Status::Ok},
        {"two certificates", sfxtest::withCertificates(plain, {certificate, "ts"}), Status::Ok},
        {"a second archive in the table", hidden, Status::Damaged},
        {"data after the end record, no table", plain + std::string(40000, 'S'), Status::Damaged},
        {"data after the table", signed_ + "x", Status::Damaged},
        {"eight zeros before the table", sfxtest::withCertificates(plain + std::string(8, '\0'), {certificate}),
         Status::Damaged},
        {"no zero in the alignment", dirtyAlignment, Status::Damaged},
        {"no zero in a certificate's padding", dirtyPadding, Status::Damaged},
        {"an entry that is no certificate", noCertificate, Status::Damaged},
    };
    for (const auto& c : cases) {
        MemoryInput in(c.bytes);
        Archive a;
        EXPECT_EQ(a.open(in), c.expected) << c.what;
        if (c.expected != Status::Ok) continue;
        EXPECT_EQ(a.count(), kMixed.size()) << c.what;
        EXPECT_EQ(a.start(), 512 + settings.size()) << c.what;
        qsfx::Settings s;
        ASSERT_TRUE(s.parse(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), a.start())) << c.what;
        EXPECT_STREQ(s.run, "%d\\setup.exe|%d") << c.what;
    }
}

TEST(SfxArchive, DataDescriptorEntriesCheckThePasswordAgainstTheTime) {
    const std::vector<BuildEntry> e = {{"a.txt", "hello hello hello", true, "pw", true}};
    std::map<std::string, std::string> files;
    ASSERT_EQ(unpackAll(buildZip(e), files, "pw"), Status::Ok);
    EXPECT_EQ(files["a.txt"], "hello hello hello");
    EXPECT_EQ(unpackAll(buildZip(e), files, "nope"), Status::WrongPassword);
}

// A wrong password passes one entry's check byte once in 256 times, and that entry's data
// then reads as damage: the password is checked against every entry first.
TEST(SfxArchive, AWrongPasswordIsToldByAllCheckBytesNotByOne) {
    std::vector<BuildEntry> e;
    for (const char* name : {"a.inf", "b.sys", "c.dll"}) e.push_back({name, name + noisy(3000), true, "right"});
    const std::string bytes = buildZip(e);
    MemoryInput in(bytes);
    Archive a;
    ASSERT_EQ(a.open(in), Status::Ok);
    EXPECT_EQ(a.checkPassword(in, "right"), Status::Ok);
    // A wrong password that the first entry's check byte lets through.
    std::string lucky;
    for (int i = 0; i < 100000 && lucky.empty(); ++i) {
        const std::string guess = "wrong" + std::to_string(i);
        StringOutput out;
        if (a.extract(in, a.entry(0), guess.c_str(), out) == Status::Damaged) lucky = guess;
    }
    ASSERT_FALSE(lucky.empty());
    EXPECT_EQ(a.checkPassword(in, lucky.c_str()), Status::WrongPassword) << lucky;
}

TEST(SfxArchive, DamageIsFoundWhereverItIs) {
    const std::string good = buildZip(kMixed, {"MZ-stub"});
    std::map<std::string, std::string> files;
    EXPECT_EQ(unpackAll(good, files, "wrong password"), Status::WrongPassword);
    // A flipped byte inside each entry's data, then in the central directory.
    for (std::size_t at : {std::size_t{200}, good.size() / 2, good.size() - 6}) {
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x10);
        files.clear();
        EXPECT_NE(unpackAll(bad, files), Status::Ok) << "flip at " << at;
    }
    for (std::size_t cut : {good.size() - 1, good.size() - 30, good.size() / 2, std::size_t{10}}) {
        files.clear();
        EXPECT_EQ(unpackAll(good.substr(0, cut), files), Status::Damaged) << "cut at " << cut;
    }
    EXPECT_EQ(unpackAll("", files), Status::Damaged);
}

// An archive that contradicts itself is damage found before anything is written: entry
// counts other than the directory holds (a partial unpack reported as success), a local
// header that tells another story than the central one, data shared by two entries (a
// small stream unpacked as gigabytes many times over).
TEST(SfxArchive, ArchivesThatContradictThemselvesAreDamage) {
    std::map<std::string, std::string> cases;
    const std::size_t n = kMixed.size(), name = kMixed[0].name.size();
    for (bool zip64 : {false, true}) {
        // The counts on this disk and in all, of the end record or the Zip64 one.
        const std::string good = buildZip(kMixed, {"", zip64});
        const std::size_t at = zip64 ? good.size() - 22 - 20 - 56 + 24 : good.size() - 22 + 8;
        for (auto [onDisk, total] : {std::pair{n - 1, n - 1}, {n + 1, n + 1}, {n, n - 1}}) {
            std::string& bytes = cases["counts " + std::to_string(zip64) + std::to_string(onDisk) + std::to_string(total)] = good;
            put(bytes, at, onDisk, 2);
            put(bytes, at + (zip64 ? 8 : 2), total, 2);
        }
    }
    // The first local header's encryption flag, method, CRC, sizes, name; Zip64 sizes.
    for (std::size_t at : {6, 8, 14, 18, 22, 30}) (cases["flip " + std::to_string(at)] = buildZip(kMixed))[at] ^= 1;
    for (std::size_t at : {30 + name + 4, 30 + name + 12})
        (cases["Zip64 flip " + std::to_string(at)] = buildZip(kMixed, {"", true}))[at] ^= 1;
    // b's local header and data copied inside a's data, and b's entry pointed there; two
    // entries of one local header.
    const BuildEntry b{"b.txt", "hello"};
    const std::size_t bLocalOffset = 22 + 46 + 5 - 42;  // in b's central header, from the end
    std::string& nested = cases["nested"] = buildZip({{"a.txt", "xx" + buildZip({b}).substr(0, 30 + 5 + 5)}, b});
    put(nested, nested.size() - bLocalOffset, 30 + 5 + 2, 4);
    std::string& twice = cases["twice"] = buildZip({b, b});
    put(twice, twice.size() - bLocalOffset, 0, 4);
    for (const auto& [what, bytes] : cases) {
        std::map<std::string, std::string> files;
        EXPECT_EQ(unpackAll(bytes, files), Status::Damaged) << what;
        EXPECT_TRUE(files.empty()) << what;
    }
}

TEST(SfxArchive, AFullOutputStopsTheEntry) {
    MemoryInput in(buildZip(kMixed));
    Archive a;
    ASSERT_EQ(a.open(in), Status::Ok);
    StringOutput out;
    out.room = 100;
    EXPECT_EQ(a.extract(in, a.entry(1), "qorvantelbrix", out), Status::DiskFull);
}

TEST(SfxArchive, HostileNamesAreRefusedBeforeAnythingIsUnpacked) {
    for (const char* name : {"..\\..\\x", "../x", "a/../../x", "C:\\x", "C:x", "x:stream", "/etc/x", "\\\\server\\share\\x",
                             "CON", "con.txt", "dir/NUL", "COM1.log", "LPT9", "AUX .txt", "a//b", "dir/./x", "x.",
                             "x ", "a\x01" "b", "a*b", "COM\xC2\xB9"}) {
        std::map<std::string, std::string> files;
        const std::vector<BuildEntry> e = {{"good.txt", "fine"}, {name, "evil"}};
        EXPECT_EQ(unpackAll(buildZip(e), files), Status::UnsafeName) << name;
        EXPECT_TRUE(files.empty()) << name;
    }
}

TEST(SfxArchive, OrdinaryNamesPass) {
    for (const char* name : {"a", "Display/Qelvaro Demo Graphics Adapter/qvdisp.v2.sys", "CONSOLE.txt", "COM10",
                             "nul_driver.sys", ".hidden", "a..b", "以太网/驱动.inf", "dir/", "LPT"}) {
        EXPECT_TRUE(qsfx::isSafeEntryName(name, std::strlen(name))) << name;
    }
}

TEST(SfxArchive, NamesWithoutTheUtf8FlagAreCodePage437) {
    char out[32];
    const std::uint8_t name[] = {'c', 0x82, 0xE1};  // é ß
    const std::size_t n = qsfx::decodeEntryName(name, 3, false, out);
    EXPECT_EQ(std::string(out, n), "c\xC3\xA9\xC3\x9F");
    const std::uint8_t bad[] = {'a', 0xC3};
    EXPECT_EQ(qsfx::decodeEntryName(bad, 2, true, out), SIZE_MAX);
    std::map<std::string, std::string> files;
    std::vector<BuildEntry> e = {{"caf\x82.txt", "x"}};
    e[0].utf8Flag = false;
    ASSERT_EQ(unpackAll(buildZip(e), files), Status::Ok);
    EXPECT_EQ(files.count("caf\xC3\xA9.txt"), 1u);
}

TEST(SfxSettings, RoundTripWithEscapesAndDamage) {
    std::string block = sfxtest::settingsBlock(
        {{"folder", "%t\\_sfxDriverSetup"}, {"password", "qorvantelbrix"}, {"install", "1"},
         {"done", "line one\nline \\two"}, {"future", "ignored"}});
    qsfx::Settings s;
    ASSERT_TRUE(s.parse(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()));
    EXPECT_STREQ(s.folder, "%t\\_sfxDriverSetup");
    EXPECT_STREQ(s.password, "qorvantelbrix");
    EXPECT_STREQ(s.done, "line one\nline \\two");
    EXPECT_STREQ(s.run, "");
    EXPECT_TRUE(s.install);
    block[3] ^= 1;
    qsfx::Settings damaged;
    EXPECT_FALSE(damaged.parse(reinterpret_cast<const std::uint8_t*>(block.data()), block.size()));
    EXPECT_FALSE(damaged.parse(reinterpret_cast<const std::uint8_t*>(block.data()), 10));
}

std::string expand(const char* text, const char* temp, const char* dir, bool quote) {
    char out[256];
    const std::size_t n = qsfx::expandPlaceholders(text, temp, dir, quote, out, sizeof out);
    EXPECT_LT(n, sizeof out);
    return out;
}

TEST(SfxSettings, PlaceholdersExpandAndAFolderWithSpacesStaysOneParameter) {
    EXPECT_EQ(expand("%t\\_sfxDriverSetup", "C:\\Temp", "", false), "C:\\Temp\\_sfxDriverSetup");
    EXPECT_EQ(expand("%d", "", "C:\\Temp\\x", true), "C:\\Temp\\x");
    EXPECT_EQ(expand("%d /log %t\\l.txt 100%%", "C:\\T", "C:\\Users\\Li Wei\\x", true),
              "\"C:\\Users\\Li Wei\\x\" /log C:\\T\\l.txt 100%");
    EXPECT_EQ(expand("\"%d\"", "", "C:\\a b", true), "\"C:\\a b\"");
    EXPECT_EQ(expand("%d", "", "C:\\a b\\", true), "\"C:\\a b\\\\\"");
    char small[4];
    EXPECT_EQ(qsfx::expandPlaceholders("%d", "", "C:\\long", false, small, sizeof small), 7u);
    EXPECT_STREQ(small, "C:\\");
}

}  // namespace
