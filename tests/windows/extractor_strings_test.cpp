// The extractor's string tables (resources/extractor/strings.rc), linked
// into this program: every language carries every text with its
// placeholder and line break, the default product name is the same
// everywhere, and no other language is there.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>

#include "resources/extractor/resource_ids.h"
#include "tests/windows/string_tables.h"

namespace {

using testing_support::CountOf;
using testing_support::StringIn;

struct Language {
  LANGID id;
  // A word of the language's string 17, with its letters beyond ASCII where
  // the language has them (Italian needs none): a table that the resource
  // compiler read in another code page does not hold it.
  const wchar_t* waitWord;
};

constexpr Language kLanguages[] = {
    {1028, L"\u89E3\u58D3\u7E2E"},                                            // 解壓縮
    {1029, L"Po\u010Dkejte"},                                                 // Počkejte
    {1031, L"w\u00E4hrend"},                                                  // während
    {1032, L"\u03A0\u03B5\u03C1\u03B9\u03BC\u03AD\u03BD\u03B5\u03C4\u03B5"},  // Περιμένετε
    {1033, L"Please wait"},                                                   //
    {1034, L"instalaci\u00F3n"},                                              // instalación
    {1035, L"k\u00E4ynnistyy"},                                               // käynnistyy
    {1036, L"d\u00E9compression"},                                            // décompression
    {1038, L"V\u00E1rjon"},                                                   // Várjon
    {1040, L"decompressione"},                                                //
    {1041, L"\u304A\u5F85\u3061\u304F\u3060\u3055\u3044"},              // お待ちください
    {1042, L"\uAE30\uB2E4\uB824"},                                      // 기다려
    {1045, L"a\u017C"},                                                 // aż
    {1049, L"\u041F\u043E\u0434\u043E\u0436\u0434\u0438\u0442\u0435"},  // Подождите
    {1055, L"l\u00FCtfen"},                                             // lütfen
    {2052, L"\u89E3\u538B\u7F29"},                                      // 解压缩
    {2070, L"instala\u00E7\u00E3o"},                                    // instalação
};

TEST(ExtractorStrings, EveryLanguageHoldsEveryTextInItsShape) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(testing::Message() << "language " << language.id);
    std::map<UINT, std::wstring> text;
    for (UINT id : {IDS_DEFAULT_PRODUCT_NAME, IDS_UNPACKING_WAIT, IDS_CONFIRM_STOP_EXTRACTING,
                    IDS_PACKAGE_DAMAGED, IDS_APP_TITLE}) {
      const std::optional<std::wstring> found = StringIn(id, language.id);
      EXPECT_FALSE(found.value_or(L"").empty()) << "string " << id;
      text[id] = found.value_or(L"");
    }
    EXPECT_EQ(text[IDS_DEFAULT_PRODUCT_NAME], L"Vantrel 13");
    for (UINT id : {IDS_UNPACKING_WAIT, IDS_APP_TITLE}) {
      EXPECT_EQ(CountOf(text[id], L'%'), 1u) << "string " << id;
      EXPECT_NE(text[id].find(L"%1"), std::wstring::npos) << "string " << id;
    }
    for (UINT id : {IDS_CONFIRM_STOP_EXTRACTING, IDS_PACKAGE_DAMAGED}) {
      EXPECT_EQ(CountOf(text[id], L'%'), 0u) << "string " << id;
    }
    EXPECT_EQ(CountOf(text[IDS_UNPACKING_WAIT], L'\n'), 1u);
    for (const auto& [id, value] : text) EXPECT_EQ(CountOf(value, L'\r'), 0u) << "string " << id;
    EXPECT_NE(text[IDS_UNPACKING_WAIT].find(language.waitWord), std::wstring::npos);
  }
}

TEST(ExtractorStrings, EnglishTextsAreTheOnesTheCodeQuotes) {
  const std::map<UINT, std::wstring> expected = {
      {IDS_DEFAULT_PRODUCT_NAME, L"Vantrel 13"},
      {IDS_UNPACKING_WAIT,
       L"Please wait while the %1 Installer is unpacked and Installation Wizard starts.\n"
       L"This may take several minutes."},
      {IDS_CONFIRM_STOP_EXTRACTING, L"Are you sure you want to stop extracting the installer?"},
      {IDS_PACKAGE_DAMAGED,
       L"The installer package is incomplete or damaged. If you downloaded it from the Internet, "
       L"please download it again."},
      {IDS_APP_TITLE, L"Unpacking %1 Installer"},
  };
  for (const auto& [id, english] : expected) {
    EXPECT_EQ(StringIn(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), english)
        << "string " << id;
  }
}

TEST(ExtractorStrings, EveryBlockIsInExactlyTheSeventeenLanguages) {
  std::set<LANGID> expected;
  for (const Language& language : kLanguages) expected.insert(language.id);
  EXPECT_EQ(expected, std::set<LANGID>(testing_support::kProgramLanguages.begin(),
                                       testing_support::kProgramLanguages.end()));
  testing_support::ExpectEveryBlockInExactly(expected);
}

}  // namespace
