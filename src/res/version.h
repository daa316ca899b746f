// The executable's version resource: a fixed-information record and one block of texts, carried
// as data as a Windows executable carries its version resource.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tvx::res {

// Values of the fixed-information record, with the platform's numbers.
constexpr uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;
constexpr uint32_t VS_FFI_STRUCVERSION = 0x00010000;
constexpr uint32_t VS_FFI_FILEFLAGSMASK = 0x0000003F;
constexpr uint32_t VOS_NT_WINDOWS32 = 0x00040004;
constexpr uint32_t VFT_APP = 0x00000001;
constexpr uint32_t VFT2_UNKNOWN = 0x00000000;

/// The platform's fixed file information, field for field.
struct FixedFileInfo {
  uint32_t dwSignature;
  uint32_t dwStrucVersion;
  uint32_t dwFileVersionMS;  // major << 16 | minor
  uint32_t dwFileVersionLS;  // build << 16 | revision
  uint32_t dwProductVersionMS;
  uint32_t dwProductVersionLS;
  uint32_t dwFileFlagsMask;
  uint32_t dwFileFlags;
  uint32_t dwFileOS;
  uint32_t dwFileType;
  uint32_t dwFileSubtype;
  uint32_t dwFileDateMS;
  uint32_t dwFileDateLS;
};

/// One named text of the string block.
struct VersionText {
  const char* name;
  const char* value;
};

struct VersionResource {
  FixedFileInfo fixed;
  /// The string block's name: the language and the code page in hexadecimal, "040904E4".
  const char* block_name;
  const VersionText* texts;
  size_t text_count;
  /// The one translation entry: the language and the code page of the string block.
  uint16_t language;
  uint16_t code_page;
};

/// The program's version resource.
const VersionResource& AppVersion();

}  // namespace tvx::res
