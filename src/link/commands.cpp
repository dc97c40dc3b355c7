#include "link/commands.h"

#include <algorithm>
#include <array>

#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

namespace {

#define KD_CMD(name, request, reply)     \
    CatalogueEntry {                     \
#name, cmd::name, request, reply \
    }
constexpr std::array kCatalogue = {
    KD_CMD(NULL_CMD, "", 0),
    KD_CMD(MEM_WRITE, "l address, n words", 0),
    KD_CMD(MEM_READ, "l address, count byte, mode byte", -1),
    KD_CMD(EPM_WRITE, "0x01 bank", 0),
    KD_CMD(SET_BANK, "b", 0),
    KD_CMD(EEPROM_INIT, "w", 0),
    KD_CMD(GET_VERSION, "", 6),
    KD_CMD(SYS_UPDATE, "", 0),
    KD_CMD(GET_STATUS, "", 2),
    KD_CMD(SET_SYS_MODE, "b", 0),
    KD_CMD(BCHG_MTH, "b", 0),
    KD_CMD(MASK_WRITE, "", 0),
    KD_CMD(MST_WRITE, "b", 0),
    KD_CMD(GET_MST_ADDR, "b", 4),
    KD_CMD(SET_SYS_DIR, "b", 0),
    KD_CMD(MEM_READ_WIDE, "l address, count byte, mode byte", -1),
    KD_CMD(SET_CAM_RECT, "b b b b", 0),
    KD_CMD(GET_CAM_RECT, "", 8),
    KD_CMD(SET_SNS, "w", 0),
    KD_CMD(GET_SNS, "", 2),
    KD_CMD(SET_TMD, "b", 0),
    KD_CMD(CAM_STOP, "", 0),
    KD_CMD(CAM_STARAT, "", 0),
    KD_CMD(SET_SHUTT0, "w", 0),
    KD_CMD(GET_SHUTT0, "", 2),
    KD_CMD(SET_SHUTT1, "w", 0),
    KD_CMD(GET_SHUTT1, "", 2),
    KD_CMD(SET_PCNT, "w", 0),
    KD_CMD(SET_TDLY, "w", 0),
    KD_CMD(GET_SMP_RATE, "", 2),
    KD_CMD(GET_IMG_NO, "", 4),
    KD_CMD(GET_IMG_ADDR, "l", 4),
    KD_CMD(GET_AE_STATE, "", 2),
    KD_CMD(RUN_AE, "", 0),
    KD_CMD(CAM_FUNC, "w", 0),
    KD_CMD(GET_CAM_FUNC, "", 2),
    KD_CMD(SET_CUT_LVL, "w", 0),
    KD_CMD(GET_CUT_LVL, "", 2),
    KD_CMD(SET_PRF_FUNC, "b", 0),
    KD_CMD(SET_THD_LVL, "w", 0),
    KD_CMD(GET_THD_LVL, "", 2),
    KD_CMD(SET_XAXIS_FIL, "b", 0),
    KD_CMD(SET_ALERT_LVL, "b", 0),
    KD_CMD(GET_PROF_ADDR, "", 4),
    KD_CMD(SET_PROF_TILT, "b", 0),
    KD_CMD(SET_PROF_MOD, "b", 0),
    KD_CMD(SET_HCORRECT, "w", 0),
    KD_CMD(SET_VCORRECT, "w", 0),
    KD_CMD(SET_TILTCOR_POS, "w", 0),
    KD_CMD(SET_PROF_MST, "", 0),
    KD_CMD(GET_PROF_CORR, "", 6),
    KD_CMD(SET_AREA_MOD, "(b, b)", 0),
    KD_CMD(AREA_RECT, "w w w w w", 0),
    KD_CMD(SET_AREA_INFL, "(b, w)", 0),
    KD_CMD(GET_AREA_STAT, "b", 2),
    KD_CMD(SET_AREA_DIR, "(b, b)", 0),
    KD_CMD(SET_AREA_SDR, "(b, b)", 0),
    KD_CMD(SET_AREA_CMP, "(b, b)", 0),
    KD_CMD(SET_CAL_A, "(b, b)", 0),
    KD_CMD(SET_CAL_B, "(b, b)", 0),
    KD_CMD(SET_CAL_CMD, "(b, b)", 0),
    KD_CMD(SET_CAL_SPAN, "(b, w)", 0),
    KD_CMD(SET_CAL_AVG, "(b, w)", 0),
    KD_CMD(SET_CAL_HLD, "(b, b)", 0),
    KD_CMD(GET_MEAS, "b", 4),
    KD_CMD(SET_GPIO_OMODE, "(b, b)", 0),
    KD_CMD(SET_LASER, "b", 0),
    KD_CMD(GET_LASER, "", 2),
    KD_CMD(SET_GPIO_OPOLAR, "(b, b)", 0),
    KD_CMD(SET_GPIO_ONT, "b", 0),
    KD_CMD(SET_GPIO_OTIME, "(b, w)", 0),
    KD_CMD(SET_GPIO_ULMT, "(b, w)", 0),
    KD_CMD(SET_GPIO_LLMT, "(b, w)", 0),
    KD_CMD(SET_GPIO_INCH, "(b, b)", 0),
    KD_CMD(GET_GPIO_OUT, "", 2),
    KD_CMD(ZERO_SET, "b", 0),
    KD_CMD(ZERO_CLR, "b", 0),
    KD_CMD(SET_SHIFT_ZERO, "(b, w)", 0),
    KD_CMD(SET_HOLD_STATE, "b", 0),
    KD_CMD(GET_HOLD_STATE, "", 2),
    KD_CMD(GET_OUT_VAL, "b", 4),
    KD_CMD(SET_GPIO_HYS, "(b, w)", 0),
    KD_CMD(GET_ZERO_STATE, "b", 2),
    KD_CMD(GET_ANA_VAL, "b", 4),
    KD_CMD(SET_GPIO_IMODE, "(b, b)", 0),
    KD_CMD(SET_GPIO_IFILL, "w", -1),
    KD_CMD(SET_INT_TRIG, "b", 0),
    KD_CMD(GET_INT_TRIG, "", 2),
    KD_CMD(SET_GPIO_ZOUT, "w", -1),
    KD_CMD(RUN_RESET, "", 0),
    KD_CMD(SET_GPIO_IPOLAR, "b", 0),
    KD_CMD(GET_STR_COUNT2, "", 2),
    KD_CMD(GET_STR_ADDR, "", 8),
    KD_CMD(STR_RUN, "b", 0),
    KD_CMD(GET_STR_RUN, "", 2),
    KD_CMD(GET_STR_COUNT, "", 2),
    KD_CMD(GET_STR_STATE, "", 2),
    KD_CMD(SET_STR_BUF, "w", 0),
    KD_CMD(GET_STR_BUF, "", 2),
    KD_CMD(SET_STR_STT, "w", 0),
    KD_CMD(GET_STR_STT, "", 2),
    KD_CMD(SET_STR_STL, "w", 0),
    KD_CMD(GET_STR_STL, "", 2),
    KD_CMD(SET_STR_STC, "w", 0),
    KD_CMD(GET_STR_STC, "", 2),
    KD_CMD(SET_STR_THD, "l", 0),
    KD_CMD(GET_STR_THD, "", 4),
    KD_CMD(SET_STR_SMP, "w", 0),
    KD_CMD(GET_STR_SMP, "", 2),
    KD_CMD(SET_STR_RPT, "w", 0),
    KD_CMD(GET_STR_RPT, "", 2),
};
#undef KD_CMD

void PushWord(std::vector<uint8_t>& out, uint16_t w) {
    out.push_back(static_cast<uint8_t>(w >> 8));
    out.push_back(static_cast<uint8_t>(w & 0xFF));
}

}  // namespace

