// Resource ids of revertly.exe, shared by the resource script and the program.
#ifndef REVERTLY_APP_RESOURCE_H
#define REVERTLY_APP_RESOURCE_H

// The program's icon: the window's small icon, which is also the tray icon, and the
// file's icon in Explorer.
#define IDI_REVERTLY 1

// The settings window and its controls. The key fields and their notes are numbered by hotkey
// id (undo, redo, clear, the "Recent states" list) from the first.
#define IDD_SETTINGS 100
#define IDC_STATES 1001
#define IDC_MEMORY 1002
#define IDC_MEMORY_NOTE 1003
#define IDC_KEEP_HISTORY 1004
#define IDC_STEP_HINT 1005
#define IDC_FIRST_KEY 1010
#define IDC_FIRST_KEY_NOTE 1020
#define IDC_PICK_NONE 1030
#define IDC_PROGRAMS 1040
#define IDC_ADD_PROGRAM 1041
#define IDC_ADD_OWNER 1042
#define IDC_REMOVE_PROGRAM 1043
#define IDC_PROGRAMS_NOTE 1044
#define IDC_AUTORUN 1050
#define IDC_APPLY 1051

#endif  // REVERTLY_APP_RESOURCE_H
