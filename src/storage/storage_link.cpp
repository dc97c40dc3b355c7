#include "storage/storage_link.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/clock.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "link/kest_thread.h"
#include "params/param_key.h"

namespace kd {

namespace {

// 253 records are 4048 words: four whole wide reads of 1012 words, with no
// short read left over to pay a round trip for a few words.
constexpr int kRecordsPerBlock = 253;

uint32_t Be32(const std::vector<uint8_t>& r, size_t at) {
    if (r.size() < at + 4) throw ECommErrShort("short reply");
    return (uint32_t(r[at]) << 24) | (uint32_t(r[at + 1]) << 16) | (uint32_t(r[at + 2]) << 8) |
           r[at + 3];
}

int Be16(const std::vector<uint8_t>& r) {
    if (r.size() < 2) throw ECommErrShort("short reply");
    return (r[0] << 8) | r[1];
}

std::vector<uint8_t> Word(int v) {
    return {uint8_t((v >> 8) & 0xFF), uint8_t(v & 0xFF)};
}

std::vector<uint8_t> Long(int32_t v) {
    const auto u = uint32_t(v);
    return {uint8_t(u >> 24), uint8_t(u >> 16), uint8_t(u >> 8), uint8_t(u)};
}

void SendLogged(TStorageIo& io, uint16_t code, const std::vector<uint8_t>& payload,
                const char* format, int value) {
    io.Command(code, payload);
    WriteLog(kLogPlain, format, value);
}

// Fills in rate and time left.
TFetchProgress Measure(int done, int total, double bytes, double bytesPerItem, uint32_t startMs) {
    TFetchProgress p;
    p.Done = done;
    p.Total = total;
    p.Bytes = bytes;
    p.ElapsedMs = TickMs() - startMs;
    const double s = p.ElapsedMs / 1000.0;
    if (s > 0) {
        p.RateKBs = bytes / 1000.0 / s;
        const double perSecond = bytes / s;
        if (perSecond > 0) p.SecondsLeft = (total - done) * bytesPerItem / perSecond;
    }
    return p;
}

}  // namespace

TStorageIo StorageIoOf(TKestThread& thread) {
    TStorageIo io;
    io.Command = [&thread](uint16_t code, std::span<const uint8_t> payload) {
        return thread.CommandReply(code, payload);
    };
    io.MemRead = [&thread](void* b, uint32_t a, uint16_t m, int w) { thread.MemRead(b, a, m, w); };
    io.FetchProfile = StoredProfileFetch(io.MemRead);
    return io;
}

std::function<int(uint32_t, std::span<uint16_t>)> StoredProfileFetch(
    std::function<void(void*, uint32_t, uint16_t, int)> memRead) {
    constexpr uint16_t kMode = 0x111;  // words, step 1
    auto guess = std::make_shared<int>(252);
    return [memRead = std::move(memRead), guess](uint32_t address, std::span<uint16_t> buffer) {
        auto wholeUnits = [](int words) { return (words + 3) & ~3; };
        const int capacity = int(std::min<size_t>(buffer.size(), 4096)) & ~3;
        if (capacity < 4) throw ECommError("illegal profile size");
        const int first =
            std::clamp(wholeUnits(*guess), 4, std::min(capacity, int(kStoredProfileStride)));
        memRead(buffer.data(), address, kMode, first);
        const int count = buffer[0] >> 5;
        const int total = 2 * count + 2;
        if (count > kProfilePoints || total > capacity) throw ECommError("illegal profile size");
        if (total > first) {
            const int rest = std::min(wholeUnits(total - first), capacity - first);
            memRead(buffer.data() + first, address + uint32_t(first), kMode, rest);
        }
        *guess = total;
        // Trailing points whose two words are both 0 are not points.
        int kept = count;
        while (kept > 0 && buffer[size_t(2 * kept)] == 0 && buffer[size_t(2 * kept + 1)] == 0)
            --kept;
        return kept;
    };
}

TStorageStatus QueryStorageStatus(TStorageIo& io, const TSensorVersion& version) {
    TStorageStatus s;
    s.State = Be16(io.Command(cmd::GET_STR_STATE, {}));
    s.Run = Be16(io.Command(cmd::GET_STR_RUN, {})) & 0xFF;
    s.Count = Be16(io.Command(cmd::GET_STR_COUNT, {}));
    if (version.Soft > 75) s.Count2 = Be16(io.Command(cmd::GET_STR_COUNT2, {}));
    return s;
}

void QueryStorageRun(TStorageIo& io, TStorageStatus& s) {
    s.State = Be16(io.Command(cmd::GET_STR_STATE, {}));
    s.Run = Be16(io.Command(cmd::GET_STR_RUN, {})) & 0xFF;
}

int ShownStorageCount(const TStorageStatus& s, int repeatMode, const TSensorVersion& version,
                      bool profilePage) {
    const bool second = profilePage ? version.Soft >= 75 : version.Soft > 75;
    if (second && s.State != 0 && repeatMode == 2) return s.Count + s.Count2;
    return s.Count;
}

int QueryStorageBuf(TStorageIo& io) {
    return Be16(io.Command(cmd::GET_STR_BUF, {}));
}

TStorageSettings StorageSettingsOf(const TKestParam& image, const TSensorVersion& version) {
    TStorageSettings s;
    s.Buf = image.GetSys(pk::StrBuf);
    s.Stt = image.GetSys(pk::StrStt);
    s.Stl = image.GetSysSigned(pk::StrStl);
    s.Stc = image.GetSys(pk::StrStc);
    s.Thd = image.GetSys(pk::StrThd);
    s.Smp = image.GetSys(pk::StrSmp);
    s.Rpt = image.GetSys(TwoStateRepeat(version) ? pk::StrRpt : pk::StrRpt3);
    return s;
}

void WriteStorageSettings(TKestParam& image, const TSensorVersion& version,
                          const TStorageSettings& s) {
    image.SetSys(pk::StrBuf, s.Buf);
    image.SetSys(pk::StrStt, s.Stt);
    image.SetSys(pk::StrStl, s.Stl);
    image.SetSys(pk::StrStc, s.Stc);
    image.SetSys(pk::StrThd, s.Thd);
    image.SetSys(pk::StrSmp, s.Smp);
    image.SetSys(TwoStateRepeat(version) ? pk::StrRpt : pk::StrRpt3, s.Rpt);
}

void StartStorage(TStorageIo& io, const TStorageSettings& s, int target) {
    SendLogged(io, cmd::SET_STR_BUF, Word(s.Buf), "SET_STR_BUF(%d)", s.Buf);
    SendLogged(io, cmd::SET_STR_STT, Word(s.Stt), "SET_STR_STT(%d)", s.Stt);
    SendLogged(io, cmd::SET_STR_STL, Word(s.Stl), "SET_STR_STL(%d)", s.Stl);
    SendLogged(io, cmd::SET_STR_STC, Word(s.Stc), "SET_STR_STC(%d)", s.Stc);
    SendLogged(io, cmd::SET_STR_THD, Long(s.Thd), "SET_STR_THD(%d)", s.Thd);
    SendLogged(io, cmd::SET_STR_SMP, Word(s.Smp), "SET_STR_SMP(%d)", s.Smp);
    SendLogged(io, cmd::SET_STR_RPT, Word(s.Rpt), "SET_STR_RPT(%d)", s.Rpt);
    io.Command(cmd::STR_RUN, Word(target));
    WriteLog(kLogPlain, target == 2 ? "STRAGE: prof&displ start" : "STRAGE: displ only start");
}

void StopStorage(TStorageIo& io) {
    io.Command(cmd::STR_RUN, Word(0));
    WriteLog(kLogPlain, "STRAGE; stop");
}

TFetchOutcome FetchStoredRecords(TStorageIo& io, TRecordSet& set, int startPos,
                                 const TFetchProgressFn& progress) {
    TFetchOutcome out;
    const uint32_t start = TickMs();
    const uint32_t address = Be32(io.Command(cmd::GET_STR_ADDR, {}), 0);
    const int n = Be16(io.Command(cmd::GET_STR_COUNT, {}));
    out.Total = n;
    if (n == 0) return out;
    std::vector<uint16_t> words(size_t(n) * kRecordWords);
    int done = 0;
    try {
        while (done < n) {
            const int k = std::min(kRecordsPerBlock, n - done);
            io.MemRead(words.data() + size_t(done) * kRecordWords,
                       address + uint32_t(done) * kRecordWords, 0x111, k * kRecordWords);
            done += k;
            if (progress && !progress(Measure(done, n, done * 32.0, 32.0, start)) && done < n) {
                out.Aborted = true;
                break;
            }
        }
    } catch (const ECommError& e) {
        out.Error = e.what();
    }
    set.Fill(words, done, startPos);
    out.Done = done;
    out.ElapsedMs = TickMs() - start;
    return out;
}

TFetchOutcome FetchStoredProfiles(TStorageIo& io, TProfileSet& set,
                                  const TFetchProgressFn& progress) {
    TFetchOutcome out;
    const uint32_t start = TickMs();
    set.Clear();
    const auto addr = io.Command(cmd::GET_STR_ADDR, {});
    if (addr.size() < 7) throw ECommErrShort("short reply");
    uint32_t address =
        (uint32_t(addr[4]) << 24) | (uint32_t(addr[5]) << 16) | (uint32_t(addr[6]) << 8);
    const int n = Be16(io.Command(cmd::GET_STR_COUNT, {}));
    WriteLog(kLogPlain, "storage addr 0x%08X, count %d", address, n);
    out.Total = n;
    if (n == 0) return out;
    std::vector<uint16_t> buffer(2 * kProfilePoints + 4);
    double bytes = 0;
    try {
        for (int i = 0; i < n; ++i) {
            const int count = io.FetchProfile(address, buffer);
            set.AddFetched(buffer, count);
            bytes += (2.0 * count + 2) * 2;
            address += kStoredProfileStride;
            out.Done = i + 1;
            if (progress && !progress(Measure(i + 1, n, bytes, bytes / (i + 1), start)) &&
                i + 1 < n) {
                out.Aborted = true;
                break;
            }
        }
    } catch (const ECommError& e) {
        out.Error = e.what();
    }
    set.ComputeTimes();
    out.ElapsedMs = TickMs() - start;
    WriteLog(kLogPlain, "recv prof storage: %dmsec", int(out.ElapsedMs));
    return out;
}

std::string ProgressText(const TFetchProgress& p, const char* what) {
    const int left = int(p.SecondsLeft + 0.5);
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d/%d %s  %.1f kB/s  %d:%02d left", p.Done, p.Total, what,
                  p.RateKBs, left / 60, left % 60);
    return buf;
}

}  // namespace kd
