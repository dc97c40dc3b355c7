#pragma once
// The program's command line: -lang PATH, -loc CODE, a parameter file, and
// the run options -port NAME, -page CODE, -action NAME[,NAME...] and
// -screenshot FILE [-wait MS].
#include <optional>
#include <string>
#include <vector>

namespace kd {

struct TStartOptions {
    std::string File;  // parameter file to load instead of the default set
    std::string Lang;  // string-table file
    std::string Loc;   // locale code
    std::optional<std::string> Port;
    std::optional<std::string> Screenshot;
    std::optional<int> Page;
    // Actions to trigger by object name, in order, after connecting and
    // showing the page.
    std::vector<std::string> Actions;
    int WaitMs = 0;
    // Values of the run options that could not be read; the program reports
    // them and does not start.
    std::vector<std::string> Errors;
};

// Parses the arguments after the program name. Option names are compared
// without regard to case and take the next argument as their value. An
// unknown option is logged as "unknown param; %s" and ends the parsing. An
// empty argument is skipped.
TStartOptions ParseCommandLine(const std::vector<std::string>& args);

// One of the program's page codes: 0x10, 0x21..0x26, 0x31..0x33, 0x90.
bool IsPageCode(int code);
// A page code written as 0x-hexadecimal ("0x21") or decimal ("33"); nothing
// for any other text or for a number that is no page code.
std::optional<int> ParsePageCode(const std::string& text);

}  // namespace kd
