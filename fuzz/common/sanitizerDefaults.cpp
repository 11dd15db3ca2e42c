// Sanitizer settings that every fuzz target of ours is built with (options
// given in ASAN_OPTIONS still override them).
//
// AddressSanitizer keeps freed blocks out of reuse in a quarantine of 256 MB
// by default, so that a late use of one is caught. A fuzz target frees
// everything it allocated before the next input, millions of times, so that
// quarantine fills and the resident size of a target climbs to several
// hundred megabytes without anything leaking. 16 MB still holds all the
// blocks that one input frees, which is the window in which a use after free
// happens, and keeps a long run's memory flat.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
