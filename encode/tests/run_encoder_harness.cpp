// Runs one encoder command line through the program's own process start, as a batch does, and
// exits with its result: run_encoder_harness PROGRAM COMMAND-LINE. The tests kill it mid-run.
#include "encode/engine/encoder_process.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
    return encode::RunEncoderProcess(QString::fromLocal8Bit(argv[1]),
                                     QString::fromLocal8Bit(argv[2]), nullptr);
}
