// The stub's unpacking, natively, for a side-by-side run against `7z x` on the same
// package (bench/sfx/run.sh):
//   sfx_bench_cli pack ROOT PACKAGE [STUB]   a package as the backup builds it (on a
//                                            stand-in stub, or on the real sfx.bin)
//   sfx_bench_cli unpack PACKAGE DIR    what the stub does: empty DIR, unpack, check CRCs
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "archive_input.h"
#include "sfx_format/sfx_archive.h"
#include "sfx_format/sfx_settings.h"
#include "zipcomp/zip_component.h"

namespace {

class FdOutput : public qsfx::Output {
public:
    explicit FdOutput(int fd) : fd_(fd) {}
    qsfx::Status write(const void* data, std::size_t n) override {
        auto* p = static_cast<const char*>(data);
        while (n > 0) {
            const ssize_t done = ::write(fd_, p, n);
            if (done <= 0) return qsfx::Status::WriteFailed;
            p += done;
            n -= static_cast<std::size_t>(done);
        }
        return qsfx::Status::Ok;
    }

private:
    int fd_;
};

int pack(const char* root, const char* package, const char* realStub) {
    const std::string stub = realStub ? realStub : std::string(root) + ".stub";
    std::string bytes(4096, '\0');
    bytes[0] = 'M', bytes[1] = 'Z', bytes[60] = static_cast<char>(128);
    std::memcpy(&bytes[128], "PE\0\0", 4);
    if (!realStub) {
        std::FILE* f = std::fopen(stub.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    zipcomp::ZipComponent zip;
    zip.BasePath = root;
    zip.ZipFilename = package;
    zip.EncryptionPassword = "qorvantelbrix";
    zip.SfxDefaultPassword = "qorvantelbrix";
    zip.SfxBinaryModule = stub;
    zip.SfxDefaultUnzipToFolder = "%t\\_sfxDriverSetup";
    const int code = zip.Zip();
    if (!realStub) std::remove(stub.c_str());
    if (code) std::fprintf(stderr, "pack: %s\n", zip.GetErrorDescription(0, code).c_str());
    return code ? 1 : 0;
}

int unpack(const char* package, const char* dir) {
    qelvaro::FsResult why;
    const std::unique_ptr<qsfx::Input> input = qelvaro::OpenArchiveInput(package, why);
    if (!input) return 1;
    qsfx::Input& in = *input;
    qsfx::Archive a;
    if (a.open(in) != qsfx::Status::Ok) return 2;
    std::uint8_t trailer[qsfx::kSettingsTrailerSize];
    if (!in.readAt(a.start() - sizeof trailer, trailer, sizeof trailer)) return 2;
    const std::size_t block = qsfx::Settings::textLengthFromTrailer(trailer) + sizeof trailer;
    std::string raw(block, '\0');
    qsfx::Settings s;
    if (!in.readAt(a.start() - block, raw.data(), block) ||
        !s.parse(reinterpret_cast<const std::uint8_t*>(raw.data()), block))
        return 2;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (std::size_t i = 0; i < a.count(); ++i) {
        const qsfx::Entry& e = a.entry(i);
        const std::filesystem::path path = std::filesystem::path(dir) / e.name;
        std::filesystem::create_directories(e.isFolder ? path : path.parent_path());
        if (e.isFolder) continue;
        const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (out < 0) return 3;
        FdOutput o(out);
        const qsfx::Status st = a.extract(in, e, s.password, o);
        close(out);
        if (st != qsfx::Status::Ok) return 4;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && !std::strcmp(argv[1], "pack")) return pack(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (argc == 4 && !std::strcmp(argv[1], "unpack")) return unpack(argv[2], argv[3]);
    std::fprintf(stderr, "usage: sfx_bench_cli pack ROOT PACKAGE | unpack PACKAGE DIR\n");
    return 2;
}
