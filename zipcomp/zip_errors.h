// Result codes of ZipComponent::Zip and their descriptions for the user.
#pragma once

#include <cstdint>
#include <string>

namespace zipcomp {

enum class ZipResult : std::int32_t {
    Ok = 0,
    NothingToDo = 1,
    BasePathMissing = 2,
    NoArchiveName = 3,
    InvalidLevel = 4,
    InvalidPattern = 5,
    SourceUnreadable = 6,
    SourceVanished = 7,
    SourceChanged = 8,
    TargetNotWritable = 9,
    DiskFull = 10,
    WriteFailed = 11,
    ReplaceFailed = 12,
    SourcesKept = 13,
    DuplicateName = 14,
    OutOfMemory = 15,
    Busy = 16,
    SfxNotSupported = 17,
    Cancelled = 18,
    Internal = 19,
    SfxStubInvalid = 20,
    SfxIconInvalid = 21,
    SfxIconNotWritten = 22,
    SfxSettingsInvalid = 23,
    ArchiveInsideSource = 24,
    TargetNotAFile = 25,
    SfxNameRefused = 26,
    SfxNameClash = 27,
};
inline constexpr ZipResult kLastZipResult = ZipResult::SfxNameClash;

// xType 0 asks for the text of a result code; every code has one.
std::string errorDescription(std::int16_t xType, std::int32_t value);

// The same in English, for the command line.
const char* errorDescriptionEnglish(std::int32_t value);

}  // namespace zipcomp
