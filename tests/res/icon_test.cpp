#include "res/icon.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

namespace {

uint16_t Word(std::span<const unsigned char> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t Dword(std::span<const unsigned char> bytes, size_t at) {
  return static_cast<uint32_t>(Word(bytes, at)) | static_cast<uint32_t>(Word(bytes, at + 2)) << 16;
}

// Bytes of one bitmap row of `width` pixels at `bits` per pixel: rows fill whole 32-bit words.
size_t RowBytes(size_t width, size_t bits) {
  return (width * bits + 31) / 32 * 4;
}

TEST(Icon, IsGroupTwo) {
  EXPECT_EQ(tvx::res::kAppIconGroup, 2u);
}

TEST(Icon, CarriesTheCommittedIconFile) {
  std::ifstream file(TVX_SOURCE_DIR "/src/res/tavox.ico", std::ios::binary);
  std::vector<unsigned char> on_disk((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
  auto embedded = tvx::res::AppIconFile();
  EXPECT_EQ(std::vector<unsigned char>(embedded.begin(), embedded.end()), on_disk);
}

TEST(Icon, HoldsA32And16PixelImageOf16Colours) {
  auto ico = tvx::res::AppIconFile();
  ASSERT_GE(ico.size(), 6u + 2 * 16);
  EXPECT_EQ(Word(ico, 0), 0);  // reserved
  EXPECT_EQ(Word(ico, 2), 1);  // an icon, not a cursor
  ASSERT_EQ(Word(ico, 4), 2);

  const unsigned sizes[] = {32, 16};
  size_t expected_offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(sizes[i]);
    size_t entry = 6 + 16 * static_cast<size_t>(i);
    const unsigned size = sizes[i];
    EXPECT_EQ(ico[entry + 0], size);  // width
    EXPECT_EQ(ico[entry + 1], size);  // height
    EXPECT_EQ(ico[entry + 2], 16);    // colours
    EXPECT_EQ(ico[entry + 3], 0);
    EXPECT_EQ(Word(ico, entry + 4), 1);  // planes
    EXPECT_EQ(Word(ico, entry + 6), 4);  // bits per pixel
    const uint32_t length = Dword(ico, entry + 8);
    const uint32_t offset = Dword(ico, entry + 12);
    EXPECT_EQ(offset, expected_offset);
    ASSERT_LE(size_t{offset} + length, ico.size());

    // The image: BITMAPINFOHEADER, 16 palette entries, the colour (XOR) bitmap, the AND mask.
    auto image = ico.subspan(offset, length);
    ASSERT_GE(image.size(), 40u);
    EXPECT_EQ(Dword(image, 0), 40u);
    EXPECT_EQ(Dword(image, 4), size);
    EXPECT_EQ(Dword(image, 8), 2 * size);  // the colour bitmap and the mask, one above the other
    EXPECT_EQ(Word(image, 12), 1);
    EXPECT_EQ(Word(image, 14), 4);
    EXPECT_EQ(Dword(image, 16), 0u);  // not compressed
    const size_t xor_bytes = RowBytes(size, 4) * size;
    const size_t and_bytes = RowBytes(size, 1) * size;
    const uint32_t colours_used = Dword(image, 32);
    EXPECT_TRUE(colours_used == 0 || colours_used == 16);
    EXPECT_EQ(image.size(), 40 + 16 * 4 + xor_bytes + and_bytes);
    const uint32_t size_image = Dword(image, 20);
    EXPECT_TRUE(size_image == 0 || size_image == xor_bytes + and_bytes);
    expected_offset += length;
  }
  EXPECT_EQ(expected_offset, ico.size());
}

TEST(Icon, IsAPictureWithATransparentBorder) {
  // The 32x32 image: its corner pixel is masked out, its centre shows a colour.
  auto ico = tvx::res::AppIconFile();
  auto image = ico.subspan(Dword(ico, 6 + 12), Dword(ico, 6 + 8));
  const size_t xor_at = 40 + 64;
  const size_t and_at = xor_at + RowBytes(32, 4) * 32;
  EXPECT_NE(image[and_at] & 0x80, 0);  // bottom-left pixel transparent
  const size_t middle_row = and_at + RowBytes(32, 1) * 16;
  EXPECT_EQ(image[middle_row + 2] & 0x80, 0);  // pixel (16, 16) opaque
  std::vector<int> colours;
  for (size_t i = xor_at; i < and_at; ++i) {
    colours.push_back(image[i] >> 4);
    colours.push_back(image[i] & 0xF);
  }
  std::sort(colours.begin(), colours.end());
  colours.erase(std::unique(colours.begin(), colours.end()), colours.end());
  EXPECT_GE(colours.size(), 3u);
}

}  // namespace
