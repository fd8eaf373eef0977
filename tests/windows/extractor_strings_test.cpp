// The extractor's string tables (resources/extractor/strings.rc), linked
// into this program: every language carries every text with the
// placeholders and line breaks of the English one, the introduction quotes
// the buttons in their own words, the default product name is the same
// everywhere, and no other language is there.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "resources/extractor/resource_ids.h"
#include "tests/windows/string_tables.h"

namespace {

using testing_support::CountOf;
using testing_support::StringIn;

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

constexpr std::array<UINT, 21> kIds = {IDS_PACKAGE_TITLE,  IDS_WELCOME,
                                       IDS_INTRODUCTION,   IDS_FOLDER_LABEL,
                                       IDS_BROWSE,         IDS_REQUIRED_LABEL,
                                       IDS_FREE_LABEL,     IDS_REQUIRED_MB,
                                       IDS_FREE_MB,        IDS_DELETE_AFTER,
                                       IDS_SHOW_README,    IDS_CANCEL,
                                       IDS_EXTRACT,        IDS_DEFAULT_PRODUCT_NAME,
                                       IDS_FOLDER_INVALID, IDS_NO_DISK_SPACE,
                                       IDS_UNPACKING_WAIT, IDS_CONFIRM_STOP_EXTRACTING,
                                       IDS_NO_ACCESS,      IDS_PACKAGE_DAMAGED,
                                       IDS_APP_TITLE};

// Every string of kIds in `language`; a missing one is empty.
std::map<UINT, std::wstring> TextsIn(LANGID language) {
  std::map<UINT, std::wstring> texts;
  for (UINT id : kIds) texts[id] = StringIn(id, language).value_or(L"");
  return texts;
}

// Every "%" of `text` with the digits after it ("%1", "%2"; a "%" alone
// stays "%"), sorted: two texts with the same list carry the same
// placeholders, each as often.
std::vector<std::wstring> PlaceholdersOf(std::wstring_view text) {
  std::vector<std::wstring> placeholders;
  for (std::size_t at = text.find(L'%'); at != std::wstring_view::npos;
       at = text.find(L'%', at + 1)) {
    std::size_t end = at + 1;
    while (end < text.size() && text[end] >= L'0' && text[end] <= L'9') ++end;
    placeholders.emplace_back(text.substr(at, end - at));
  }
  std::sort(placeholders.begin(), placeholders.end());
  return placeholders;
}

// `text` without a trailing ellipsis, in three dots or in one character.
std::wstring_view WithoutEllipsis(std::wstring_view text) {
  for (std::wstring_view ellipsis : {std::wstring_view(L"..."), std::wstring_view(L"\u2026")}) {
    if (text.ends_with(ellipsis)) return text.substr(0, text.size() - ellipsis.size());
  }
  return text;
}

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

// The English texts are pinned below; every language, English too, has
// each of them non-empty, with the same placeholders and line breaks.
TEST(ExtractorStrings, EveryLanguageHoldsEveryTextInItsShape) {
  const std::map<UINT, std::wstring> english = TextsIn(kEnglish);
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(testing::Message() << "language " << language.id);
    const std::map<UINT, std::wstring> text = TextsIn(language.id);
    for (UINT id : kIds) {
      SCOPED_TRACE(testing::Message() << "string " << id);
      const std::wstring& value = text.at(id);
      EXPECT_FALSE(value.empty());
      EXPECT_EQ(PlaceholdersOf(value), PlaceholdersOf(english.at(id)));
      EXPECT_EQ(CountOf(value, L'%'), CountOf(english.at(id), L'%'));
      EXPECT_EQ(CountOf(value, L'\n'), CountOf(english.at(id), L'\n'));
      EXPECT_EQ(CountOf(value, L'\r'), 0u);
    }
    EXPECT_EQ(text.at(IDS_DEFAULT_PRODUCT_NAME), L"Vantrel 13");
    EXPECT_NE(text.at(IDS_UNPACKING_WAIT).find(language.waitWord), std::wstring::npos);
  }
}

// 3 tells the user to click Extract or Browse: in every language the words
// in its quotation marks are the texts of the buttons, 13 and 5, and 5
// keeps the ellipsis of a button that opens a dialog.
TEST(ExtractorStrings, TheIntroductionQuotesTheButtonsInTheirOwnWords) {
  for (const Language& language : kLanguages) {
    SCOPED_TRACE(testing::Message() << "language " << language.id);
    const std::map<UINT, std::wstring> text = TextsIn(language.id);
    const std::wstring_view browse = WithoutEllipsis(text.at(IDS_BROWSE));
    EXPECT_NE(browse.size(), text.at(IDS_BROWSE).size()) << "Browse has no ellipsis";
    for (std::wstring_view button : {std::wstring_view(text.at(IDS_EXTRACT)), browse}) {
      const std::wstring quoted = L"\"" + std::wstring(button) + L"\"";
      EXPECT_NE(text.at(IDS_INTRODUCTION).find(quoted), std::wstring::npos) << "no " << quoted;
    }
  }
}

TEST(ExtractorStrings, EnglishTextsAreTheOnesTheCodeQuotes) {
  const std::map<UINT, std::wstring> expected = {
      {IDS_PACKAGE_TITLE, L"%1 Installation Package"},
      {IDS_WELCOME, L"Welcome to %1 Installation Package"},
      {IDS_INTRODUCTION,
       L"Installer files will be unpacked to a temporary location on your hard drive before "
       L"Installation Wizard starts.\n"
       L"Click \"Extract\" to unpack %1 Installer to this folder, or click \"Browse\" to unpack to "
       L"a different folder."},
      {IDS_FOLDER_LABEL, L"Folder:"},
      {IDS_BROWSE, L"Browse..."},
      {IDS_REQUIRED_LABEL, L"Required free disk space:"},
      {IDS_FREE_LABEL, L"Current free disk space:"},
      {IDS_REQUIRED_MB, L"%1 MB"},
      {IDS_FREE_MB, L"%1 MB"},
      {IDS_DELETE_AFTER, L"Delete temporary files after installation"},
      {IDS_SHOW_README, L"Show Read Me"},
      {IDS_CANCEL, L"Cancel"},
      {IDS_EXTRACT, L"Extract"},
      {IDS_DEFAULT_PRODUCT_NAME, L"Vantrel 13"},
      {IDS_FOLDER_INVALID,
       L"The temporary location you specified may contain invalid character(s) or you have no "
       L"access priviliges."},
      {IDS_NO_DISK_SPACE,
       L"%1 software installation cannot be completed because of the limited hard disk space in "
       L"\n\"%2\" folder.\n%3 MB is required."},
      {IDS_UNPACKING_WAIT,
       L"Please wait while the %1 Installer is unpacked and Installation Wizard starts.\n"
       L"This may take several minutes."},
      {IDS_CONFIRM_STOP_EXTRACTING, L"Are you sure you want to stop extracting the installer?"},
      {IDS_NO_ACCESS,
       L"%1 software installation cannot be completed because you have no access privileges to "
       L"\n%2 folder.\nContact your system administrator."},
      {IDS_PACKAGE_DAMAGED,
       L"The installer package is incomplete or damaged. If you downloaded it from the Internet, "
       L"please download it again."},
      {IDS_APP_TITLE, L"Unpacking %1 Installer"},
  };
  EXPECT_EQ(expected.size(), kIds.size());
  for (const auto& [id, english] : expected) {
    EXPECT_EQ(StringIn(id, kEnglish), english) << "string " << id;
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
