#include "encode/engine/encoder_job.h"

namespace encode {

QString TEncoderJob::commandLine() const {
    return CmdPiece1 + CmdPiece2 + CmdPiece3 + CmdPiece4 + CmdPiece5 + CmdPiece6;
}

} // namespace encode
