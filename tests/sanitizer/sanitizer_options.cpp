// Default settings of AddressSanitizer, LeakSanitizer and
// UndefinedBehaviorSanitizer, read by their runtimes before main().
//
// A sanitizer that stops the program exits 86, a status no program of ours
// uses: a test that expects tabel-batch to fail a job (1) or refuse its
// arguments (2) then still notices.

extern "C" {

// Stop at the first error; look for references to locals that outlived their
// function as well as their block.
const char* __asan_default_options() {
    return "halt_on_error=1:exitcode=86:detect_leaks=1:detect_stack_use_after_return=1:"
           "check_initialization_order=1:strict_init_order=1";
}

// Leaks of the libraries we load but do not own; see the file.
const char* __lsan_default_options() {
    return "suppressions=" TABEL_LSAN_SUPPRESSIONS ":print_suppressions=0";
}

// Beside AddressSanitizer, GCC's runtime writes these reports to standard
// error whatever log_path says.
const char* __ubsan_default_options() {
    return "halt_on_error=1:exitcode=86:print_stacktrace=1";
}
}
