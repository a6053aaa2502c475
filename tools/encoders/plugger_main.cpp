// Layer III encoder with an explicit output file.
#include "tools/encoders/core/command_line.h"
#include "tools/encoders/core/program_main.h"

int main(int argc, char** argv) {
    return encoders::runProgram("plugger", "plugger in.wav out.mp3 -b <kbit/s> [-z] [-dm]",
                                encoders::parsePluggerArguments, argc, argv);
}
