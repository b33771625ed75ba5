// The single place where errno values become platform statuses.
#pragma once

#include "platform/status.h"

namespace cs::platform {

Status StatusFromErrno(int error);

}  // namespace cs::platform
