// The colour file beside the program: any ini text (and the file reader)
// leaves every colour either its default or a value the text holds.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_util.h"
#include "shell/display_colors.h"

using kdfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kd::TDisplayColors colors;
    kd::LoadDisplayColors(text, colors);
    const std::string name = kdfuzz::ScratchDir() + "/kdtrelva.ini";
    {
        std::ofstream out(name, std::ios::binary | std::ios::trunc);
        out << text;
    }
    kd::TDisplayColors fromFile;
    kd::LoadDisplayColorsFile(name, fromFile);
    Check(fromFile.chart_bg_color == colors.chart_bg_color);
    Check(fromFile.area_sel_color == colors.area_sel_color);
    if (auto v = kd::ParseIniInteger(text)) (void)*v;
    return 0;
}
