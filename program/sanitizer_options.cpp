// The sanitizer's default options for one program, linked into it only in
// sanitizer builds (bsv2_sanitizer_options in CMakeLists.txt, which says
// why each program needs its options): AddressSanitizer asks for them
// before main runs, so they cannot come from the program's own code.
extern "C" const char *__asan_default_options() { return BSV2_SANITIZER_OPTIONS; }
