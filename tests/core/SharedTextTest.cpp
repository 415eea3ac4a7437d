// A shared text: copies share one buffer, and it compares and converts as the
// string it stands for.
#include "core/support/SharedText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

namespace ovel {
namespace {

TEST(SharedTextTest, CopiesShareOneBufferUntilTheLastGoes) {
  SharedText text = "claude-sonnet-4-6";
  EXPECT_EQ(text.shareCount(), 1);
  {
    SharedText copy = text;
    SharedText another;
    another = copy;
    EXPECT_EQ(text.shareCount(), 3);
    EXPECT_EQ(copy.view().data(), text.view().data());
  }
  EXPECT_EQ(text.shareCount(), 1);
  SharedText moved = std::move(text);
  EXPECT_EQ(moved.shareCount(), 1);
  EXPECT_TRUE(text.empty()) << "a moved-from text is empty";
}

TEST(SharedTextTest, ComparesAndConvertsAsItsText) {
  SharedText text = std::string("/home/ada/shop");
  EXPECT_EQ(text, SharedText("/home/ada/shop")) << "equal content in another buffer";
  EXPECT_EQ(text, "/home/ada/shop");
  EXPECT_EQ(text, std::string_view("/home/ada/shop"));
  EXPECT_FALSE(text == "/home/ada");
  EXPECT_EQ(std::string(text), "/home/ada/shop");
  EXPECT_EQ(text.size(), 14u);
  std::ostringstream out;
  out << text;
  EXPECT_EQ(out.str(), "/home/ada/shop");

  SharedText empty = "";
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty, SharedText());
  EXPECT_EQ(empty.shareCount(), 0);
  EXPECT_EQ(empty.view(), "");
}

}  // namespace
}  // namespace ovel
