// The HTTP stream: a URL is fetched on a download thread of its own and its
// body handed to the decoder through an anonymous pipe, whose read end the
// decoder reads as it reads a file. With DownloadOption 1 the thread also
// writes every byte it receives into a file in InternetDLDir.
//
// Internet radio: the request asks for ICY metadata ("Icy-MetaData: 1").
// When the answer says "icy-metaint: N" the thread takes the metadata blocks
// out of the body (IcyDemux) before the pipe and the save file see it, so
// the decoder and the saved copy get the audio alone. The station's
// icy-name, then each new StreamTitle, becomes the stream's live title
// (stream_titles.h), and the thread posts kNoticeStreamTitle to the main
// window, which reads the title and shows it.
//
// An answer with an error status (not 2xx) fails the open with the status
// line's text ("404 Not Found"). A connection lost during the body, or any
// end of a station's body (a station does not end by itself), is reported
// once when the stream is closed after the thread ended by itself: the
// closer posts kNoticeStreamLost to the main window, which shows
// kConnectionLostText while the decoder goes on (a box on the decoder thread
// would hold the next entry, and the sound, until it is answered).
//
// One stream at a time. OpenUrlStream runs on the decoder thread; the
// closing sequence is split with the input source: CloseInput closes the
// read end, then calls CloseUrlStream for the rest.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/http.h"
#include "platform/platform.h"
#include "platform/thread.h"

// The request sent for every URL.
constexpr const char* kHttpUserAgent = "VorMP3 v0.90";
constexpr const char* kHttpAcceptHeader = "Accept: audio/x-mpeg, audio/x-mpegurl, */*\r\n";
constexpr const char* kIcyMetadataHeader = "Icy-MetaData: 1\r\n";
// Posted to the main window when the live title of the stream changed.
constexpr unsigned kNoticeStreamTitle = 0x8210;
// Posted to the main window when a stream was closed after its connection
// was lost.
constexpr unsigned kNoticeStreamLost = 0x8211;
// Posted to the main window, once per stream, when writing the save file
// failed (a full disk): the save stops there, the stream plays on.
constexpr unsigned kNoticeSaveFailed = 0x8212;
// Transfer piece, pipe size, stack of the download thread, and how long the
// closer waits for that thread before ending it.
constexpr uint32_t kDownloadPiece = 2048;
constexpr uint32_t kPipeSize = 65536;
constexpr unsigned kDownloadStackSize = 16 * 1024;
constexpr unsigned kDownloadQuitWaitMs = 2000;
constexpr size_t kSaveNameSize = 260;

// Texts and captions of the messages the user sees.
constexpr const char* kInternetErrorCaption = "VOR Internet Error Message...";
constexpr const char* kNoCallbackText = "Cannot Create Download Callback...";
constexpr const char* kNoBufferText = "Cannot Create Download Buffer...";
constexpr const char* kNoThreadText = "Cannot Create Download Thread...";
constexpr const char* kConnectionLostText = "The connection to the server was lost";
constexpr const char* kSaveErrorCaption = "ERROR!";
constexpr const char* kSaveErrorText = "URL Save file could NOT be created,\nData will NOT be saved...";
constexpr const char* kSaveWriteErrorText =
    "The URL Save file could not be written (is the disk full?),\nthe rest of the stream will NOT be saved...";

// Module state of the one stream. Everything is null when no stream is open.
struct UrlStream {
    plat::Http root;     // the Internet session
    plat::Http request;  // the URL's request
    plat::File readEnd;  // given to the decoder, which closes it
    // The download thread's write end and save file. The thread closes them
    // when it ends; the closer takes them (exchange) only when it had to end
    // the thread forcibly, so each is closed exactly once.
    std::atomic<plat::File> writeEnd;
    std::atomic<plat::File> saveFile;
    plat::Thread thread;
    uint32_t threadId;
    std::atomic<int> stop;  // written by the download thread only
    std::atomic<int> quit;  // set by the closer before it shuts the connection down
    // The part of the URL after its last "/", copied at the open so that the
    // caller's text need not outlive it.
    char saveName[kSaveNameSize];
    int saveNameTooLong;
    int lastCloseForced;  // the last close had to end the thread forcibly
    // The URL as opened (the key of its live title), the metadata interval
    // (0: none), the station's name, whether the answer is a station's, and
    // whether the body was lost (written by the download thread only).
    char url[kSaveNameSize];
    uint32_t metaint;
    char stationName[kSaveNameSize];
    int station;
    std::atomic<int> lost;
};
extern UrlStream g_urlStream;

// Opens the URL and starts the download thread. Returns the pipe's read end,
// or nullptr after a message box that tells why (nothing stays allocated).
plat::File OpenUrlStream(const char* url);
// The rest of the closing sequence once the read end is closed: posts the
// quit message to the download thread, waits up to 2000 ms for it, ends it
// forcibly on time-out, and closes the Internet handles. The connection is
// shut down first, so that a thread waiting for the server returns at once.
void CloseUrlStream();
// The download thread: copies the body into the pipe (and the save file)
// until the body ends or a quit message arrives. arg: the save name part.
unsigned DownloadThread(void* arg);

// The save file's path: dir, a separator unless dir already ends in one, and
// name. False when the name is empty or could leave dir ("." or "..", a
// separator or a drive colon in it), names a Windows device (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, with any extension), or the path does not fit
// in size.
bool BuildSavePath(const char* dir, const char* name, char* path, size_t size);
// As BuildSavePath, for a file that does not exist yet: name itself, else
// "stem (2).ext", "stem (3).ext", ... An earlier save is never overwritten.
bool PickFreeSavePath(const char* dir, const char* name, char* path, size_t size);
