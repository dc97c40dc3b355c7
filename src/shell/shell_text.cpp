#include "shell/shell_text.h"

#include <cstdio>

namespace kd {

namespace {
std::string ReplaceAll(std::string s, std::string_view from, std::string_view to) {
    size_t pos = 0;
    while ((pos = s.find(from, pos)) != std::string::npos) {
        s.replace(pos, from.size(), to);
        pos += to.size();
    }
    return s;
}
}  // namespace

std::string BuildMainCaption(std::string_view baseCaption, std::string_view filePath, bool modified,
                             std::string_view untitled) {
    std::string name;
    if (filePath.empty()) {
        name = untitled;
    } else {
        size_t slash = filePath.find_last_of("/\\");
        name = std::string(slash == std::string_view::npos ? filePath : filePath.substr(slash + 1));
    }
    std::string c(baseCaption);
    c += " [";
    c += name;
    c += "]";
    if (modified) c += "*";
    return c;
}

std::string FilterHintText(std::string_view hint, int displUnit,
                           std::string_view decimalSeparator) {
    std::string s(hint);
    if (s.find('_') == std::string::npos) return s;
    if (displUnit == 0) {
        s = ReplaceAll(std::move(s), "_", decimalSeparator);
        return ReplaceAll(std::move(s), "[um]", "[mm]");
    }
    return ReplaceAll(std::move(s), "_", "");
}

std::string AboutTitle(std::string_view title) {
    size_t p = title.find(" ver");
    return std::string(p == std::string_view::npos ? title : title.substr(0, p));
}

std::string AboutVersion(std::string_view fileVersion) {
    int nums[2] = {0, 0};
    size_t i = 0;
    for (int k = 0; k < 2; ++k) {
        long v = 0;
        while (i < fileVersion.size() && fileVersion[i] >= '0' && fileVersion[i] <= '9') {
            if (v < 100000) v = v * 10 + (fileVersion[i] - '0');
            ++i;
        }
        nums[k] = static_cast<int>(v);
        if (i < fileVersion.size() && fileVersion[i] == '.') ++i;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "Version %d.%02d", nums[0], nums[1]);
    return buf;
}

std::string ReplacePercentS(std::string_view text, std::string_view arg) {
    std::string s(text);
    size_t p = s.find("%s");
    if (p != std::string::npos) s.replace(p, 2, arg);
    return s;
}

std::string ReplacePercentS(std::string_view text, std::initializer_list<std::string_view> args) {
    std::string out;
    size_t from = 0;
    for (std::string_view arg : args) {
        const size_t p = text.find("%s", from);
        if (p == std::string_view::npos) break;
        out.append(text.substr(from, p - from)).append(arg);
        from = p + 2;
    }
    return out.append(text.substr(from));
}

}  // namespace kd
