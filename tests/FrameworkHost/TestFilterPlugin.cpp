// The framework's test filter as a plug-in: the plug-in entry of the product driving the inverting
// test filter in place of the product's filter class.
#include <new>

#include "InvertFilter.h"
#include "PluginMain.h"

namespace {

class TestFilter : public InvertFilter {
public:
    uint32_t GetSignature() const override { return 'qvtf'; }
};

PhotoshopFilter* MakeTestFilter() { return new (std::nothrow) TestFilter; }

// Runs when the host loads the module, before its first call.
const bool gRegistered = (SetFilterObjectMaker(MakeTestFilter), true);

}  // namespace
