// Control ids of the mini controller (dialog 137) and the tray's own icon
// ids beyond resource.h. Plain #defines: read by windres and by C++.
#ifndef VORLO_RESOURCES_TRAY_IDS_H
#define VORLO_RESOURCES_TRAY_IDS_H

// The mini controller's window icon. It also places the document icons 131
// and 132 at icon group indices 13 and 14 of the exe (101, 113..124 come
// before them), which the registered DefaultIcon entries name.
#define IDI_MINI_CONTROLLER      124
#define IDI_DOC_AUDIO            131   // "VOR MPEG Audio File"
// 132 is IDI_PLAYLIST_EDITOR in resource.h ("VOR Playlist File").

// Buttons, left to right, and the position slider of dialog 137.
#define IDC_MINI_PREV            1371
#define IDC_MINI_PLAY            1372
#define IDC_MINI_PAUSE           1373
#define IDC_MINI_STOP            1374
#define IDC_MINI_NEXT            1375
#define IDC_MINI_SLIDER          1376

#endif  // VORLO_RESOURCES_TRAY_IDS_H
