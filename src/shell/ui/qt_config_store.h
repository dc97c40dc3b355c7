#pragma once
// The per-user settings store on QSettings (organisation "Brenmark",
// application "KESTTrelva"), one group per key of the store.
#include <QSettings>
#include <memory>

#include "shell/config_store.h"

namespace kd {

class TQtConfigStore : public TConfigStore {
  public:
    // The user's own store.
    TQtConfigStore();
    // A store in an ini file (tests, portable use).
    explicit TQtConfigStore(const QString& iniPath);

    bool HasGroup(const std::string& group) const override;
    std::optional<int32_t> ReadInt(const std::string& group,
                                   const std::string& name) const override;
    std::optional<std::string> ReadString(const std::string& group,
                                          const std::string& name) const override;
    std::optional<double> ReadDouble(const std::string& group,
                                     const std::string& name) const override;
    void WriteInt(const std::string& group, const std::string& name, int32_t value) override;
    void WriteString(const std::string& group, const std::string& name,
                     const std::string& value) override;
    void WriteDouble(const std::string& group, const std::string& name, double value) override;
    bool Flush() override;

  private:
    static QString Key(const std::string& group, const std::string& name);
    std::unique_ptr<QSettings> settings_;
};

}  // namespace kd