std::span<const CatalogueEntry> CommandCatalogue() {
    return kCatalogue;
}

std::optional<CatalogueEntry> FindCommand(std::string_view name) {
    for (const auto& c : kCatalogue)
        if (c.name == name) return c;
    return std::nullopt;
}

std::optional<CatalogueEntry> FindCommand(uint16_t code) {
    for (const auto& c : kCatalogue)
        if (c.code == code) return c;
    return std::nullopt;
}

std::string CommandName(uint16_t code) {
    if (auto c = FindCommand(code)) return std::string(c->name);
    return Format("cmd%04X", code);
}

Payload& Payload::B(int value) {
    if (value < 0 || value > 255)
        throw EKestError(Format("value %d does not fit a byte word (0..255)", value));
    PushWord(bytes_, static_cast<uint16_t>(value));
    return *this;
}

Payload& Payload::W(int value) {
    if (value < -32768 || value > 65535)
        throw EKestError(Format("value %d does not fit a 16-bit word", value));
    PushWord(bytes_, static_cast<uint16_t>(value));
    return *this;
}

Payload& Payload::L(int64_t value) {
    if (value < INT32_MIN || value > static_cast<int64_t>(UINT32_MAX))
        throw EKestError(Format("value %lld does not fit 32 bits", static_cast<long long>(value)));
    const auto v = static_cast<uint32_t>(value);
    PushWord(bytes_, static_cast<uint16_t>(v >> 16));
    PushWord(bytes_, static_cast<uint16_t>(v & 0xFFFF));
    return *this;
}

