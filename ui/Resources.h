#pragma once
// Identifiers of the program's resources (ui/ORVIKStreams.rc).

#define IDI_PROGRAM 1
#define IDB_TOOLBAR16 101
#define IDB_TOOLBAR24 102
#define IDB_TOOLBAR32 103

#define IDD_INPUTQUERY 201
#define IDC_QUERY_PROMPT 1001
#define IDC_QUERY_VALUE 1002

#define IDD_ABOUT 202
#define IDC_ABOUT_BEVEL 1101
#define IDC_ABOUT_ICON 1102
#define IDC_ABOUT_TEXT 1103

#define IDD_SONGSHAPE 203
#define IDC_SHAPE_LENGTH 1201
#define IDC_SHAPE_START 1202
#define IDC_SHAPE_END 1203
#define IDC_SHAPE_FADE 1204
