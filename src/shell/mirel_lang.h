#pragma once
// String tables: name=value lines that give every caption, hint and choice
// list of the windows, looked up by name without regard to case.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kd {

// A string-table file is refused when larger than this.
constexpr size_t kMaxStringTableBytes = size_t{1} << 20;

class TMirelLang {
  public:
    TMirelLang() = default;
    // Parses a table already in UTF-8. Lines end in CR LF (a lone LF is taken
    // too); a line without "=" is ignored; the first entry of a name counts.
    static TMirelLang FromText(std::string_view utf8);
    // The built-in table for a locale code ("en", "ja", "cn", "ko"; matched
    // without regard to case). An empty code or "??" stands for the system's
    // language. Returns nothing when no such table is built in.
    static std::optional<TMirelLang> FromResource(std::string_view prefix, std::string code);
    // Reads a table file and decodes it by its charset entry (see
    // DecodeStringTable). Throws EKestError when the file cannot be read.
    static TMirelLang FromFile(const std::string& path);

    // The raw value of an entry, if present.
    const std::string* Find(std::string_view name) const;
    bool Has(std::string_view name) const { return Find(name) != nullptr; }
    // The value with every "#13#10" turned into CR LF, or the default.
    std::string Translate(std::string_view name, std::string_view def) const;
    // The font character set named by the table (1 when absent).
    int Charset() const { return charset_; }
    size_t Count() const { return entries_.size(); }
    const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

  private:
    std::vector<std::pair<std::string, std::string>> entries_;
    std::unordered_map<std::string, size_t> index_;  // lower-case name -> entry
    int charset_ = 1;
};

// Splits a comma list: blanks before an item are skipped, a blank ends an
// unquoted item, a quoted item may hold commas and blanks ("" is one quote),
// empty items between commas and after a final comma are kept.
std::vector<std::string> ParseCommaList(std::string_view text);

// Replaces every "#13#10" with CR LF.
std::string ExpandLineBreaks(std::string_view text);

// Turns the bytes of a table file into UTF-8: text that is valid UTF-8 (after
// a byte order mark, if any) is taken as it stands; otherwise the text is decoded by
// its charset entry (1 or 0 Windows-1252, 128 Shift-JIS, 129 the Korean code
// page, 134 GB2312; absent means 1). Bytes that do not decode become U+FFFD.
std::string DecodeStringTable(std::string_view bytes);
// The charset entry of raw table bytes, if present and numeric.
std::optional<int> FindCharsetEntry(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);
// Decodes with iconv from a named code page, replacing undecodable bytes.
std::string DecodeCodePage(std::string_view bytes, const char* codePage);
const char* CodePageOfCharset(int charset);

// Locale codes. The system's language as the environment names it (LC_ALL,
// LC_MESSAGES, LANG), for example "ja_JP.UTF-8"; "C" when none is set.
std::string SystemLocaleName();
// The code chosen for an empty locale code: Japanese -> "ja", Simplified
// Chinese -> "cn", any other language -> "en".
std::string LocaleCodeFromSystem(std::string_view systemLocale);
// The system's ISO 639 language name ("ja" for "ja_JP.UTF-8").
std::string IsoLanguageOf(std::string_view systemLocale);

// The built-in tables, UTF-8, by code in lower case; empty when absent.
std::string_view BuiltinStringTable(std::string_view code);

}  // namespace kd
