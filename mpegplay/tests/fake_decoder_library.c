/*
 * Broken decoder libraries, which no real build can give, to test how the player refuses them.
 * Built twice: with FAKE_MISSING_SEEK it lacks the Seek entry point; with FAKE_FAILING_INIT its
 * init fails and LastError answers 1. A refused library gets no other call.
 */

#define EXPORT __attribute__((visibility("default")))
#define ENTRY(name)                                                                                \
    EXPORT void name(void) {}

#ifdef FAKE_FAILING_INIT
EXPORT unsigned char init(void) {
    return 0;
}
EXPORT int LastError(void) {
    return 1;
}
#else
EXPORT unsigned char init(void) {
    return 1;
}
EXPORT int LastError(void) {
    return 0;
}
#endif

ENTRY(deinit)
ENTRY(Open)
ENTRY(Pause)
ENTRY(Restart)
ENTRY(Stop)
ENTRY(SetPriority)
ENTRY(SetOutputDevice)
ENTRY(Play)
ENTRY(Close)
ENTRY(GetFrequency)
ENTRY(GetBitrate)
ENTRY(GetStereoMode)
ENTRY(GetLayer)
ENTRY(GetPlayerMode)
ENTRY(GetCurrentPos)
ENTRY(GetLength)
ENTRY(ResetPlayerMode)
#ifndef FAKE_MISSING_SEEK
ENTRY(Seek)
#endif
ENTRY(SetSndDevice)
