// Every resource and control id of the plug-in, shared by code and templates.
#pragma once

// Dialog templates.
#define IDD_COLORIZE_JA 113
#define IDD_COLORIZE_EN 114

// Cursors of the preview while it can be panned.
#define IDC_HAND_OPEN 107
#define IDC_HAND_GRAB 108

// Controls of the Colorize dialog.
#define IDC_PREVIEW 1005
#define IDC_PREVIEW_CHECK 1006
#define IDC_X_EDIT 1021
#define IDC_X_SPIN 1022
#define IDC_Y_EDIT 1023
#define IDC_Y_SPIN 1024
#define IDC_COLOR_FIELD 1025
#define IDC_X_SLIDER 1026
#define IDC_Y_SLIDER 1027
#define IDC_GUIDE_LABEL 1028
