#include "urls/urls_tab.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "platform/cleanup.h"
#include "platform/errors.h"
#include "platform/registry_access.h"
#include "platform/text.h"
#include "presenter/text_export.h"

namespace cu {

namespace {

constexpr char kNotReadYet[] = "the list has not been read";
// A store reads the values it replaces and writes and deletes values.
constexpr uint32_t kStoreAccess = kKeyQueryValue | kKeySetValue;
constexpr char kChangedSinceRead[] =
    "The address list changed since it was read, so nothing was changed; it has been read again.";

std::string UrlName(std::size_t number) { return "url" + std::to_string(number); }

// A copy of an address that the rewrite is about to overwrite.
struct SpareCopy {
  std::string name;
  std::size_t first_source = 0;  // the lowest urlK whose old address this copy holds
};

// Every value of the open key with its data as it stands now, in
// enumeration order; a value gone between listing and reading is left out.
std::vector<RegNamedValue> ReadValues(RegistryAccess& registry) {
  std::vector<std::string> names;
  registry.GetValueNames(names);
  std::vector<RegNamedValue> values;
  values.reserve(names.size());
  for (std::string& name : names) {
    RegQuery query = registry.ReadValue(name);
    if (query.status == RegQuery::Status::kMissing) continue;
    values.push_back({std::move(name), std::move(query)});
  }
  return values;
}

// The same values (names, types and data, readable or not), whatever their
// enumeration order.
bool SameValues(std::vector<RegNamedValue> a, std::vector<RegNamedValue> b) {
  const auto by_name = [](const RegNamedValue& x, const RegNamedValue& y) {
    return x.name < y.name;
  };
  const auto same = [](const RegNamedValue& x, const RegNamedValue& y) {
    return x.name == y.name && x.query.status == y.query.status &&
           x.query.value.type == y.query.value.type && x.query.value.bytes == y.query.value.bytes;
  };
  std::sort(a.begin(), a.end(), by_name);
  std::sort(b.begin(), b.end(), by_name);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), same);
}

}  // namespace

UrlsCommands UrlsCommandsFor(int selection, std::size_t row_count) {
  UrlsCommands commands;
  const bool selected = selection >= 0 && static_cast<std::size_t>(selection) < row_count;
  commands.open = selected;
  commands.del = selected;
  commands.copy = selected;
  commands.insert = true;
  commands.save = row_count > 0;
  return commands;
}

UrlsTab::UrlsTab(const Platform& platform, Ui& ui) : platform_(platform), ui_(ui) {}

void UrlsTab::LoadTypedUrls() {
  list_.Clear();
  rows_complete_ = false;
  load_error_ = kNotReadYet;
  key_values_.clear();
  const ScopeExit count([this] { count_caption_ = std::to_string(list_.size()); });
  RegistryAccess registry(platform_.registry, kKeyRead);
  registry.SetRoot(Hive::kCurrentUser);
  if (!registry.OpenKey(kTypedUrlsKey)) {
    rows_complete_ = true;
    return;
  }
  key_values_ = ReadValues(registry);
  try {
    LoadFrom(key_values_);
  } catch (const AppError& error) {
    load_error_ = error.what();
    throw;
  }
}

std::vector<RegNamedValue> UrlsTab::ReadStorableKey(RegistryAccess& registry) {
  // Rows from a load that ended early lack the addresses after the failing
  // value; writing them back would delete those addresses.
  if (!rows_complete_) {
    throw AppError("The address list could not be read completely, so nothing was changed: " +
                   load_error_);
  }
  registry.SetRoot(Hive::kCurrentUser);
  if (!registry.OpenKey(kTypedUrlsKey)) {
    throw AppError(std::string("The address list cannot be opened for writing, so nothing was "
                               "changed: HKEY_CURRENT_USER") +
                   kTypedUrlsKey);
  }
  // The rows stand for the key as it was read; a rewrite from them would
  // delete whatever the browser has written to it since. The list shows the
  // key as it is now instead.
  std::vector<RegNamedValue> values = ReadValues(registry);
  if (!SameValues(values, key_values_)) {
    registry.CloseKey();
    store_end_ = StoreEnd::kReread;
    try {
      LoadTypedUrls();
    } catch (const AppError&) {
      // The rows read before the failing value stand, and the next edit is
      // refused with that value's error.
    }
    throw AppError(kChangedSinceRead);
  }
  return values;
}

void UrlsTab::RefuseUnstorableEdit() {
  RegistryAccess registry(platform_.registry, kStoreAccess);
  (void)ReadStorableKey(registry);  // only its refusals matter before asking
}

void UrlsTab::StoreTypedUrls() {
  const ScopeExit count([this] { count_caption_ = std::to_string(list_.size()); });
  store_end_ = StoreEnd::kBeforeWriting;
  RegistryAccess registry(platform_.registry, kStoreAccess);
  const std::vector<RegNamedValue> values = ReadStorableKey(registry);
  // What the key holds after a store that wrote, fully or part-way, is what
  // the next store must find there.
  const ScopeExit remember([&] {
    if (store_end_ == StoreEnd::kWrote) key_values_ = ReadValues(registry);
  });
  StoreTo(registry, values);
}

