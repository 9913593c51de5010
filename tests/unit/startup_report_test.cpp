// The file report of a StartUp row: cutting the command line into program
// and parameter, resolving them, and the layout of the report.

#include <gtest/gtest.h>

#include <string>

#include "fake_ui.h"
#include "platform/memory/memory_machine.h"
#include "startup/startup_report.h"
#include "startup/startup_tab.h"

namespace cu {
namespace {

const std::string kAppPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths";
const LocalTime kNoon{2023, 5, 6, 12, 8, 9};  // reported with seconds rounded down to even
const std::string kNoonText = "5/6/2023 12:08:08 PM";

TEST(CutAfterExtension, EarliestExtensionInTheTextsOwnCase) {
  EXPECT_EQ(CutAfterExtension(""), "");
  EXPECT_EQ(CutAfterExtension("no extension here"), "no extension here");
  EXPECT_EQ(CutAfterExtension("C:\\Program Files\\App\\App.EXE\" /min"),
            "C:\\Program Files\\App\\App.EXE");
  EXPECT_EQ(CutAfterExtension("shell32.Dll,Control_RunDLL"), "shell32.Dll");
  // Anywhere in the text, not only at the end of a word: a folder named
  // tools.dll cuts the program there.
  EXPECT_EQ(CutAfterExtension("C:\\tools.dll\\run.exe"), "C:\\tools.dll");
  EXPECT_EQ(CutAfterExtension("a.cpl b.exe"), "a.cpl");
  EXPECT_EQ(CutAfterExtension("x.exec"), "x.exe");
}

class StartupReport : public ::testing::Test {
 protected:
  CommandPaths Split(const std::string& command) {
    return SplitCommandLine(m.platform(), command);
  }
  std::string Report(const std::string& command) {
    return BuildStartupReport(m.platform(), command);
  }

  memory::MemoryMachine m;
};

TEST_F(StartupReport, SplitsQuotedAndUnquotedCommands) {
  m.files.AddFile("C:\\Program Files\\My App\\app.exe");
  CommandPaths p = Split("\"C:\\Program Files\\My App\\app.exe\" /min");
  EXPECT_EQ(p.program, "C:\\Program Files\\My App\\app.exe");
  EXPECT_EQ(p.parameter, "/min");

  // A blank before the quote keeps it.
  p = Split(" \"C:\\a b\\x.exe\" y");
  EXPECT_EQ(p.program, "\"C:\\a b\\x.exe");
  EXPECT_EQ(p.parameter, "y");

  m.files.AddFile("C:\\WINDOWS\\rundll32.exe");
  m.files.AddFile("C:\\WINDOWS\\system32\\shell32.dll");
  p = Split("C:\\WINDOWS\\rundll32.exe C:\\WINDOWS\\system32\\shell32.dll,Control_RunDLL");
  EXPECT_EQ(p.program, "C:\\WINDOWS\\rundll32.exe");
  EXPECT_EQ(p.parameter, "C:\\WINDOWS\\system32\\shell32.dll");

  // Lead characters are skipped, the parameter is cut after its extension.
  p = Split("\"\"x.exe\"  *?<\"more.cpl\" -q");
  EXPECT_EQ(p.program, "x.exe");
  EXPECT_EQ(p.parameter, "more.cpl");

  p = Split("nothing to resolve here");
  EXPECT_EQ(p.program, "nothing to resolve here");
  EXPECT_EQ(p.parameter, "");
  p = Split("\"\"\"");
  EXPECT_EQ(p.program, "");
  EXPECT_EQ(p.parameter, "");
}

TEST_F(StartupReport, ResolvesBareNamesThroughAppPathsAndTheSearchPath) {
  // App Paths: a registered program that exists.
  m.files.AddFile("C:\\Apps\\Editor\\ed.exe");
  m.registry.SetString(Hive::kLocalMachine, kAppPaths + "\\editor.exe", "",
                       "C:\\Apps\\Editor\\ed.exe");
  EXPECT_EQ(Split("editor").program, "C:\\Apps\\Editor\\ed.exe");
  // Without an extension the whole command is the program text.
  EXPECT_EQ(Split("editor /new").program, "editor /new");

  // The search path, after an App Paths entry naming a missing file and one
  // whose default value is not text.
  m.files.AddFile("C:\\windows\\system32\\calc.exe");
  m.files.SetSearchFolders({"C:\\windows\\system32"});
  m.registry.SetString(Hive::kLocalMachine, kAppPaths + "\\calc.exe", "", "C:\\gone\\calc.exe");
  EXPECT_EQ(Split("calc").program, "C:\\windows\\system32\\calc.exe");
  m.registry.SetDword(Hive::kLocalMachine, kAppPaths + "\\calc.exe", "", 7);
  EXPECT_EQ(ReadAppPath(m.platform(), "calc.exe"), "");
  EXPECT_EQ(Split("CALC").program, "C:\\windows\\system32\\CALC.exe");

  // A registration the user may read but not change is found all the same.
  const std::string editor = Split("editor").program;
  ASSERT_NE(editor, "editor");
  m.registry.RestrictAccess(Hive::kLocalMachine, kAppPaths, kKeyRead);
  EXPECT_EQ(Split("editor").program, editor);

  // The current folder comes first; the name is kept as written.
  m.files.AddFile("C:\\work\\tool.exe");
  m.files.SetCurrentDirectory("C:\\work");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "tool"), "tool.exe");
  // A dot in a folder name is no extension; a trailing dot is one.
  m.files.AddFile("C:\\v1.2\\setup.exe");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "C:\\v1.2\\setup"), "C:\\v1.2\\setup.exe");
  EXPECT_EQ(ResolveProgramPath(m.platform(), "C:\\v1.2\\setup."), "");
  EXPECT_EQ(m.registry.open_key_count(), 0);
}

