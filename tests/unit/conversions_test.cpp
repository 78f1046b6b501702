// The core library's conversions and the task record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/core.h"
#include "platform/netxfer.h"

namespace {

struct FloatCase {
  const char* text;
  float expected;
};

class TextToFloatTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(TextToFloatTest, ReadsLikeAtofOverGbk) {
  EXPECT_EQ(core::TextToFloat(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToFloatTest,
    ::testing::Values(FloatCase{"2.1", 2.1f}, FloatCase{"2.10000001", 2.1f}, FloatCase{"2.1000001", 2.1000001f},
                      FloatCase{"  2.2\r\n", 2.2f}, FloatCase{"\xA3\xB2\xA3\xAE\xA3\xB2", 2.2f},  // full-width 2.2
                      FloatCase{"\xA1\xA1" "3", 3.0f},  // ideographic space is skipped as white space
                      FloatCase{"v2.2", 0.0f}, FloatCase{"", 0.0f}, FloatCase{"2,2", 2.0f}, FloatCase{"1e1", 10.0f},
                      FloatCase{"1e", 1.0f}, FloatCase{"-.5x", -0.5f}, FloatCase{"+7", 7.0f}, FloatCase{".", 0.0f},
                      FloatCase{"0x10", 0.0f},  // decimal only
                      FloatCase{"1e999", INFINITY}, FloatCase{"1e-999", 0.0f}, FloatCase{"2.5e-1000", 0.0f}));

// A digit run longer than any small exponent clamp must not turn a tiny number
// huge or a huge one tiny.
TEST(TextToFloat, LongDigitRunsWithOutOfRangeExponents) {
  const std::string zeros(100001, '0');
  EXPECT_EQ(core::TextToFloat("1" + zeros + "e-99999999999"), 0.0f);
  EXPECT_EQ(core::TextToFloat("0." + zeros + "1e99999999999"), INFINITY);
  EXPECT_EQ(core::TextToFloat("-1" + zeros + "e99999999999"), -INFINITY);
}

TEST(FloatToText, SixSignificantDigits) {
  const std::pair<float, const char*> cases[] = {
      {2.2f, "2.2"}, {2.15f, "2.15"}, {3.0f, "3"}, {10.0f, "10"}, {2.1000001f, "2.1"}, {2.1f, "2.1"},
      {0.0f, "0"}, {-1.5f, "-1.5"}, {123456.7f, "123457"}, {1234567.0f, "1.23457e+06"}, {0.000123456f, "0.000123456"},
  };
  for (auto [value, text] : cases) EXPECT_EQ(core::FloatToText(value), text) << value;
}

TEST(Round, HalfAwayFromZeroWithTheSmallNudge) {
  const std::pair<double, double> cases[] = {{99.5, 100}, {0.4, 0}, {0.5, 1}, {-0.5, -1}, {2.4999999999999, 3},
                                             {2.49, 2},   {-2.5, -3}, {0, 0}};
  for (auto [in, out] : cases) EXPECT_EQ(core::Round(in), out) << in;
  EXPECT_EQ(core::Round(1.25, 1), 1.3);
  EXPECT_TRUE(std::isnan(core::Round(NAN)));
  EXPECT_TRUE(std::isinf(core::Round(INFINITY)));
}

TEST(Trim, AsciiAndFullWidthSpacesAtBothEnds) {
  EXPECT_EQ(core::Trim("  http://a/b  "), "http://a/b");
  EXPECT_EQ(core::Trim("\xE3\x80\x80 a b\xE3\x80\x80"), "a b");
  EXPECT_EQ(core::Trim("   "), "");
  EXPECT_EQ(core::Trim("x"), "x");
}

TEST(BytesToText, StopsAtTheFirstZero) {
  EXPECT_EQ(core::BytesToText(std::string("2.2\0junk", 8)), "2.2");
  EXPECT_EQ(core::BytesToText("abc"), "abc");
  EXPECT_EQ(core::BytesToText(std::string("\0", 1)), "");
}

TEST(TaskParam, FieldsInOrderAndStartupValues) {
  using netxfer::TaskParam;
  // twenty fields in this order; each four bytes wide on 32-bit targets
  const std::size_t offsets[] = {
      offsetof(TaskParam, Flags),           offsetof(TaskParam, Url),          offsetof(TaskParam, LocalPath),
      offsetof(TaskParam, FtpUser),         offsetof(TaskParam, FtpPassword),  offsetof(TaskParam, Connections),
      offsetof(TaskParam, SpeedLimit),      offsetof(TaskParam, ConnectTimeout), offsetof(TaskParam, SendTimeout),
      offsetof(TaskParam, ReceiveTimeout),  offsetof(TaskParam, StopWait),     offsetof(TaskParam, ReceiveBlock),
      offsetof(TaskParam, SendBlock),       offsetof(TaskParam, MessageCallback), offsetof(TaskParam, EventCallback),
      offsetof(TaskParam, FtpAltName),      offsetof(TaskParam, FtpTransferType), offsetof(TaskParam, BinaryExtensions),
      offsetof(TaskParam, HttpProxy),       offsetof(TaskParam, Referer)};
  for (std::size_t i = 1; i < std::size(offsets); ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << i;
  if (sizeof(void*) == 4) {
    for (std::size_t i = 0; i < std::size(offsets); ++i) EXPECT_EQ(offsets[i], 4 * i) << i;
    EXPECT_EQ(sizeof(TaskParam), 80u);
  }

  TaskParam t;
  std::memset(&t, 0, sizeof t);
  netxfer::SetStartupDefaults(t);
  EXPECT_EQ(t.Flags, 1);
  EXPECT_STREQ(t.Url, "");
  EXPECT_STREQ(t.LocalPath, "");
  EXPECT_STREQ(t.FtpUser, "anonymous");
  EXPECT_EQ(std::strlen(t.FtpPassword), 17u);
  EXPECT_NE(std::strchr(t.FtpPassword, '@'), nullptr);
  EXPECT_EQ(t.Connections, 1);
  EXPECT_EQ(t.SpeedLimit, 0);
  EXPECT_EQ(t.ConnectTimeout, 20000);
  EXPECT_EQ(t.SendTimeout, 20000);
  EXPECT_EQ(t.ReceiveTimeout, 20000);
  EXPECT_EQ(t.StopWait, 1000);
  EXPECT_EQ(t.ReceiveBlock, 20480);
  EXPECT_EQ(t.SendBlock, 1024);
  EXPECT_EQ(t.MessageCallback, nullptr);
  EXPECT_EQ(t.EventCallback, nullptr);
  EXPECT_STREQ(t.FtpAltName, "");
  EXPECT_EQ(t.FtpTransferType, 1);
  EXPECT_STREQ(t.BinaryExtensions, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
  EXPECT_EQ(std::strlen(t.BinaryExtensions), 33u);
  EXPECT_EQ(t.HttpProxy, nullptr);
  EXPECT_EQ(t.Referer, nullptr);

  // a text is replaced by a fresh copy
  char original[] = "x";
  netxfer::SetText(t.Url, original);
  original[0] = 'y';
  EXPECT_STREQ(t.Url, "x");
  netxfer::FreeTexts(t);
  EXPECT_EQ(t.Url, nullptr);
  EXPECT_EQ(t.BinaryExtensions, nullptr);
}

}  // namespace
