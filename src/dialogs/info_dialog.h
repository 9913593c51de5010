#pragma once

#include <windows.h>

#include "presenter/ui.h"

namespace cu::dialogs {

// The Info dialog: a read-only report with Cancel, the action button and an
// optional "Stop". Runs modally over `owner` and returns 2 (Cancel, Esc or
// the close box), 6 (the action button), 7 ("Stop") or 3 (Ctrl+Del while the
// action button reads "Start!").
int ShowInfoDialog(HWND owner, const InfoRequest& request);

}  // namespace cu::dialogs
