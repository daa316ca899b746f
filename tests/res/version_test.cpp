#include "res/version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(Version, TheFixedRecordNames1_0_0_1AsAnApplicationForWindowsNt) {
  const tvx::res::FixedFileInfo& fixed = tvx::res::AppVersion().fixed;
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwStrucVersion, 0x00010000u);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  EXPECT_EQ(fixed.dwFileOS, 0x00040004u);
  EXPECT_EQ(fixed.dwFileType, 1u);
  EXPECT_EQ(fixed.dwFileSubtype, 0u);
  // The record has the platform's layout: thirteen 32-bit fields.
  EXPECT_EQ(sizeof(tvx::res::FixedFileInfo), 52u);
}

TEST(Version, HasOneUsEnglishBlockInCodePage1252) {
  const tvx::res::VersionResource& version = tvx::res::AppVersion();
  EXPECT_STREQ(version.block_name, "040904E4");
  EXPECT_EQ(version.language, 0x0409);
  EXPECT_EQ(version.code_page, 1252);
}

TEST(Version, BothVersionTextsRead1_0_001) {
  const tvx::res::VersionResource& version = tvx::res::AppVersion();
  std::map<std::string, std::string> texts;
  for (size_t i = 0; i < version.text_count; ++i) {
    EXPECT_TRUE(texts.emplace(version.texts[i].name, version.texts[i].value).second)
        << "twice: " << version.texts[i].name;
  }
  EXPECT_EQ(texts["FileVersion"], "1.0.001");
  EXPECT_EQ(texts["ProductVersion"], "1.0.001");
  EXPECT_EQ(texts["FileDescription"], "Uninstall All Tavox Lumerands");
  for (const auto& [name, value] : texts) EXPECT_FALSE(value.empty()) << name;
}

}  // namespace
