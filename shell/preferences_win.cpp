// The preferences sheet (modeless, six pages over g_settings) and the about
// sheet (modal, two pages).
//
// Radio buttons and lists write their setting the moment they are used;
// check boxes and edit fields are read back when the page is applied (OK or
// Apply). Cancel puts back, per page, the fields listed in its reset handler
// from the copy taken when the sheet opened. Saving, the decoder priority
// and AlwaysOnTop are the message loop's business once the sheet closes.
#include "shell/preferences_win.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <iterator>

#include "output/wave_out.h"
#include "platform/platform.h"
#include "resources/preferences_ids.h"
#include "resources/resource.h"
#include "shell/file_types_win.h"
#include "shell/main_window.h"
#include "shell/media_keys_win.h"
#include "shell/preferences.h"
#include "shell/skin_bitmaps_win.h"
#include "shell/user_skin.h"
#include "settings/settings.h"

namespace {

constexpr char kPreferencesCaption[] = "VOR Preferences";
constexpr char kAboutCaption[] = "About VOR...";
constexpr int kIrcTextChars = 254;       // IRCAppName, IRCCommand
constexpr int kDownloadDirChars = 258;   // InternetDLDir
constexpr int kBrowseAddressChars = 1023;

// The record as it was when the sheet opened; Cancel restores from it.
Settings g_backup;
// The priority the Decoder page showed at its opening or last Apply: moving
// the slider marks the sheet changed only away from this value.
int g_priorityShown = 0;
// Set while a page fills its controls: the notices that filling causes
// (an edit's EN_CHANGE) are not the user's and change nothing.
bool g_filling = false;
AboutLink g_links[kAboutLinkCount];

void MarkChanged(HWND page) {
    PropSheet_Changed(GetParent(page), page);
}

// A notice the user caused: a click, an edit, a list choice. Focus notices
// and the echo of filling a page are not changes.
bool IsUserCommand(WPARAM wParam) {
    if (g_filling) return false;
    const UINT code = HIWORD(wParam);
    return code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE;
}

void SetCheck(HWND page, int id, int value) {
    CheckDlgButton(page, id, value ? BST_CHECKED : BST_UNCHECKED);
}

int GetCheck(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

// OK and Cancel leave a modeless sheet without a current page, which the
// message loop notices only when its next message arrives: one is posted
// so that the sheet goes (and the settings are saved) at once, not at the
// next mouse move. It is taken after the button's handling has finished.
void WakeMessageLoop() {
    if (g_hMainWindow) PostMessageA(g_hMainWindow, WM_NULL, 0, 0);
}

// Answers a page notice: PSN_APPLY accepted, everything else unhandled.
INT_PTR Accept(HWND page) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

// ---------------------------------------------------------------- General

struct CheckField {
    int id;
    int Settings::*field;
};
constexpr CheckField kGeneralChecks[] = {
    {IDC_GEN_READ_FILE_INFO, &Settings::ReadFileInfo},
    {IDC_GEN_MULTIPLE_INSTANCES, &Settings::MultipleInstances},
    {IDC_GEN_ALWAYS_ON_TOP, &Settings::AlwaysOnTop},
    {IDC_GEN_AUTO_PLAY, &Settings::AutoPlayOnOpen},
    {IDC_GEN_SPLASH, &Settings::ShowSplashScreen},
    {IDC_GEN_EASY_MOVE, &Settings::EasyMove},
    {IDC_GEN_IRC_ENABLED, &Settings::IRCEnabled},
    {IDC_GEN_IRC_USE_TAG, &Settings::IRCUseTag},
};

void GeneralFill(HWND page) {
    for (const CheckField& c : kGeneralChecks) SetCheck(page, c.id, g_settings.*c.field);
    CheckRadioButton(page, IDC_GEN_MIN_TASKBAR, IDC_GEN_MIN_SYSTRAY,
                     g_settings.MinimizeLocation == 1 ? IDC_GEN_MIN_SYSTRAY : IDC_GEN_MIN_TASKBAR);
    SendDlgItemMessageA(page, IDC_GEN_IRC_SERVER, EM_LIMITTEXT, kIrcTextChars, 0);
    SendDlgItemMessageA(page, IDC_GEN_IRC_COMMAND, EM_LIMITTEXT, kIrcTextChars, 0);
    SetDlgItemTextA(page, IDC_GEN_IRC_SERVER, g_settings.IRCAppName);
    SetDlgItemTextA(page, IDC_GEN_IRC_COMMAND, g_settings.IRCCommand);
}

void GeneralApply(HWND page) {
    for (const CheckField& c : kGeneralChecks) g_settings.*c.field = GetCheck(page, c.id);
    GetDlgItemTextA(page, IDC_GEN_IRC_SERVER, g_settings.IRCAppName, kIrcTextChars + 1);
    GetDlgItemTextA(page, IDC_GEN_IRC_COMMAND, g_settings.IRCCommand, kIrcTextChars + 1);
}

// The settings a page gives back from the backup when it is reset.
void RestoreFromBackup(std::initializer_list<int Settings::*> fields) {
    for (int Settings::*f : fields) g_settings.*f = g_backup.*f;
}

void GeneralReset() {
    RestoreFromBackup({&Settings::MinimizeLocation, &Settings::MultipleInstances, &Settings::AlwaysOnTop,
                       &Settings::AutoPlayOnOpen, &Settings::ShowSplashScreen, &Settings::EasyMove});
}

void GeneralCommand(HWND page, WPARAM wParam) {
    const int id = LOWORD(wParam);
    if (id == IDC_GEN_REGISTER_TYPES) {
        if (HIWORD(wParam) == BN_CLICKED) RegisterFileTypes(page);
        return;
    }
    if (HIWORD(wParam) == BN_CLICKED) {
        if (id == IDC_GEN_MIN_TASKBAR) g_settings.MinimizeLocation = 0;
        if (id == IDC_GEN_MIN_SYSTRAY) g_settings.MinimizeLocation = 1;
    }
    if (IsUserCommand(wParam)) MarkChanged(page);
}

// ---------------------------------------------------------------- Decoder

constexpr int kQualityIds[] = {IDC_DEC_FULL, IDC_DEC_HALF, IDC_DEC_QUARTER};

void ShowPriorityLabel(HWND page, int position) {
    SetDlgItemTextA(page, IDC_DEC_PRIORITY_LABEL, PriorityLabel(position));
}

void DecoderFill(HWND page) {
    g_settings.DownSample = NormalizedDownSample(g_settings.DownSample);
    g_settings.Channels = NormalizedChannels(g_settings.Channels);
    CheckRadioButton(page, IDC_DEC_FULL, IDC_DEC_QUARTER, kQualityIds[g_settings.DownSample]);
    CheckRadioButton(page, IDC_DEC_STEREO, IDC_DEC_MONO,
                     g_settings.Channels == 3 ? IDC_DEC_MONO : IDC_DEC_STEREO);

    HWND slider = GetDlgItem(page, IDC_DEC_PRIORITY);
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kPriorityPositions - 1));
    SendMessageA(slider, TBM_SETPAGESIZE, 0, 1);
    SendMessageA(slider, TBM_SETPOS, TRUE, g_settings.DecoderPriority);
    g_priorityShown = g_settings.DecoderPriority;
    ShowPriorityLabel(page, g_settings.DecoderPriority);

