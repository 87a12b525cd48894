// The UTF-8 unit: the validator, the decoder and the encoder apply one rule.
#include "core/common/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace qg {
namespace {

// Every lead byte against every second byte, and third and fourth bytes from
// the edges of the continuation range: check_utf8 accepts a sequence exactly
// when decode_utf8 reads it whole, and append_utf8 writes it back unchanged.
TEST(Utf8, ValidatorDecoderAndEncoderAgree) {
  const unsigned char tails[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
  std::string seq(4, '\0');
  for (int b0 = 0x80; b0 < 0x100; ++b0)
    for (int b1 = 0; b1 < 0x100; ++b1)
      for (unsigned char b2 : tails)
        for (unsigned char b3 : tails) {
          seq[0] = static_cast<char>(b0), seq[1] = static_cast<char>(b1);
          seq[2] = static_cast<char>(b2), seq[3] = static_cast<char>(b3);
          int len = 0;
          const int32_t cp = decode_utf8(seq.data(), seq.data() + 4, &len);
          const std::string_view head(seq.data(), cp < 0 ? 4 : static_cast<size_t>(len));
          const Utf8Check check = check_utf8(head);
          ASSERT_EQ(check.ok, cp >= 0) << std::hex << b0 << ' ' << b1 << ' ' << +b2 << ' ' << +b3;
          if (cp < 0) {
            ASSERT_EQ(check.valid_up_to, 0u);
            ASSERT_EQ(find_invalid_utf8(head), 0u);
            continue;
          }
          std::string back;
          append_utf8(back, static_cast<uint32_t>(cp));
          ASSERT_EQ(back, head);
        }
}

TEST(Utf8, ReportsWhereAndHowTextGoesWrong) {
  struct Case {
    std::string text;
    bool ok;
    size_t valid_up_to, error_len;
  };
  const Case cases[] = {
      {"plain ascii, longer than a word", true, 31, 0},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", true, 10, 0},
      {"ab\xc3", false, 2, 0},            // cut short
      {"ab\xe2\x82", false, 2, 0},        // cut short after two bytes
      {"12345678\xc0\x80", false, 8, 1},  // overlong
      {"\xed\xa0\x80", false, 0, 1},      // surrogate
      {"\xf4\x90\x80\x80", false, 0, 1},  // above U+10FFFF
      {"x\xe2\x82z", false, 1, 2},
      {"x\xf0\x9f\x98z", false, 1, 3},
  };
  for (const Case& c : cases) {
    const Utf8Check check = check_utf8(c.text);
    EXPECT_EQ(check.ok, c.ok) << c.text;
    EXPECT_EQ(check.valid_up_to, c.valid_up_to) << c.text;
    EXPECT_EQ(check.error_len, c.error_len) << c.text;
    EXPECT_EQ(find_invalid_utf8(c.text), c.ok ? std::string_view::npos : c.valid_up_to);
  }
}

}  // namespace
}  // namespace qg
