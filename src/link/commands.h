#pragma once
// The catalogue of sensor commands: names and codes, payload builders for the
// word shapes b, w, l and (x, y), memory transfer modes, and the two
// rectangle commands whose payload needs arithmetic.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kd {

// Command codes by the names the log shows.
namespace cmd {
// system and memory
constexpr uint16_t NULL_CMD = 0x0000;
constexpr uint16_t MEM_WRITE = 0x0001;
constexpr uint16_t MEM_READ = 0x0002;
constexpr uint16_t EPM_WRITE = 0x0005;
constexpr uint16_t SET_BANK = 0x0006;
constexpr uint16_t EEPROM_INIT = 0x0008;
constexpr uint16_t GET_VERSION = 0x0009;
constexpr uint16_t SYS_UPDATE = 0x000A;
constexpr uint16_t GET_STATUS = 0x000D;
constexpr uint16_t SET_SYS_MODE = 0x0011;
constexpr uint16_t BCHG_MTH = 0x0012;
constexpr uint16_t MASK_WRITE = 0x0014;
constexpr uint16_t MST_WRITE = 0x0016;
constexpr uint16_t GET_MST_ADDR = 0x0017;
constexpr uint16_t SET_SYS_DIR = 0x0018;
constexpr uint16_t MEM_READ_WIDE = 0x001A;
// camera
constexpr uint16_t SET_CAM_RECT = 0x2000;
constexpr uint16_t GET_CAM_RECT = 0x2001;
constexpr uint16_t SET_SNS = 0x2002;
constexpr uint16_t GET_SNS = 0x2003;
constexpr uint16_t SET_TMD = 0x2006;
constexpr uint16_t CAM_STOP = 0x200C;
constexpr uint16_t CAM_STARAT = 0x200D;
constexpr uint16_t SET_SHUTT0 = 0x200E;
constexpr uint16_t GET_SHUTT0 = 0x200F;
constexpr uint16_t SET_SHUTT1 = 0x2010;
constexpr uint16_t GET_SHUTT1 = 0x2011;
constexpr uint16_t SET_PCNT = 0x2012;
constexpr uint16_t SET_TDLY = 0x2014;
constexpr uint16_t GET_SMP_RATE = 0x2016;
constexpr uint16_t GET_IMG_NO = 0x2017;
constexpr uint16_t GET_IMG_ADDR = 0x2018;
constexpr uint16_t GET_AE_STATE = 0x2019;
constexpr uint16_t RUN_AE = 0x201A;
constexpr uint16_t CAM_FUNC = 0x201B;
constexpr uint16_t GET_CAM_FUNC = 0x201C;
// profile
constexpr uint16_t SET_CUT_LVL = 0x4000;
constexpr uint16_t GET_CUT_LVL = 0x4001;
constexpr uint16_t SET_PRF_FUNC = 0x4002;
constexpr uint16_t SET_THD_LVL = 0x4004;
constexpr uint16_t GET_THD_LVL = 0x4005;
constexpr uint16_t SET_XAXIS_FIL = 0x4006;
constexpr uint16_t SET_ALERT_LVL = 0x4008;
constexpr uint16_t GET_PROF_ADDR = 0x400B;
constexpr uint16_t SET_PROF_TILT = 0x4010;
constexpr uint16_t SET_PROF_MOD = 0x4013;
constexpr uint16_t SET_HCORRECT = 0x4015;
constexpr uint16_t SET_VCORRECT = 0x4017;
constexpr uint16_t SET_TILTCOR_POS = 0x4019;
constexpr uint16_t SET_PROF_MST = 0x401B;
constexpr uint16_t GET_PROF_CORR = 0x401D;
// areas and calculations
constexpr uint16_t SET_AREA_MOD = 0x6000;
constexpr uint16_t AREA_RECT = 0x6002;
constexpr uint16_t SET_AREA_INFL = 0x6004;
constexpr uint16_t GET_AREA_STAT = 0x600C;
constexpr uint16_t SET_AREA_DIR = 0x600D;
constexpr uint16_t SET_AREA_SDR = 0x600F;
constexpr uint16_t SET_AREA_CMP = 0x6011;
constexpr uint16_t SET_CAL_A = 0x8002;
constexpr uint16_t SET_CAL_B = 0x8004;
constexpr uint16_t SET_CAL_CMD = 0x8006;
constexpr uint16_t SET_CAL_SPAN = 0x8012;
constexpr uint16_t SET_CAL_AVG = 0x8014;
constexpr uint16_t SET_CAL_HLD = 0x8016;
constexpr uint16_t GET_MEAS = 0x801A;
// outputs and inputs
constexpr uint16_t SET_GPIO_OMODE = 0xA000;
constexpr uint16_t SET_LASER = 0xA002;
constexpr uint16_t GET_LASER = 0xA003;
constexpr uint16_t SET_GPIO_OPOLAR = 0xA004;
constexpr uint16_t SET_GPIO_ONT = 0xA006;
constexpr uint16_t SET_GPIO_OTIME = 0xA008;
constexpr uint16_t SET_GPIO_ULMT = 0xA00A;
constexpr uint16_t SET_GPIO_LLMT = 0xA00C;
constexpr uint16_t SET_GPIO_INCH = 0xA00E;
constexpr uint16_t GET_GPIO_OUT = 0xA010;
constexpr uint16_t ZERO_SET = 0xA011;
constexpr uint16_t ZERO_CLR = 0xA012;
constexpr uint16_t SET_SHIFT_ZERO = 0xA013;
constexpr uint16_t SET_HOLD_STATE = 0xA015;
constexpr uint16_t GET_HOLD_STATE = 0xA016;
constexpr uint16_t GET_OUT_VAL = 0xA017;
constexpr uint16_t SET_GPIO_HYS = 0xA018;
constexpr uint16_t GET_ZERO_STATE = 0xA01A;
constexpr uint16_t GET_ANA_VAL = 0xA01B;
constexpr uint16_t SET_GPIO_IMODE = 0xC000;
constexpr uint16_t SET_GPIO_IFILL = 0xC003;
constexpr uint16_t SET_INT_TRIG = 0xC005;
constexpr uint16_t GET_INT_TRIG = 0xC006;
constexpr uint16_t SET_GPIO_ZOUT = 0xC007;
constexpr uint16_t RUN_RESET = 0xC009;
constexpr uint16_t SET_GPIO_IPOLAR = 0xC00A;
// storage
constexpr uint16_t GET_STR_COUNT2 = 0xC00C;
constexpr uint16_t GET_STR_ADDR = 0xC00D;
constexpr uint16_t STR_RUN = 0xC00E;
constexpr uint16_t GET_STR_RUN = 0xC00F;
constexpr uint16_t GET_STR_COUNT = 0xC010;
constexpr uint16_t GET_STR_STATE = 0xC011;
constexpr uint16_t SET_STR_BUF = 0xC012;
constexpr uint16_t GET_STR_BUF = 0xC013;
constexpr uint16_t SET_STR_STT = 0xC014;
constexpr uint16_t GET_STR_STT = 0xC015;
constexpr uint16_t SET_STR_STL = 0xC016;
constexpr uint16_t GET_STR_STL = 0xC017;
constexpr uint16_t SET_STR_STC = 0xC018;
constexpr uint16_t GET_STR_STC = 0xC019;
constexpr uint16_t SET_STR_THD = 0xC01A;
constexpr uint16_t GET_STR_THD = 0xC01B;
constexpr uint16_t SET_STR_SMP = 0xC01C;
constexpr uint16_t GET_STR_SMP = 0xC01D;
constexpr uint16_t SET_STR_RPT = 0xC01E;
constexpr uint16_t GET_STR_RPT = 0xC01F;
}  // namespace cmd

