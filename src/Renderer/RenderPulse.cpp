#include "RenderPulse.h"

#include <chrono>

#include "PhotoshopFilter.h"

RenderPulse::RenderPulse(PhotoshopFilter& filter, Clock clock) : filter_(filter), clock_(clock), last_(clock()) {}

void RenderPulse::Beat() {
    const uint64_t now = clock_();
    if (now - last_ < kIntervalMilliseconds) return;
    last_ = now;
    PhotoshopFilter::SpinBusyCursor();
    filter_.ReportProgress(0, 0);
}

BlockPulse RenderPulse::BetweenBlocks() {
    return BlockPulse{[](void* self) { static_cast<RenderPulse*>(self)->Beat(); }, this};
}

uint64_t RenderPulse::SteadyMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
