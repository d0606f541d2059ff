// Puts the images of an icon file into a Windows program's resources as its icon: the
// package icon of a self-extractor. Only Windows has a resource writer; elsewhere the
// caller is told so instead of getting a package without its icon.
#pragma once

#include <cstdint>
#include <vector>

namespace zipcomp {

enum class IconResult { Ok, BadIcon, Unsupported, Failed };

struct IconImage {
    std::uint8_t width = 0, height = 0, colors = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::vector<std::uint8_t> data;
};

// The images of an .ico file; false when it is not one (or an image lies outside it).
bool parseIconFile(const std::vector<std::uint8_t>& ico, std::vector<IconImage>& images);

// The group record that names images 1..n, as a program's resources hold it.
std::vector<std::uint8_t> iconGroupRecord(const std::vector<IconImage>& images);

// Replaces every icon of `program` (a Windows executable's bytes) with the icon file's.
IconResult applyIcon(std::vector<std::uint8_t>& program, const std::vector<std::uint8_t>& ico);

}  // namespace zipcomp
