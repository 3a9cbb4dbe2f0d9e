#include "platform/colours.h"

#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(Colours, PlainValuesAreBgrAndIgnoreTheirHighByte) {
  EXPECT_EQ(ColourValueToRgb(0xF0CAA6), (Rgb{0xA6, 0xCA, 0xF0}));
  EXPECT_EQ(ColourValueToRgb(0x0000FF), (Rgb{255, 0, 0}));
  EXPECT_EQ(ColourValueToRgb(0x12FFFF00), (Rgb{0, 255, 255}));
  EXPECT_EQ(RgbToColourValue({0xA6, 0xCA, 0xF0}), 0xF0CAA6u);
}

TEST(Colours, TopBitValuesAreSystemColoursByTheirLowByte) {
  EXPECT_EQ(ColourValueToRgb(SystemColourValue(5)), (Rgb{255, 255, 255}));   // window background
  EXPECT_EQ(ColourValueToRgb(0xFF00000F), (Rgb{0xD4, 0xD0, 0xC8}));           // button face
  EXPECT_EQ(ColourValueToRgb(0xFF000018), (Rgb{0xFF, 0xFF, 0xE1}));           // tooltip background
  EXPECT_EQ(ColourValueToRgb(0xFF00001E), (Rgb{0xD4, 0xD0, 0xC8}));           // menu bar, the last
  EXPECT_EQ(ColourValueToRgb(0x80000005), (Rgb{255, 255, 255}));             // any top-bit value
  EXPECT_EQ(ColourValueToRgb(0xFF00001F), (Rgb{}));                          // no such index: black
  EXPECT_EQ(ColourValueToRgb(0xFFFFFFFF), (Rgb{}));
  EXPECT_FALSE(IsSystemColourValue(0x7FFFFFFF));
}

}  // namespace
}  // namespace vesk
