#pragma once
// IParamAccess over the program's TKestParam: keys by name in the bank the
// Sys key "Bank" selects.
#include "measure/measure_access.h"
#include "params/kest_param.h"

namespace kd {

class TKestParamAccess : public IParamAccess {
  public:
    explicit TKestParamAccess(TKestParam& image) : image_(image) {}

    int CurrentBank() const;
    int GetBank(std::string_view key) const override;
    int GetSys(std::string_view key) const override;
    void SetBank(std::string_view key, int value) override;
    Limits KeyLimits(std::string_view key) const override;
    int KeyWordIndex(std::string_view key) const override;

  private:
    TKestParam& image_;
};

}  // namespace kd
