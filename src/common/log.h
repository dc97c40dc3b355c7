#pragma once
// The program's debug log. WriteLog formats a line printf-style and hands it,
// with its attribute, to every registered sink. Attributes:
//   -1 plain, 0 black bold (operator actions), 0x00FF00FF magenta bold (failures),
//   0x000000FF red bold ("ABORT"); other values are colours 0x00BBGGRR, bold.
#include <cstdarg>
#include <functional>
#include <string>

namespace kd {

constexpr int kLogPlain = -1;
constexpr int kLogAction = 0;
constexpr int kLogError = 0x00FF00FF;
constexpr int kLogRed = 0x000000FF;

using LogSink = std::function<void(int attribute, const std::string& line)>;

// Registers a sink and returns its id; RemoveLogSink(id) takes it away.
int AddLogSink(LogSink sink);
void RemoveLogSink(int id);

void WriteLog(int attribute, const char* format, ...) __attribute__((format(printf, 2, 3)));
void WriteLogV(int attribute, const char* format, va_list args);
// Formats printf-style into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* format, va_list args);

// RAII registration of a sink, for tests and short-lived consumers.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink sink) : id_(AddLogSink(std::move(sink))) {}
    ~ScopedLogSink() { RemoveLogSink(id_); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    int id_;
};

}  // namespace kd
