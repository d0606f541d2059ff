// The self-extractor's reader on arbitrary package bytes: opening, the settings before
// the archive, and unpacking every entry must fail cleanly, never crash or overrun.
#include <cstdint>
#include <cstring>

#include "sfx_format/sfx_archive.h"
#include "sfx_format/sfx_settings.h"

namespace {

class BytesInput : public qsfx::Input {
public:
    BytesInput(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    std::uint64_t size() const override { return n_; }
    bool readAt(std::uint64_t o, void* b, std::size_t n) override {
        if (o > n_ || n_ - o < n) return false;
        std::memcpy(b, d_ + o, n);
        return true;
    }

private:
    const std::uint8_t* d_;
    std::size_t n_;
};

class Discard : public qsfx::Output {
public:
    qsfx::Status write(const void*, std::size_t n) override {
        total += n;
        return total > (std::size_t{64} << 20) ? qsfx::Status::DiskFull : qsfx::Status::Ok;
    }
    std::size_t total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BytesInput in(data, size);
    qsfx::Archive a;
    a.setWholeLimit(size % 2 ? 0 : std::size_t{1} << 20);  // both inflate paths
    if (a.open(in) != qsfx::Status::Ok) return 0;
    qsfx::Settings s;
    s.parse(data, static_cast<std::size_t>(a.start()));
    for (std::size_t i = 0; i < a.count() && i < 64; ++i) {
        Discard out;
        a.extract(in, a.entry(i), "qorvantelbrix", out);
    }
    return 0;
}
