// The one mapping from the exception in flight to a 16-bit result, for every border that answers
// a host with a result code (the entry, the dispatcher, prepare and the start routine). See
// docs/borders.md.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"

// The 16-bit result a host gets for a failure of its descriptor suites. Hosts read a negative
// result as an error to report and a positive one as an error the plug-in has already reported.
// A code whose low 16 bits are negative (-108 out of memory, the hosts' own negative codes) keeps
// them; the suites' four-character codes ('Parm', '!IMP', 'S!Fd') and other codes whose low half
// is positive or zero would read as "already reported" or as success, so they become -30100, a
// bad parameter.
ErrorCode ResultOfSuiteError(int32_t code);

// Which thrown codes a border passes on as its result; anything it does not pass on becomes the
// border's own answer for the unexpected.
namespace ThrownCodes {
inline constexpr unsigned kNone = 0;
inline constexpr unsigned kErrorCodes = 1;   // ErrorCodeException: its code
inline constexpr unsigned kSuiteErrors = 2;  // SuiteErrorException: ResultOfSuiteError of its code
inline constexpr unsigned kAll = kErrorCodes | kSuiteErrors;
}  // namespace ThrownCodes

// The result for the exception being handled: call it only inside a catch block. Every other
// exception (SuiteAccessException, std::bad_alloc, anything) gives `otherwise`.
ErrorCode CodeOfCurrentException(ErrorCode otherwise, unsigned passed = ThrownCodes::kAll) noexcept;
