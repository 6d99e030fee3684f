// The randomizer's inputs: the random draws, made by a generator that the caller seeds so that a
// run can be repeated exactly, and the frames library the frames are picked from.
#pragma once

#include <cstdint>
#include <random>

#include "Quorvel.h"

class QVDatabase;

// Random integers between bounds. The generator's sequence is fixed by the standard for a given
// seed, so the same seed gives the same frames on every machine; the count of draws made lets a
// caller see that nothing was drawn.
class RandomDraws {
public:
    explicit RandomDraws(uint32_t seed) : engine_(seed) {}
    // For real use: a seed that differs from run to run.
    static RandomDraws SeededFromClock();

    // A value from the lower to the upper bound, both included, whichever order they come in.
    // Equal bounds give their value without a draw.
    int32_t Between(int32_t first, int32_t second);
    // An index below count; 0 without a draw for a count of one (or none).
    int32_t Below(int32_t count);
    int64_t DrawsMade() const { return drawsMade_; }

private:
    uint32_t Next();

    std::mt19937 engine_;
    int64_t drawsMade_ = 0;
};

struct Quorvel::RandomFrameContext {
    QVDatabase* library;  // the frames library; null when none is open
    RandomDraws& draws;
};
