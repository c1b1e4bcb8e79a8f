// The copy of one archive entry into its file, apart from the archive library and the file
// system: what counts as an intact copy is decided here, once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

enum class EntryCopyResult {
  Intact,       // every byte arrived, was written, and the entry's check passed
  ReadFailed,   // the archive reported an error (code: its result)
  WriteFailed,  // a write, or the final flush, failed (code: the error number)
  Short,        // the data ended before the size the directory gives (or ran past it)
  Damaged,      // read to its end, but the entry's check failed (code: the close result)
};

struct EntryCopy {
  EntryCopyResult result = EntryCopyResult::Intact;
  int code = 0;
  std::uint64_t copied = 0;
};

struct EntryCopyIo {
  // Up to size bytes into buffer: the count, 0 at the end of the entry, negative on error.
  std::function<int(unsigned char* buffer, unsigned size)> read;
  // Writes count bytes; false on failure, with the error number in *error.
  std::function<bool(const unsigned char* data, std::size_t count, int* error)> write;
  // Closes the output file; false when the last bytes could not be written.
  std::function<bool(int* error)> closeOutput;
  // Closes the entry: 0 when its check passed.
  std::function<int()> closeEntry;
};

// Copies until the entry ends or something fails; both closes always run, the output first.
EntryCopy CopyEntryData(const EntryCopyIo& io, std::uint64_t expectedSize, unsigned char* buffer, unsigned bufferSize);
