#pragma once

#include <QString>

namespace encode {

// One encoder run: the command line in six pieces, joined with nothing between them, and the
// show value ("1" shows the encoder's console, "0" or empty hides it). A piece that the next
// file does not set keeps what the previous file left in it.
struct TEncoderJob {
    QString CmdPiece1;
    QString CmdPiece2;
    QString CmdPiece3;
    QString CmdPiece4;
    QString CmdPiece5;
    QString CmdPiece6;
    QString CmdShow;

    QString commandLine() const;
};

// The program's one job record, from start to end of the run. A global with these six pieces
// because the program's design fixes it so.
inline TEncoderJob EncoderJob;

} // namespace encode
