/*
 * Broken decoder libraries, which no real build can give, to test how the player refuses them.
 * Built twice: with FAKE_MISSING_SEEK it lacks the Seek entry point; with FAKE_FAILING_INIT its
 * init fails and LastError answers 1. A refused library gets no other call.
 */

#define EXPORT __attribute__((visibility("default")))
#define ENTRY(name)                                                                                \
    EXPORT void name(void) {}

#ifdef FAKE_FAILING_INIT
#define INIT_FAILS 1
#else
#define INIT_FAILS 0
#endif

EXPORT unsigned char init(void) {
    return !INIT_FAILS;
}
EXPORT int LastError(void) {
    return INIT_FAILS;
}
#ifndef FAKE_MISSING_SEEK
ENTRY(Seek)
#endif
// clang-format off
ENTRY(deinit) ENTRY(Open) ENTRY(Pause) ENTRY(Restart) ENTRY(Stop) ENTRY(SetPriority)
ENTRY(SetOutputDevice) ENTRY(Play) ENTRY(Close) ENTRY(GetFrequency) ENTRY(GetBitrate)
ENTRY(GetStereoMode) ENTRY(GetLayer) ENTRY(GetPlayerMode) ENTRY(GetCurrentPos) ENTRY(GetLength)
ENTRY(ResetPlayerMode) ENTRY(SetSndDevice)
