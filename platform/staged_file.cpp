// What StagedFile does alike on every platform; the folders, the temporary
// file and the move are in staged_file_posix.cpp and staged_file_win.cpp.
#include "platform/staged_file.h"

namespace platform {

StagedFile::StagedFile() = default;

StagedFile::~StagedFile() { Abandon(); }

void StagedFile::Restart(const FileIdentity* protect) {
  Abandon();
  failure_ = StageFailure::kNone;
  osError_ = 0;
  protect_.reset();
  if (protect != nullptr) protect_ = *protect;
}

bool StagedFile::Fail(StageFailure failure, long osError) {
  Abandon();
  failure_ = failure;
  osError_ = osError;
  return false;
}

}  // namespace platform
