#include "CurrentException.h"

ErrorCode ResultOfSuiteError(int32_t code) {
    const auto low = static_cast<int16_t>(static_cast<uint32_t>(code) & 0xFFFF);
    return low < 0 ? low : Err::BadParameters;
}

ErrorCode CodeOfCurrentException(ErrorCode otherwise, unsigned passed) noexcept {
    try {
        throw;
    } catch (const ErrorCodeException& e) {
        return (passed & ThrownCodes::kErrorCodes) != 0 ? e.code : otherwise;
    } catch (const SuiteErrorException& e) {
        return (passed & ThrownCodes::kSuiteErrors) != 0 ? ResultOfSuiteError(e.code) : otherwise;
    } catch (...) {
        return otherwise;
    }
}
