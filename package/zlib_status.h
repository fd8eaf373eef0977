// The one reading of zlib's status codes, for the writer's deflate loop and
// the reader's inflate loop alike.
#pragma once

#include <zlib.h>

namespace package {

enum class ZlibStatus {
  kGoOn,     // progress was made, or none was possible without more input or room
  kEnded,    // the stream is complete
  kDamaged,  // the data is not a valid stream (inflate)
  kFailed,   // zlib could not work: no memory, a broken stream state
};

inline ZlibStatus FromZlib(int status) {
  switch (status) {
    case Z_OK:
    case Z_BUF_ERROR: return ZlibStatus::kGoOn;
    case Z_STREAM_END: return ZlibStatus::kEnded;
    case Z_DATA_ERROR:
    case Z_NEED_DICT: return ZlibStatus::kDamaged;
    default: return ZlibStatus::kFailed;
  }
}

}  // namespace package
