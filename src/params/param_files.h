#pragma once
// Parameter files. Text ("FMT1"): the Sys block, the eight banks and the master
// records as hexadecimal words, lines ended by CR LF. Raw: the 2048-byte image.
// The format follows the file name's extension; TKestParam::LoadFromFile and
// SaveToFile are the entry points.
#include <array>
#include <cstdint>
#include <string>

#include "params/default_image.h"
#include "params/kest_param.h"
#include "params/param_text.h"

namespace kd {

// The extension with its dot, in the case of the file name ("" when none).
std::string FileExt(const std::string& name);

enum class TParamFormat { Text, Raw, Txt, Unknown };
TParamFormat FormatOfName(const std::string& name);

// A text or raw file is never larger than this; bigger files are refused
// before they are read.
constexpr size_t kMaxParamFileBytes = size_t{1} << 20;

// The blocks of a MissingBlocks mask as the file names them: "Sys, Bank3".
std::string MissingBlocksText(uint32_t missing);
// "'NAME': file has no Bank3 data" (several blocks: "no Sys, Bank1 data").
std::string IncompleteFileMessage(const std::string& name, uint32_t missing);

// Reads a raw file into image; it must be exactly 2048 bytes, else EKestError
// "load bin file; param file size missmatched" and image unchanged.
void ReadBinFile(std::array<uint8_t, kImageBytes>& image, const std::string& name);
// Writes the 2048 bytes of image (atomically).
void WriteBinFile(const std::array<uint8_t, kImageBytes>& image, const std::string& name);

}  // namespace kd
