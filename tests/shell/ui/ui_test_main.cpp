#include "ui_test_support.h"

namespace kd::test {

TKestApplication& App() {
    static int argc = 1;
    static char name[] = "shell_ui_test";
    static char* argv[] = {name, nullptr};
    static TKestApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("LC_ALL", "en_US.UTF-8");
        return new TKestApplication(argc, argv);
    }();
    return *app;
}

}  // namespace kd::test
