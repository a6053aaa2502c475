/* A tiny library for the SharedLibrary tests: one exported function and one hidden one. */

__attribute__((visibility("default"))) int fixture_answer(void) {
    return 42;
}

__attribute__((visibility("hidden"))) int fixture_hidden(void) {
    return 7;
}