    HWND list = GetDlgItem(page, IDC_DEC_OUTPUT_SYSTEM);
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kOutputSystemWaveFile));
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kOutputSystemWindows));
    const char* current = g_settings.AudioOutputSystem == 1   ? kOutputSystemWaveFile
                          : g_settings.AudioOutputSystem == 0 ? kOutputSystemWindows
                                                              : nullptr;
    if (current)
        SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(current));
}

void DecoderSlider(HWND page, HWND slider) {
    if (GetDlgCtrlID(slider) != IDC_DEC_PRIORITY) return;
    const int position = static_cast<int>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    g_settings.DecoderPriority = position;
    ShowPriorityLabel(page, position);
    if (position != g_priorityShown) MarkChanged(page);
}

void DecoderApply(HWND page) {
    g_priorityShown =
        static_cast<int>(SendDlgItemMessageA(page, IDC_DEC_PRIORITY, TBM_GETPOS, 0, 0));
    g_settings.DecoderPriority = g_priorityShown;
}

void DecoderReset() {
    RestoreFromBackup({&Settings::DownSample, &Settings::DecoderPriority, &Settings::AudioOutputSystem});
}

void DecoderCommand(HWND page, WPARAM wParam, HWND control) {
    const int id = LOWORD(wParam);
    if (HIWORD(wParam) == BN_CLICKED) {
        for (int i = 0; i < 3; ++i)
            if (id == kQualityIds[i]) g_settings.DownSample = i;
        if (id == IDC_DEC_STEREO) g_settings.Channels = -1;
        if (id == IDC_DEC_MONO) g_settings.Channels = 3;
    }
    if (id == IDC_DEC_OUTPUT_SYSTEM && HIWORD(wParam) == CBN_SELCHANGE) {
        const LRESULT sel = SendMessageA(control, CB_GETCURSEL, 0, 0);
        char text[64] = "";
        if (sel != CB_ERR &&
            SendMessageA(control, CB_GETLBTEXTLEN, sel, 0) < static_cast<LRESULT>(sizeof text)) {
            SendMessageA(control, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(text));
            g_settings.AudioOutputSystem = OutputSystemFromText(text);
        }
    }
    if (IsUserCommand(wParam)) MarkChanged(page);
}

