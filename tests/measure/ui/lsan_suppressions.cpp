// Leaks inside the system's font library (a cache fontconfig keeps for the
// life of the process) are not ours: keep them out of the leak report.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
