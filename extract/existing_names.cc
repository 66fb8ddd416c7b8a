// What may be replaced at an entry's name: the same rule on every system.
#include "extract/platform.h"

SaveResult JudgeExistingName(const FileIdentity& existing, bool isDirectory,
                             const ProtectedFiles& files) {
  // Without both identities nothing tells the name from the D88 file.
  if (!existing.known || !files.d88.known) return SaveResult::kNotWritten;
  if (MayBeSameFile(existing, files.d88)) return SaveResult::kIsD88File;
  if (files.output.known && MayBeSameFile(existing, files.output)) {
    return SaveResult::kIsStandardOutput;
  }
  if (files.error.known && MayBeSameFile(existing, files.error)) {
    return SaveResult::kIsStandardError;
  }
  return isDirectory ? SaveResult::kNotWritten : SaveResult::kWritten;
}
