#include "launcher/install/entry_copy.h"

EntryCopy CopyEntryData(const EntryCopyIo& io, std::uint64_t expectedSize, unsigned char* buffer, unsigned bufferSize) {
  EntryCopy copy;
  int readResult = 0;
  int writeError = 0;
  bool writeFailed = false;
  for (;;) {
    readResult = io.read(buffer, bufferSize);
    if (readResult <= 0) break;
    if (!io.write(buffer, static_cast<std::size_t>(readResult), &writeError)) {
      writeFailed = true;
      break;
    }
    copy.copied += static_cast<std::uint64_t>(readResult);
  }
  int closeError = 0;
  if (!io.closeOutput(&closeError) && !writeFailed) {
    writeFailed = true;
    writeError = closeError;
  }
  // The entry's checksum is compared only when it was read to its end.
  const int closeResult = io.closeEntry();

  if (readResult < 0) {
    copy.result = EntryCopyResult::ReadFailed;
    copy.code = readResult;
  } else if (writeFailed) {
    copy.result = EntryCopyResult::WriteFailed;
    copy.code = writeError;
  } else if (copy.copied != expectedSize) {
    copy.result = EntryCopyResult::Short;
  } else if (closeResult != 0) {
    copy.result = EntryCopyResult::Damaged;
    copy.code = closeResult;
  }
  return copy;
}