// ---------------------------------------------------------- Audio Output

constexpr CheckField kOutputChecks[] = {
    {IDC_OUT_8BIT, &Settings::AudioOutput8Bit},
    {IDC_OUT_BYPASS_ACM, &Settings::AudioBypassACM},
    {IDC_OUT_SYNC_DEV, &Settings::AudioAllowSyncDev},
};

void OutputFill(HWND page) {
    HWND list = GetDlgItem(page, IDC_OUT_DEVICE);
    const int count = GetWaveDeviceCount();
    int listed = 0;
    char name[64];
    while (listed < count && GetWaveDeviceName(listed, name)) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        ++listed;
    }
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kWaveMapperName));
    // The wave mapper is the last entry; a device index that was not listed
    // selects nothing.
    const int dev = g_settings.WinMMOutputDev;
    if (dev == -1) SendMessageA(list, CB_SETCURSEL, listed, 0);
    else if (dev >= 0 && dev < listed) SendMessageA(list, CB_SETCURSEL, dev, 0);

    CheckRadioButton(page, IDC_OUT_CB_FUNCTION, IDC_OUT_CB_WINDOW,
                     g_settings.WinMMCallback == 1 ? IDC_OUT_CB_THREAD : IDC_OUT_CB_FUNCTION);
    for (const CheckField& c : kOutputChecks) SetCheck(page, c.id, g_settings.*c.field);
}

void OutputApply(HWND page) {
    for (const CheckField& c : kOutputChecks) g_settings.*c.field = GetCheck(page, c.id);
}

