#include "extract/run.h"

#include <cstdio>

#include "extract/command_line.h"
#include "extract/console.h"
#include "extract/loaded_disk.h"
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
    PrintOutput("%s", message);
  }
  return false;
}

// The message for an entry that is not written, or null.
const char* RefusalOf(EntryVerdict verdict) {
  return verdict == EntryVerdict::kOutsideDisk    ? kEntryOutsideDiskFormat
         : verdict == EntryVerdict::kUnusableName ? kEntryNameUnusableFormat
                                                  : nullptr;
}

const char* RefusalOf(SaveResult result) {
  switch (result) {
    case SaveResult::kWritten:
      return nullptr;
    case SaveResult::kIsD88File:  // replacing it would change what later images are read from
      return kEntryIsD88FileFormat;
    case SaveResult::kIsStandardOutput:
      return kEntryIsStdoutFormat;
    case SaveResult::kIsStandardError:
      return kEntryIsStderrFormat;
    case SaveResult::kNotWritten:
      break;
  }
  return kEntryWriteFailedFormat;
}

// Lists entry `index` of image `imageIndex` and, into `folder` unless it is
// null (a listing), writes its file; false when it was refused.
bool TakeEntry(const DiskEntry& disk, int32_t imageIndex, int index, const OutputFolder* folder,
               const ProtectedFiles& files) {
  const DirEntry& entry = disk.entry;
  PrintOutput(kListingFormat, OnOutput(entry.name, kDirNameBytes).c_str(),
              static_cast<unsigned>(entry.startUnit), static_cast<unsigned>(entry.endUnit),
              static_cast<unsigned>(entry.sizeBytes));
  const char* refusal = RefusalOf(disk.verdict);
  if (refusal == nullptr && folder != nullptr) {
    refusal = RefusalOf(folder->SaveBuffer(entry.name, BytesOf(entry), entry.sizeBytes, files));
  }
  if (refusal == nullptr) return true;
  PrintError(refusal, static_cast<int>(imageIndex), index, InMessage(entry.name).c_str());
  return false;
}

enum class ImageOutcome { kDone, kRefusals, kRunEnds };

// Image `index`: its folder (when extracting with per-image folders), its
// lines, its entries. kRunEnds when the run cannot go on.
ImageOutcome TakeImage(D88File& d88, int32_t index, const Options& options,
                       const OutputFolder& start, const ProtectedFiles& files) {
  // Fails only when the header cannot be read.
  if (!d88.SelectImage(index)) {
    PrintError("%s", kCannotReadD88);
    return ImageOutcome::kRunEnds;
  }
  const bool extracting = options.action == Action::kExtract;
  char folderName[16];
  std::snprintf(folderName, sizeof folderName, "%03d", static_cast<int>(index));
  OutputFolder imageFolder;
  if (options.perImageFolders) {
    // Writing this image anywhere else could overwrite the user's files.
    if (extracting && !imageFolder.OpenSubfolder(start, folderName)) {
      PrintError(kCannotEnterDirectoryFormat, folderName, static_cast<int>(index));
      return ImageOutcome::kRefusals;
    }
    PrintOutput(kImageHeaderFormat, OnOutput(d88.GetDiskName()).c_str(), folderName);
  }
  if (d88.GetMediaType() != kMediaType2HD) {
    PutMessage(StandardStream::kError, kUnsupportedMediaMessage);
    return ImageOutcome::kRunEnds;
  }
  PutMessage(StandardStream::kOutput, kMedia2HDMessage);
  const LoadedDisk* disk = LoadDisk(d88);
  if (disk == nullptr) {
    PrintError("%s", kCannotReadD88);
    return ImageOutcome::kRunEnds;
  }
  const OutputFolder* folder =
      !extracting ? nullptr : options.perImageFolders ? &imageFolder : &start;
  bool allWritten = true;
  for (int entry = 0; entry < disk->entryCount; ++entry) {
    allWritten = TakeEntry(disk->entries[entry], index, entry, folder, files) && allWritten;
    // Between files: the one written last is whole.
    if (const int signal = StopRequested()) StopNow(signal);
  }
  return allWritten ? ImageOutcome::kDone : ImageOutcome::kRefusals;
}

// The run over the images; 0 when nothing was refused.
int TakeImages(const Options& options, D88File& d88) {
  // Every folder and file is made relative to the start folder, held open:
  // the process never changes directory, so a folder renamed or replaced
  // during the run cannot draw the output elsewhere.
  OutputFolder start;
  if (options.outputFolder != nullptr && !start.OpenPath(options.outputFolder)) {
    PrintError(kCannotUseFolderFormat, ForMessageText(options.outputFolder).c_str());
    return 1;
  }
  if (!d88.Open(options.d88Path)) {
    PutMessage(StandardStream::kError, kOpenFailedMessage);
    return 1;
  }
  ProtectedFiles files;
  if (!StandardStreamsSpareTheD88File(d88.GetFileIdentity(), &files)) return 1;
  if (d88.ReadFailed()) {
    PrintError("%s", kCannotReadD88);
    return 1;
  }
  // A listing writes nothing, so it needs no folder.
  if (d88.GetImageCount() > 0 && options.action == Action::kExtract &&
      options.outputFolder == nullptr && !start.OpenCurrent()) {
    PrintError("%s", kCannotFindStartDirectory);
    return 1;
  }
  int status = 0;
  for (int32_t index = 0; index < d88.GetImageCount(); ++index) {
    if (const int signal = StopRequested()) StopNow(signal);
    const ImageOutcome outcome = TakeImage(d88, index, options, start, files);
    if (outcome == ImageOutcome::kRunEnds) return 1;
    if (outcome == ImageOutcome::kRefusals) status = 1;
  }
  return status;
}

// What the command line asks for; its messages are printed, but standard
// output is not yet known to have been written.
int Act(int argc, char** argv, D88File& d88) {
  const Options options = ParseCommandLine(argc, argv);
  switch (options.action) {
    case Action::kUsage:
      PrintError(kUsageFormat, argc > 0 && argv[0] != nullptr ? argv[0] : kDefaultProgramName);
      return 1;
    case Action::kHelp:
      PrintOutput("%s", kHelpText);
      return 0;
    case Action::kVersion:
      PrintOutput(kVersionFormat, D88EXTRACT_VERSION);
      return 0;
    case Action::kList:
    case Action::kExtract:
      break;
  }
  return TakeImages(options, d88);
}

}  // namespace

int RunExtractor(int argc, char** argv, D88File& d88) {
  if (!SetUpConsole()) {
    std::fputs(kCannotHoldStreams, stderr);
    return 1;
  }
  WatchStopRequests();
  int status = Act(argc, argv, d88);
  // Stopped: nothing more is written, standard output not even flushed.
  if (const int signal = StopRequested()) StopNow(signal);
  if (!FlushStandardOutput()) {
    std::fputs(kStdoutFailed, stderr);
    status = 1;
  }
  return status;
}
