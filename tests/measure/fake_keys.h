#pragma once
// A parameter image stand-in for the measurement views' pure rules: keys in
// a map, unknown keys read as 0.
#include <map>
#include <string>

#include "measure/measure_access.h"
#include "measure/value_text.h"

namespace kd::test {

class FakeKeys : public IBankKeys {
  public:
    std::map<std::string, int, std::less<>> Bank;
    std::map<std::string, int, std::less<>> Sys;

    int GetBank(std::string_view key) const override {
        auto it = Bank.find(key);
        return it == Bank.end() ? 0 : it->second;
    }
    int GetSys(std::string_view key) const override {
        auto it = Sys.find(key);
        return it == Sys.end() ? 0 : it->second;
    }
};

// The English lists of measurement-mode units and short names.
inline MeasModeTexts EnglishTexts() {
    MeasModeTexts t;
    t.Units = {"mm", "mm", "mm", "mm", "mm", "mm", "mm", "", "deg.", "mm2", "mm", "mm", "mm"};
    t.Shorts = {"ave",   "p_hgt", "b_hgt", "width", "p_pos", "b_pos", "edge",
                "count", "tilt",  "size",  "len",   "dia",   "infl"};
    return t;
}

}  // namespace kd::test