void OutputCommand(HWND page, WPARAM wParam, HWND control) {
    const int id = LOWORD(wParam);
    if (id == IDC_OUT_DEVICE && HIWORD(wParam) == CBN_SELCHANGE) {
        const LRESULT sel = SendMessageA(control, CB_GETCURSEL, 0, 0);
        const LRESULT last = SendMessageA(control, CB_GETCOUNT, 0, 0) - 1;
        if (sel != CB_ERR) {
            if (sel == last) {
                g_settings.WinMMOutputDev = -1;
            } else {
                // Devices of the same name are one choice: the first of them.
                char name[64] = "";
                if (SendMessageA(control, CB_GETLBTEXTLEN, sel, 0) <
                    static_cast<LRESULT>(sizeof name))
                    SendMessageA(control, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(name));
                const LRESULT first = SendMessageA(control, CB_FINDSTRINGEXACT,
                                                   static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>(name));
                g_settings.WinMMOutputDev =
                    static_cast<int>(first != CB_ERR && first < sel ? first : sel);
            }
        }
    }
    if (HIWORD(wParam) == BN_CLICKED) {
        if (id == IDC_OUT_CB_FUNCTION) g_settings.WinMMCallback = 0;
        if (id == IDC_OUT_CB_THREAD) g_settings.WinMMCallback = 1;
    }
    if (IsUserCommand(wParam)) MarkChanged(page);
}

// ------------------------------------------------------------- Streaming

void BrowseDownloadDir(HWND page) {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) {
        plat::ShowMessageBox(page, "An Error Occurred...", "Error...", plat::MbOk | plat::MbIconError);
        return;
    }
    BROWSEINFOA bi{};
    bi.hwndOwner = page;
    bi.lpszTitle = "Please Select a directory for downloads...";
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&bi);
    if (chosen) {
        char path[MAX_PATH] = "";
        if (SHGetPathFromIDListA(chosen, path)) SetDlgItemTextA(page, IDC_NET_LOCATION, path);
        allocator->Free(chosen);
    }
    allocator->Release();
}

void StreamingFill(HWND page) {
    CheckRadioButton(page, IDC_NET_PLAY_ONLY, IDC_NET_PLAY_SAVE,
                     g_settings.DownloadOption == 1 ? IDC_NET_PLAY_SAVE : IDC_NET_PLAY_ONLY);
    SendDlgItemMessageA(page, IDC_NET_LOCATION, EM_LIMITTEXT, kDownloadDirChars, 0);
    SetDlgItemTextA(page, IDC_NET_LOCATION, g_settings.InternetDLDir);
}

void StreamingApply(HWND page) {
    GetDlgItemTextA(page, IDC_NET_LOCATION, g_settings.InternetDLDir, kDownloadDirChars + 1);
}

void StreamingReset() {
    std::memcpy(g_settings.InternetDLDir, g_backup.InternetDLDir, sizeof g_settings.InternetDLDir);
    g_settings.DownloadOption = g_backup.DownloadOption;
}

void StreamingCommand(HWND page, WPARAM wParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDC_NET_PLAY_ONLY: g_settings.DownloadOption = 0; break;
        case IDC_NET_PLAY_SAVE: g_settings.DownloadOption = 1; break;
        case IDC_NET_BROWSE: BrowseDownloadDir(page); break;
        }
    }
    if (IsUserCommand(wParam)) MarkChanged(page);
}

// -------------------------------------------------------- User Interface

constexpr CheckField kInterfaceChecks[] = {
    {IDC_UI_CALC_VISUALS, &Settings::LEDCalculateVisuals},
    {IDC_UI_AUTO_SCROLL, &Settings::LEDAutoScrollSongName},
    {IDC_UI_DOUBLE_SIZE, &Settings::DoubleSize},
    {IDC_UI_GLOBAL_MEDIA_KEYS, &Settings::GlobalMediaKeys},
};

void InterfaceFill(HWND page) {
    for (const CheckField& c : kInterfaceChecks) SetCheck(page, c.id, g_settings.*c.field);
}

void InterfaceApply(HWND page) {
    for (const CheckField& c : kInterfaceChecks) g_settings.*c.field = GetCheck(page, c.id);
    if (g_hMainWindow) ApplyMediaKeys(g_hMainWindow);  // the hot keys follow at once
}

// ------------------------------------------------------------- ReplayGain

