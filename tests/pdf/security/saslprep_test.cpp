// SASLprep of passwords: the examples of RFC 4013 and NFKC cases whose
// results come from Python's unicodedata (Unicode 3.2); and the password
// forms the handler tries.
#include <gtest/gtest.h>

#include <string>

#include "pdf/security/password_forms.h"
#include "pdf/security/saslprep.h"
#include "runtime/app_context.h"
#include "support/hex.h"

namespace vn::pdf::security {
namespace {

// The prepared text in hex, or "refused".
std::string Prepared(const std::string& text) {
  AppContext context;
  EngineArray<uint8_t> out(context);
  if (!SaslPrep(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()), out)) {
    return "refused";
  }
  return test::Hex(out.Data(), out.Size());
}

TEST(SaslPrep, Rfc4013Examples) {
  EXPECT_EQ(Prepared("I\u00ADX"), "4958");  // soft hyphen mapped to nothing
  EXPECT_EQ(Prepared("user"), "75736572");
  EXPECT_EQ(Prepared("USER"), "55534552");  // case is kept
  EXPECT_EQ(Prepared("\u00AA"), "61");      // NFKC
  EXPECT_EQ(Prepared("\u2168"), "4958");
  EXPECT_EQ(Prepared("\x07"), "refused");          // prohibited
  EXPECT_EQ(Prepared("\u0627\u0031"), "refused");  // bidirectional rule
}

TEST(SaslPrep, NormalisationAndMapping) {
  EXPECT_EQ(Prepared("e\u0301"), "c3a9");                   // composed
  EXPECT_EQ(Prepared("\uFB03"), "666669");                  // ligature split
  EXPECT_EQ(Prepared("\uFF21\uFF22"), "4142");              // full width
  EXPECT_EQ(Prepared("\u1100\u1161\u11A8"), "eab081");      // Hangul by rule
  EXPECT_EQ(Prepared("a\u0328\u0301"), "c485cc81");         // canonical order, then
  EXPECT_EQ(Prepared("a\u0301\u0328"), "c485cc81");         // the first mark composes
  EXPECT_EQ(Prepared("\u212B"), "c385");                    // singleton
  EXPECT_EQ(Prepared("\u1E9B\u0323"), "e1b9a9");            // compatibility, then composition
  EXPECT_EQ(Prepared("\U0001D400x"), "4178");               // outside the BMP
  EXPECT_EQ(Prepared("\u00A0a\u2003b"), "20612062");        // non-ASCII spaces
  EXPECT_EQ(Prepared("\u0627\u0628"), "d8a7d8a8");          // right to left throughout
  EXPECT_EQ(Prepared(""), "");
  EXPECT_EQ(Prepared("\xC3"), "refused");                   // not UTF-8
  EXPECT_EQ(Prepared("\xED\xA0\x80"), "refused");           // a surrogate
  EXPECT_EQ(Prepared("\uE000"), "refused");                 // private use
}

TEST(PasswordForms, LatinForEarlyRevisionsPreparedForLaterOnes) {
  AppContext context;
  EngineArray<uint8_t> out(context);
  auto form = [&](const std::string& text, int32_t revision) -> std::string {
    if (!AlternatePasswordForm(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                               revision, out)) {
      return "none";
    }
    return test::Hex(out.Data(), out.Size());
  };
  EXPECT_EQ(form("caf\u00E9", 4), "636166e9");
  EXPECT_EQ(form("plain", 3), "none");
  EXPECT_EQ(form("\u0141", 2), "none");  // no single-byte form
  EXPECT_EQ(form("\u2168", 6), "4958");
  EXPECT_EQ(form("plain", 6), "none");     // already prepared
  EXPECT_EQ(form("\x07", 5), "none");      // refused by SASLprep
  std::string wide(60, 'a');
  for (int k = 0; k < 60; ++k) wide += "\uFB03";  // 3 bytes each, 3 letters once prepared
  EXPECT_EQ(form(wide, 6).size(), 2u * 127);    // cut to 127 bytes
}

}  // namespace
}  // namespace vn::pdf::security
