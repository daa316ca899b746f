// The program's version resource: version 1.0.0.1, an application for 32-bit Windows NT, with
// its descriptive texts in US English, code page 1252.

#include "res/version.h"

#include <iterator>

namespace tvx::res {

namespace {

constexpr uint16_t kUsEnglish = 0x0409;
constexpr uint16_t kWindowsLatin1 = 1252;

constexpr VersionText kTexts[] = {
    {"CompanyName", "Tavox"},
    {"FileDescription", "Uninstall All Tavox Lumerands"},
    {"FileVersion", "1.0.001"},
    {"InternalName", "tavox-uninstall"},
    {"LegalCopyright", "Copyright (C) Tavox"},
    {"OriginalFilename", "tavox-uninstall"},
    {"ProductName", "Tavox Lumerands Uninstall"},
    {"ProductVersion", "1.0.001"},
};

}  // namespace

// External linkage keeps the record in the executable whether or not anything reads it.
extern const VersionResource kAppVersion;
const VersionResource kAppVersion = {
    .fixed =
        {
            .dwSignature = VS_FFI_SIGNATURE,
            .dwStrucVersion = VS_FFI_STRUCVERSION,
            .dwFileVersionMS = 0x00010000,  // 1.0
            .dwFileVersionLS = 0x00000001,  // .0.1
            .dwProductVersionMS = 0x00010000,
            .dwProductVersionLS = 0x00000001,
            .dwFileFlagsMask = VS_FFI_FILEFLAGSMASK,
            .dwFileFlags = 0,
            .dwFileOS = VOS_NT_WINDOWS32,
            .dwFileType = VFT_APP,
            .dwFileSubtype = VFT2_UNKNOWN,
            .dwFileDateMS = 0,
            .dwFileDateLS = 0,
        },
    .block_name = "040904E4",
    .texts = kTexts,
    .text_count = std::size(kTexts),
    .language = kUsEnglish,
    .code_page = kWindowsLatin1,
};

const VersionResource& AppVersion() {
  return kAppVersion;
}

}  // namespace tvx::res