constexpr int kGainModeIds[] = {IDC_RG_OFF, IDC_RG_TRACK, IDC_RG_ALBUM, IDC_RG_AUTO};
constexpr int kGainFieldChars = 15;

void ShowGainField(HWND page, int id, float db) {
    char text[32];
    GainFieldText(db, text, sizeof text);
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, kGainFieldChars, 0);
    SetDlgItemTextA(page, id, text);
}

void ReplayGainFill(HWND page) {
    const int mode = g_settings.ReplayGainMode;
    CheckRadioButton(page, IDC_RG_OFF, IDC_RG_AUTO, kGainModeIds[mode >= 0 && mode <= 3 ? mode : 0]);
    ShowGainField(page, IDC_RG_PREAMP, g_settings.ReplayGainPreamp);
    ShowGainField(page, IDC_RG_UNTAGGED, g_settings.ReplayGainUntagged);
    SetCheck(page, IDC_RG_PREVENT_CLIP, g_settings.ReplayGainPreventClip);
}

// A field that does not read as a gain keeps the value it had.
void ReplayGainApply(HWND page) {
    char text[kGainFieldChars + 1];
    GetDlgItemTextA(page, IDC_RG_PREAMP, text, sizeof text);
    GainFieldFromText(text, &g_settings.ReplayGainPreamp);
    GetDlgItemTextA(page, IDC_RG_UNTAGGED, text, sizeof text);
    GainFieldFromText(text, &g_settings.ReplayGainUntagged);
    g_settings.ReplayGainPreventClip = GetCheck(page, IDC_RG_PREVENT_CLIP);
    ShowGainField(page, IDC_RG_PREAMP, g_settings.ReplayGainPreamp);
    ShowGainField(page, IDC_RG_UNTAGGED, g_settings.ReplayGainUntagged);
}

void ReplayGainReset() { RestoreFromBackup({&Settings::ReplayGainMode}); }

void ReplayGainCommand(HWND page, WPARAM wParam, HWND) {
    if (HIWORD(wParam) == BN_CLICKED)
        for (int i = 0; i < 4; ++i)
            if (LOWORD(wParam) == kGainModeIds[i]) g_settings.ReplayGainMode = i;
    if (IsUserCommand(wParam)) MarkChanged(page);
}
// ------------------------------------------------------------------ Skins

// A choice takes effect at once; Cancel goes back to the skin of the opening.
void SkinsFill(HWND page) {
    const std::string dir = SkinsDirectory();
    HWND list = GetDlgItem(page, IDC_SKIN_LIST);
    for (const std::string& name : SkinChoices(dir))
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    const char* current = g_settings.Skin[0] ? g_settings.Skin : kBuiltInSkinName;
    const LRESULT at = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(current));
    SendMessageA(list, LB_SETCURSEL, at == LB_ERR ? 0 : at, 0);
    const std::string where = "Skins are folders or .zip files in " + dir;
    SetDlgItemTextA(page, IDC_SKIN_FOLDER, where.c_str());
}

void SkinsReset() {
    if (std::strcmp(g_settings.Skin, g_backup.Skin) == 0) return;
    std::memcpy(g_settings.Skin, g_backup.Skin, sizeof g_settings.Skin);
    ApplySkinSetting();
}

void SkinsCommand(HWND page, WPARAM wParam, HWND control) {
    if (LOWORD(wParam) != IDC_SKIN_LIST || HIWORD(wParam) != LBN_SELCHANGE || g_filling) return;
    const LRESULT sel = SendMessageA(control, LB_GETCURSEL, 0, 0);
    char text[kSettingsNameSize] = "";
    if (sel == LB_ERR || SendMessageA(control, LB_GETTEXTLEN, sel, 0) >= static_cast<LRESULT>(sizeof text))
        return;
    SendMessageA(control, LB_GETTEXT, sel, reinterpret_cast<LPARAM>(text));
    const std::string chosen = SkinSettingOf(text);
    if (chosen == g_settings.Skin) return;
    std::snprintf(g_settings.Skin, sizeof g_settings.Skin, "%s", chosen.c_str());
    ApplySkinSetting();
    MarkChanged(page);
}

