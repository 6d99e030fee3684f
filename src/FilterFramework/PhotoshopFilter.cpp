// The framework's base class at its ground: the framework's flags for the call, the preview
// dialog an instance reports to, the host fields an instance keeps between steps, and the parameter
// block's header. The class's other files (the tile walk, tile processing, the scheduler and the
// run) stand on these.
#include "PhotoshopFilter.h"

#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "Errors.h"
#include "File.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "PreviewOwner.h"

namespace {

FrameworkFlags gFramework;

}  // namespace

FrameworkFlags& Framework() { return gFramework; }

PhotoshopFilter::PhotoshopFilter(HostCall& call) : call_(call) {
    if (const FilterRecord* record = call.record) request_ = HostRequest::Of(*record);
}

uint32_t PhotoshopFilter::GetSignature() const { return 0x20202020; }

void PhotoshopFilter::SetOwner(PreviewOwner* dialog) {
    ownerKind_ = dialog ? OwnerKind::Dialog : OwnerKind::None;
    owner_ = dialog;
}

void PhotoshopFilter::SetParameterBlockSize(int32_t size, bool reset) {
    FilterRecord* record = &Record();
    size = std::max(size, 0);
    Handle old = record->parameters;
    int64_t oldSize = 0;
    if (old && GetHandleSize(old) >= ParameterHeader::kRunTimePrefix + ParameterHeader::kSizeField + 2) {
        const LockedHandle bytes(old);
        if (bytes)
            oldSize = BigEndian::Read16(bytes.As<uint8_t>() + ParameterHeader::kRunTimePrefix + ParameterHeader::kSizeField);
    }
    if (oldSize != size || !old) {
        const uint32_t signature = GetSignature();
        UniqueHandle grown(NewHandle(int64_t{size} + ParameterHeader::kRunTimePrefix));
        if (!grown) THROW_IF_ERROR(Err::MemoryFull);
        {
            const LockedHandle bytes(grown.Get());
            if (!bytes) THROW_IF_ERROR(Err::MemoryFull);
            auto* to = bytes.As<uint8_t>();
            const int64_t newBytes = int64_t{size} + ParameterHeader::kRunTimePrefix;
            std::memset(to, 0, static_cast<size_t>(newBytes));
            if (old) {
                // Copy what the old handle really holds, whatever its header claims.
                const int64_t oldBytes = std::min(GetHandleSize(old), oldSize + ParameterHeader::kRunTimePrefix);
                const LockedHandle from(old);
                if (from) std::memcpy(to, from.Get(), static_cast<size_t>(std::min(newBytes, oldBytes)));
            }
            uint8_t* header = to + ParameterHeader::kRunTimePrefix;
            BigEndian::Write16(header + ParameterHeader::kSizeField, static_cast<uint16_t>(size));
            header[ParameterHeader::kReservedByte] = 0;
            header[ParameterHeader::kLengthByte] = ParameterHeader::kHeaderLength;
            BigEndian::Write32(header + ParameterHeader::kSignatureField, signature);
            BigEndian::Write32(header + ParameterHeader::kReservedWord, 0);
        }
        record->parameters = grown.Release();
        if (old) DisposeHandle(old);
    }
    if (reset && size > ParameterHeader::kHeaderLength) {
        const LockedHandle bytes(record->parameters);
        if (bytes)
            std::memset(bytes.Get() + ParameterHeader::kSettingsOffset, 0,
                        static_cast<size_t>(size - ParameterHeader::kHeaderLength));
    }
}

void PhotoshopFilter::CopySettingsToDialogFile(File* source) {
    if (source && dialog_) CopySettingsBody(*source, dialog_->SettingsFile());
}

void CopySettingsBody(File& source, File& destination) {
    constexpr int32_t kDialogBytes = 1028;
    constexpr int32_t kChunk = 256;
    uint16_t headerLength = 0;
    if (source.Read(&headerLength, 0, sizeof headerLength) != sizeof headerLength) THROW_IF_ERROR(Err::FileIO);
    const int32_t body = std::max(source.GetSize() - int32_t{headerLength}, 0);
    THROW_IF_ERROR(destination.SetSize(static_cast<uint32_t>(kDialogBytes + body)));
    char chunk[kChunk];
    for (int32_t done = 0; done < body; done += kChunk) {
        const int32_t count = std::min(kChunk, body - done);
        if (source.Read(chunk, static_cast<uint32_t>(headerLength + done), count) != static_cast<uint32_t>(count))
            THROW_IF_ERROR(Err::FileIO);
        THROW_IF_ERROR(destination.Write(chunk, static_cast<uint32_t>(kDialogBytes + done), static_cast<uint32_t>(count)));
    }
}
