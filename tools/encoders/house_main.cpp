// The house encoder: MPEG Layer I (our own), II (TwoLAME) or III (LAME), chosen on the
// command line.
#include "tools/encoders/core/command_line.h"
#include "tools/encoders/core/program_main.h"

int main(int argc, char** argv) {
    return encoders::runProgram(
        "codec", "codec in.wav out.mp3 -M<0..3> -B<half kbit/s> [-L1|-L2|-RV<0..9>|-RA<8..320>]",
        encoders::parseHouseArguments, argc, argv);
}
