#include "zipcomp/sfx_icon.h"

namespace zipcomp {

IconResult applyIcon(std::vector<std::uint8_t>&, const std::vector<std::uint8_t>& ico) {
    std::vector<IconImage> images;
    if (!parseIconFile(ico, images)) return IconResult::BadIcon;
    return IconResult::Unsupported;
}

}  // namespace zipcomp
