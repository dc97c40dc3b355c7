#pragma once
// Identity texts of the program: titles, captions, version and product word.
namespace kd {

constexpr const char* kApplicationTitle = "KD Trelva";
constexpr const char* kBaseCaptionName = "KD trelva";
constexpr const char* kCaptionVersion = " ver1.70";
constexpr const char* kProductWord = "KD";
constexpr const char* kFileVersion = "1.70.19.0";
constexpr const char* kDebugCaption = "dbg: KD trelva";
constexpr const char* kSubTitle = "Settings Support Software";
// The maker's page opened from the About window.
constexpr const char* kMakerUrl = "https://brenmark.example/kd-trelva";
// Per-user settings store.
constexpr const char* kOrganisation = "Brenmark";
constexpr const char* kApplicationKey = "KESTTrelva";

}  // namespace kd
