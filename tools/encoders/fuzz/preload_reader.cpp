// Loads the FFmpeg reader's module before fuzzing starts, so that libFuzzer sees its coverage
// counters from the first input on (a module loaded half-way through would not count).
#include "tools/encoders/sources/ffmpeg_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    encoders::ffmpegReader();
    return 0;
}