void SkinsApply(HWND) {}

// ------------------------------------------------------------- The pages

// One preferences page: what it does on opening, Apply, Cancel, a command
// and a slider message (null where it has nothing to do).
struct PageOps {
    void (*fill)(HWND page);
    void (*apply)(HWND page);
    void (*reset)();
    void (*command)(HWND page, WPARAM wParam, HWND control);
    void (*slider)(HWND page, HWND slider);
};

void GeneralCommandOp(HWND page, WPARAM wParam, HWND) { GeneralCommand(page, wParam); }
void StreamingCommandOp(HWND page, WPARAM wParam, HWND) { StreamingCommand(page, wParam); }
void MarkChangedOnCommand(HWND page, WPARAM wParam, HWND) {
    if (IsUserCommand(wParam)) MarkChanged(page);
}
void MarkChangedOnSlider(HWND page, HWND) {
    if (!g_filling) MarkChanged(page);
}

constexpr PageOps kGeneralOps = {GeneralFill, GeneralApply, GeneralReset, GeneralCommandOp,
                                 nullptr};
constexpr PageOps kDecoderOps = {DecoderFill, DecoderApply, DecoderReset, DecoderCommand,
                                 DecoderSlider};
constexpr PageOps kOutputOps = {OutputFill, OutputApply, nullptr, OutputCommand,
                                MarkChangedOnSlider};
constexpr PageOps kStreamingOps = {StreamingFill, StreamingApply, StreamingReset,
                                   StreamingCommandOp, nullptr};
constexpr PageOps kInterfaceOps = {InterfaceFill, InterfaceApply, nullptr, MarkChangedOnCommand,
                                   nullptr};
constexpr PageOps kReplayGainOps = {ReplayGainFill, ReplayGainApply, ReplayGainReset, ReplayGainCommand, nullptr};
constexpr PageOps kSkinsOps = {SkinsFill, SkinsApply, SkinsReset, SkinsCommand, nullptr};

// The dialog procedure of every preferences page; the page's PageOps
// arrive in the PROPSHEETPAGE's lParam and are kept in the window.
INT_PTR CALLBACK PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto* ops = reinterpret_cast<const PageOps*>(GetWindowLongPtrA(page, GWLP_USERDATA));
    switch (msg) {
    case WM_INITDIALOG: {
        ops = reinterpret_cast<const PageOps*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
        SetWindowLongPtrA(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(ops));
        g_filling = true;
        ops->fill(page);
        g_filling = false;
        return TRUE;
    }
    case WM_COMMAND:
        if (ops && ops->command) ops->command(page, wParam, reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (ops && ops->slider && lParam) ops->slider(page, reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_NOTIFY: {
        if (!ops) return FALSE;
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr->code == PSN_APPLY) {
            ops->apply(page);
            WakeMessageLoop();
            return Accept(page);
        }
        if (hdr->code == PSN_RESET) {
            if (ops->reset) ops->reset();
            WakeMessageLoop();
            return TRUE;
        }
        return FALSE;
    }
    }
    return FALSE;
}

PROPSHEETPAGEA MakePage(int dialog, DLGPROC proc, LPARAM param) {
    PROPSHEETPAGEA p{};
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DEFAULT;
    p.hInstance = g_hInstance;
    p.pszTemplate = MAKEINTRESOURCEA(dialog);
    p.pfnDlgProc = proc;
    p.lParam = param;
    return p;
}

LPARAM OpsParam(const PageOps& ops) {
    return reinterpret_cast<LPARAM>(&ops);
}

// --------------------------------------------------------- The about sheet

INT_PTR CALLBACK AboutPageProc(HWND page, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetDlgItemTextA(page, IDC_ABOUT_TEXT, kAboutText);
        return TRUE;
    }
    return FALSE;
}

