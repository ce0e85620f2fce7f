// Identifiers of the program's resources and of the connect dialog's controls.
// Shared by the resource script and the code; plain macros so that the
// resource compiler reads them too.
#pragma once

#define IDD_CONNECT 101

#define IDC_CONNECT 1001
#define IDC_USERNAME 1002
#define IDC_PASSWORD 1003
#define IDC_PLAYLIST 1004
#define IDC_START 1005
#define IDC_TITLE 1006
#define IDC_USERNAME_LABEL 1007
#define IDC_PASSWORD_LABEL 1008
#define IDC_PLAYLIST_LABEL 1009
#define IDC_EXIT 1010
