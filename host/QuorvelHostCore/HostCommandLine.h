// The host program's command line.
#pragma once

#include <string>
#include <vector>

#include "HostSession.h"

namespace qvhost {

// Parses the arguments (without the program name) into options; false with a message in error
// for a bad or missing argument. helpRequested is set by --help.
bool ParseCommandLine(const std::vector<std::string>& arguments, HostOptions& options, bool& helpRequested,
                      std::string& error);

std::string UsageText();

}  // namespace qvhost
