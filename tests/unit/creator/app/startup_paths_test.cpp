#include "creator/app/startup_paths.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"  // U8

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
