#pragma once
// Small seams through which the measurement views read the parameter image.
// The main window hands in an adapter over its TKestParam; tests fill a map.
#include <string>
#include <string_view>

namespace kd {

// Key reads and writes of the current bank and of the Sys block.
class IBankKeys {
  public:
    virtual ~IBankKeys() = default;
    // Value of a bank key of the current bank ("A1.Func", "O1.Ch", "VCorrect").
    virtual int GetBank(std::string_view key) const = 0;
    // Value of a Sys key ("AxisDir", "INPUT2").
    virtual int GetSys(std::string_view key) const = 0;
};

class IParamAccess : public IBankKeys {
  public:
    // Writes a bank key of the current bank; the image marks itself changed.
    virtual void SetBank(std::string_view key, int value) = 0;
    // Lower and upper limit of a key as the key table holds them (raw units).
    struct Limits {
        int Min = 0;
        int Max = 0;
    };
    virtual Limits KeyLimits(std::string_view key) const = 0;
    // Word index inside the bank of a bank key (for reading one word back).
    virtual int KeyWordIndex(std::string_view key) const = 0;
};

}  // namespace kd
