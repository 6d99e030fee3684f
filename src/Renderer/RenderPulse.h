// Keeps the host's progress and cancel alive inside one long render step. The scheduler reports
// progress and asks the host about a cancel between steps; a step that filters a large area (a
// wide blur or spread over a tile and its reach) would otherwise leave the host silent for as long
// as it runs. At most once an interval, a beat turns the open dialog's wait cursor and, without a
// dialog, tells the host the progress so far and asks it whether the user cancelled: a cancel
// ends the step with 32512 through the scheduler's own progress report.
#pragma once

#include <cstdint>

#include "PassCoverage.h"

class PhotoshopFilter;

class RenderPulse {
public:
    using Clock = uint64_t (*)();  // milliseconds, from any origin
    static constexpr uint64_t kIntervalMilliseconds = 250;

    // The interval starts now.
    explicit RenderPulse(PhotoshopFilter& filter, Clock clock = SteadyMilliseconds);
    RenderPulse(const RenderPulse&) = delete;
    RenderPulse& operator=(const RenderPulse&) = delete;

    void Beat();
    // For filters run block by block; valid while this pulse lives.
    BlockPulse BetweenBlocks();

    static uint64_t SteadyMilliseconds();

private:
    PhotoshopFilter& filter_;
    Clock clock_;
    uint64_t last_;
};
