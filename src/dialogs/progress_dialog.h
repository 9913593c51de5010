#pragma once

#include <windows.h>

#include <functional>

#include "platform/platform.h"
#include "presenter/progress.h"

namespace cu::dialogs {

// Runs long work on a thread of its own while this thread keeps its
// messages moving: `owner` is disabled for the time (so no other command
// starts), and once the work has lasted kProgressDelayMs the progress dialog
// shows the action, a bar (filling for rows, a marquee otherwise) and the
// counts, with Stop; Stop, Esc and closing the dialog set the stop flag.
// A WM_CLOSE for `owner` meanwhile also stops the work and comes back once
// it has ended. Returns when the work has ended; what the work threw is
// thrown here.
void RunWithProgress(HWND owner, Locale& locale, const WorkRequest& request,
                     const std::function<void(Progress&)>& work);

inline constexpr DWORD kProgressDelayMs = 500;

}  // namespace cu::dialogs
