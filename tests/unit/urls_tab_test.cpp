#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_ui.h"
#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "platform/text.h"
#include "urls/urls_tab.h"

namespace cu {
namespace {

using Rows = std::vector<std::string>;

constexpr char kKey[] = "Software\\Microsoft\\Internet Explorer\\TypedUrls";

struct UrlsWorld {
  // The URL tab shows no message box, and every scripted answer is asked for.
  ~UrlsWorld() {
    EXPECT_TRUE(ui.messages.empty()) << "no message expected";
    EXPECT_TRUE(ui.ScriptUsedUp());
  }

  memory::MemoryMachine machine;
  Platform platform = machine.platform();
  testing::FakeUi ui;
  UrlsTab tab{platform, ui};

  void Seed(const std::vector<std::pair<std::string, std::string>>& values) {
    machine.registry.CreateKey(Hive::kCurrentUser, kKey);
    for (const auto& [name, text] : values) {
      machine.registry.SetString(Hive::kCurrentUser, kKey, name, text);
    }
  }
  // The key as name -> text, names lower-cased.
  std::map<std::string, std::string> Key() const {
    std::map<std::string, std::string> key;
    for (const std::string& name : machine.registry.Names(Hive::kCurrentUser, kKey)) {
      key[AsciiLower(name)] = machine.registry.StringValue(Hive::kCurrentUser, kKey, name).value_or("?");
    }
    return key;
  }
  // Every value as "name:type:data", in enumeration order.
  Rows Raw() const {
    Rows raw;
    for (const std::string& name : machine.registry.Names(Hive::kCurrentUser, kKey)) {
      const std::optional<RegValueData> value =
          machine.registry.Value(Hive::kCurrentUser, kKey, name);
      raw.push_back(name + ":" + std::to_string(value->type) + ":" + value->bytes);
    }
    return raw;
  }
  std::map<std::string, std::string> ExactKey(const Rows& rows) const {
    std::map<std::string, std::string> key;
    for (std::size_t i = 0; i < rows.size(); ++i) key["url" + std::to_string(i + 1)] = rows[i];
    return key;
  }
};

TEST(TypedUrlLoad, KeepsEnumerationOrderAndUntrimmedTextSkippingBlanks) {
  UrlsWorld world;
  world.Seed({{"url3", "http://c/"}, {"url1", "http://a/"}, {"blank", "  \t"},
              {"other", "  http://spaced/  "}, {"url2", "http://b/"}, {"empty", ""}});

  world.tab.LoadTypedUrls();

  EXPECT_EQ(world.tab.rows(), (Rows{"http://c/", "http://a/", "  http://spaced/  ", "http://b/"}));
  EXPECT_EQ(world.tab.selection(), 0);
  EXPECT_EQ(world.tab.count_caption(), "4");
  EXPECT_EQ(world.machine.registry.open_key_count(), 0);

  // A reload forgets the selection.
  world.tab.Select(2);
  world.tab.LoadTypedUrls();
  EXPECT_EQ(world.tab.selection(), 0);
}

TEST(TypedUrlLoad, NonStringValueEndsTheLoadWithTheRowsBeforeIt) {
  UrlsWorld world;
  world.Seed({{"url1", "http://a/"}});
  world.machine.registry.SetDword(Hive::kCurrentUser, kKey, "url2", 7);
  world.Seed({{"url3", "http://c/"}});

  testing::ExpectAppError([&] { world.tab.LoadTypedUrls(); }, "Invalid data type for 'url2'");
  EXPECT_EQ(world.tab.rows(), (Rows{"http://a/"}));
  EXPECT_EQ(world.tab.selection(), -1);
  EXPECT_EQ(world.tab.count_caption(), "1");
  EXPECT_EQ(world.machine.registry.open_key_count(), 0);

  // The list lacks url3's address, so an edit is refused aloud before any
  // question, and neither the list nor the key changes.
  const auto before = world.Key();
  world.tab.Select(0);
  for (const auto& edit : {&UrlsTab::InsertTypedUrl, &UrlsTab::DeleteTypedUrl}) {
    testing::ExpectAppError([&] { (world.tab.*edit)(); },
                "The address list could not be read completely, so nothing was changed: "
                "Invalid data type for 'url2'");
  }
  EXPECT_EQ(world.tab.rows(), (Rows{"http://a/"}));
  EXPECT_EQ(world.tab.selection(), 0);
  EXPECT_EQ(world.tab.count_caption(), "1");
  EXPECT_EQ(world.Key(), before);
}

TEST(TypedUrlLoad, MissingKeyGivesAnEmptyListAndAnInsertIsRefusedAloud) {
  UrlsWorld world;
  world.tab.LoadTypedUrls();
  EXPECT_TRUE(world.tab.rows().empty());
  EXPECT_EQ(world.tab.selection(), -1);
  EXPECT_EQ(world.tab.count_caption(), "0");

  testing::ExpectAppError([&] { world.tab.InsertTypedUrl(); },
              "The address list cannot be opened for writing, so nothing was changed: "
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedUrls");
  EXPECT_TRUE(world.tab.rows().empty());
  EXPECT_EQ(world.tab.count_caption(), "0");
  EXPECT_FALSE(world.machine.registry.HasKey(Hive::kCurrentUser, kKey));
}

TEST(TypedUrlInsert, PutsTheAddressAtTheSelectedRowAndRewritesTheKey) {
  UrlsWorld world;

  // Into an empty key: the key then holds url1 only.
  world.Seed({});
  world.tab.LoadTypedUrls();
  world.ui.input_answers.push_back(" http://first/ ");
  world.tab.InsertTypedUrl();
  EXPECT_EQ(world.ui.input_requests,
            (std::vector<testing::FakeUi::InputRequest>{{"Insert new Url", "Enter Url:", 255}}));
  EXPECT_EQ(world.tab.rows(), (Rows{" http://first/ "}));
  EXPECT_EQ(world.tab.selection(), 0);
  EXPECT_TRUE(world.tab.TakeFocusRequest());
  EXPECT_FALSE(world.tab.TakeFocusRequest());
  EXPECT_EQ(world.Key(), world.ExactKey({" http://first/ "}));

  // With row 3 selected: the new row is row 3 and the former row 3 moves down.
  world.Seed({{"Typed", "http://b/"}, {"url9", "http://c/"}, {"junk", "   "}, {"url2", "http://d/"},
              {"url3", "http://e/"}});
  world.tab.LoadTypedUrls();
  ASSERT_EQ(world.tab.rows(),
            (Rows{" http://first/ ", "http://b/", "http://c/", "http://d/", "http://e/"}));
  world.tab.Select(3);
  world.ui.input_answers.push_back("http://x/");
  world.tab.InsertTypedUrl();
  const Rows expected{" http://first/ ", "http://b/", "http://c/", "http://x/", "http://d/",
                      "http://e/"};
  EXPECT_EQ(world.tab.rows(), expected);
  EXPECT_EQ(world.tab.selection(), 3);
  EXPECT_EQ(world.tab.count_caption(), "6");
  // Other names, blank values and spare copies are all gone.
  EXPECT_EQ(world.Key(), world.ExactKey(expected));

  // No selection: at the top.
  world.tab.Select(-1);
  world.ui.input_answers.push_back("http://top/");
  world.tab.InsertTypedUrl();
  EXPECT_EQ(world.tab.rows().front(), "http://top/");
  EXPECT_EQ(world.tab.selection(), 0);
  EXPECT_EQ(world.Key().at("url1"), "http://top/");
  EXPECT_EQ(world.Key().size(), 7u);
}

TEST(TypedUrlInsert, CancelOrBlankInputChangesNothing) {
  UrlsWorld world;
  world.Seed({{"url1", "http://a/"}, {"stray", "http://s/"}});
  world.tab.LoadTypedUrls();
  world.tab.Select(1);
  const auto before = world.Key();

  world.ui.input_answers.push_back(std::nullopt);
  world.tab.InsertTypedUrl();
  world.ui.input_answers.push_back(" \t ");
  world.tab.InsertTypedUrl();

  EXPECT_EQ(world.ui.input_requests.size(), 2u);
  EXPECT_EQ(world.tab.rows(), (Rows{"http://a/", "http://s/"}));
  EXPECT_EQ(world.tab.selection(), 1);
  EXPECT_FALSE(world.tab.TakeFocusRequest());
  EXPECT_EQ(world.Key(), before);
}

TEST(TypedUrlDelete, SelectsTheRowAboveAndRewritesTheKey) {
  UrlsWorld world;
  world.Seed({{"url1", "a"}, {"url2", "b"}, {"url3", "c"}, {"url4", "d"}, {"url5", "e"},
              {"url6", "f"}, {"url7", "g"}});
  world.tab.LoadTypedUrls();

  // No: nothing changes.
  world.tab.Select(2);
  world.ui.confirm_answers.push_back(false);
  world.tab.DeleteTypedUrl();
  EXPECT_EQ(world.ui.questions, (Rows{"Delete c?"}));
  EXPECT_EQ(world.tab.rows().size(), 7u);
  EXPECT_EQ(world.Key().size(), 7u);

  world.tab.Select(5);
  world.ui.confirm_answers.push_back(true);
  world.tab.DeleteTypedUrl();
  EXPECT_EQ(world.tab.rows(), (Rows{"a", "b", "c", "d", "e", "g"}));
  EXPECT_EQ(world.tab.selection(), 4);
  EXPECT_TRUE(world.tab.TakeFocusRequest());
  EXPECT_EQ(world.Key(), world.ExactKey(world.tab.rows()));

  world.tab.Select(0);
  world.ui.confirm_answers.push_back(true);
  world.tab.DeleteTypedUrl();
  EXPECT_EQ(world.tab.rows(), (Rows{"b", "c", "d", "e", "g"}));
  EXPECT_EQ(world.tab.selection(), 0);
  EXPECT_EQ(world.Key(), world.ExactKey(world.tab.rows()));
  EXPECT_EQ(world.tab.count_caption(), "5");

  // No selection: nothing is asked.
  world.ui.questions.clear();
  world.tab.Select(-1);
  world.tab.DeleteTypedUrl();
  EXPECT_TRUE(world.ui.questions.empty());
}

TEST(TypedUrlDelete, TheOnlyRowLeavesAnEmptyKey) {
  UrlsWorld world;
  world.Seed({{"url1", "http://only/"}, {"blank", " "}});
  world.tab.LoadTypedUrls();
  (void)world.tab.TakeFocusRequest();

  world.ui.confirm_answers.push_back(true);
  world.tab.DeleteTypedUrl();

  EXPECT_TRUE(world.tab.rows().empty());
  EXPECT_EQ(world.tab.selection(), -1);
  EXPECT_FALSE(world.tab.TakeFocusRequest());
  EXPECT_EQ(world.tab.count_caption(), "0");
  EXPECT_TRUE(world.machine.registry.HasKey(Hive::kCurrentUser, kKey));
  EXPECT_TRUE(world.machine.registry.Names(Hive::kCurrentUser, kKey).empty());

  // The emptied key is what the next edit expects to find.
  world.ui.input_answers.push_back("http://next/");
  world.tab.InsertTypedUrl();
  EXPECT_EQ(world.Key(), world.ExactKey({"http://next/"}));
}

// Every address the key held before an edit must still be in it after a
// write fails, wherever the failure falls.
void ExpectNoAddressLostOnAnyWriteFailure(
    const std::vector<std::pair<std::string, std::string>>& seed, int select,
    const std::function<void(UrlsWorld&)>& edit) {
  bool reached_success = false;
  for (int fail_at = 1; !reached_success && fail_at < 50; ++fail_at) {
    SCOPED_TRACE("write " + std::to_string(fail_at) + " fails");
    UrlsWorld world;
    world.Seed(seed);
    world.tab.LoadTypedUrls();
    world.tab.Select(select);
    const Rows before_rows = world.tab.rows();
    const auto before = world.Key();
    world.machine.registry.FailWritesFrom(fail_at);
    std::size_t failed_number = 0;
    try {
      edit(world);
      reached_success = true;
      EXPECT_EQ(world.Key(), world.ExactKey(world.tab.rows()));
      continue;
    } catch (const AppError& error) {
      const std::string message = error.what();
      const std::string prefix = "Failed to set data for 'url";
      ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
      failed_number = std::stoul(message.substr(prefix.size()));
    }
    EXPECT_FALSE(world.tab.TakeFocusRequest());
    EXPECT_EQ(world.tab.count_caption(), std::to_string(world.tab.rows().size()));
    std::vector<std::string> now;
    for (const auto& [name, text] : world.Key()) now.push_back(text);
    for (const auto& [name, text] : before) {
      if (text.find_first_not_of(" \t") == std::string::npos) continue;
      EXPECT_NE(std::find(now.begin(), now.end(), text), now.end()) << "lost " << text;
    }
    if (failed_number > world.tab.rows().size()) {
      // A spare copy failed before any address was overwritten: the copies
      // made so far are removed again and the key is as it was.
      EXPECT_EQ(world.Key(), before);
    }
    EXPECT_EQ(world.machine.registry.open_key_count(), 0);

    // The key as the failed store left it is what the next edit expects.
    world.machine.registry.FailWritesFrom(0);
    world.ui.input_answers.push_back("http://again/");
    world.tab.InsertTypedUrl();
    EXPECT_EQ(world.Key(), world.ExactKey(world.tab.rows()));
  }
  EXPECT_TRUE(reached_success);
}

TEST(TypedUrlStore, AWriteFailureNeverLosesAnAddressTheKeyHeld) {
  const std::vector<std::pair<std::string, std::string>> seed{
      {"url3", "http://c/"}, {"url1", "http://a/"}, {"Typed", "http://t/"},
      {"url2", "http://b/"}, {"url4", "http://a/"}, {"blank", "  "}};

  // Insertion at the top shifts every address to another name.
  ExpectNoAddressLostOnAnyWriteFailure(seed, -1, [](UrlsWorld& world) {
    world.ui.input_answers.push_back("http://new/");
    world.tab.InsertTypedUrl();
  });
  // Deletion shifts the rows below up, and drops one address.
  ExpectNoAddressLostOnAnyWriteFailure(seed, 0, [](UrlsWorld& world) {
    world.ui.confirm_answers.push_back(true);
    world.tab.DeleteTypedUrl();
  });
}

constexpr char kChanged[] =
    "The address list changed since it was read, so nothing was changed; it has been read again.";

// Another program writes to the key after the load, before Ins or Del or
// while its question is open: nothing is stored over what it wrote, the list
// is read again, and the same edit then stores from the rows read again.
TEST(TypedUrlStore, AKeyChangedSinceItWasReadIsReadAgainAndNotStoredOver) {
  struct Change {
    const char* what;
    std::function<void(memory::MemoryRegistry&)> make;
    Rows reread;  // also the key's texts as url1..urlN
  };
  const std::vector<Change> changes{
      {"an address added",
       [](memory::MemoryRegistry& r) {
         r.SetString(Hive::kCurrentUser, kKey, "url3", "http://browser/");
       },
       {"http://a/", "http://b/", "http://browser/"}},
      {"an address changed",
       [](memory::MemoryRegistry& r) {
         r.SetString(Hive::kCurrentUser, kKey, "url1", "http://changed/");
       },
       {"http://changed/", "http://b/"}},
      {"an address removed",
       [](memory::MemoryRegistry& r) {
         ASSERT_TRUE(r.OpenKey(Hive::kCurrentUser, kKey, kKeyAllAccess)->DeleteValue("url2"));
       },
       {"http://a/"}},
      {"a type changed",
       [](memory::MemoryRegistry& r) {
         r.SetString(Hive::kCurrentUser, kKey, "url2", "http://b/", kRegExpandSz);
       },
       {"http://a/", "http://b/"}},
  };
  for (const Change& change : changes) {
    for (const bool while_asking : {false, true}) {
      for (const bool insert : {true, false}) {
        SCOPED_TRACE(std::string(change.what) + (while_asking ? " while asking" : " before") +
                     (insert ? ", Ins" : ", Del"));
        UrlsWorld world;
        world.Seed({{"url1", "http://a/"}, {"url2", "http://b/"}});
        world.tab.LoadTypedUrls();
        world.tab.Select(1);
        Rows changed_key;
        const auto change_key = [&] {
          change.make(world.machine.registry);
          changed_key = world.Raw();
        };
        const auto edit = [&](bool asked) {
          if (insert && asked) world.ui.input_answers.push_back("http://new/");
          if (!insert && asked) world.ui.confirm_answers.push_back(true);
          if (insert) {
            world.tab.InsertTypedUrl();
          } else {
            world.tab.DeleteTypedUrl();
          }
        };
        if (while_asking) {
          world.ui.while_asking = change_key;
        } else {
          change_key();
        }

        testing::ExpectAppError([&] { edit(while_asking); }, kChanged);
        EXPECT_EQ(world.ui.events.size(), while_asking ? 1u : 0u);
        EXPECT_EQ(world.Raw(), changed_key);
        EXPECT_EQ(world.tab.rows(), change.reread);
        EXPECT_EQ(world.tab.selection(), 0);
        EXPECT_EQ(world.tab.count_caption(), std::to_string(change.reread.size()));
        EXPECT_FALSE(world.tab.TakeFocusRequest());
        EXPECT_EQ(world.machine.registry.open_key_count(), 0);

        Rows stored = change.reread;
        if (insert) {
          stored.insert(stored.begin(), "http://new/");
        } else {
          stored.erase(stored.begin());
        }
        edit(true);
        EXPECT_EQ(world.tab.rows(), stored);
        EXPECT_EQ(world.Key(), world.ExactKey(stored));
      }
    }
  }
}

TEST(TypedUrlStore, AValueTurnedUnreadableIsAChangeAndTheListReadAgainCannotBeStored) {
  UrlsWorld world;
  world.Seed({{"url1", "http://a/"}, {"url2", "http://b/"}});
  world.tab.LoadTypedUrls();
  world.machine.registry.FailReads(Hive::kCurrentUser, kKey, "url2");
  const auto before = world.Key();

  // Nothing is asked or written; the list read again stops at the value.
  testing::ExpectAppError([&] { world.tab.InsertTypedUrl(); }, kChanged);
  EXPECT_TRUE(world.ui.events.empty());
  EXPECT_EQ(world.Key(), before);
  EXPECT_EQ(world.tab.rows(), (Rows{"http://a/"}));
  EXPECT_EQ(world.tab.selection(), -1);
  EXPECT_EQ(world.tab.count_caption(), "1");

  world.tab.Select(0);
  testing::ExpectAppError([&] { world.tab.DeleteTypedUrl(); },
                          "The address list could not be read completely, so nothing was "
                          "changed: Failed to get data for 'url2'");
  EXPECT_TRUE(world.ui.events.empty());
  EXPECT_EQ(world.Key(), before);
}

TEST(TypedUrlCommands, MenuEnablingFollowsSelectionAndRows) {
  UrlsCommands none = UrlsCommandsFor(-1, 0);
  EXPECT_FALSE(none.open || none.del || none.copy || none.save);
  EXPECT_TRUE(none.insert);

  UrlsCommands unselected = UrlsCommandsFor(-1, 3);
  EXPECT_FALSE(unselected.open || unselected.del || unselected.copy);
  EXPECT_TRUE(unselected.save && unselected.insert);

  UrlsCommands selected = UrlsCommandsFor(2, 3);
  EXPECT_TRUE(selected.open && selected.del && selected.copy && selected.save &&
              selected.insert);
}

TEST(TypedUrlCommands, OpenCopyAndSaveUseTheTextAsListed) {
  UrlsWorld world;
  world.Seed({{"url1", " http://a/ "}, {"url2", "http://b/"}});
  world.tab.LoadTypedUrls();

  world.tab.OpenSelectedUrl();
  world.tab.CopySelectedUrl();
  EXPECT_EQ(world.machine.shell.opened, (Rows{" http://a/ "}));
  EXPECT_EQ(world.machine.clipboard.text, " http://a/ ");

  world.machine.clipboard.fail_open = true;
  testing::ExpectAppError([&] { world.tab.CopySelectedUrl(); }, "Cannot open clipboard");

  world.ui.save_answers.push_back("C:\\out\\urls.txt");
  world.machine.files.AddFolder("C:\\out");
  world.tab.SaveUrlList();
  EXPECT_EQ(world.machine.files.Content("C:\\out\\urls.txt"), " http://a/ \r\nhttp://b/\r\n");

  // Without a selection nothing opens; on an empty list Save shows no dialog.
  world.tab.Select(-1);
  world.tab.OpenSelectedUrl();
  EXPECT_EQ(world.machine.shell.opened.size(), 1u);
  world.Seed({});
  world.machine.registry.SetString(Hive::kCurrentUser, kKey, "url1", "");
  world.machine.registry.SetString(Hive::kCurrentUser, kKey, "url2", "");
  world.tab.LoadTypedUrls();
  ASSERT_TRUE(world.tab.rows().empty());
  world.tab.SaveUrlList();
  EXPECT_EQ(world.ui.save_requests, 1);
}

}  // namespace
}  // namespace cu
