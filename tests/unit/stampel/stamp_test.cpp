#include "tools/stampel/stamp.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "package/version_block.h"
#include "tests/support/temp_folder.h"

namespace {

using package::VersionNode;
using stampel::ExitCode;
using stampel::StampRequest;
using testing_support::U8;

std::string Describe(const std::optional<StampRequest>& request) {
  if (!request) return "(refused)";
  return "[" + U8(request->file) + "] [" + U8(request->key) + "] [" + U8(request->value) + "]";
}

TEST(StampCommandLine, ReadsThePiecesAsTheCreatorWritesThem) {
  const struct {
    std::u16string_view line;
    std::optional<StampRequest> expected;
  } cases[] = {
      {uR"(C:\TOOLS~1\Stampel\STAMPE~1.EXE -u "C:\Out Dir\pkg.exe" FileVersion "13.0 Build 3271")",
       StampRequest{uR"(C:\Out Dir\pkg.exe)", u"FileVersion", u"13.0 Build 3271"}},
      {uR"("C:\Program Files\Stampel\StampelLib.exe" -u "C:\pkg.exe" ProductVersion "13.0")",
       StampRequest{uR"(C:\pkg.exe)", u"ProductVersion", u"13.0"}},
      {uR"(S.EXE -u "C:\pkg.exe" FileDescription "")",
       StampRequest{uR"(C:\pkg.exe)", u"FileDescription", u""}},
      // Nothing is escaped: a backslash before a closing quote is text.
      {uR"(S.EXE -u "C:\Out\" FileDescription "Setup in C:\Data\")",
       StampRequest{uR"(C:\Out\)", u"FileDescription", uR"(Setup in C:\Data\)"}},
      {uR"(S.EXE -u "C:\pkg.exe" K "a\"b")", std::nullopt},
      // A quoted program ends at its closing quote; blanks may be tabs and repeat.
      {u"\"C:\\a b\\S.EXE\"-u\t\"f.exe\"   K  \"v\" \t", StampRequest{u"f.exe", u"K", u"v"}},
      {u"\"C:\\unclosed -u \"f.exe\" K \"v\"", std::nullopt},
      {u"", std::nullopt},
      {u"S.EXE", std::nullopt},
      {u"S.EXE -x \"f.exe\" K \"v\"", std::nullopt},
      {u"S.EXE -u \"f.exe\" K", std::nullopt},
      {u"S.EXE -u \"f.exe\" K \"v", std::nullopt},
      {u"S.EXE -u \"f.exe\" K \"v\" extra", std::nullopt},
      {u"S.EXE -u \"\" K \"v\"", std::nullopt},
      {u"S.EXE -u \"f.exe\" \"\" \"v\"", std::nullopt},
      {u"S.EXE -u \"f.exe\"K \"v\"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Describe(stampel::ParseCommandLine(c.line)), Describe(c.expected)) << U8(c.line);
  }
}

TEST(StampVersionBlock, AnswersWithTheCodeOfWhatStoppedIt) {
  const VersionNode table{package::kTextNode, u"040904B0", {}, {}, false};
  const VersionNode info{package::kTextNode, u"StringFileInfo", {}, {table}, false};
  const auto withTable = *package::SerializeVersionBlock(
      {package::kBinaryNode, u"VS_VERSION_INFO", {}, {info}, false});
  const auto withoutTable =
      *package::SerializeVersionBlock({package::kBinaryNode, u"VS_VERSION_INFO", {}, {}, false});
  const std::vector<unsigned char> notABlock = {0x40, 0x00, 0x00};

  const struct {
    const char* what;
    const std::vector<unsigned char>& block;
    std::u16string value;
    ExitCode expected;
  } cases[] = {
      {"a string table", withTable, u"1.2.3", ExitCode::kStamped},
      {"no block", notABlock, u"1.2.3", ExitCode::kBadVersionBlock},
      {"no string table", withoutTable, u"1.2.3", ExitCode::kNoStringTable},
      {"a value beyond 65,535 bytes", withTable, std::u16string(33000, u'x'),
       ExitCode::kBlockTooLarge},
  };
  for (const auto& c : cases) {
    const std::vector<unsigned char> preset = {0xEE};
    std::vector<unsigned char> stamped = preset;
    const ExitCode code = stampel::StampVersionBlock(c.block, u"FileVersion", c.value, stamped);
    EXPECT_EQ(code, c.expected) << c.what << ": " << stampel::ExitCodeName(code);
    if (c.expected != ExitCode::kStamped) {
      EXPECT_EQ(stamped, preset) << c.what;
      continue;
    }
    const auto root = package::ParseVersionBlock(stamped);
    ASSERT_TRUE(root) << c.what;
    const VersionNode* string = package::FindChild(root->children[0].children[0], u"FileVersion");
    ASSERT_TRUE(string) << c.what;
    EXPECT_EQ(package::TextValue(*string), c.value) << c.what;
  }
}

}  // namespace
