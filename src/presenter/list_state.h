#pragma once

// The state every tab's list shares: its rows, the selected row and the
// request to give the list the keyboard focus after a command.

#include <cstddef>
#include <utility>
#include <vector>

namespace cu {

template <typename Row>
class ListState {
 public:
  const std::vector<Row>& rows() const { return rows_; }
  std::vector<Row>& mutable_rows() { return rows_; }
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  bool Contains(int index) const { return index >= 0 && static_cast<std::size_t>(index) < rows_.size(); }

  // -1: no row is selected.
  int selection() const { return selection_; }
  // The selected row; null without a selection.
  const Row* selected() const { return Contains(selection_) ? &rows_[static_cast<std::size_t>(selection_)] : nullptr; }
  // Selects the row, or nothing (-1) for an index outside the list.
  void Select(int index) { selection_ = Contains(index) ? index : -1; }
  // No rows, nothing selected.
  void Clear() {
    rows_.clear();
    selection_ = -1;
  }

  void RequestFocus() { focus_request_ = true; }
  // True once after RequestFocus.
  [[nodiscard]] bool TakeFocusRequest() { return std::exchange(focus_request_, false); }

 private:
  std::vector<Row> rows_;
  int selection_ = -1;
  bool focus_request_ = false;
};

}  // namespace cu
