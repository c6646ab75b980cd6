// Detail texts as the flow keeps them: cut at their cap and at a NUL, bytes kept as sent, and the
// common name taken from a certificate subject as nDPI writes it.
#include <gtest/gtest.h>

#include <string>

#include "tools/capture/classify/detail_copy.h"
#include "tools/capture/constants.h"

namespace {

TEST(DetailCopyTest, TextsAreCutAtTheirCapAndFirstNulAndKeepTheirBytes) {
  EXPECT_EQ(capture::DetailText(nullptr, 10), "");
  const char fixed[8] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g'};
  EXPECT_EQ(capture::DetailText(fixed, sizeof(fixed)), "ab");
  const char full[4] = {'w', 'x', 'y', 'z'};  // no NUL within the field: read to its end only
  EXPECT_EQ(capture::DetailText(full, sizeof(full)), "wxyz");
  const std::string bad = "\xc3\x28 \xff";
  EXPECT_EQ(capture::DetailText(bad.c_str(), capture::kDpiMaxDetailText), bad);
  const std::string long_text(capture::kDpiMaxDetailText + 100, 'q');
  EXPECT_EQ(capture::DetailText(long_text.c_str(), capture::kDpiMaxDetailText).size(),
            capture::kDpiMaxDetailText);
}

TEST(DetailCopyTest, CommonNameComesFromTheCnOfTheSubject) {
  EXPECT_EQ(capture::CommonName("C=CN, ST=beijing, O=Beijing Baidu, CN=baidu.com"), "baidu.com");
  EXPECT_EQ(capture::CommonName("CN=only.test"), "only.test");
  EXPECT_EQ(capture::CommonName("CN=first.test, O=Org"), "first.test");
  // "CN=" inside another attribute's value is not the common name.
  EXPECT_EQ(capture::CommonName("O=ACN=x, CN=real.test"), "real.test");
  EXPECT_EQ(capture::CommonName("C=US, O=No Name"), "");
}

}  // namespace
