// fontconfig keeps a few allocations of its font cache for the life of the
// process; LeakSanitizer would blame every window test for them.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
