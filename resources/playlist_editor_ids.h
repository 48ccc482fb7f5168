// Control ids of the playlist editor's dialog (IDD_PLAYLIST_EDITOR, 114).
// The buttons carry small ids of their own; "Dismiss" is IDOK (1).
#ifndef VORLO_RESOURCES_PLAYLIST_EDITOR_IDS_H
#define VORLO_RESOURCES_PLAYLIST_EDITOR_IDS_H

#define IDC_PLE_LIST        1012
#define IDC_PLE_DISMISS     1     // IDOK, the default button
#define IDC_PLE_LOAD        2
#define IDC_PLE_SAVE        3
#define IDC_PLE_ADD         5
#define IDC_PLE_DELETE      6
#define IDC_PLE_SHUFFLE     7
#define IDC_PLE_SORT        8
#define IDC_PLE_UP          9
#define IDC_PLE_DOWN        10
#define IDC_PLE_CLEAR       11
#define IDC_PLE_EDIT_TAG    12
#define IDC_PLE_PLAYTIME    1081

#endif  // VORLO_RESOURCES_PLAYLIST_EDITOR_IDS_H
