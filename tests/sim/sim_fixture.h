#pragma once
// A simulated sensor on its pseudo-terminal with a deterministic clock, and a
// client on the program's side.
#include <gtest/gtest.h>

#include <memory>

#include "sim/sim_sensor.h"
#include "sim_client.h"

namespace simtest {

// Command codes used by the tests.
enum : uint16_t {
    kNull = 0x0000,
    kMemWrite = 0x0001,
    kMemRead = 0x0002,
    kEpmWrite = 0x0005,
    kSetBank = 0x0006,
    kEepromInit = 0x0008,
    kGetVersion = 0x0009,
    kSysUpdate = 0x000A,
    kGetStatus = 0x000D,
    kSetSysMode = 0x0011,
    kBchgMth = 0x0012,
    kMaskWrite = 0x0014,
    kMstWrite = 0x0016,
    kGetMstAddr = 0x0017,
    kSetSysDir = 0x0018,
    kMemReadWide = 0x001A,
    kSetCamRect = 0x2000,
    kGetCamRect = 0x2001,
    kSetSns = 0x2002,
    kGetSns = 0x2003,
    kSetTmd = 0x2006,
    kCamStop = 0x200C,
    kCamStart = 0x200D,
    kSetShutt0 = 0x200E,
    kGetShutt0 = 0x200F,
    kSetShutt1 = 0x2010,
    kGetShutt1 = 0x2011,
    kSetPcnt = 0x2012,
    kSetTdly = 0x2014,
    kGetSmpRate = 0x2016,
    kGetImgNo = 0x2017,
    kGetImgAddr = 0x2018,
    kGetAeState = 0x2019,
    kRunAe = 0x201A,
    kCamFunc = 0x201B,
    kGetCamFunc = 0x201C,
    kSetCutLvl = 0x4000,
    kGetCutLvl = 0x4001,
    kSetPrfFunc = 0x4002,
    kSetThdLvl = 0x4004,
    kGetThdLvl = 0x4005,
    kSetXaxisFil = 0x4006,
    kSetAlertLvl = 0x4008,
    kGetProfAddr = 0x400B,
    kSetProfTilt = 0x4010,
    kSetProfMod = 0x4013,
    kSetHcorrect = 0x4015,
    kSetVcorrect = 0x4017,
    kSetTiltcorPos = 0x4019,
    kSetProfMst = 0x401B,
    kGetProfCorr = 0x401D,
    kSetAreaMod = 0x6000,
    kAreaRect = 0x6002,
    kSetAreaInfl = 0x6004,
    kGetAreaStat = 0x600C,
    kSetAreaDir = 0x600D,
    kSetAreaSdr = 0x600F,
    kSetAreaCmp = 0x6011,
    kSetCalA = 0x8002,
    kSetCalB = 0x8004,
    kSetCalCmd = 0x8006,
    kSetCalSpan = 0x8012,
    kSetCalAvg = 0x8014,
    kSetCalHld = 0x8016,
    kGetMeas = 0x801A,
    kSetGpioOmode = 0xA000,
    kSetLaser = 0xA002,
    kGetLaser = 0xA003,
    kSetGpioOpolar = 0xA004,
    kSetGpioOnt = 0xA006,
    kSetGpioOtime = 0xA008,
    kSetGpioUlmt = 0xA00A,
    kSetGpioLlmt = 0xA00C,
    kSetGpioInch = 0xA00E,
    kGetGpioOut = 0xA010,
    kZeroSet = 0xA011,
    kZeroClr = 0xA012,
    kSetShiftZero = 0xA013,
    kSetHoldState = 0xA015,
    kGetHoldState = 0xA016,
    kGetOutVal = 0xA017,
    kSetGpioHys = 0xA018,
    kGetZeroState = 0xA01A,
    kGetAnaVal = 0xA01B,
    kSetGpioImode = 0xC000,
    kSetGpioIfill = 0xC003,
    kSetIntTrig = 0xC005,
    kGetIntTrig = 0xC006,
    kSetGpioZout = 0xC007,
    kRunReset = 0xC009,
    kSetGpioIpolar = 0xC00A,
    kGetStrCount2 = 0xC00C,
    kGetStrAddr = 0xC00D,
    kStrRun = 0xC00E,
    kGetStrRun = 0xC00F,
    kGetStrCount = 0xC010,
    kGetStrState = 0xC011,
    kSetStrBuf = 0xC012,
    kGetStrBuf = 0xC013,
    kSetStrStt = 0xC014,
    kGetStrStt = 0xC015,
    kSetStrStl = 0xC016,
    kGetStrStl = 0xC017,
    kSetStrStc = 0xC018,
    kGetStrStc = 0xC019,
    kSetStrThd = 0xC01A,
    kGetStrThd = 0xC01B,
    kSetStrSmp = 0xC01C,
    kGetStrSmp = 0xC01D,
    kSetStrRpt = 0xC01E,
    kGetStrRpt = 0xC01F,
};

constexpr uint16_t kErrCmd = 0xE001, kErrData = 0xE002, kErrShort = 0xE003, kErrBcc = 0xE004,
                   kErrExe = 0xE008;

struct Sim {
    explicit Sim(kdsim::SimOptions o = {}) {
        if (o.frameUs == 0) o.frameUs = 1;  // the clock hardly moves: only injected profiles count
        sensor = std::make_unique<kdsim::SimSensor>(o);
        path = sensor->Start();
        client = std::make_unique<Client>(path);
    }
    Reply Call(uint16_t cmd, std::initializer_list<uint16_t> words) {
        return client->Call(cmd, words);
    }
    Reply Call(uint16_t cmd, const std::vector<uint8_t>& payload = {}) {
        return client->Call(cmd, payload);
    }
    // Lets the sensor's clock run on by us microseconds.
    void Run(uint64_t us) {
        sensor->WithModel([us](kdsim::SensorModel& m) { m.Advance(m.Now() + us); });
    }
    void Inject(const std::vector<kdsim::ProfilePt>& p) {
        sensor->WithModel([&](kdsim::SensorModel& m) { m.InjectProfile(p); });
    }
    // A flat profile at height z across the whole range (or no line at all).
    void InjectFlat(int z) {
        std::vector<kdsim::ProfilePt> p;
        for (int x = -14900; x <= 14900; x += 100) p.push_back({x, z});
        Inject(p);
    }
    int32_t Raw(kdsim::Fld f, int index = 0, int bank = -1) {
        int32_t v = 0;
        sensor->WithModel([&](kdsim::SensorModel& m) {
            v = kdsim::GetRaw(m.Params(), f, bank < 0 ? m.CurrentBank() : bank, index);
        });
        return v;
    }
    std::unique_ptr<kdsim::SimSensor> sensor;
    std::string path;
    std::unique_ptr<Client> client;
};

inline kdsim::SimOptions Version(uint16_t f, uint16_t b, uint16_t s) {
    kdsim::SimOptions o;
    o.version = {f, b, s};
    return o;
}

}  // namespace simtest
