#include "LockedParameters.h"

LockedParameters::LockedParameters(Handle parameters) : length_(GetHandleSize(parameters)), lock_(parameters) {
    if (!lock_) length_ = 0;
}
