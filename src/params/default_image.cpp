#include "params/default_image.h"

#include <cstring>

namespace kd {

namespace resources {
// Defined in the source generated from resources/init_param.bin.
extern const std::array<unsigned char, kImageBytes> INIT_PARAM;
}  // namespace resources

const std::array<uint8_t, kImageBytes>& DefaultImage() {
    static_assert(sizeof(resources::INIT_PARAM) == kImageBytes);
    return resources::INIT_PARAM;
}

}  // namespace kd
