#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "CurrentException.h"

namespace {

template <typename Exception>
ErrorCode Mapped(Exception exception, ErrorCode otherwise, unsigned passed) {
    try {
        throw exception;
    } catch (...) {
        return CodeOfCurrentException(otherwise, passed);
    }
}

}  // namespace

TEST(CodeOfCurrentException, PassesTheCodesTheBorderPassesOn) {
    EXPECT_EQ(Mapped(ErrorCodeException{17004}, -108, ThrownCodes::kAll), 17004);
    EXPECT_EQ(Mapped(ErrorCodeException{-43}, -1, ThrownCodes::kErrorCodes), -43);
    EXPECT_EQ(Mapped(SuiteErrorException{-25}, -108, ThrownCodes::kAll), -25);
    EXPECT_EQ(Mapped(SuiteErrorException{-25}, -108, ThrownCodes::kSuiteErrors), -25);
}

TEST(CodeOfCurrentException, GivesTheBordersOwnAnswerForWhatItDoesNotPassOn) {
    EXPECT_EQ(Mapped(ErrorCodeException{17004}, -108, ThrownCodes::kSuiteErrors), -108);
    EXPECT_EQ(Mapped(ErrorCodeException{17004}, -108, ThrownCodes::kNone), -108);
    EXPECT_EQ(Mapped(SuiteErrorException{-25}, -1, ThrownCodes::kErrorCodes), -1);
    EXPECT_EQ(Mapped(SuiteAccessException{'Parm'}, -108, ThrownCodes::kAll), -108);
    EXPECT_EQ(Mapped(std::bad_alloc{}, -1, ThrownCodes::kAll), -1);
    EXPECT_EQ(Mapped(std::runtime_error("x"), -108, ThrownCodes::kAll), -108);
    EXPECT_EQ(Mapped(42, -108, ThrownCodes::kAll), -108);
}

TEST(CodeOfCurrentException, ASuiteErrorKeepsANegativeLowHalfAndIsABadParameterOtherwise) {
    EXPECT_EQ(ResultOfSuiteError(-108), -108);
    EXPECT_EQ(ResultOfSuiteError(static_cast<int32_t>(0x0001FF94)), -108);  // low half 0xFF94
    EXPECT_EQ(ResultOfSuiteError('Parm'), Err::BadParameters);
    EXPECT_EQ(ResultOfSuiteError(0x10000), Err::BadParameters);  // a zero low half is no success
    EXPECT_EQ(Mapped(SuiteErrorException{'Parm'}, -108, ThrownCodes::kAll), Err::BadParameters);
}
