#pragma once
// The per-user store of the operator's last-used settings: groups of named
// values (32-bit integers, texts, doubles; flags are integers 0 or 1).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

namespace kd {

class TConfigStore {
  public:
    virtual ~TConfigStore() = default;
    virtual bool HasGroup(const std::string& group) const = 0;
    // A value that is absent or does not have the asked type gives nothing.
    virtual std::optional<int32_t> ReadInt(const std::string& group,
                                           const std::string& name) const = 0;
    virtual std::optional<std::string> ReadString(const std::string& group,
                                                  const std::string& name) const = 0;
    virtual std::optional<double> ReadDouble(const std::string& group,
                                             const std::string& name) const = 0;
    virtual void WriteInt(const std::string& group, const std::string& name, int32_t value) = 0;
    virtual void WriteString(const std::string& group, const std::string& name,
                             const std::string& value) = 0;
    virtual void WriteDouble(const std::string& group, const std::string& name, double value) = 0;
    // Makes what was written permanent; false when the store cannot be written.
    virtual bool Flush() { return true; }

    std::optional<bool> ReadFlag(const std::string& group, const std::string& name) const {
        auto v = ReadInt(group, name);
        if (!v) return std::nullopt;
        return *v != 0;
    }
    void WriteFlag(const std::string& group, const std::string& name, bool value) {
        WriteInt(group, name, value ? 1 : 0);
    }
};

// A store in memory, for tests and for kdctl.
class TMemoryConfigStore : public TConfigStore {
  public:
    using Value = std::variant<int32_t, std::string, double>;
    bool HasGroup(const std::string& group) const override { return groups_.count(group) != 0; }
    std::optional<int32_t> ReadInt(const std::string& group,
                                   const std::string& name) const override;
    std::optional<std::string> ReadString(const std::string& group,
                                          const std::string& name) const override;
    std::optional<double> ReadDouble(const std::string& group,
                                     const std::string& name) const override;
    void WriteInt(const std::string& group, const std::string& name, int32_t value) override {
        groups_[group][name] = value;
    }
    void WriteString(const std::string& group, const std::string& name,
                     const std::string& value) override {
        groups_[group][name] = value;
    }
    void WriteDouble(const std::string& group, const std::string& name, double value) override {
        groups_[group][name] = value;
    }
    bool Has(const std::string& group, const std::string& name) const;
    void Clear() { groups_.clear(); }

  private:
    const Value* Get(const std::string& group, const std::string& name) const;
    std::map<std::string, std::map<std::string, Value>> groups_;
};

// Outer position and size of the main window and its state (0 normal,
// 1 minimised, 2 maximised).
struct TWindowPlacement {
    std::optional<int32_t> WindowState;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
    bool HasGeometry = false;  // Left..Height were read
};

// Every value of the store that the main window reads or writes. The values
// of pages that are not built yet are carried through unchanged.
struct TShellSettings {
    std::optional<std::string> Loc;  // read only when present
    TWindowPlacement Main;
    int32_t ChMask = 0x3F;
    uint8_t DisplUnit = 0;
    int32_t DisplDecimal = 3;
    double CameraScaleX = 1.0, CameraScaleY = 1.0;
    bool CameraHighQuality = false, CameraWithProfile = true;
    double ProfileScaleX = 1.0, ProfileScaleY = 1.0;
    double AreaScaleX = 1.0, AreaScaleY = 1.0;
    bool AreaViewMaster = true;
    std::string PortName;
    std::string BaudRate = "2Mbps";
};

// Start-up read of the groups Main, AdjChart and View. A group whose key is
// absent is skipped; a missing value keeps its default. With WindowState 0
// the geometry is read too.
void LoadMainSettings(const TConfigStore& store, TShellSettings& s);
// Reads the page groups Camera, Profile, Area and Comm, for values that are
// written back at shut-down while their pages do not exist yet.
void LoadPageSettings(const TConfigStore& store, TShellSettings& s);
// The save of every group: Main (loc, WindowState, and the geometry only in
// the normal state), AdjChart, Camera, Profile, Area, Comm, View.
void SaveSettings(TConfigStore& store, const TShellSettings& s, const std::string& loc);

}  // namespace kd
