// Control ids of the tag editor dialog (IDD_TAG_EDITOR, 141).
//
// Plain #defines: read by the resource compiler and by C++. The numbers are
// fixed (test drivers address the controls by them); "Close" is IDCANCEL (2).
#ifndef VORLO_RESOURCES_TAG_EDITOR_IDS_H
#define VORLO_RESOURCES_TAG_EDITOR_IDS_H

#define IDC_TAG_GENRE            1068  // drop-down list of the genre table
#define IDC_TAG_FILE_NAME        1091  // static: the full path
#define IDC_TAG_ARTIST           1092
#define IDC_TAG_SAVE             1093
#define IDC_TAG_TITLE            1094
#define IDC_TAG_ALBUM            1095
#define IDC_TAG_COMMENT          1096
#define IDC_TAG_WIPE             1097
#define IDC_TAG_YEAR_SPIN        1098  // up-down bound to IDC_TAG_YEAR
#define IDC_TAG_YEAR             1099  // numbers only

#endif  // VORLO_RESOURCES_TAG_EDITOR_IDS_H
