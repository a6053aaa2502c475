/*
 * Stand-ins for broken decoder libraries, to test how the player refuses them. Built twice:
 * with FAKE_MISSING_SEEK it lacks the Seek entry point; with FAKE_FAILING_INIT its init fails
 * and LastError answers 1.
 */

#define EXPORT __attribute__((visibility("default")))

EXPORT unsigned char init(void) {
#ifdef FAKE_FAILING_INIT
    return 0;
#else
    return 1;
#endif
}
EXPORT void deinit(void) {}
EXPORT int Open(const char* name, int kind, void* a, void* b, void* c, void* d, void* e, void* f,
                void* user) {
    (void)name, (void)kind, (void)a, (void)b, (void)c, (void)d, (void)e, (void)f, (void)user;
    return 0;
}
EXPORT void Pause(unsigned char resume) {
    (void)resume;
}
EXPORT void Restart(void) {}
EXPORT void Stop(void) {}
EXPORT void SetPriority(int priority) {
    (void)priority;
}
EXPORT void SetOutputDevice(int device, const char* name) {
    (void)device, (void)name;
}
EXPORT int Play(int start, int end, unsigned char* flag) {
    (void)start, (void)end, (void)flag;
    return 0;
}
EXPORT void Close(void) {}
EXPORT int GetFrequency(void) {
    return 0;
}
EXPORT int GetBitrate(void) {
    return 0;
}
EXPORT int GetStereoMode(void) {
    return 0;
}
EXPORT int GetLayer(void) {
    return 0;
}
EXPORT int GetPlayerMode(void) {
    return 0;
}
EXPORT int GetCurrentPos(void) {
    return 0;
}
EXPORT int GetLength(void) {
    return 0;
}
EXPORT unsigned char ResetPlayerMode(void) {
    return 0;
}
#ifndef FAKE_MISSING_SEEK
EXPORT int Seek(int position) {
    (void)position;
    return 0;
}
#endif
EXPORT void SetSndDevice(int device) {
    (void)device;
}
EXPORT int LastError(void) {
#ifdef FAKE_FAILING_INIT
    return 1;
#else
    return 0;
#endif
}
