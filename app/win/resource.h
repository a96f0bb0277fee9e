// Resource ids of portelle.rc, shared by the resource compiler and the C++
// view. The control ids are CPortelleDlg's (app/PortelleDlg.h);
// PortelleDlgWin.cpp checks at compile time that the two agree.
#ifndef PORTELLE_APP_WIN_RESOURCE_H_
#define PORTELLE_APP_WIN_RESOURCE_H_

#define IDR_MAINFRAME 128
#define IDD_PORTELLE_DIALOG 102

#define IDC_BUTTON_EXPORT 1000
#define IDC_BUTTON_IMPORT 1001
#define IDC_EDIT_PATH 1003
#define IDC_BUTTON_SELECT_FOLDER 1004
#define IDC_STATIC_PATH 1006
#define IDC_STATIC_VERSION 1007

// Not in the template: the status line the view adds below the buttons
// while an export or import runs.
#define IDC_STATUS_LINE 1010

#endif  // PORTELLE_APP_WIN_RESOURCE_H_
