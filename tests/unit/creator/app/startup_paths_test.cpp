#include "creator/app/startup_paths.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"  // U8
#include "text/command_line.h"

namespace {

using testing_support::U8;

struct PathCase {
  std::u16string commandLine;
  std::u16string programPath;
  std::u16string exeDirectory;
  std::u16string descriptionPath;
};

const PathCase kPathCases[] = {
    {u"\"C:\\Tools\\pack.exe\" -x", u"C:\\Tools\\pack.exe", u"C:\\Tools", u"C:\\Tools\\pack.txt"},
    {u"C:\\Tools\\pack.exe -x", u"C:\\Tools\\pack.exe", u"C:\\Tools", u"C:\\Tools\\pack.txt"},
    {u"C:\\My Tools\\pack.exe", u"C:\\My", u"C:", u"txt"},
    {u"pack", u"pack", u"", u"txt"},
    {u"pack.exe", u"pack.exe", u"", u"pack.txt"},
    {u"\"C:\\Tools\\pack.exe", u"", u"", u"txt"},
    {u"\"\"", u"", u"", u"txt"},
    {u"C:\\a.b\\pack", u"C:\\a.b\\pack", u"C:\\a.b", u"C:\\a.txt"},
    // The space is looked for first: a tab before it stays in the path.
    {u"pack.exe\tx y", u"pack.exe\tx", u"", u"pack.txt"},
    // Without any space, the first tab ends the path.
    {u"C:\\T\\pack.exe\t-x", u"C:\\T\\pack.exe", u"C:\\T", u"C:\\T\\pack.txt"},
    {u"", u"", u"", u"txt"},
    // The quoted form keeps spaces and tabs inside the quotes.
    {u"\"C:\\My Tools\\p\tk.exe\"x", u"C:\\My Tools\\p\tk.exe", u"C:\\My Tools",
     u"C:\\My Tools\\p\tk.txt"},
};

TEST(StartupPaths, CutsTheProgramPathOutOfTheCommandLine) {
  for (const PathCase& c : kPathCases) {
    const creator::StartupPaths paths = creator::ComputeStartupPaths(c.commandLine);
    EXPECT_EQ(paths.programPath, c.programPath) << U8(c.commandLine);
    EXPECT_EQ(paths.exeDirectory, c.exeDirectory) << U8(c.commandLine);
    EXPECT_EQ(paths.descriptionPath, c.descriptionPath) << U8(c.commandLine);
  }
}

}  // namespace

namespace {

// What follows the program's path reaches the installer exactly as written.
TEST(CommandLine, TheArgumentsAfterTheProgramPathStayAsWritten) {
  struct Case {
    std::u16string line;
    std::u16string path;
    std::u16string arguments;
  };
  const Case cases[] = {
      {u"\"C:\\Down loads\\Product.exe\" /S /D=C:\\Apps", u"C:\\Down loads\\Product.exe",
       u"/S /D=C:\\Apps"},
      {u"Product.exe   /S", u"Product.exe", u"/S"},
      {u"Product.exe\t/S", u"Product.exe", u"/S"},
      {u"\"Product.exe\"/S", u"Product.exe", u"/S"},
      {u"Product.exe /x \"a b\" \"\" c  d ", u"Product.exe", u"/x \"a b\" \"\" c  d "},
      {u"\"Product.exe\"", u"Product.exe", u""},
      {u"Product.exe", u"Product.exe", u""},
      {u"\"Product.exe /S", u"", u""},  // no closing quote: no path, no arguments
      {u"", u"", u""},
  };
  for (const Case& c : cases) {
    const text::CommandLineParts parts = text::SplitCommandLine(c.line);
    EXPECT_EQ(parts.programPath, c.path) << U8(c.line);
    EXPECT_EQ(parts.arguments, c.arguments) << U8(c.line);
  }
}

}  // namespace
