#pragma once
// The default parameter image as it is listed for the product, typed in here
// on its own so that the embedded resource can be checked against it.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace kd::test_data {

inline std::vector<uint16_t> Words(const std::string& hex) {
    std::istringstream in(hex);
    std::vector<uint16_t> w;
    std::string t;
    while (in >> t) w.push_back(static_cast<uint16_t>(std::stoul(t, nullptr, 16)));
    return w;
}

inline std::vector<uint16_t> ListedDefaultImage() {
    auto header =
        Words("53AC 0002 000A 0002 0024 BBDC 8830 EA2D F89D 2F8B FFE2 2DB0 F34D 000C FFCB 0000");
    auto sys =
        Words("00F0 0004 0000 0008 0100 0001 0000 0042 0000 0001 0000 0001 0000 03E8 0000 0000");
    auto bank0 = Words(
        "0000 0000 0064 0064 0000 0000 02C5 0064 00C8 0001 0001 0000 0000 0000 0000 FFFF "
        "6300 0000 0020 0010 0005 F34E 0000 0CB2 0000 0000 0000 0000 0000 FFFF 0000 C951 "
        "F254 36AF FC18 0000 0000 0000 0000 0000 C951 03E8 36AF 0DAC 0000 0000 0000 0000 "
        "0026 FE0C ED72 03E8 F15A 0000 0000 0000 0000 0026 FE0C 0EA6 03E8 128E 0000 0000 "
        "0000 0000 0000 0000 0000 0000 0001 0000 0000 0000 0000 0000 0800 0000 0000 03E8 "
        "0000 0800 0000 0000 03E8 0000 0800 0000 0000 03E8 0000 0800 0000 0000 03E8 0000 "
        "012C 0000 0000 03E8 0000 0000 0000 0000 03E8 0000 7FF9 036A 0410 0111 61A8 9E58 "
        "0001 61A8 9E58 0001 445C 4074 0001 61A8 9E58 0001 0000 0000");
    std::vector<uint16_t> all = header;
    all.insert(all.end(), sys.begin(), sys.end());
    for (int n = 0; n < 8; ++n) {
        auto b = bank0;
        if (n >= 1) b[6] = 0x0420;
        if (n == 7) {
            b[108] = 0x0000;
            b[110] = 0xA240;
            b[111] = 0x9A70;
            b[113] = 0x03E8;
            b[114] = 0xFC18;
            b[116] = 0x6590;
            b[117] = 0x5DC0;
        }
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

}  // namespace kd::test_data
