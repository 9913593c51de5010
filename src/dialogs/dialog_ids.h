#pragma once

// Resource and control identifiers of the program's dialogs, shared by the
// resource script and the code.

#define IDD_INFO 100
#define IDD_INPUT 101
#define IDD_PROGRESS 102

// Info dialog. Its action button ("DELETE!!!", "Start!", "ReStart!"), its
// "Stop" button and its close button carry the ids of the results they end
// the dialog with (IDYES 6, IDNO 7, IDCANCEL 2). The memo holds the report,
// the bottom panel (PANBOT) the hint.
#define IDC_INFO_MEMO 1001
#define IDC_INFO_PANBOT 1002
// The optional list (a CBS_DROPDOWNLIST combo box) and its label, in a row
// of their own above the buttons; made only when a caller asks for them.
#define IDC_INFO_CHOICE_LABEL 1003
#define IDC_INFO_CHOICE 1004

// Input box.
#define IDC_INPUT_PROMPT 1101
#define IDC_INPUT_EDIT 1102

// Progress dialog: what is being done, the bar, the counts; its Stop button
// is IDCANCEL, so Esc stops too.
#define IDC_PROGRESS_ACTION 1201
#define IDC_PROGRESS_BAR 1202
#define IDC_PROGRESS_COUNTS 1203

#define IDI_APP 1
