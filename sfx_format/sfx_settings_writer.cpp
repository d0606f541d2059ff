#include "sfx_format/sfx_settings_writer.h"

#include <libdeflate.h>

#include "sfx_format/sfx_settings.h"

namespace qsfx {

std::vector<std::uint8_t> encodeSettings(const std::vector<std::pair<std::string, std::string>>& values) {
    std::string text;
    for (const auto& [key, value] : values) {
        text += key;
        text += '=';
        for (char c : value) {
            if (c == '\\') text += "\\\\";
            else if (c == '\n') text += "\\n";
            else if (c == '\r') text += "\\r";
            else text += c;
        }
        text += '\n';
    }
    std::vector<std::uint8_t> block(text.begin(), text.end());
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) block.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    put32(static_cast<std::uint32_t>(text.size()));
    put32(libdeflate_crc32(0, text.data(), text.size()));
    block.insert(block.end(), kSettingsMagic, kSettingsMagic + 8);
    return block;
}

}  // namespace qsfx
