#pragma once
// Texts the shell builds: the main window caption, hint texts of value
// ranges, the About window's title and version.
#include <initializer_list>
#include <string>
#include <string_view>

namespace kd {

// Base caption, " [", the file name without directory (or untitled, the
// string table's word for it), "]", and "*" when the image holds changes.
std::string BuildMainCaption(std::string_view baseCaption, std::string_view filePath, bool modified,
                             std::string_view untitled = "untitled");

// Hints of value ranges carry "_" for the decimal separator and "[um]" as
// unit. With millimetres every "_" becomes the decimal separator and every
// "[um]" "[mm]"; with micrometres every "_" is removed. Hints without "_"
// stay as they are.
std::string FilterHintText(std::string_view hint, int displUnit, std::string_view decimalSeparator);

// The title cut before the blank that begins the first " ver", if any.
std::string AboutTitle(std::string_view title);
// "Version %d.%02d" from the first two numbers of a dotted file version.
std::string AboutVersion(std::string_view fileVersion);

// Replaces the first "%s" with the argument (texts from the string tables
// are never used as a format).
std::string ReplacePercentS(std::string_view text, std::string_view arg);
// Each "%s" in turn by the next argument; an argument's own "%s" stays as it is.
std::string ReplacePercentS(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace kd
