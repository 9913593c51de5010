// The StartUp commands: the Info dialog with its removal, the context menu's
// enabling, and the grouped report file.

#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "startup/startup_tab.h"
#include "startup_test_support.h"

namespace cu {
namespace {

const std::string kRunLocation = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class StartupCommands : public testing::StartupTabTest {};

TEST_F(StartupCommands, InfoShowsLocationAndReportAndOffersRemoval) {
  m.registry.SetString(Hive::kLocalMachine, kRun, "A", "nothing here");
  m.registry.SetString(Hive::kLocalMachine, kRun, "B", "b.exe");
  tab.LoadStartupList();

  // Cancel: nothing further.
  ui.info_results.push_back(kResultCancel);
  tab.ShowStartupInfo();
  ASSERT_EQ(ui.info_requests.size(), 1u);
  const InfoRequest& request = ui.info_requests[0];
  EXPECT_EQ(request.caption, "Info StartUp");
  EXPECT_EQ(request.text,
            "Location=" + kRunLocation + "\r\n\r\nnothing here\r\n\r\nFile not found!");
  EXPECT_EQ(request.yes_caption, "DELETE!!!");
  // The second button switches the entry (an HKLM Run value has a switch).
  EXPECT_TRUE(request.show_stop);
  EXPECT_EQ(request.stop_caption, "Disable");
  EXPECT_TRUE(request.stop_enabled);
  EXPECT_EQ(request.bottom_hint, "");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"info:Info StartUp", "repaint"}));

  // DELETE!!! and No: the entry stays, the selection too.
  ui.events.clear();
  tab.Select(1);
  ui.info_results.push_back(kResultYes);
  ui.confirm_answers.push_back(false);
  tab.ShowStartupInfo();
  EXPECT_EQ(ui.events, (std::vector<std::string>{"info:Info StartUp", "repaint",
                                                 "confirm:Delete B=b.exe?", "repaint"}));
  EXPECT_TRUE(m.registry.Value(Hive::kLocalMachine, kRun, "B"));
  EXPECT_EQ(tab.selection(), 1);
  EXPECT_FALSE(tab.TakeFocusRequest());

  // DELETE!!! and Yes: removed, reloaded, focused.
  ui.info_results.push_back(kResultYes);
  ui.confirm_answers.push_back(true);
  tab.ShowStartupInfo();
  EXPECT_FALSE(m.registry.Value(Hive::kLocalMachine, kRun, "B"));
  EXPECT_EQ(tab.rows().size(), 1u);
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_TRUE(tab.TakeFocusRequest());
  EXPECT_TRUE(ui.ScriptUsedUp());
}

TEST_F(StartupCommands, InfoOnAnEmptyListRemovesNothing) {
  tab.LoadStartupList();
  ui.info_results.push_back(kResultYes);
  tab.ShowStartupInfo();
  EXPECT_EQ(ui.info_requests.at(0).text, "Location=\r\n\r\n");
  EXPECT_TRUE(ui.questions.empty());
  EXPECT_EQ(ui.repaints, 2);
}

TEST_F(StartupCommands, SaveIsEnabledByTheSelectionWhenTheMenuOpens) {
  EXPECT_TRUE(tab.save_enabled());
  tab.LoadStartupList();
  EXPECT_TRUE(tab.save_enabled());  // re-evaluated only when the menu opens
  tab.MenuState();
  EXPECT_FALSE(tab.save_enabled());
  m.registry.SetString(Hive::kLocalMachine, kRun, "A", "a.exe");
  tab.LoadStartupList();
  tab.MenuState();
  EXPECT_TRUE(tab.save_enabled());
}

