// The package creator's string tables (resources/creator/strings.rc), linked
// into this program: every language carries every text, with its
// placeholder, its line break and the product name, and no other language
// is there.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "resources/creator/resource_ids.h"
#include "tests/windows/string_tables.h"

namespace {

using testing_support::CountOf;
using testing_support::StringIn;

constexpr UINT kTitle = IDS_CREATING_TITLE;
constexpr UINT kWait = IDS_CREATING_WAIT;
constexpr UINT kReadError = IDS_READ_ERROR;
constexpr UINT kMemoryError = IDS_MEMORY_ERROR;
constexpr UINT kMissingFile = IDS_MISSING_FILE;
constexpr UINT kConfirmStop = IDS_CONFIRM_STOP;
constexpr UINT kAppTitle = IDS_APP_TITLE;
constexpr std::array<UINT, 7> kIds = {kTitle,       kWait,        kReadError, kMemoryError,
                                      kMissingFile, kConfirmStop, kAppTitle};

struct Language {
  LANGID id;
  // A word of the language's string 2, with its letters beyond ASCII where
  // the language has them (Italian needs none): a table that the resource
  // compiler read in another code page does not hold it.
  const wchar_t* waitWord;
};

constexpr Language kLanguages[] = {
    {1028, L"\u5B89\u88DD\u5957\u4EF6"},                    // 安裝套件
    {1029, L"Po\u010Dkejte"},                               // Počkejte
    {1031, L"w\u00E4hrend"},                                // während
    {1032, L"\u03C0\u03B1\u03BA\u03AD\u03C4\u03BF"},        // πακέτο
    {1033, L"Please wait"},                                 //
    {1034, L"instalaci\u00F3n"},                            // instalación
    {1035, L"T\u00E4m\u00E4"},                              // Tämä
    {1036, L"cr\u00E9e"},                                   // crée
    {1038, L"V\u00E1rjon"},                                 // Várjon
    {1040, L"pacchetto"},                                   //
    {1041, L"\u304A\u5F85\u3061\u304F\u3060\u3055\u3044"},  // お待ちください
    {1042, L"\uAE30\uB2E4\uB824"},                          // 기다려
    {1045, L"a\u017C"},                                     // aż
    {1049,
     L"\u0443\u0441\u0442\u0430\u043D\u043E\u0432\u043E\u0447\u043D\u044B\u0439"},  // установочный
    {1055, L"l\u00FCtfen"},                                                         // lütfen
    {2052, L"\u5B89\u88C5\u5305"},                                                  // 安装包
    {2070, L"instala\u00E7\u00E3o"},                                                // instalação
};

TEST(CreatorStrings, EveryLanguageHoldsEveryTextInItsShape) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(testing::Message() << "language " << language.id);
    std::map<UINT, std::wstring> text;
    for (UINT id : kIds) {
      const std::optional<std::wstring> found = StringIn(id, language.id);
      EXPECT_TRUE(found.has_value()) << "string " << id << " has no block";
      EXPECT_FALSE(found.value_or(L"").empty()) << "string " << id << " is empty";
      text[id] = found.value_or(L"");
    }

    for (UINT id : {kReadError, kMissingFile}) {
      EXPECT_EQ(CountOf(text[id], L'%'), 1u) << "string " << id;
      EXPECT_NE(text[id].find(L"\"%1\""), std::wstring::npos) << "string " << id;
    }
    for (UINT id : {kTitle, kWait, kMemoryError, kConfirmStop, kAppTitle}) {
      EXPECT_EQ(CountOf(text[id], L'%'), 0u) << "string " << id;
    }

    EXPECT_EQ(CountOf(text[kWait], L'\n'), 1u);
    EXPECT_EQ(CountOf(text[kWait], L'\r'), 0u);
    EXPECT_NE(text[kWait].find(L"Vantrel Installer"), std::wstring::npos);
    EXPECT_NE(text[kWait].find(language.waitWord), std::wstring::npos);
    EXPECT_EQ(text[kTitle], text[kAppTitle]);
  }
}

TEST(CreatorStrings, EnglishTextsAreTheOnesTheCodeQuotes) {
  const std::map<UINT, std::wstring> expected = {
      {kTitle, L"Installation Package Creation"},
      {kWait,
       L"Please wait while the Vantrel Installer creates installation package.\n"
       L"This may take several minutes."},
      {kReadError, L"Error while reading \"%1\"!"},
      {kMemoryError, L"Memory allocation error!"},
      {kMissingFile, L"Missing file: \"%1\"!"},
      {kConfirmStop, L"Are you sure you want to stop creating the installer?"},
      {kAppTitle, L"Installation Package Creation"},
  };
  for (const auto& [id, english] : expected) {
    EXPECT_EQ(StringIn(id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), english)
        << "string " << id;
  }
}

TEST(CreatorStrings, EveryBlockIsInExactlyTheSeventeenLanguages) {
  std::set<LANGID> expected;
  for (const Language& language : kLanguages) expected.insert(language.id);
  EXPECT_EQ(expected, std::set<LANGID>(testing_support::kProgramLanguages.begin(),
                                       testing_support::kProgramLanguages.end()));
  testing_support::ExpectEveryBlockInExactly(expected);
}

}  // namespace
