#pragma once

// A scripted Ui for presenter tests. Each kind of question is answered from
// its own queue, in order; a question asked with its queue empty fails the
// test and gets the cautious answer (No, Cancel). Everything the presenter
// did with the user is recorded, and `events` keeps the order across kinds.

#include <gtest/gtest.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/memory/memory_machine.h"
#include "presenter/ui.h"
#include "scripted_progress.h"

namespace cu::testing {

// The command ends with the error box's message, exactly.
inline void ExpectAppError(const std::function<void()>& command, const std::string& message) {
  try {
    command();
    ADD_FAILURE() << "expected the error: " << message;
  } catch (const AppError& error) {
    EXPECT_EQ(error.what(), message);
  }
}

class FakeUi : public Ui {
 public:
  struct InputRequest {
    std::string caption;
    std::string prompt;
    std::size_t max_length = 0;

    bool operator==(const InputRequest&) const = default;
    friend void PrintTo(const InputRequest& request, std::ostream* out) {
      *out << '{' << ::testing::PrintToString(request.caption) << ", "
           << ::testing::PrintToString(request.prompt) << ", " << request.max_length << '}';
    }
  };

  // Scripts.
  std::deque<bool> confirm_answers;
  std::deque<std::optional<std::string>> input_answers;
  std::deque<std::optional<std::string>> save_answers;
  std::deque<int> info_results;
  // The items picked in the list of each Info dialog that has one, in turn.
  std::deque<std::vector<int>> info_picks;
  // Runs as each Info dialog opens, before its picks: the machine changing
  // while the user reads the report.
  std::function<void()> on_info;

  // Run once, then dropped, inside the next Confirm or InputBox: what
  // another program does while the question is open.
  std::function<void()> while_asking;

  // Records.
  std::vector<std::string> questions;       // every Confirm text
  std::vector<InputRequest> input_requests;  // every InputBox
  int save_requests = 0;                     // every ChooseSaveFile
  std::vector<InfoRequest> info_requests;    // every ShowInfo
  std::vector<InfoUpdate> info_updates;      // what each pick gave the dialog
  std::vector<std::string> messages;         // every ShowMessage
  std::vector<WorkRequest> work_requests;   // every RunWork
  ScriptedProgress progress;                 // what the work runs with
  int repaints = 0;
  std::vector<bool> busy_changes;  // every SetBusyCursor argument
  bool busy = false;               // the cursor as it stands
  // "confirm:<text>", "input:<caption>", "save", "info:<caption>",
  // "message:<text>", "repaint", "busy:on" / "busy:off", "work:<action>",
  // "close".
  std::vector<std::string> events;

  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    events.push_back("confirm:" + question);
    RunWhileAsking();
    if (confirm_answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << question;
      return false;
    }
    const bool answer = confirm_answers.front();
    confirm_answers.pop_front();
    return answer;
  }

  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      std::size_t max_length) override {
    input_requests.push_back({caption, prompt, max_length});
    events.push_back("input:" + caption);
    RunWhileAsking();
    if (input_answers.empty()) {
      ADD_FAILURE() << "unexpected input box: " << caption;
      return std::nullopt;
    }
    std::optional<std::string> answer = input_answers.front();
    input_answers.pop_front();
    return answer;
  }

  std::optional<std::string> ChooseSaveFile() override {
    ++save_requests;
    events.push_back("save");
    if (save_answers.empty()) {
      ADD_FAILURE() << "unexpected save dialog";
      return std::nullopt;
    }
    std::optional<std::string> answer = save_answers.front();
    save_answers.pop_front();
    return answer;
  }

  int ShowInfo(const InfoRequest& request) override {
    info_requests.push_back(request);
    events.push_back("info:" + request.caption);
    if (on_info) on_info();
    if (request.choice && !info_picks.empty()) {
      for (int item : info_picks.front()) info_updates.push_back(request.choice->picked(item));
      info_picks.pop_front();
    }
    if (info_results.empty()) {
      ADD_FAILURE() << "unexpected Info dialog: " << request.caption;
      return kResultCancel;
    }
    const int result = info_results.front();
    info_results.pop_front();
    return result;
  }

  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
    events.push_back("message:" + text);
  }

  void CloseWindow() override { events.push_back("close"); }

  void Repaint() override {
    ++repaints;
    events.push_back("repaint");
  }

  // Not an event: it may come from another thread.
  void RefreshPageSoon(Page page) override { redraws.push_back(page); }
  std::vector<Page> redraws;

  void SetBusyCursor(bool on) override {
    busy_changes.push_back(on);
    busy = on;
    events.push_back(on ? "busy:on" : "busy:off");
  }

  // The work runs at once, on this thread, with `progress`.
  void RunWork(const WorkRequest& request, const std::function<void(Progress&)>& work) override {
    work_requests.push_back(request);
    events.push_back("work:" + request.action);
    work(progress);
  }

  // True when every scripted answer was used.
  bool ScriptUsedUp() const {
    return confirm_answers.empty() && input_answers.empty() && save_answers.empty() &&
           info_results.empty() && info_picks.empty() && !while_asking;
  }

 private:
  void RunWhileAsking() {
    if (std::function<void()> action = std::exchange(while_asking, nullptr)) action();
  }
};

}  // namespace cu::testing
