#include "zipcomp/sfx_icon.h"

#include "base/bytes.h"

namespace zipcomp {
namespace {

using qelvaro::base::loadLe16;
using qelvaro::base::loadLe32;

}  // namespace

bool parseIconFile(const std::vector<std::uint8_t>& ico, std::vector<IconImage>& images) {
    images.clear();
    if (ico.size() < 6 || loadLe16(&ico[0]) != 0 || loadLe16(&ico[2]) != 1) return false;
    const std::size_t count = loadLe16(&ico[4]);
    if (count == 0 || ico.size() < 6 + 16 * count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &ico[6 + 16 * i];
        const std::uint32_t size = loadLe32(e + 8), offset = loadLe32(e + 12);
        if (size == 0 || offset > ico.size() || ico.size() - offset < size) return false;
        IconImage img;
        img.width = e[0];
        img.height = e[1];
        img.colors = e[2];
        img.planes = loadLe16(e + 4);
        img.bitCount = loadLe16(e + 6);
        img.data.assign(ico.begin() + offset, ico.begin() + offset + size);
        images.push_back(std::move(img));
    }
    return true;
}

std::vector<std::uint8_t> iconGroupRecord(const std::vector<IconImage>& images) {
    std::vector<std::uint8_t> g;
    auto put16 = [&](std::uint32_t v) {
        g.push_back(static_cast<std::uint8_t>(v));
        g.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    put16(0);
    put16(1);
    put16(static_cast<std::uint32_t>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& img = images[i];
        g.push_back(img.width);
        g.push_back(img.height);
        g.push_back(img.colors);
        g.push_back(0);
        put16(img.planes);
        put16(img.bitCount);
        put16(static_cast<std::uint32_t>(img.data.size()));
        put16(static_cast<std::uint32_t>(img.data.size() >> 16));
        put16(static_cast<std::uint32_t>(i + 1));
    }
    return g;
}

}  // namespace zipcomp