// One catalogue entry. request: the payload shape as written in the catalogue
// ("" none, "b", "w", "l", "(b,w)", ...); replyBytes: payload bytes of the reply
// (0 none, -1 variable).
struct CatalogueEntry {
    std::string_view name;
    uint16_t code;
    std::string_view request;
    int replyBytes;
};

std::span<const CatalogueEntry> CommandCatalogue();
std::optional<CatalogueEntry> FindCommand(std::string_view name);  // exact name
std::optional<CatalogueEntry> FindCommand(uint16_t code);
// The name of a code, or "cmd%04X" for a code the catalogue does not know.
std::string CommandName(uint16_t code);

// Payload builders. Every word is big-endian; each builder checks its range and
// throws EKestError for a value that does not fit its shape.
class Payload {
  public:
    Payload& B(int value);       // high byte 0, low byte 0..255
    Payload& W(int value);       // -32768..65535 as a 16-bit word
    Payload& L(int64_t value);   // -2^31..2^32-1 as 32 bits, most significant byte first
    Payload& Raw(uint8_t byte);  // a single byte (frames that carry bytes, not words)
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    const uint8_t* Data() const { return bytes_.data(); }
    int Size() const { return static_cast<int>(bytes_.size()); }

  private:
    std::vector<uint8_t> bytes_;
};
std::vector<uint8_t> PayloadB(int value);
std::vector<uint8_t> PayloadW(int value);
std::vector<uint8_t> PayloadL(int64_t value);
// (x, y): the number first (as b), then the value as b or w.
std::vector<uint8_t> PayloadXY(int number, int value, bool valueIsWord);

