#include "shell/ui/qt_config_store.h"

#include "shell/identity.h"

namespace kd {

TQtConfigStore::TQtConfigStore()
    : settings_(std::make_unique<QSettings>(QString::fromUtf8(kOrganisation),
                                            QString::fromUtf8(kApplicationKey))) {}

TQtConfigStore::TQtConfigStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

QString TQtConfigStore::Key(const std::string& group, const std::string& name) {
    return QString::fromStdString(group) + "/" + QString::fromStdString(name);
}

bool TQtConfigStore::HasGroup(const std::string& group) const {
    return settings_->childGroups().contains(QString::fromStdString(group));
}

std::optional<int32_t> TQtConfigStore::ReadInt(const std::string& group,
                                               const std::string& name) const {
    QVariant v = settings_->value(Key(group, name));
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(n);
}

std::optional<std::string> TQtConfigStore::ReadString(const std::string& group,
                                                      const std::string& name) const {
    QVariant v = settings_->value(Key(group, name));
    if (!v.isValid()) return std::nullopt;
    return v.toString().toStdString();
}

std::optional<double> TQtConfigStore::ReadDouble(const std::string& group,
                                                 const std::string& name) const {
    QVariant v = settings_->value(Key(group, name));
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    double d = v.toString().trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    return d;
}

void TQtConfigStore::WriteInt(const std::string& group, const std::string& name, int32_t value) {
    settings_->setValue(Key(group, name), value);
}

void TQtConfigStore::WriteString(const std::string& group, const std::string& name,
                                 const std::string& value) {
    settings_->setValue(Key(group, name), QString::fromStdString(value));
}

void TQtConfigStore::WriteDouble(const std::string& group, const std::string& name, double value) {
    // Written as text with full precision, so the value reads back exactly.
    settings_->setValue(Key(group, name), QString::number(value, 'g', 17));
}

bool TQtConfigStore::Flush() {
    settings_->sync();
    return settings_->status() == QSettings::NoError;
}

}  // namespace kd
