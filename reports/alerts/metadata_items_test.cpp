// Tests of cutting metadata into items by 16-bit code units.
#include "reports/alerts/metadata_items.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tamsel::reports::alerts {
namespace {

using ::testing::ElementsAre;

std::vector<std::size_t> ItemLengths(const std::string& text) {
  std::vector<std::size_t> lengths;
  for (const std::string& item : SplitMetaData(text)) lengths.push_back(Utf16Length(item));
  return lengths;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string all;
  for (const std::string& item : items) all += item;
  return all;
}

TEST(MetaDataItemsTest, CountsCodeUnitsNotBytes) {
  // "€" is three bytes and one unit, "😀" four bytes and two units.
  EXPECT_EQ(Utf16Length("\xE2\x82\xAC\xF0\x9F\x98\x80"), 3u);
  std::string tail = std::string(1021, 'a') + "\xF0\x9F\x98\x80" + "b";
  EXPECT_THAT(ItemLengths(tail), ElementsAre(1023u, 1u));
}

TEST(MetaDataItemsTest, NeverSplitsASurrogatePair) {
  // The 1023rd unit would be the first half of the pair: the item ends before the character.
  std::string text = std::string(1022, 'a') + "\xF0\x9F\x98\x80" + std::string(5, 'b');
  std::vector<std::string> items = SplitMetaData(text);
  EXPECT_THAT(ItemLengths(text), ElementsAre(1022u, 7u));
  EXPECT_EQ(Joined(items), text);

  // Bytes that are not UTF-8 count one unit each and come back unchanged.
  std::string raw = std::string(1022, 'a') + "\xFF\x80" + "\xE2\x82";
  EXPECT_EQ(Joined(SplitMetaData(raw)), raw);
  EXPECT_THAT(ItemLengths(raw), ElementsAre(1023u, 3u));
}

}  // namespace
}  // namespace tamsel::reports::alerts
