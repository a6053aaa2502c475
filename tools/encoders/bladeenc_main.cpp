// Layer III encoder that writes its result beside the input, as the input's name with "MP3"
// in place of its last three characters.
#include "tools/encoders/core/command_line.h"
#include "tools/encoders/core/program_main.h"

int main(int argc, char** argv) {
    return encoders::runProgram("bladeenc", "bladeenc in.wav [-MONO] -<kbit/s> [-QUIT]",
                                encoders::parseBladeencArguments, argc, argv);
}
