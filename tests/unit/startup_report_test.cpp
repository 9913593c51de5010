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
  EXPECT_EQ(tab.GetStartupReport(),
            "C:\\x.exe\r\n\r\nFileSize=3\r\nFileDate=" + kNoonText + "\r\nSignature=Not signed");
}

TEST_F(StartupReport, SignatureLinesFollowEachFoundFilesDate) {
  const auto check = [](TrustCheck::Outcome outcome, const std::string& publisher, bool chain) {
    return TrustCheck{outcome, publisher, chain};
  };
  using Outcome = TrustCheck::Outcome;
  struct Case {
    std::string file;
    std::optional<TrustCheck> embedded, catalog;
    std::string line;  // "" for none
  };
  const Case cases[] = {
      {"C:\\good.exe", check(Outcome::kValid, "Maker", true), {}, "Signature=Verified: Maker"},
      // Wine's answer for a chain ending in an untrusted root: valid, but
      // the program's own look at the chain says no.
      {"C:\\self.exe", check(Outcome::kValid, "Self", false), {}, "Signature=Not trusted: Self"},
      {"C:\\expired.exe", check(Outcome::kRefused, "Old", false), {}, "Signature=Not trusted: Old"},
      {"C:\\changed.exe", check(Outcome::kChanged, "Maker", true), {},
       "Signature=Invalid: the file was changed after it was signed"},
      {"C:\\plain.exe", {}, {}, "Signature=Not signed"},
      {"C:\\notes.txt", {}, {}, "Signature=Not signed"},
      // Without an embedded signature, a catalog's counts.
      {"C:\\Windows\\system.exe", {}, check(Outcome::kValid, "Windows Maker", true),
       "Signature=Verified: Windows Maker"},
  };
  testing::FakeUi ui;
  StartupTab tab(m.platform(), ui, SystemPaths{"C:\\windows", "", ""});
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  for (const Case& c : cases) {
    m.files.AddFile(c.file, "MZ", kAttrArchive, kNoon);
    if (c.embedded) m.signatures.SetEmbedded(c.file, *c.embedded);
    if (c.catalog) m.signatures.SetCatalog(c.file, *c.catalog);
    m.registry.SetString(Hive::kCurrentUser, run, c.file, c.file);
  }
  m.registry.SetString(Hive::kCurrentUser, run, "gone", "C:\\gone.exe");
  m.files.AddFolder("C:\\tools.exe");
  m.registry.SetString(Hive::kCurrentUser, run, "folder", "C:\\tools.exe");
  tab.LoadStartupList();
  SignatureVerifier& verifier = tab.signatures();
  EXPECT_EQ(verifier.files_checked(), 0) << "nothing is verified on the window's thread at load";
  for (std::size_t i = 0; i < tab.rows().size(); ++i) {
    EXPECT_FALSE(tab.RowDrawingAt(static_cast<int>(i), false).fill_colour) << "not in yet";
  }
  verifier.RunQueued();
  EXPECT_EQ(verifier.files_checked(), static_cast<int>(std::size(cases)));

  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string report = BuildStartupReport(m.platform(), c.file, &verifier);
    EXPECT_EQ(report, c.file + "\r\n\r\nFileSize=2\r\nFileDate=" + kNoonText + "\r\n" + c.line);
    // The parameter program's own line after its date.
    const std::string with_parameter = BuildStartupReport(m.platform(), "C:\\plain.exe " + c.file, &verifier);
    const std::string block = "Parameter Program:\r\n\r\nFileSize=2\r\nFileDate=" + kNoonText + "\r\n" + c.line;
    ASSERT_GE(with_parameter.size(), block.size());
    EXPECT_EQ(with_parameter.substr(with_parameter.size() - block.size()), block);
  }
  EXPECT_EQ(verifier.files_checked(), static_cast<int>(std::size(cases))) << "reports use the kept verdicts";
  // No line for a file not found, nor for a folder.
  EXPECT_EQ(BuildStartupReport(m.platform(), "C:\\gone.exe", &verifier), "C:\\gone.exe\r\n\r\nFile not found!");
  EXPECT_EQ(BuildStartupReport(m.platform(), "C:\\tools.exe", &verifier).find("Signature"), std::string::npos);

  // Pale red for every row whose program is not verified, unless selected.
  for (std::size_t i = 0; i < tab.rows().size(); ++i) {
    const StartupRow& row = tab.rows()[i];
    SCOPED_TRACE(row.text);
    const bool verified = row.command == "C:\\good.exe" || row.command == "C:\\Windows\\system.exe";
    const bool unknown = row.command == "C:\\gone.exe" || row.command == "C:\\tools.exe";
    EXPECT_EQ(tab.RowDrawingAt(static_cast<int>(i), false).fill_colour,
              verified || unknown ? std::nullopt : std::optional<uint32_t>(kColourUnverifiedRow));
    EXPECT_FALSE(tab.RowDrawingAt(static_cast<int>(i), true).fill_colour);
  }

  // A reload verifies only the file that changed since.
  m.files.AddFile("C:\\plain.exe", "MZ changed", kAttrArchive, kNoon);
  m.signatures.SetEmbedded("C:\\plain.exe", check(Outcome::kValid, "Maker", true));
  tab.LoadStartupList();
  verifier.RunQueued();
  EXPECT_EQ(verifier.files_checked(), static_cast<int>(std::size(cases)) + 1);
  EXPECT_EQ(verifier.ResultOf("C:\\plain.exe"), (Signature{Signature::Kind::kVerified, "Maker"}));
}

}  // namespace
}  // namespace cu
