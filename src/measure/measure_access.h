#pragma once
// The read view of the parameter image that the measurement views' pure
// rules work on: keys by name in the current bank and the Sys block. Pages
// read it from their context; tests of the rules fill a map.
#include <string_view>

#include "shell/page_context.h"

namespace kd {

class IBankKeys {
  public:
    virtual ~IBankKeys() = default;
    // Value of a bank key of the current bank ("A1.Func", "O1.Ch", "VCorrect").
    virtual int GetBank(std::string_view key) const = 0;
    // Value of a Sys key ("AxisDir", "INPUT2").
    virtual int GetSys(std::string_view key) const = 0;
};

// The keys of a page context's image.
class TContextKeys : public IBankKeys {
  public:
    explicit TContextKeys(const TPageContext& ctx) : ctx_(ctx) {}
    int GetBank(std::string_view key) const override { return ctx_.GetBank(key); }
    int GetSys(std::string_view key) const override { return ctx_.GetSys(key); }

  private:
    const TPageContext& ctx_;
};

}  // namespace kd