// Memory transfer modes.
constexpr uint16_t kModeWords = 0x111;   // words, stride 1, byte swap
constexpr uint16_t kModeMaster = 0x121;  // 32-bit elements, stride 1, byte swap
constexpr uint16_t kModeThumb = 0x118;   // every 8th word, byte swap
constexpr uint16_t kModeWrite = 0x100;   // host words swapped onto the wire
constexpr uint16_t kModeSwap16 = 0x100;  // swap the bytes of every 16-bit word
constexpr uint16_t kModeSwap32 = 0x200;  // reverse the bytes of every 32-bit group
constexpr uint16_t ProfileModeWide(int step) {
    return static_cast<uint16_t>(0x110 + step);
}
constexpr uint16_t ProfileModeNormal(int step) {
    return static_cast<uint16_t>(0x120 + step);
}
// Element size in 16-bit words (bits 4-7, 0 meaning 1).
int ModeElementWords(uint16_t mode);
// The mode byte that travels in a read frame: the low 8 bits, 0 sent as 1.
uint8_t ModeWireByte(uint16_t mode);
// Converts 2*words bytes between wire and host order as the mode says (in place).
void ModeConvert(uint16_t mode, uint8_t* bytes, size_t words);

// MEM_READ / MEM_READ_WIDE request payload: address, count byte, mode byte.
// count = words / element size (wide: / (element size * 4)).
std::vector<uint8_t> MemReadPayload(uint32_t address, int count, uint16_t mode);

// AREA_RECT: edges ordered (0 smaller, 1 larger) and clamped, in micrometres.
struct AreaRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool operator==(const AreaRect&) const = default;
};
AreaRect OrderAndClampAreaRect(int xa, int ya, int xb, int yb);
// The five words: area, y0 >> 1, x0 >> 1, y1 >> 1, x1 >> 1.
std::vector<uint8_t> AreaRectPayload(int area, const AreaRect& rect);

// SET_CAM_RECT / GET_CAM_RECT: the camera window in sensor pixels.
struct CamRect {
    int left = 0, top = 0, height = 0, width = 0;
    bool operator==(const CamRect&) const = default;
};
// Four b words: top / 8, left / 8, height / 8, width / 8.
std::vector<uint8_t> CamRectPayload(const CamRect& rect);
// From the 8 reply bytes of GET_CAM_RECT (same word order, low byte x 8).
CamRect CamRectFromReply(std::span<const uint8_t> reply);

}  // namespace kd
