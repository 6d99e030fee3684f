// The hand-off of the frame stack to an outside batch runner: once the user has confirmed the
// batch, the runner's job gets a copy of the block to apply to each of its images and is marked to
// run; the runner does the rest after the preview dialog has closed.
#include <windows.h>

#include <cstring>
#include <vector>

#include "Libraries.h"
#include "Quorvel.h"
#include "RandomFrames.h"
#include "StoredBlock.h"

ErrorCode Quorvel::HandOffBatch(const BatchJobFields& job, RandomFrameContext* randomFrames) {
    if (!job.runRequested || !job.parameterCopy || !job.parameterCopyLength) return Err::BadParameters;
    if (job.stackType == kBatchRandomFrames) {
        // The stack the runner applies is the current one with the random frames on it; a library
        // with no frame to pick hands over the current stack as it is.
        if (randomFrames) {
            AddRandomFrame(false, *randomFrames);
        } else {
            RandomDraws draws = RandomDraws::SeededFromClock();
            RandomFrameContext context{FramesLibrary(), draws};
            AddRandomFrame(false, context);
        }
    }
    if (job.stackType != kBatchCurrentStack && job.stackType != kBatchRandomFrames) {
        // The runner applies no stack, or a preset of its own: it needs no copy.
        *job.runRequested = 1;
        return Err::None;
    }
    std::vector<uint8_t> image;
    if (const ErrorCode error = StoredBlock::CopyCurrent(Stack().Parameters(), image)) return error;
    // The run-time link points into this process's memory and means nothing to the runner.
    std::memset(image.data(), 0, ParameterHeader::kRunTimePrefix);

    // The runner owns the copy from here on and frees it from the process heap, which every
    // module of the process shares whatever its language or runtime.
    auto* copy = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), 0, image.size()));
    if (!copy) return Err::MemoryFull;
    *job.parameterCopy = copy;
    *job.parameterCopyLength = 0;
    std::memcpy(copy, image.data(), image.size());
    *job.parameterCopyLength = image.size();
    *job.runRequested = 1;
    return Err::None;
}
