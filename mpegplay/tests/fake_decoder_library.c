/* Broken decoder libraries that no real build gives: with FAKE_MISSING_SEEK the Seek entry
 * point is missing; with FAKE_FAILING_INIT init fails and LastError answers 1. The player makes
 * no other call into a library it refuses. */

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