TEST_F(StartupReport, ReportShapes) {
  // Version strings in the order of the keys, not of the resource.
  m.files.AddFile("C:\\App\\prog.exe", std::string(1234, 'x'), kAttrArchive, kNoon);
  memory::VersionData data;
  data.translations = {{0x0409, 0x04B0}};
  data.tables["040904B0"] = {{"CompanyName", "Maker"}, {"FileVersion", "1.0"}};
  m.versions.Set("C:\\App\\prog.exe", data);
  EXPECT_EQ(Report("\"C:\\App\\prog.exe\" /min"),
            "FileVersion=1.0\r\nCompanyName=Maker\r\n\r\nFileSize=1,234\r\nFileDate=" + kNoonText);

  EXPECT_EQ(Report("nothing here"), "nothing here\r\n\r\nFile not found!");
  EXPECT_EQ(Report(""), "File not found!");

  // Found, but without version strings: the path stands first.
  m.files.AddFile("C:\\App\\plain.exe", "", kAttrArchive, LocalTime{2020, 1, 2, 0, 0, 0});
  EXPECT_EQ(Report("C:\\App\\plain.exe"),
            "C:\\App\\plain.exe\r\n\r\nFileSize=0\r\nFileDate=1/2/2020");

  // Sizes of 2 GiB and more are shown whole.
  m.files.SetSize("C:\\App\\plain.exe", 3ull << 30);
  EXPECT_EQ(GetFileDateSize(m.platform(), "C:\\App\\plain.exe"),
            "FileSize=3,221,225,472\r\nFileDate=1/2/2020");
}

TEST_F(StartupReport, ParameterBlock) {
  m.files.AddFile("C:\\WINDOWS\\rundll32.exe", "", kAttrArchive, kNoon);
  m.files.AddFile("C:\\WINDOWS\\system32\\shell32.dll", "12345", kAttrArchive, kNoon);
  memory::VersionData data;
  data.translations = {{0x0409, 0x04B0}};
  data.tables["040904B0"] = {{"FileDescription", "Shell"}};
  m.versions.Set("C:\\WINDOWS\\system32\\shell32.dll", data);
  EXPECT_EQ(Report("C:\\WINDOWS\\rundll32.exe C:\\WINDOWS\\system32\\shell32.dll,Control_RunDLL"),
            "C:\\WINDOWS\\rundll32.exe\r\n\r\nFileSize=0\r\nFileDate=" + kNoonText +
                "\r\n\r\n\r\nParameter Program:\r\n\r\nFileDescription=Shell\r\n\r\n"
                "FileSize=5\r\nFileDate=" + kNoonText);

  // A parameter naming a folder: the search finds it, without version lines.
  m.files.AddFolder("C:\\Data");
  m.files.SetLastWrite("C:\\Data", LocalTime{2021, 3, 4, 0, 0, 0});
  EXPECT_EQ(Report("C:\\WINDOWS\\rundll32.exe C:\\Data"),
            "C:\\WINDOWS\\rundll32.exe\r\n\r\nFileSize=0\r\nFileDate=" + kNoonText +
                "\r\n\r\n\r\nParameter Program:\r\n\r\nFileSize=0\r\nFileDate=3/4/2021");

  // A parameter the search does not find leaves no block.
  EXPECT_EQ(Report("C:\\WINDOWS\\rundll32.exe C:\\missing.dll"),
            "C:\\WINDOWS\\rundll32.exe\r\n\r\nFileSize=0\r\nFileDate=" + kNoonText);
}

TEST_F(StartupReport, VersionStringsWithoutTranslationList) {
  m.files.AddFile("C:\\old.exe");
  memory::VersionData data;  // no translation list: queried under 041904E3
  data.tables["041904E3"] = {{"ProductName", "  Old  "},
                             {"CompanyName", "   "},
                             {"LegalTrademarks", "TM"},
                             {"Comments", "note  "}};
  data.tables["040904B0"] = {{"FileVersion", "never read"}};
  m.versions.Set("C:\\old.exe", data);
  // A blank value is left out; surrounding blanks stay except at the very end.
  EXPECT_EQ(GetVersionStrings(m.platform(), "C:\\old.exe"),
            "ProductName=  Old  \r\nLegalTradeMarks=TM\r\nComments=note");
  EXPECT_EQ(GetVersionStrings(m.platform(), "C:\\none.exe"), "");
}

TEST_F(StartupReport, TabReportsOnTheSelectedRowsCommand) {
  testing::FakeUi ui;
  StartupTab tab(m.platform(), ui, SystemPaths{"C:\\windows", "", ""});
  EXPECT_EQ(tab.GetStartupReport(), "");

  const std::string startup = "C:\\Users\\u\\Startup";
  m.registry.SetString(Hive::kCurrentUser,
                       "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       "Startup", startup);
  m.files.AddFile(startup + "\\broken.lnk");
  m.files.AddFile("C:\\x.exe", "abc", kAttrArchive, kNoon);
  m.registry.SetString(Hive::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                       "y=z", "C:\\x.exe");
  tab.LoadStartupList();
  ASSERT_EQ(tab.rows().size(), 2u);
  tab.Select(0);  // broken.lnk=
  EXPECT_EQ(tab.GetStartupReport(), "File not found!");
  tab.Select(1);  // y=z=C:\x.exe: the command follows the whole value name
  EXPECT_EQ(tab.GetStartupReport(), "C:\\x.exe\r\n\r\nFileSize=3\r\nFileDate=" + kNoonText);
}

}  // namespace
}  // namespace cu
