#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/registry_access.h"
#include "presenter/list_state.h"
#include "presenter/ui.h"

namespace cu {

// The key that holds the browser's typed addresses, under HKEY_CURRENT_USER.
inline constexpr char kTypedUrlsKey[] = "\\Software\\Microsoft\\Internet Explorer\\TypedUrls";

// Which of the tab's commands are enabled: the context menu and its
// shortcuts (Del, Ins, Ctrl+C, Ctrl+S) all read this one state.
struct UrlsCommands {
  bool open = false;    // Open URL: a row is selected
  bool del = false;     // Delete URL (Del): a row is selected
  bool insert = true;   // Insert URL (Ins): always
  bool copy = false;    // Copy URL (Ctrl+C): a row is selected
  bool save = false;    // Save (Ctrl+S): the list has a row
};

[[nodiscard]] UrlsCommands UrlsCommandsFor(int selection, std::size_t row_count);

// The "IE Address bar (Urls)" tab: the typed addresses, read from the
// registry key and written back to it after every insertion and deletion.
class UrlsTab {
 public:
  UrlsTab(const Platform& platform, Ui& ui);

  // Loads the rows from every value of the key, in enumeration order,
  // whatever the names; blank values are skipped and the text is kept
  // untrimmed; row 0 is selected. A value of a non-string type throws
  // "Invalid data type for '<name>'": the rows read before it stay and
  // nothing is selected. A key that does not open leaves the list empty. The
  // count caption is set on every way out.
  void LoadTypedUrls();
  // Makes the key hold exactly url1..urlN (REG_SZ) for the N rows, without
  // ever losing an address the key held before when a write fails:
  //  1. The values the rewrite will overwrite (names url1..urlN, without
  //     case) are read first; a value that cannot be read as text (a read
  //     failure or data of another type) stops the store with the registry's
  //     error before anything is written.
  //  2. Each of those that holds a non-blank address other than the row about
  //     to replace it is copied to a spare name (url<M>, M > N, a name the key
  //     does not hold), each distinct address once.
  //  3. url1..urlN are written from the top.
  //  4. Only when every write succeeded are all other values deleted, the
  //     spare copies included (failed deletions are ignored).
  // A failed write throws "Failed to set data for '<name>'". Every address
  // the key held is then still in it, under its own name or a spare copy;
  // copies whose original was not yet overwritten are removed again. The
  // rows and the selection are not touched.
  // Writes nothing, and throws saying so, when the key does not open or while
  // the rows come from a load that ended with an error (or before any load):
  // they lack the addresses after the failing value, which a rewrite would
  // delete; that error names the value the load stopped at. Nor when the key
  // no longer holds exactly the values the last load read (or the last store
  // left): another program wrote to it since, and the rows lack what it
  // wrote. The list is then loaded again (as LoadTypedUrls) and the error
  // says so. After a store that wrote, what the key then holds is what the
  // next store expects to find. The count caption is set on every way out.
  void StoreTypedUrls();

  // Asks "Delete <row>?", removes the selected row and stores the list; the
  // row above (or row 0) is then selected and the focus requested. Nothing
  // without a selection or a Yes.
  void DeleteTypedUrl();
  // Asks for a new address ("Insert new Url", "Enter Url:", 255 characters);
  // Cancel or blank input changes nothing. The text, untrimmed, goes in at
  // the selected row (row 0 without one), the list is stored, the new row is
  // selected and the focus requested.
  //
  // Both refuse with the store's error before asking anything when the list
  // cannot be stored (also when the key changed: the list is then read
  // again), and check again when storing, as the key may change while the
  // question is open. Whenever a store ends before writing anything the
  // rows, selection and count go back to what they were, unless the key had
  // changed and the list shows it as read again.
  void InsertTypedUrl();
  // Opens the selected address when it is not empty.
  void OpenSelectedUrl();
  // Puts the selected address on the clipboard; the clipboard's AppError
  // ("Cannot open clipboard") propagates.
  void CopySelectedUrl();
  // Writes the rows to a file the user chooses; no dialog on an empty list.
  // Throws "Cannot create file <path>" when the file cannot be written.
  void SaveUrlList();
  [[nodiscard]] UrlsCommands MenuState() const;

  const std::vector<std::string>& rows() const { return list_.rows(); }
  int selection() const { return list_.selection(); }
  // Sets the selection (-1 or out of range: none).
  void Select(int index) { list_.Select(index); }
  // The button panel's caption: the row count.
  const std::string& count_caption() const { return count_caption_; }
  // True once after a command that moves the focus to the list.
  [[nodiscard]] bool TakeFocusRequest() { return list_.TakeFocusRequest(); }

 private:
  void LoadFrom(const std::vector<RegNamedValue>& values);
  void StoreTo(RegistryAccess& registry, const std::vector<RegNamedValue>& values);
  // Opens the key in `registry` and returns its values as they stand, or
  // throws why a store would write nothing now; when the key changed since
  // it was read, the list is read again first.
  std::vector<RegNamedValue> ReadStorableKey(RegistryAccess& registry);
  void RefuseUnstorableEdit();
  // Stores an edit of the rows, undoing it on screen when nothing was written.
  void StoreEdit(const std::vector<std::string>& rows_before, int selection_before);

  Platform platform_;
  Ui& ui_;
  ListState<std::string> list_;
  std::string count_caption_;
  bool rows_complete_ = false;  // the rows hold every address of the last load
  std::string load_error_;      // what ended the last load early
  // The key's values as the last load read them or the last store left them
  // (none for a key that did not open): a store first checks that the key
  // still holds exactly these.
  std::vector<RegNamedValue> key_values_;
  // How the last store ended: before changing the key, after writing to or
  // deleting from it, or by reading the changed key again.
  enum class StoreEnd { kBeforeWriting, kWrote, kReread };
  StoreEnd store_end_ = StoreEnd::kBeforeWriting;
};

}  // namespace cu
