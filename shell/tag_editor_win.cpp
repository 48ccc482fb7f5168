// The tag editor: a modeless dialog over the ID3v1 tag of one file. It reads
// the tag when it opens, and writes or wipes it on the buttons; the file is
// open only for the length of each of these steps, so a playing decoder and
// the editor never hold it against each other for long.
#include "shell/tag_editor_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "resources/resource.h"
#include "resources/tag_editor_ids.h"
#include "tag/title_tags.h"

namespace {

constexpr int kPathSize = 260;
constexpr int kYearFirst = 1900;
constexpr int kYearLast = 3000;
constexpr int kUntaggedYear = 1998;
const char kUntaggedText[] = "Edit Me!";

struct TagEditorState {
    HWND hwnd;             // null while the editor is closed
    char path[kPathSize];  // the file being edited
    Id3v1Tag tag;          // reused by every opening (its genre carries over)
};
TagEditorState g_editor;

// The four text fields of the record (30 characters each) by control id.
constexpr int kTextWidth = 30;
constexpr int kTextFields[] = {IDC_TAG_ARTIST, IDC_TAG_TITLE, IDC_TAG_ALBUM, IDC_TAG_COMMENT};

char* FieldText(Id3v1Tag* tag, int id) {
    switch (id) {
    case IDC_TAG_ARTIST: return tag->artist;
    case IDC_TAG_TITLE: return tag->title;
    case IDC_TAG_ALBUM: return tag->album;
    default: return tag->comment;
    }
}

void ShowOpenForWritingError() {
    char text[kPathSize + 64];
    std::snprintf(text, sizeof text, "Error Opening: `%s` for writing", g_editor.path);
    plat::ShowMessageBox(nullptr, text, "Error...", plat::MbOk);
}

// Reads the file's tag into the record; valid stays 0 when there is none or
// the file cannot be opened (which is reported). A file with ID3v2 tags but
// no ID3v1 tag starts the record from the ID3v2 texts.
void ReadTag() {
    g_editor.tag.valid = 0;
    plat::File file = plat::FileOpenRead(g_editor.path);
    if (!file) {
        char text[kPathSize + 32];
        std::snprintf(text, sizeof text, "Error Opening: %s", g_editor.path);
        plat::ShowMessageBox(nullptr, text, "Error...", plat::MbOk);
        return;
    }
    TitleTags titles;
    Id3v2Tag v2;
    ReadTitleTags(file, &titles, &g_editor.tag, &v2);
    plat::FileClose(file);
    if (!g_editor.tag.valid && v2.valid) Id3v1FromTexts(v2, &g_editor.tag);
}

void FillFields(HWND dlg) {
    SetDlgItemTextA(dlg, IDC_TAG_FILE_NAME, g_editor.path);
    for (int id : kTextFields) SendDlgItemMessageA(dlg, id, EM_LIMITTEXT, kTextWidth, 0);
    SendDlgItemMessageA(dlg, IDC_TAG_YEAR, EM_LIMITTEXT, 4, 0);
    SendDlgItemMessageA(dlg, IDC_TAG_YEAR_SPIN, UDM_SETBUDDY,
                        reinterpret_cast<WPARAM>(GetDlgItem(dlg, IDC_TAG_YEAR)), 0);
    SendDlgItemMessageA(dlg, IDC_TAG_YEAR_SPIN, UDM_SETRANGE32, kYearFirst, kYearLast);

    const Id3v1Tag& tag = g_editor.tag;
    if (tag.valid) {
        for (int id : kTextFields) SetDlgItemTextA(dlg, id, FieldText(&g_editor.tag, id));
        // An empty or non-numeric year stays empty rather than becoming "0",
        // which a Save would then write into the tag.
        if (tag.year[0] >= '0' && tag.year[0] <= '9')
            SetDlgItemInt(dlg, IDC_TAG_YEAR, static_cast<UINT>(std::atoi(tag.year)), FALSE);
        else
            SetDlgItemTextA(dlg, IDC_TAG_YEAR, "");
    } else {
        for (int id : kTextFields) SetDlgItemTextA(dlg, id, kUntaggedText);
        SetDlgItemInt(dlg, IDC_TAG_YEAR, kUntaggedYear, FALSE);
    }

    HWND genres = GetDlgItem(dlg, IDC_TAG_GENRE);
    for (const char* name : kGenreTable)
        SendMessageA(genres, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    const int genre = tag.genre >= 0 && tag.genre < kGenreCount ? tag.genre : kGenreUnknown;
    SendMessageA(genres, CB_SETCURSEL, static_cast<WPARAM>(genre), 0);
}

// The dialog's fields into tag: 30 characters of each text, 4 of the year,
// and the genre chosen in the list. Returns true when some character has no
// place in an ID3v1 tag (it is stored as '?').
bool TakeFields(HWND dlg, Id3v1Tag* tag) {
    bool lost = false;
    // The fields are limited to their width in characters; as UTF-8 a
    // character may take up to four bytes.
    char text[4 * kTextWidth + 1];
    for (int id : kTextFields) {
        GetDlgItemTextA(dlg, id, text, sizeof text);
        lost = Id3v1StoreText(FieldText(tag, id), kId3v1TextSize, text, kTextWidth) || lost;
    }
    GetDlgItemTextA(dlg, IDC_TAG_YEAR, text, sizeof text);
    lost = Id3v1StoreText(tag->year, sizeof tag->year, text, 4) || lost;
    const LRESULT genre = SendDlgItemMessageA(dlg, IDC_TAG_GENRE, CB_GETCURSEL, 0, 0);
    if (genre >= 0 && genre < kGenreCount) {
        tag->genre = static_cast<int32_t>(genre);
        std::snprintf(tag->genreName, sizeof tag->genreName, "%s", kGenreTable[genre]);
    }
    return lost;
}

const char kLostCharacters[] =
    "Some characters cannot be stored in an ID3v1 tag and will be saved as '?'.";

void Save(HWND dlg) {
    Id3v1Tag tag = g_editor.tag;
    if (TakeFields(dlg, &tag) &&
        plat::ShowMessageBox(dlg, kLostCharacters, "Save Tag", plat::MbOkCancel | plat::MbIconWarning) !=
            plat::IdOk)
        return;
    g_editor.tag = tag;
    plat::File file = plat::FileOpenReadWrite(g_editor.path);
    if (!file) {
        ShowOpenForWritingError();
        return;
    }
    WriteId3v1Tag(file, &g_editor.tag);
    plat::FileClose(file);
}

void Wipe() {
    plat::File file = plat::FileOpenReadWrite(g_editor.path);
    if (!file) {
        ShowOpenForWritingError();
        return;
    }
    WipeId3v1Tag(file);
    plat::FileClose(file);
}

void CloseEditor() {
    HWND hwnd = g_editor.hwnd;
    g_editor.hwnd = nullptr;
    if (hwnd) DestroyWindow(hwnd);
}

INT_PTR CALLBACK TagEditorProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
    switch (msg) {
    case WM_INITDIALOG:
        g_editor.hwnd = dlg;
        FillFields(dlg);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TAG_SAVE: Save(dlg); return TRUE;
        case IDC_TAG_WIPE: Wipe(); return TRUE;
        case IDCANCEL: CloseEditor(); return TRUE;
        }
        break;
    case WM_DESTROY:
        // Also reached when the owner goes first and takes the editor along.
        if (g_editor.hwnd == dlg) g_editor.hwnd = nullptr;
        break;
    }
    return FALSE;
}

}  // namespace

int ShowTagEditor(const char* path) {
    if (g_editor.hwnd) {
        CloseEditor();
        return 1;
    }
    if (!path) return 0;
    std::snprintf(g_editor.path, sizeof g_editor.path, "%s", path);
    // Read before the dialog exists, so that an error box does not sit
    // behind a half-built editor.
    ReadTag();
    HWND dlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TAG_EDITOR),
                                  static_cast<HWND>(plat::MainWindow()), TagEditorProc, 0);
    if (!dlg) return 0;
    ShowWindow(dlg, SW_SHOW);
    return 1;
}

HWND TagEditorWindow() { return g_editor.hwnd; }
