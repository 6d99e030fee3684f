// The pulse of a long render step: the host hears about it once an interval, never more often,
// and a cancel the host answers ends the step.
#include <gtest/gtest.h>

#include <optional>

#include "ErrorCodes.h"
#include "HostCall.h"
#include "Quorvel.h"
#include "RenderPulse.h"

namespace {

uint64_t gNow = 0;
uint64_t FakeClock() { return gNow; }

int32_t gProgressCalls = 0;
bool gCancel = false;
void CountProgress(int32_t, int32_t) { ++gProgressCalls; }
Boolean8 AnswerCancel() { return gCancel; }

class RenderPulseTest : public testing::Test {
protected:
    void SetUp() override {
        gNow = 1000;
        gProgressCalls = 0;
        gCancel = false;
        record_.progressProc = CountProgress;
        record_.abortProc = AnswerCancel;
        hostCall_ = HostCall{.record = &record_};
        call_.emplace(hostCall_);
    }
    void TearDown() override { call_.reset(); }

    FilterRecord record_{};
    HostCall hostCall_;
    std::optional<HostCallScope> call_;
    StackState state_;
    Quorvel filter_{hostCall_, state_};
};

TEST_F(RenderPulseTest, TheHostHearsOnceAnIntervalAndNotBefore) {
    RenderPulse pulse(filter_, FakeClock);
    const BlockPulse between = pulse.BetweenBlocks();
    const struct {
        uint64_t advance;
        int32_t calls;  // the host's progress calls so far
    } steps[] = {
        {0, 0},
        {RenderPulse::kIntervalMilliseconds - 1, 0},
        {1, 1},  // a whole interval since the pulse began
        {0, 1},
        {RenderPulse::kIntervalMilliseconds - 1, 1},
        {1, 2},
        {10 * RenderPulse::kIntervalMilliseconds, 3},  // a long silence gives one call, not ten
        {1, 3},
    };
    for (const auto& step : steps) {
        gNow += step.advance;
        between();
        EXPECT_EQ(gProgressCalls, step.calls) << "at " << gNow;
    }
}

TEST_F(RenderPulseTest, ACancelTheHostAnswersEndsTheStep) {
    RenderPulse pulse(filter_, FakeClock);
    gCancel = true;
    EXPECT_NO_THROW(pulse.Beat());  // the host is not asked within the interval
    gNow += RenderPulse::kIntervalMilliseconds;
    try {
        pulse.Beat();
        ADD_FAILURE() << "the cancel was not seen";
    } catch (const ErrorCodeException& e) {
        EXPECT_EQ(e.code, Err::Cancelled);
    }
}

}  // namespace
