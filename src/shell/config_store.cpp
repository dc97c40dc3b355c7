#include "shell/config_store.h"

namespace kd {

const TMemoryConfigStore::Value* TMemoryConfigStore::Get(const std::string& group,
                                                         const std::string& name) const {
    auto g = groups_.find(group);
    if (g == groups_.end()) return nullptr;
    auto v = g->second.find(name);
    return v == g->second.end() ? nullptr : &v->second;
}

bool TMemoryConfigStore::Has(const std::string& group, const std::string& name) const {
    return Get(group, name) != nullptr;
}

std::optional<int32_t> TMemoryConfigStore::ReadInt(const std::string& group,
                                                   const std::string& name) const {
    const Value* v = Get(group, name);
    if (!v || !std::holds_alternative<int32_t>(*v)) return std::nullopt;
    return std::get<int32_t>(*v);
}

std::optional<std::string> TMemoryConfigStore::ReadString(const std::string& group,
                                                          const std::string& name) const {
    const Value* v = Get(group, name);
    if (!v || !std::holds_alternative<std::string>(*v)) return std::nullopt;
    return std::get<std::string>(*v);
}

std::optional<double> TMemoryConfigStore::ReadDouble(const std::string& group,
                                                     const std::string& name) const {
    const Value* v = Get(group, name);
    if (!v || !std::holds_alternative<double>(*v)) return std::nullopt;
    return std::get<double>(*v);
}

void LoadMainSettings(const TConfigStore& store, TShellSettings& s) {
    if (store.HasGroup("Main")) {
        if (auto loc = store.ReadString("Main", "loc")) s.Loc = *loc;
        if (auto st = store.ReadInt("Main", "WindowState")) {
            s.Main.WindowState = *st;
            if (*st == 0) {
                auto l = store.ReadInt("Main", "Left");
                auto t = store.ReadInt("Main", "Top");
                auto w = store.ReadInt("Main", "Width");
                auto h = store.ReadInt("Main", "Height");
                // The save writes the four together; a set with a hole is not used.
                if (l && t && w && h) {
                    s.Main.Left = *l;
                    s.Main.Top = *t;
                    s.Main.Width = *w;
                    s.Main.Height = *h;
                    s.Main.HasGeometry = true;
                }
            }
        }
    }
    if (store.HasGroup("AdjChart")) {
        if (auto m = store.ReadInt("AdjChart", "ChMask")) s.ChMask = *m & 0x3F;
    }
    if (store.HasGroup("View")) {
        if (auto u = store.ReadInt("View", "DisplUnit")) s.DisplUnit = (*u == 1) ? 1 : 0;
        if (auto d = store.ReadInt("View", "DisplDecimal")) {
            if (*d >= 0 && *d <= 3) s.DisplDecimal = *d;
        }
    }
}

void LoadPageSettings(const TConfigStore& store, TShellSettings& s) {
    auto readScale = [&](const char* group, const char* name, double& out) {
        if (auto v = store.ReadDouble(group, name)) {
            if (*v > 0) out = *v;
        }
    };
    readScale("Camera", "ScaleX", s.CameraScaleX);
    readScale("Camera", "ScaleY", s.CameraScaleY);
    if (auto f = store.ReadFlag("Camera", "HighQuality")) s.CameraHighQuality = *f;
    if (auto f = store.ReadFlag("Camera", "WithProfile")) s.CameraWithProfile = *f;
    readScale("Profile", "ScaleX", s.ProfileScaleX);
    readScale("Profile", "ScaleY", s.ProfileScaleY);
    readScale("Area", "ScaleX", s.AreaScaleX);
    readScale("Area", "ScaleY", s.AreaScaleY);
    if (auto f = store.ReadFlag("Area", "ViewMaster")) s.AreaViewMaster = *f;
    if (auto p = store.ReadString("Comm", "PortName")) s.PortName = *p;
    if (auto b = store.ReadString("Comm", "BaudRate")) s.BaudRate = *b;
}

void SaveSettings(TConfigStore& store, const TShellSettings& s, const std::string& loc) {
    store.WriteString("Main", "loc", loc);
    int32_t state = s.Main.WindowState.value_or(0);
    store.WriteInt("Main", "WindowState", state);
    if (state == 0) {
        store.WriteInt("Main", "Left", s.Main.Left);
        store.WriteInt("Main", "Top", s.Main.Top);
        store.WriteInt("Main", "Width", s.Main.Width);
        store.WriteInt("Main", "Height", s.Main.Height);
    }
    store.WriteInt("AdjChart", "ChMask", s.ChMask);
    store.WriteDouble("Camera", "ScaleX", s.CameraScaleX);
    store.WriteDouble("Camera", "ScaleY", s.CameraScaleY);
    store.WriteFlag("Camera", "HighQuality", s.CameraHighQuality);
    store.WriteFlag("Camera", "WithProfile", s.CameraWithProfile);
    store.WriteDouble("Profile", "ScaleX", s.ProfileScaleX);
    store.WriteDouble("Profile", "ScaleY", s.ProfileScaleY);
    store.WriteDouble("Area", "ScaleX", s.AreaScaleX);
    store.WriteDouble("Area", "ScaleY", s.AreaScaleY);
    store.WriteFlag("Area", "ViewMaster", s.AreaViewMaster);
    store.WriteString("Comm", "PortName", s.PortName);
    store.WriteString("Comm", "BaudRate", s.BaudRate);
    store.WriteInt("View", "DisplUnit", s.DisplUnit);
    store.WriteInt("View", "DisplDecimal", s.DisplDecimal);
}

}  // namespace kd
