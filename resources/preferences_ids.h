// Control ids of the preferences pages (dialogs 107, 108, 117, 126, 127) and
// the about pages (119, 120). Plain #defines: read by windres and by C++.
#ifndef VORLO_RESOURCES_PREFERENCES_IDS_H
#define VORLO_RESOURCES_PREFERENCES_IDS_H

// ---- 108 "General"
#define IDC_GEN_READ_FILE_INFO     1101
#define IDC_GEN_MULTIPLE_INSTANCES 1102
#define IDC_GEN_ALWAYS_ON_TOP      1103
#define IDC_GEN_AUTO_PLAY          1104
#define IDC_GEN_SPLASH             1105
#define IDC_GEN_EASY_MOVE          1106
#define IDC_GEN_MIN_TASKBAR        1107
#define IDC_GEN_MIN_SYSTRAY        1108
#define IDC_GEN_REGISTER_TYPES     1109
#define IDC_GEN_START_MENU         1110
#define IDC_GEN_IRC_ENABLED        1111
#define IDC_GEN_IRC_USE_TAG        1112
#define IDC_GEN_IRC_SERVER         1113
#define IDC_GEN_IRC_COMMAND        1114

// ---- 107 "Decoder"
#define IDC_DEC_FULL               1201
#define IDC_DEC_HALF               1202
#define IDC_DEC_QUARTER            1203
#define IDC_DEC_STEREO             1204
#define IDC_DEC_MONO               1205
#define IDC_DEC_PRIORITY           1206
#define IDC_DEC_PRIORITY_LABEL     1207
#define IDC_DEC_OUTPUT_SYSTEM      1208
#define IDC_DEC_MAP_ISO            1209
#define IDC_DEC_MAP_XING           1210
#define IDC_DEC_MAP_FHG            1211
#define IDC_DEC_MAP_ARCODER        1212

// ---- 117 "Audio Output"
#define IDC_OUT_DEVICE             1301
#define IDC_OUT_CB_FUNCTION        1302
#define IDC_OUT_CB_THREAD          1303
#define IDC_OUT_CB_WINDOW          1304
#define IDC_OUT_8BIT               1305
#define IDC_OUT_BYPASS_ACM         1306
#define IDC_OUT_SYNC_DEV           1307

// ---- 126 "Streaming"
#define IDC_NET_PLAY_ONLY          1401
#define IDC_NET_PLAY_SAVE          1402
#define IDC_NET_SAVE_ONLY          1403
#define IDC_NET_PLAY_AFTER         1404
#define IDC_NET_LOCATION           1405
#define IDC_NET_BROWSE             1406
#define IDC_NET_CONNECTION         1407
#define IDC_NET_SERVER_TAG         1408
#define IDC_NET_STATUS_WINDOW      1409

// ---- 127 "User Interface"
#define IDC_UI_CALC_VISUALS        1501
#define IDC_UI_AUTO_SCROLL         1502
#define IDC_UI_UPDATE_RATE         1503
#define IDC_UI_UPDATE_RATE_LABEL   1504
#define IDC_UI_RESOLUTION          1505
#define IDC_UI_RESOLUTION_LABEL    1506
#define IDC_UI_LED_LIST            1507
#define IDC_UI_GLOBAL_MEDIA_KEYS   1508
#define IDC_UI_DOUBLE_SIZE         1509

// ---- 152 "ReplayGain"
#define IDC_RG_OFF                 1701
#define IDC_RG_TRACK               1702
#define IDC_RG_ALBUM               1703
#define IDC_RG_AUTO                1704
#define IDC_RG_PREAMP              1705
#define IDC_RG_UNTAGGED            1706
#define IDC_RG_PREVENT_CLIP        1707

// ---- 129 "Skins"
#define IDC_SKIN_LIST              1711
#define IDC_SKIN_FOLDER            1712

// ---- 119 "About VOR", 120 "Cool Links"
#define IDC_ABOUT_ICON             1601
#define IDC_ABOUT_TEXT             1602
#define IDC_LINKS_LIST             1603
#define IDC_LINKS_ADDRESS          1604
#define IDC_LINKS_BROWSE           1605

#endif  // VORLO_RESOURCES_PREFERENCES_IDS_H
