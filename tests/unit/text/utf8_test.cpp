#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecodeCase {
  const char* what;
  std::string utf8;
  std::u16string utf16;
};

// Malformed input gives one U+FFFD per maximal ill-formed subpart, so the
// replacements are the same on every platform.
const DecodeCase kDecodeCases[] = {
    {"empty", "", u""},
    {"ASCII", "filepath=C:\\a", u"filepath=C:\\a"},
    {"two-byte", "\xC3\xA9", u"\u00E9"},
    {"three-byte", "\xE2\x82\xAC", u"\u20AC"},
    {"four-byte gives a surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    {"byte-order mark is kept", "\xEF\xBB\xBFx", u"\uFEFFx"},
    {"embedded zero is a character", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    {"lone continuation byte",
     "a\x80"
     "b",
     u"a\uFFFDb"},
    {"invalid lead bytes", "\xC0\xC1\xF5\xFF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"overlong two-byte slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
    {"overlong three-byte", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"truncated three-byte then ASCII", "\xE2\x82x", u"\uFFFDx"},
    {"truncated four-byte at the end", "\xF0\x9F\x98", u"\uFFFD"},
    {"lead byte cut by another lead", "\xC3\xC3\xA9", u"\uFFFD\u00E9"},
};

TEST(Utf8, DecodesAndReplacesMalformedSequences) {
  for (const DecodeCase& c : kDecodeCases) {
    EXPECT_EQ(text::Utf8ToUtf16(c.utf8), c.utf16) << c.what;
  }
}

TEST(Utf8, EncodesWellFormedTextBackToTheSameBytes) {
  for (const DecodeCase& c : kDecodeCases) {
    if (c.utf16.find(u'\uFFFD') != std::u16string::npos) continue;
    EXPECT_EQ(text::Utf16ToUtf8(c.utf16), c.utf8) << c.what;
  }
}

TEST(Utf8, EncodesLoneSurrogatesAsReplacement) {
  EXPECT_EQ(text::Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(text::Utf16ToUtf8(u"x" + std::u16string(1, char16_t(0xDC00))), "x\xEF\xBF\xBD");
}

}  // namespace
