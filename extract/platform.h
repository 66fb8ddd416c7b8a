// The tool's platform seam: the command line, the standard streams, and the
// folders and files it writes. One source file per system implements it
// (platform_posix.cc, platform_win32.cc); nothing else in the tool asks
// which system it runs on.
//
// Files and folders are reached only through folders the tool holds open,
// never through the current directory or a path looked up again later: a
// folder renamed, or a name swapped for a link, during the run cannot send
// the output anywhere else.
#pragma once

#include <cstdint>

#include "extract/display_text.h"
#include "image/native_handle.h"

struct Arguments {
  int count;
  char** values;  // values[0] to values[count - 1]; null-terminated
};

// The arguments of this process, from main()'s `argc` and `argv`, as bytes
// that D88File::Open takes: as given on POSIX; on Windows read in UTF-16 and
// handed on in UTF-8, since the ANSI code page cannot spell every name and
// maps some characters to look-alikes, with the program name kept as main()
// got it for the usage message. The strings live until the process ends.
Arguments TakeArguments(int argc, char** argv);

// Sets up the standard streams once, before anything is printed or opened:
// - output is binary, so "\n" stays one byte;
// - a closed pipe or a file-size limit makes writes fail instead of ending
//   the process by a signal;
// - a standard stream that is closed is held by something that fails every
//   write and is no file, so that no file the run opens (the D88 file)
//   takes its place and receives the listing.
// False when a closed stream could not be held: the run must not go on.
bool PrepareStandardStreams();

// SIGINT, SIGTERM and SIGHUP (on Windows Ctrl+C, Ctrl+Break and the console
// closing) only note that the run must stop, from the moment this is
// called; the run asks between files (StopRequested) and then ends as the
// signal would have ended it (StopNow), so no file is left half written. A
// write to standard output waiting on its reader gives up at once.
void WatchStopRequests();
// The signal that asked the run to stop, or 0.
int StopRequested();
// Ends the process by `signal`, with nothing flushed.
[[noreturn]] void StopNow(int signal);

// The name of the temporary file of process `process`, attempt `attempt`,
// into `name` (kTemporaryNameBytes): longer than any entry's name, so that
// none can be one, and saying whose it is.
constexpr int kTemporaryNameBytes = 48;
constexpr int kTemporaryAttempts = 100;
void FormatTemporaryName(char* name, long process, int attempt);

enum class StandardStream { kOutput, kError };

// How a standard stream shows text: a terminal that acts on control bytes
// (on Windows a console, or a mintty pseudo-terminal), and whether it shows
// UTF-8 (a console always: it is written in UTF-16) and code page 932 can be
// decoded here. The character set is the locale's; where the locale named
// cannot be had, the first of LC_ALL, LC_CTYPE and LANG that is set decides.
// Pipes and files are no terminal.
DisplayMode StandardStreamDisplay(StandardStream stream);

// Decodes one character of code page 932 (see DecodeCharacter): with the
// system's iconv, or MultiByteToWideChar on Windows.
bool DecodeCp932(const char* bytes, int length, char32_t* character);

// Writes `length` bytes of `text` to the stream: through the C library's
// stream, or, at a Windows console, as UTF-16 (text written there is
// UTF-8). False when they were lost.
bool WriteStandardStream(StandardStream stream, const char* text, size_t length);

// What a standard stream writes to: whether it is a file on disk (or may be
// one: where the system cannot tell, it counts as a file), and that file's
// identity, unknown where the system cannot give it. A terminal, a pipe, a
// device and a closed stream are no file.
struct StreamTarget {
  bool isFile = false;
  FileIdentity identity;
};
StreamTarget IdentifyStandardStream(StandardStream stream);

// The files no entry may replace: the D88 file, and the files standard
// output and standard error write to. An unknown D88 identity protects
// every name that exists; an unknown stream identity is no file.
struct ProtectedFiles {
  FileIdentity d88;
  FileIdentity output;
  FileIdentity error;
};

// The rules of this system's file names, for a name of a disk directory that
// is not empty, "." or "..": false when it holds a path separator, and on
// Windows when it is not valid Shift_JIS (code page 932) or breaks
// IsUsableWindowsName. Elsewhere a name's bytes are the file name as they
// stand; on Windows they are decoded from Shift_JIS.
bool IsUsableNameHere(const char* name);

// Windows' own rules for a decoded name: false when it is empty, holds a
// character Windows refuses (: \ / * ? " < > | and control characters),
// ends in a dot or a space (Windows would drop them: another name), or is
// reserved for a device (CON, PRN, AUX, NUL, COM0 to COM9 and LPT0 to LPT9
// also with a superscript 1, 2 or 3, CONIN$, CONOUT$; in any case, with or
// without an extension). Plain data and code on every system, so that the
// rules are tested everywhere; only the Windows build applies them.
bool IsUsableWindowsName(const wchar_t* name);

enum class SaveResult {
  kWritten,
  kIsD88File,          // the name is the D88 file itself (or a hard link to it): left alone
  kIsStandardOutput,   // the name is the file standard output writes to: left alone
  kIsStandardError,    // the same for standard error
  kNotWritten          // a directory in the way, no room, no permission, written short,
                       // or what stands at the name cannot be looked at
};

// The verdict on what stands at an entry's name, `existing` (a directory
// or not), for SaveBuffer: kWritten when it may be replaced; kNotWritten
// when either identity is unknown or it is a directory; else the protected
// file it is.
SaveResult JudgeExistingName(const FileIdentity& existing, bool isDirectory,
                             const ProtectedFiles& files);

// A folder the run writes into, held open from the moment it is found.
class OutputFolder {
 public:
  OutputFolder() = default;
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;
  ~OutputFolder() { Close(); }

  // Holds the current directory. False when it cannot be opened, cannot be
  // looked at or has been removed (it can take no names).
  bool OpenCurrent();

  // Holds the folder at `path` (its bytes as given; UTF-8 on Windows),
  // following links, as the user named it. False as for OpenCurrent, and
  // when it is no folder.
  bool OpenPath(const char* path);

  // Makes the folder `name` inside `parent`, or reuses one that exists, and
  // holds it. False when it cannot be made, opened or looked at, when
  // something other than a folder stands there (a link to a folder
  // included: it could lead anywhere), when we may not add files to it, and
  // when another user may have planted it: in a folder that others may
  // write and whose sticky bit keeps them from removing what is not theirs
  // (/tmp), an existing folder owned by neither us nor the parent's owner.
  bool OpenSubfolder(const OutputFolder& parent, const char* name);

  void Close();

  // Writes `length` bytes of `data` as the file `name` in this folder with
  // one write. A fresh name gets a file created exclusively, without
  // following links. Whatever else stands at the name (an old file, a link,
  // a FIFO, a device node) is replaced by a temporary file in this folder,
  // written whole and then renamed over the name, so the old one stays whole
  // until the new one is; a link is replaced, never followed. A directory
  // and the `files` protected (compared by what stands at the name) are left
  // alone, and so is anything where what stands at the name cannot be looked
  // at or the D88 file's identity is unknown. A file that cannot be written
  // whole or closed cleanly is removed again: not written means not there.
  SaveResult SaveBuffer(const char* name, const uint8_t* data, int32_t length,
                        const ProtectedFiles& files) const;

 private:
  void Hold(NativeHandle folder, uint64_t owner, bool mayBePlantedIn) {
    handle = folder;
    ownerId = owner;
    othersMayPlant = mayBePlantedIn;
  }

  NativeHandle handle = kNoHandle;
  // The held folder's owner, and whether others may plant folders in it.
  uint64_t ownerId = 0;
  bool othersMayPlant = false;
};
