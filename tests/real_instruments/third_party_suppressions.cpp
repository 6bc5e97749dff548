// LeakSanitizer's suppressions for the real instruments' own leaks (see
// third_party_leaks.cpp), in the tests and in the instrument's host process
// of the sanitizer build, which keeps the library mapped to its end.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:amsynth_vst.so\n"
           "leak:ZynAddSubFX.so\n";
}