void BrowseTo(HWND page) {
    char address[kBrowseAddressChars + 1] = "";
    GetDlgItemTextA(page, IDC_LINKS_ADDRESS, address, sizeof address);
    if (IsBrowsableAddress(address))
        ShellExecuteA(page, "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK LinksPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG: {
        HWND list = GetDlgItem(page, IDC_LINKS_LIST);
        for (int i = 0; i < kAboutLinkCount; ++i) {
            const LRESULT item =
                SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_links[i].title));
            if (item >= 0) SendMessageA(list, LB_SETITEMDATA, item, i);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_LINKS_LIST) {
            HWND list = reinterpret_cast<HWND>(lParam);
            const LRESULT sel = SendMessageA(list, LB_GETCURSEL, 0, 0);
            if (sel != LB_ERR) {
                const LRESULT index = SendMessageA(list, LB_GETITEMDATA, sel, 0);
                if (index >= 0 && index < kAboutLinkCount)
                    SetDlgItemTextA(page, IDC_LINKS_ADDRESS, g_links[index].address);
            }
        } else if (LOWORD(wParam) == IDC_LINKS_BROWSE && HIWORD(wParam) == BN_CLICKED) {
            BrowseTo(page);
        }
        return TRUE;
    }
    return FALSE;
}

// A property sheet of pages owned by owner; PropertySheetA's result (the
// window of a modeless sheet, the button of a modal one).
INT_PTR RunSheet(HWND owner, const char* caption, DWORD flags, PROPSHEETPAGEA* pages, size_t count) {
    PROPSHEETHEADERA sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | flags;
    sheet.hwndParent = owner;
    sheet.hInstance = g_hInstance;
    sheet.pszCaption = caption;
    sheet.nPages = static_cast<UINT>(count);
    sheet.ppsp = pages;
    return PropertySheetA(&sheet);
}

}  // namespace

int ShowPreferences(HWND owner) {
    if (g_hPreferencesSheet) {
        if (IsIconic(g_hPreferencesSheet)) ShowWindow(g_hPreferencesSheet, SW_RESTORE);
        SetForegroundWindow(g_hPreferencesSheet);
        return 1;
    }
    g_backup = g_settings;
    PROPSHEETPAGEA pages[] = {
        MakePage(IDD_PREFS_GENERAL, PageProc, OpsParam(kGeneralOps)),
        MakePage(IDD_PREFS_DECODER, PageProc, OpsParam(kDecoderOps)),
        MakePage(IDD_PREFS_OUTPUT, PageProc, OpsParam(kOutputOps)),
        MakePage(IDD_PREFS_INTERNET, PageProc, OpsParam(kStreamingOps)),
        MakePage(IDD_PREFS_INTERFACE, PageProc, OpsParam(kInterfaceOps)),
        MakePage(IDD_PREFS_REPLAYGAIN, PageProc, OpsParam(kReplayGainOps)),
        MakePage(IDD_PREFS_SKINS, PageProc, OpsParam(kSkinsOps)),
    };
    const INT_PTR made = RunSheet(owner, kPreferencesCaption, PSH_MODELESS, pages, std::size(pages));
    g_hPreferencesSheet = made > 0 ? reinterpret_cast<HWND>(made) : nullptr;
    return g_hPreferencesSheet ? 1 : 0;
}

void ShowAbout(HWND owner) {
    char exeDir[MAX_PATH];
    GetExeDirectory(exeDir, sizeof exeDir);
    MakeAboutLinks(exeDir, g_links);
    PROPSHEETPAGEA pages[] = {
        MakePage(IDD_ABOUT, AboutPageProc, 0),
        MakePage(IDD_ABOUT_LINKS, LinksPageProc, 0),
    };
    RunSheet(owner, kAboutCaption, PSH_NOAPPLYNOW, pages, std::size(pages));
}
