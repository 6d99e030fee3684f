#include "PhotoshopFilter.h"

#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "Errors.h"
#include "HostMemory.h"
#include "PluginGlobals.h"

PhotoshopFilter::PhotoshopFilter() = default;
PhotoshopFilter::~PhotoshopFilter() = default;

uint32_t PhotoshopFilter::GetSignature() const { return 0x20202020; }

void PhotoshopFilter::BeginRun() {
    if (gCall.record) gCall.record->autoMask = false;
}

void PhotoshopFilter::DialogFinished(ErrorCode) {}
void PhotoshopFilter::EndRun(ErrorCode) {}
void PhotoshopFilter::CopySettingsToDialogFile(File*) {}
void PhotoshopFilter::Prepare() { DetermineMaskMode(); }
bool PhotoshopFilter::WarnSelectionRemoved(bool) { return false; }
void PhotoshopFilter::DetermineMaskMode() {}

void PhotoshopFilter::SetParameterBlockSize(int32_t size, bool reset) {
    FilterRecord* record = gCall.record;
    size = std::max(size, 0);
    Handle old = record->parameters;
    int64_t oldSize = 0;
    if (old) {
        const int64_t handleSize = GetHandleSize(old);
        if (handleSize >= ParameterHeader::kRunTimePrefix + 2)
            oldSize = BigEndian::Read16(reinterpret_cast<uint8_t*>(LockHandle(old)) + ParameterHeader::kRunTimePrefix);
        UnlockHandle(old);
    }
    if (oldSize != size || !old) {
        UniqueHandle grown(NewHandle(int64_t{size} + ParameterHeader::kRunTimePrefix));
        if (!grown) THROW_IF_ERROR(Err::MemoryFull);
        auto* to = reinterpret_cast<uint8_t*>(LockHandle(grown.Get()));
        const int64_t newBytes = int64_t{size} + ParameterHeader::kRunTimePrefix;
        std::memset(to, 0, static_cast<size_t>(newBytes));
        if (old) {
            // Copy what the old handle really holds, whatever its header claims.
            const int64_t oldBytes = std::min(GetHandleSize(old), oldSize + ParameterHeader::kRunTimePrefix);
            std::memcpy(to, LockHandle(old), static_cast<size_t>(std::min(newBytes, oldBytes)));
            UnlockHandle(old);
        }
        uint8_t* header = to + ParameterHeader::kRunTimePrefix;
        BigEndian::Write16(header, static_cast<uint16_t>(size));
        header[2] = 0;
        header[3] = ParameterHeader::kHeaderLength;
        BigEndian::Write32(header + 4, GetSignature());
        BigEndian::Write32(header + 8, 0);
        UnlockHandle(grown.Get());
        record->parameters = grown.Release();
        if (old) DisposeHandle(old);
    }
    if (reset && size > ParameterHeader::kHeaderLength) {
        std::memset(LockHandle(record->parameters) + ParameterHeader::kSettingsOffset, 0,
                    static_cast<size_t>(size - ParameterHeader::kHeaderLength));
        UnlockHandle(record->parameters);
    }
}

void PhotoshopFilter::CheckHost() {
    const FilterRecord* record = gCall.record;
    if (record->hostSig == 'QXFL') THROW_IF_ERROR(Err::HostUnsupported);
    if (!record->advanceState) THROW_IF_ERROR(Err::HostUnsupported);
    if (!record->bufferProcs) THROW_IF_ERROR(Err::HostUnsupported);
    BeginRun();
}
