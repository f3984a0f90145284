// Defaults the sanitizer runtimes read at start-up, so that every way of running
// the tests (ctest, the binary by hand) sees the same settings. Only reports
// inside third-party libraries may be suppressed here, each with its reason.

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0";
}

const char* __lsan_default_suppressions() {
    // libx265 (the simulated camera's H.265 encoder) does not free its copied
    // parameter strings and frame filter buffers in x265_encoder_close.
    return "leak:libx265.so\n";
}

const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}

const char* __tsan_default_suppressions() {
    return "";
}

}  // extern "C"
