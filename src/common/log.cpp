#include "common/log.h"

#include <map>
#include <mutex>
#include <vector>

namespace kd {

namespace {
std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}
std::map<int, LogSink>& Sinks() {
    static std::map<int, LogSink> s;
    return s;
}
int nextSinkId = 1;
}  // namespace

int AddLogSink(LogSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    int id = nextSinkId++;
    Sinks()[id] = std::move(sink);
    return id;
}

void RemoveLogSink(int id) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sinks().erase(id);
}

std::string FormatV(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = FormatV(format, args);
    va_end(args);
    return s;
}

void WriteLogV(int attribute, const char* format, va_list args) {
    std::string line = FormatV(format, args);
    // Copy the sinks so that a sink may log or unregister without deadlock.
    std::vector<LogSink> sinks;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        for (auto& [id, s] : Sinks()) sinks.push_back(s);
    }
    for (auto& s : sinks) s(attribute, line);
}

void WriteLog(int attribute, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteLogV(attribute, format, args);
    va_end(args);
}

}  // namespace kd