TEST_F(StartupCommands, SaveWritesOneGroupPerRunOfEqualLocations) {
  // Each report is the single line "File not found!": the command is a quote.
  m.registry.SetString(Hive::kLocalMachine, kRun, "a", "\"");
  m.registry.SetString(Hive::kLocalMachine, kRun, "b", "\"");
  tab.LoadStartupList();
  tab.Select(1);
  ui.save_answers.push_back("C:\\out\\startup.txt");
  m.files.AddFolder("C:\\out");
  tab.SaveReport();
  EXPECT_EQ(m.files.Content("C:\\out\\startup.txt"),
            "\r\n\r\n\r\n"
            "HKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\r\n"
            "\r\n"
            "\r\n1\r\na=\"\r\nFile not found!\r\n\r\n"
            "\r\n2\r\nb=\"\r\nFile not found!\r\n\r\n");
  EXPECT_EQ(tab.selection(), 0);

  // A location split by the sort brings its header again; row texts are
  // trimmed; ini locations are upper-cased too.
  m.registry.SetString(Hive::kCurrentUser, kRun, "aa", "\"");
  m.files.SetIniString("C:\\windows\\win.ini", "windows", "load", "\"  ");
  tab.LoadStartupList();
  ui.save_answers.push_back("C:\\out\\startup.txt");
  tab.SaveReport();
  EXPECT_EQ(m.files.Content("C:\\out\\startup.txt"),
            "\r\n\r\n\r\nC:\\WINDOWS\\WIN.INI [LOAD]\r\n\r\n"
            "\r\n1\r\n\"\r\nFile not found!\r\n\r\n"
            "\r\n\r\n\r\nHKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\r\n\r\n"
            "\r\n2\r\na=\"\r\nFile not found!\r\n\r\n"
            "\r\n\r\n\r\nHKCU\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\r\n\r\n"
            "\r\n3\r\naa=\"\r\nFile not found!\r\n\r\n"
            "\r\n\r\n\r\nHKLM\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN\r\n\r\n"
            "\r\n4\r\nb=\"\r\nFile not found!\r\n\r\n");

  // Headers take the system's capitals, letters beyond A to Z included.
  m.registry.SetString(Hive::kCurrentUser, kShellFolders, "Startup",
                       "c:\\users\\jos\xC3\xA9\\Startup");
  m.files.AddFile("c:\\users\\jos\xC3\xA9\\Startup\\zz.exe");
  tab.LoadStartupList();
  ui.save_answers.push_back("C:\\out\\startup.txt");
  tab.SaveReport();
  EXPECT_NE(m.files.Content("C:\\out\\startup.txt")
                .value_or("")
                .find("\r\nC:\\USERS\\JOS\xC3\x89\\STARTUP\r\n"),
            std::string::npos);
}

TEST_F(StartupCommands, SaveDoesNothingOrFailsWithoutWriting) {
  // An empty list opens no dialog.
  tab.LoadStartupList();
  tab.SaveReport();
  EXPECT_EQ(ui.save_requests, 0);

  m.registry.SetString(Hive::kLocalMachine, kRun, "a", "a.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun, "b", "b.exe");
  m.registry.SetString(Hive::kLocalMachine, kRun, "c", "c.exe");
  tab.LoadStartupList();

  // Cancelled: not even the selection moves.
  tab.Select(1);
  ui.save_answers.push_back(std::nullopt);
  tab.SaveReport();
  EXPECT_EQ(tab.selection(), 1);

  // The file cannot be created: the error names it, nothing is written and
  // the selection stays on the last row.
  m.files.AddFile("C:\\report.txt", "old");
  m.files.FailWrite("C:\\report.txt", true);
  ui.save_answers.push_back("C:\\report.txt");
  testing::ExpectAppError([&] { tab.SaveReport(); }, "Cannot create file C:\\report.txt");
  EXPECT_EQ(m.files.Content("C:\\report.txt"), "old");
  EXPECT_EQ(tab.selection(), 2);

  // Stopped after the first row: the old file stays, the progress counted
  // the row written, the request named the file and the rows to go.
  m.files.AddFile("C:\\kept.txt", "old");
  ui.save_answers.push_back("C:\\kept.txt");
  ui.progress = {};
  ui.progress.stop_from = 2;
  tab.SaveReport();
  EXPECT_EQ(m.files.Content("C:\\kept.txt"), "old");
  EXPECT_EQ(ui.progress.reports, (std::vector<std::pair<uint64_t, uint64_t>>{{1, 0}}));
  EXPECT_EQ(ui.work_requests.back().action, "Writing C:\\kept.txt");
  EXPECT_EQ(ui.work_requests.back().total, 3u);
  EXPECT_EQ(tab.selection(), 0);
  EXPECT_TRUE(ui.ScriptUsedUp());
}

}  // namespace
}  // namespace cu
