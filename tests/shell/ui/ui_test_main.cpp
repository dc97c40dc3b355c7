#include <gtest/gtest.h>

#include "ui_test_support.h"

namespace kd::test {

namespace {
TKestApplication* app = nullptr;

// Ends the application object after the last test.
class AppEnvironment : public ::testing::Environment {
  public:
    void TearDown() override {
        delete app;
        app = nullptr;
    }
};
[[maybe_unused]] ::testing::Environment* const appEnvironment =
    ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace

TKestApplication& App() {
    static int argc = 1;
    static char name[] = "shell_ui_test";
    static char* argv[] = {name, nullptr};
    if (!app) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("LC_ALL", "en_US.UTF-8");
        app = new TKestApplication(argc, argv);
    }
    return *app;
}

}  // namespace kd::test

// The font library keeps its caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