Payload& Payload::Raw(uint8_t byte) {
    bytes_.push_back(byte);
    return *this;
}

std::vector<uint8_t> PayloadB(int value) {
    return Payload().B(value).Bytes();
}
std::vector<uint8_t> PayloadW(int value) {
    return Payload().W(value).Bytes();
}
std::vector<uint8_t> PayloadL(int64_t value) {
    return Payload().L(value).Bytes();
}
std::vector<uint8_t> PayloadXY(int number, int value, bool valueIsWord) {
    Payload p;
    p.B(number);
    if (valueIsWord)
        p.W(value);
    else
        p.B(value);
    return p.Bytes();
}

int ModeElementWords(uint16_t mode) {
    int e = (mode >> 4) & 0x0F;
    return e == 0 ? 1 : e;
}

uint8_t ModeWireByte(uint16_t mode) {
    uint8_t b = static_cast<uint8_t>(mode & 0xFF);
    return b == 0 ? 1 : b;
}

void ModeConvert(uint16_t mode, uint8_t* bytes, size_t words) {
    if (mode & kModeSwap16)
        for (size_t i = 0; i < words; ++i) std::swap(bytes[2 * i], bytes[2 * i + 1]);
    if (mode & kModeSwap32)
        for (size_t i = 0; i + 1 < words; i += 2) std::reverse(bytes + 2 * i, bytes + 2 * i + 4);
}

std::vector<uint8_t> MemReadPayload(uint32_t address, int count, uint16_t mode) {
    if (count < 0 || count > 255) throw EKestError(Format("block count %d out of range", count));
    std::vector<uint8_t> p;
    PushWord(p, static_cast<uint16_t>(address >> 16));
    PushWord(p, static_cast<uint16_t>(address & 0xFFFF));
    p.push_back(static_cast<uint8_t>(count));
    p.push_back(ModeWireByte(mode));
    return p;
}

AreaRect OrderAndClampAreaRect(int xa, int ya, int xb, int yb) {
    AreaRect r;
    r.x0 = std::clamp(std::min(xa, xb), -14998, 14934);
    r.x1 = std::clamp(std::max(xa, xb), -14934, 14998);
    r.y0 = std::clamp(std::min(ya, yb), -27998, 27934);
    r.y1 = std::clamp(std::max(ya, yb), -27934, 27998);
    return r;
}

std::vector<uint8_t> AreaRectPayload(int area, const AreaRect& rect) {
    // >> on a negative int halves toward minus infinity (arithmetic shift).
    return Payload()
        .W(area)
        .W(rect.y0 >> 1)
        .W(rect.x0 >> 1)
        .W(rect.y1 >> 1)
        .W(rect.x1 >> 1)
        .Bytes();
}

std::vector<uint8_t> CamRectPayload(const CamRect& rect) {
    return Payload().B(rect.top / 8).B(rect.left / 8).B(rect.height / 8).B(rect.width / 8).Bytes();
}

CamRect CamRectFromReply(std::span<const uint8_t> reply) {
    CamRect r;
    if (reply.size() < 8) throw EKestError("GET_CAM_RECT reply too short");
    r.top = reply[1] * 8;
    r.left = reply[3] * 8;
    r.height = reply[5] * 8;
    r.width = reply[7] * 8;
    return r;
}

}  // namespace kd
