#pragma once
// The storage commands as the pages and kdctl use them: status, start and
// stop with the settings sent first, and the two downloads with progress,
// transfer rate, time left and abort at any block.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "params/kest_param.h"
#include "params/sensor_version.h"
#include "storage/profile_set.h"
#include "storage/record_set.h"

namespace kd {

class TKestThread;

// What the storage needs of the link; failures are thrown as the
// communication exceptions.
struct TStorageIo {
    std::function<std::vector<uint8_t>(uint16_t code, std::span<const uint8_t> payload)> Command;
    std::function<void(void* buffer, uint32_t address, uint16_t mode, int words)> MemRead;
    std::function<int(uint32_t address, std::span<uint16_t> buffer)> FetchProfile;
};
TStorageIo StorageIoOf(TKestThread& thread);

// A stored-profile fetch over MemRead that asks, for each profile, for as
// many words as the profile before it had (in whole wide units, inside the
// profile's slot), so that a recording of profiles of like length arrives
// in one read a profile; a longer one gets its rest in a second read. The
// header's point count is checked as FetchProfile checks it ("illegal
// profile size"), and trailing all-zero points are dropped. Returns the
// point count.
std::function<int(uint32_t address, std::span<uint16_t> buffer)> StoredProfileFetch(
    std::function<void(void* buffer, uint32_t address, uint16_t mode, int words)> memRead);

struct TStorageStatus {
    int State = 0;
    int Run = 0;  // the running byte
    int Count = 0;
    int Count2 = 0;
};
// The data storage page's poll: GET_STR_STATE, GET_STR_RUN, GET_STR_COUNT
// and, for software above 75, GET_STR_COUNT2. ECommErrCmd from the first
// means: no storage.
TStorageStatus QueryStorageStatus(TStorageIo& io, const TSensorVersion& version);
// The profile storage page's poll: GET_STR_STATE and GET_STR_RUN only; the
// counts are those the data storage page polled last.
void QueryStorageRun(TStorageIo& io, TStorageStatus& s);
// The count the pages show: count2 added while the state is not 0 and the
// repeat mode is 2 (pause), for software above 75 on the data storage page
// and from 75 on the profile storage page.
int ShownStorageCount(const TStorageStatus& s, int repeatMode, const TSensorVersion& version,
                      bool profilePage = false);
// GET_STR_BUF: the record count the sensor is set to keep.
int QueryStorageBuf(TStorageIo& io);

// The storage settings of the image, sent in this order before a start.
struct TStorageSettings {
    int Buf = 1000, Stt = 0, Stl = 0, Stc = 0, Thd = 0, Smp = 10, Rpt = 0;
};
// Whether the sensor takes the two-state repeat setting (software 1..75).
inline bool TwoStateRepeat(const TSensorVersion& v) {
    return v.Soft >= 1 && v.Soft <= 75;
}
TStorageSettings StorageSettingsOf(const TKestParam& image, const TSensorVersion& version);
void WriteStorageSettings(TKestParam& image, const TSensorVersion& version,
                          const TStorageSettings& s);

// SET_STR_BUF .. SET_STR_RPT, then STR_RUN with target (1 data, 2 profiles
// and data); each command logged. StopStorage sends STR_RUN 0.
void StartStorage(TStorageIo& io, const TStorageSettings& s, int target);
void StopStorage(TStorageIo& io);

// Progress of a download, reported after every block.
struct TFetchProgress {
    int Done = 0;  // records or profiles complete
    int Total = 0;
    double Bytes = 0;    // payload bytes so far
    double RateKBs = 0;  // kB/s so far
    double SecondsLeft = 0;
    uint32_t ElapsedMs = 0;
};
// Returns false to abort the download after the current block.
using TFetchProgressFn = std::function<bool(const TFetchProgress&)>;

struct TFetchOutcome {
    int Done = 0;
    int Total = 0;
    bool Aborted = false;
    std::string Error;  // the link's failure, empty otherwise
    uint32_t ElapsedMs = 0;
    bool Complete() const { return !Aborted && Error.empty() && Done == Total; }
};

// GET_STR_ADDR and GET_STR_COUNT, then the records in blocks; a count of 0
// leaves the set as it was. On an abort or a failure the complete records
// stay in the set and the outcome says how many.
TFetchOutcome FetchStoredRecords(TStorageIo& io, TRecordSet& set, int startPos,
                                 const TFetchProgressFn& progress);
// The set is cleared (also when the sensor holds nothing), then every stored
// profile fetched into the ring; the times are worked out from the stamps of
// what arrived.
TFetchOutcome FetchStoredProfiles(TStorageIo& io, TProfileSet& set,
                                  const TFetchProgressFn& progress);

// "12,345/65,535 records  1,234.5 kB/s  0:07 left" for a progress line.
std::string ProgressText(const TFetchProgress& p, const char* what);

}  // namespace kd
