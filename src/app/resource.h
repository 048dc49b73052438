// Resource ids of revertly.exe, shared by the resource script and the program.
#ifndef REVERTLY_APP_RESOURCE_H
#define REVERTLY_APP_RESOURCE_H

// The program's icon: the window's small icon, which is also the tray icon, and the
// file's icon in Explorer.
#define IDI_REVERTLY 1

#endif  // REVERTLY_APP_RESOURCE_H
