#include "QuorvelBase.h"

namespace {
int32_t gTargetLayerPos = 0;
}

int32_t QuorvelBase::TargetLayerPos() { return gTargetLayerPos; }
void QuorvelBase::SetTargetLayerPos(int32_t position) { gTargetLayerPos = position; }
