#pragma once
// Text helpers of the parameter file reader: line splitting, name=value
// lookup, the comma-text tokenizer and the hexadecimal word conversion.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/kest_error.h"

namespace kd {

// A token that holds no hexadecimal digit. The message is empty, as the
// reader has always raised it; Detail says which token and where.
class EConvertError : public EKestError {
  public:
    explicit EConvertError(std::string detail) : EKestError(""), Detail(std::move(detail)) {}
    std::string Detail;
};

// The first line of a text (without its end); empty for an empty text.
std::string_view FirstLine(std::string_view text);

// The value of the first line of text whose name part (the text before the
// first "=") equals name without regard to case; nullopt when no line has it.
// A line ends at CR LF, LF or CR; nothing is copied but the value.
std::optional<std::string> FindValue(std::string_view text, std::string_view name);

// Comma-text splitting: leading blanks (any character from 1 to the space)
// are skipped; a token ends at a comma or a character at or below the blank;
// blanks after a token are skipped and one comma with blanks around it
// separates two tokens; two commas in a row give an empty token, as does a
// comma at the very end; a token starting with a double quote runs to the
// closing double quote (or to the end) and the quotes are not part of it.
// At most maxTokens tokens are returned; splitting stops there.
std::vector<std::string> SplitCommaText(std::string_view value, size_t maxTokens = SIZE_MAX);

// The string-to-unsigned-long rule with a 32-bit unsigned long, base 16:
// leading white space, an optional sign and an optional "0x"/"0X" prefix;
// reading stops at the first character that is not a hexadecimal digit; a
// value beyond 32 bits gives all ones; a minus sign negates modulo 2^32.
// nullopt when not a single digit was read.
std::optional<uint32_t> HexStrToULong(std::string_view token);

}  // namespace kd
