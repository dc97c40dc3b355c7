#pragma once
// TKestParam: the program's copy of the sensor's parameter memory (1024 words:
// header, Sys block, eight banks), its changed flags and valid bits, the key
// operations and the parameter files. TMasterStore: the master profile records
// of the eight banks, kept beside the sensor's image.
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "params/default_image.h"
#include "params/param_key.h"
#include "params/sensor_version.h"

namespace kd {

constexpr int kImageWords = 1024;
constexpr int kHeaderWord = 0;  // image word of the header
constexpr int kSysWord = 16;    // image word of the Sys block
constexpr int kSysWords = 16;
constexpr int kBankWord = 32;  // image word of bank 0
constexpr int kBankWords = 124;
constexpr int kBankCount = 8;
constexpr int kSensorWordBase = 0x400;  // sensor address of image word 0

// ValidMask: bit n bank n whole, bit 15 the Sys block whole.
constexpr uint32_t kValidSys = 0x8000;
constexpr uint32_t kValidAll = 0xFFFFFFFFu;
constexpr uint32_t kValidWhole = 0x80FF;  // Sys and all eight banks

constexpr int BankStartWord(int bank) {
    return kBankWord + kBankWords * bank;
}

// Image word of a key (for the 32-bit key its first, low word); bank (0..7)
// counts for bank keys only. The sensor address is kSensorWordBase + this.
constexpr int ImageWordOf(const TKeyRef& ref, int bank = 0) {
    switch (ref.Block) {
        case TKeyBlock::Header:
            return kHeaderWord + ref.Entry->Offset;
        case TKeyBlock::Sys:
            return kSysWord + ref.Entry->Offset;
        case TKeyBlock::Bank:
            break;
    }
    return BankStartWord(bank) + ref.Entry->Offset;
}

class TMasterStore {
  public:
    static constexpr int kWords = 4096;     // one record at most
    static constexpr int kMaxCount = 2046;  // (kWords - 4) / 2 points

    TMasterStore() : MasterWords(kBankCount) {}

    // One buffer of kWords words per bank, allocated once.
    std::vector<std::array<uint16_t, kWords>> MasterWords;
    // Points of each bank's master; 0 (or less) means no master.
    std::array<int32_t, kBankCount> MasterCount{};

    bool HasMaster(int bank) const { return MasterCount[bank] > 0; }
    // Words of the bank's record: 4 + 2 * count, 0 when it has none. Throws
    // EKestError when the count does not fit the buffer.
    int RecordWords(int bank) const;
};

class TKestParam {
  public:
    TKestParam();
    TKestParam(const TKestParam&) = delete;
    TKestParam& operator=(const TKestParam&) = delete;

    // --- image -------------------------------------------------------------
    std::array<uint8_t, kImageBytes> Image{};  // 1024 little-endian words
    bool SensorModified = false;
    bool FileModified = false;
    uint32_t ValidMask = 0;
    std::string FileName;
    std::chrono::system_clock::time_point ReceivedAt{};
    bool NotLoaded = true;
    // Blocks the last text file read lacked or held short (bit n bank n, bit
    // 15 Sys; the ValidMask layout): they were loaded as zeros. Such an image
    // is shown, never written to a sensor. 0 after any other load.
    uint32_t MissingBlocks = 0;

    uint16_t Word(int index) const {
        return static_cast<uint16_t>(Image[2 * index] | (Image[2 * index + 1] << 8));
    }
    void SetWord(int index, uint16_t value) {
        Image[2 * index] = static_cast<uint8_t>(value & 0xFF);
        Image[2 * index + 1] = static_cast<uint8_t>(value >> 8);
    }
    // Copies the built-in default image over the whole image (flags untouched).
    void LoadDefaultImage() { Image = DefaultImage(); }

    // --- attachments (all optional) -----------------------------------------
    // The sensor's image carries the program's master store and the sensor's
    // version; other images (the comparison image) leave both unset: their
    // text files then neither fill nor write master records.
    TMasterStore* Masters = nullptr;
    const TSensorVersion* SensorVersion = nullptr;
    // The sensor's image, for GetUnitStr on another image; nullptr: this one.
    const TKestParam* SensorImage = nullptr;
    // The localised unit of an area function (ModeUnit); unset: "?" for all.
    std::function<std::string(int func)> ModeUnit;
    // Called when SetSensorModified/SetFileModified change a flag.
    std::function<void()> OnModifiedChange;

    void SetSensorModified(bool value);
    void SetFileModified(bool value);

    // --- keys ---------------------------------------------------------------
    int GetHeader(int key) const;
    int GetSys(int key) const;
    // GetSys as its users take the value: a signed field narrower than 32
    // bits (the start position StrStl) sign-extended, -100 rather than 65436.
    int GetSysSigned(int key) const;
    void SetSys(int key, int value);
    int GetBank(int bank, int key) const;
    void SetBank(int bank, int key, int value);
    int BankWordIndex(int bank, int key) const;
    double GetSysMin(int key) const;
    double GetSysMax(int key) const;
    double GetBankMin(int key) const;
    double GetBankMax(int key) const;
    // Unit text of a value-carrying key of a bank; throws EKestError
    // "GetUnitStr; unknown key<id>" for any other key.
    std::string GetUnitStr(int bank, int key) const;

    // --- files (param_files.cpp; see params/param_files.h) ---------------------
    // By extension (any case): ".kd", ".dalo", ".vyn" text, ".bin" raw. Errors
    // are EKestError with the file's message; a failed save leaves the old file.
    void LoadFromFile(const std::string& name);
    void SaveToFile(const std::string& name);
    // The text format: the file, or its contents already in memory.
    void ReadTextFile(const std::string& name);
    void ReadText(std::string_view contents);
    void WriteTextFile(const std::string& name) const;
    // The text file's contents, dated with the given local time.
    std::string BuildText(const std::tm& now) const;
    [[noreturn]] void WriteTxtFile(const std::string& name) const;  // always refused

  private:
    const TParamKey* FindKey(TKeyBlock block, int key) const;
};

// ModeUnit by a localised unit list ("MeasMode_units"): entry func, "?" beyond
// the list; with displUnit 1 (micrometres) "mm" in any case becomes "um",
// except for functions 6 and 11. A ready-made filler for TKestParam::ModeUnit.
std::string ModeUnitFromList(const std::vector<std::string>& units, int displUnit, int func);

}  // namespace kd
