#pragma once
// The general error of the program: a message and a help context. The
// communication exceptions and the task exceptions derive from it.
#include <stdexcept>
#include <string>

namespace kd {

class EKestError : public std::runtime_error {
public:
    explicit EKestError(const std::string& message, int helpContext = 0)
        : std::runtime_error(message), HelpContext(helpContext) {}
    std::string Message() const { return what(); }
    int HelpContext;
};

}  // namespace kd
