// The start selector's routine: supply or validate the parameters, check the host, run the
// preview dialog when asked, and drive the final pass.
#pragma once

#include "ErrorCodes.h"

struct FilterObjects;
struct HostCall;
struct RunOptions;

// The start routine of the call, over the call's filter objects, with what its scripting asks of
// the run.
ErrorCode DoStart(HostCall& call, FilterObjects& filters, const RunOptions& options);

// Loads the user's preferences (where the frames library lies) and opens the libraries, so that
// stored frame paths resolve; a library that failed in this call is not tried again.
void OpenPreferencesAndLibraries(const HostCall& call);