void UrlsTab::StoreEdit(const std::vector<std::string>& rows_before, int selection_before) {
  try {
    StoreTypedUrls();
  } catch (const AppError&) {
    // Nothing reached the key: the list goes back to what the key holds, so
    // it never shows an edit that was not saved. After a failed write the
    // rows stay as edited, as the key may already hold some of them; after
    // the key changed they are the ones read again.
    if (store_end_ == StoreEnd::kBeforeWriting) {
      list_.mutable_rows() = rows_before;
      list_.Select(selection_before);
      count_caption_ = std::to_string(list_.size());
    }
    throw;
  }
}

void UrlsTab::LoadFrom(const std::vector<RegNamedValue>& values) {
  for (const RegNamedValue& value : values) {
    std::string text = RegistryAccess::StringOf(value.name, value.query);
    if (!IsBlank(text)) list_.mutable_rows().push_back(std::move(text));
  }
  list_.Select(0);
  rows_complete_ = true;
}

void UrlsTab::StoreTo(RegistryAccess& registry, const std::vector<RegNamedValue>& values) {
  const std::size_t count = list_.rows().size();
  std::map<std::string, std::size_t> target_numbers;  // "urlK" -> K
  for (std::size_t k = 1; k <= count; ++k) target_numbers[UrlName(k)] = k;

  // Registry value names compare without letter case.
  std::set<std::string> taken;
  for (const RegNamedValue& value : values) taken.insert(AsciiLower(value.name));

  // Addresses that writing url1..urlN would replace. Reading them all before
  // the first write means a value that cannot be read stops the store while
  // the key is still untouched.
  std::map<std::string, std::size_t> at_risk;  // address -> lowest urlK holding it
  for (const RegNamedValue& value : values) {
    const auto target = target_numbers.find(AsciiLower(value.name));
    if (target == target_numbers.end()) continue;
    const std::size_t k = target->second;
    std::string text = RegistryAccess::StringOf(value.name, value.query);
    if (IsBlank(text) || text == list_.rows()[k - 1]) continue;
    const auto [it, inserted] = at_risk.emplace(std::move(text), k);
    if (!inserted) it->second = std::min(it->second, k);
  }

  std::vector<SpareCopy> copies;
  std::size_t attempted = 0;  // the highest urlK whose write was tried
  // When a write fails, the copies whose originals are still in place go
  // again; copies of url1..urlK stay, as their originals may be gone.
  ScopeExit drop_copies([&] {
    for (const SpareCopy& copy : copies) {
      if (copy.first_source > attempted) (void)registry.DeleteValue(copy.name);
    }
  });

  std::size_t spare_number = count;
  for (const auto& [text, first_source] : at_risk) {
    do {
      ++spare_number;
    } while (taken.count(UrlName(spare_number)) != 0);
    const std::string spare = UrlName(spare_number);
    store_end_ = StoreEnd::kWrote;
    registry.WriteString(spare, text);
    copies.push_back({spare, first_source});
  }

  for (std::size_t k = 1; k <= count; ++k) {
    attempted = k;
    store_end_ = StoreEnd::kWrote;
    registry.WriteString(UrlName(k), list_.rows()[k - 1]);
  }
  drop_copies.dismiss();

  // Every row is written: now the old values of other names, and the spare
  // copies, can go. A value that does not delete simply stays.
  store_end_ = StoreEnd::kWrote;  // also when there was no row to write
  for (const RegNamedValue& value : values) {
    if (target_numbers.count(AsciiLower(value.name)) == 0) (void)registry.DeleteValue(value.name);
  }
  for (const SpareCopy& copy : copies) (void)registry.DeleteValue(copy.name);
}

void UrlsTab::DeleteTypedUrl() {
  const int index = list_.selection();
  if (!list_.selected()) return;
  RefuseUnstorableEdit();
  if (!ui_.Confirm("Delete " + *list_.selected() + "?")) return;
  const std::vector<std::string> before = list_.rows();
  list_.mutable_rows().erase(list_.mutable_rows().begin() + index);
  // The selected row is gone; until the store succeeds nothing is selected.
  list_.Select(-1);
  StoreEdit(before, index);
  if (list_.empty()) return;
  list_.Select(index > 0 ? index - 1 : 0);
  list_.RequestFocus();
}

void UrlsTab::InsertTypedUrl() {
  const int selected = list_.selection();
  RefuseUnstorableEdit();
  std::optional<std::string> text = ui_.InputBox("Insert new Url", "Enter Url:", 255);
  if (!text || IsBlank(*text)) return;
  const int index = std::max(selected, 0);
  const std::vector<std::string> before = list_.rows();
  list_.mutable_rows().insert(list_.mutable_rows().begin() + index, std::move(*text));
  // The list keeps the selected row selected as it moves down.
  if (list_.selection() >= index) list_.Select(list_.selection() + 1);
  StoreEdit(before, selected);
  list_.Select(index);
  list_.RequestFocus();
}

void UrlsTab::OpenSelectedUrl() {
  if (!MenuState().open) return;
  const std::string& text = *list_.selected();
  if (text.empty()) return;
  platform_.shell.OpenItem(text);
}

void UrlsTab::CopySelectedUrl() {
  if (!MenuState().copy) return;
  platform_.clipboard.SetText(*list_.selected());
}

void UrlsTab::SaveUrlList() {
  if (list_.rows().empty()) return;
  const std::optional<std::string> file = ui_.ChooseSaveFile();
  if (!file) return;
  ExportLines(platform_.files, *file, list_.rows());
}

UrlsCommands UrlsTab::MenuState() const { return UrlsCommandsFor(list_.selection(), list_.size()); }

}  // namespace cu
