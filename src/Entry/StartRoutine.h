// The start selector's routine: supply or validate the parameters, check the host, run the
// preview dialog when asked, and drive the final pass.
#pragma once

#include "ErrorCodes.h"

struct RunOptions;

// The start routine of the call, with what its scripting asks of the run.
ErrorCode DoStart(const RunOptions& options);
