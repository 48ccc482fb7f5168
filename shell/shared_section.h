// The named shared section "VORLOCurrentFile": the path of the track that is
// playing, for other programs to read (a status bar, a chat script).
//
// Layout: kCurrentFileSectionSize bytes; the path from byte 0, at most 259
// characters, NUL-terminated, the rest zero. All zero while nothing has
// played. The main window creates the section when it is created, writes it
// at each track start and closes it when it is destroyed. A reader may catch
// a write half done; it always finds a terminator within the section.
//
// On Win32 this is a page-file-backed file mapping readable by every process
// of the session; on POSIX, where no other program looks for it, it is a
// buffer of this process (so the logic is testable natively).
#pragma once

#include <cstddef>

constexpr char kCurrentFileSectionName[] = "VORLOCurrentFile";
constexpr size_t kCurrentFileSectionSize = 261;
constexpr size_t kCurrentFilePathMax = 259;  // characters before the terminator

// Creates (or, when another instance made it, opens) the section and maps
// it. Returns false when it cannot; PublishCurrentFile then does nothing.
// A second call while it is open returns true and changes nothing.
bool OpenCurrentFileSection();
// Writes path (cut at 259 characters; null clears) and zeroes the rest.
void PublishCurrentFile(const char* path);
// Unmaps and closes the section; safe when it is not open.
void CloseCurrentFileSection();
// Reads the section by its name, as another program would, into buf
// (size > 0, always terminated). False when no section of that name exists.
bool ReadCurrentFileSection(char* buf, size_t size);
