// Defaults the sanitizer runtimes read at start-up, so that every way of running
// the tests (ctest, the binary by hand) sees the same settings. Only reports
// inside third-party libraries may be suppressed here, each with its reason.

extern "C" {

const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0";
}

const char* __lsan_default_suppressions() {
    // libx265 (3.5) keeps parameter strings and filter buffers of every encoder
    // it opens; the tests' H.265 streams come from it.
    // libSDL2 keeps a per-thread error buffer for threads it did not create
    // (the player's audio loop opens the audio device); it is never freed.
    // libdbus keeps what it allocated looking for the session bus through the
    // X display when SDL's audio start-up connects to the bus (with a display).
    return "leak:libx265.so\n"
           "leak:libSDL2-2.0.so\n"
           "leak:libdbus-1.so\n";
}

const char* __tsan_default_options() {
    return "halt_on_error=1:second_deadlock_stack=1";
}

const char* __tsan_default_suppressions() {
    return
        // Mesa's llvmpipe destroys a fence's mutex and condition variable as soon
        // as the waiting thread sees it signalled, while its rasteriser thread may
        // still be leaving the signalling lock.
        "race:swrast_dri.so\n"
        // LLVM, which llvmpipe compiles shaders with, makes its static mutexes
        // lazily with double-checked initialisation.
        "race:libLLVM\n";
}

}  // extern "C"
