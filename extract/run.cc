#include "extract/run.h"

#include <cstdio>
#include <cstring>

#include "extract/console.h"
#include "extract/disk_extract.h"
#include "extract/messages.h"
#include "extract/platform.h"
#include "image/d88_file.h"

namespace {

// What a standard stream means for the D88 file.
enum class StreamVerdict { kSpared, kIsD88File, kCannotTell };

StreamVerdict JudgeStream(const StreamTarget& target, const FileIdentity& d88) {
  if (!target.isFile) return StreamVerdict::kSpared;
  if (!target.identity.known || !d88.known) return StreamVerdict::kCannotTell;
  return MayBeSameFile(target.identity, d88) ? StreamVerdict::kIsD88File : StreamVerdict::kSpared;
}

// Standard output or standard error open on the D88 file itself
// (`d88extract disk.d88 1<>disk.d88`) would write the listing or the
// messages into the file being read; a stream that is a file we cannot
// tell from it might. False, said on a stream that is spared (when one
// is), when either is; else the files no entry may replace.
bool StandardStreamsSpareTheD88File(const FileIdentity& d88, ProtectedFiles* files) {
  const StreamTarget output = IdentifyStandardStream(StandardStream::kOutput);
  const StreamTarget error = IdentifyStandardStream(StandardStream::kError);
  const StreamVerdict outputVerdict = JudgeStream(output, d88);
  const StreamVerdict errorVerdict = JudgeStream(error, d88);
  *files = ProtectedFiles{d88, output.identity, error.identity};
  if (outputVerdict == StreamVerdict::kSpared && errorVerdict == StreamVerdict::kSpared) {
    return true;
  }
  const char* message = outputVerdict == StreamVerdict::kIsD88File   ? kStdoutIsD88
                        : outputVerdict == StreamVerdict::kCannotTell ? kCannotTellStdout
                        : errorVerdict == StreamVerdict::kIsD88File   ? kStderrIsD88
                                                                      : kCannotTellStderr;
  if (errorVerdict == StreamVerdict::kSpared) {
    PrintError("%s", message);
  } else if (outputVerdict == StreamVerdict::kSpared) {
    std::fputs(message, stdout);
  }
  return false;
}

// The run proper; its messages are printed, but standard output is not yet
// known to have been written.
int RunImages(int argc, char** argv, D88File& d88) {
  const int argumentCount = argc - 1;
  if (argumentCount < 1 || argumentCount > 3) {
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName;
    PrintError(kUsageFormat, program);
    return 1;
  }
  // Alone, these three ask about the tool. A D88 file of such a name is
  // read as ./--help and the like.
  if (argumentCount == 1 &&
      (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (argumentCount == 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf(kVersionFormat, D88EXTRACT_VERSION);
    return 0;
  }
  // Only "PATH -d" writes into the current directory; a third argument keeps
  // per-image directories on.
  const bool perImageDirectories = !(argumentCount == 2 && std::strcmp(argv[2], "-d") == 0);

  if (!d88.Open(argv[1])) {
    PrintError("%s", kOpenFailedMessage);
    return 1;
  }
  ProtectedFiles protectedFiles;
  if (!StandardStreamsSpareTheD88File(d88.GetFileIdentity(), &protectedFiles)) return 1;
  if (d88.ReadFailed()) {
    PrintError("%s", kCannotReadD88);
    return 1;
  }
  if (d88.GetImageCount() == 0) return 0;

  // Every folder and file is made relative to the folder the run started
  // in, held open: the process never changes directory, so a folder renamed
  // or replaced during the run cannot draw the output elsewhere.
  OutputFolder start;
  if (!start.OpenCurrent()) {
    PrintError("%s", kCannotFindStartDirectory);
    return 1;
  }

  bool everythingWritten = true;
  for (int32_t index = 0; index < d88.GetImageCount(); ++index) {
    if (const int signal = StopRequested()) StopNow(signal);
    // Fails only when the header cannot be read.
    if (!d88.SelectImage(index)) {
      PrintError("%s", kCannotReadD88);
      return 1;
    }
    char directoryName[16];
    std::snprintf(directoryName, sizeof directoryName, "%03d", static_cast<int>(index));

    OutputFolder imageFolder;
    if (perImageDirectories) {
      if (!imageFolder.OpenSubfolder(start, directoryName)) {
        // Writing this image anywhere else could overwrite the user's files.
        PrintError(kCannotEnterDirectoryFormat, directoryName, static_cast<int>(index));
        everythingWritten = false;
        continue;
      }
      std::printf(kImageHeaderFormat, ForStandardOutput(d88.GetDiskName()).text, directoryName);
    }

    if (d88.GetMediaType() != kMediaType2HD) {
      PrintError("%s", kUnsupportedMediaMessage);
      return 1;
    }
    std::fputs(kMedia2HDMessage, stdout);
    if (!ExtractImage(d88, index, perImageDirectories ? imageFolder : start, protectedFiles)) {
      everythingWritten = false;
    }
    if (d88.ReadFailed()) {
      PrintError("%s", kCannotReadD88);
      return 1;
    }
  }
  return everythingWritten ? 0 : 1;
}

}  // namespace

int RunExtractor(int argc, char** argv, D88File& d88) {
  if (!SetUpConsole()) {
    std::fputs(kCannotHoldStreams, stderr);
    return 1;
  }
  WatchStopRequests();
  int status = RunImages(argc, argv, d88);
  // Stopped: nothing more is written, standard output not even flushed.
  if (const int signal = StopRequested()) StopNow(signal);
  if (!FlushStandardOutput()) {
    std::fputs(kStdoutFailed, stderr);
    status = 1;
  }
  return status;
}
