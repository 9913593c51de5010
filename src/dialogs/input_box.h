#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace cu::dialogs {

// A caption, a prompt, one edit field limited to `max_length` characters,
// OK and Cancel. The text as typed on OK; nullopt on Cancel, Esc or close.
std::optional<std::string> ShowInputBox(HWND owner, const std::string& caption,
                                        const std::string& prompt, std::size_t max_length);

}  // namespace cu::dialogs
