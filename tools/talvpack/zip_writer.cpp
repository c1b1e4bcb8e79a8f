#include "tools/talvpack/zip_writer.h"

#include <zlib.h>

#include <cstring>
#include <ctime>
#include <filesystem>

#include "launcher/core/limits.h"
#include "launcher/storage/zip_archive.h"
#include "tools/talvpack/host_names.h"

namespace {

constexpr std::size_t kBuffer = 1 << 16;
constexpr std::uint64_t kLimit32 = 0xFFFFFFFFull;

void Put16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
void Put32(unsigned char* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

int Seek64(std::FILE* f, std::uint64_t position) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<long long>(position), SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(position), SEEK_SET);
#endif
}

}  // namespace

bool DosTimeOfFile(const std::filesystem::path& path, std::uint16_t* dosDate, std::uint16_t* dosTime) {
  std::time_t when = 0;
  if (!talvpack::ModificationTime(path, &when)) return false;
  const std::tm* t = std::localtime(&when);
  if (t == nullptr || t->tm_year < 80) {
    *dosDate = (0 << 9) | (1 << 5) | 1;  // 1980-01-01, the first day DOS can say
    *dosTime = 0;
    return true;
  }
  *dosDate = static_cast<std::uint16_t>(((t->tm_year - 80) << 9) | ((t->tm_mon + 1) << 5) | t->tm_mday);
  *dosTime = static_cast<std::uint16_t>((t->tm_hour << 11) | (t->tm_min << 5) | (t->tm_sec / 2));
  return true;
}

ZipWriter::~ZipWriter() {
  if (out_ != nullptr) std::fclose(out_);
}

bool ZipWriter::Open(const std::filesystem::path& path, std::string* error) {
  out_ = talvpack::OpenHostFile(path, "wb");
  if (out_ == nullptr) {
    *error = "cannot create \"" + talvpack::Shown(path) + "\"";
    return false;
  }
  path_ = path;
  end_ = 0;
  entries_.clear();
  return true;
}

bool ZipWriter::WriteBytes(const void* data, std::size_t size) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, out_) != size) return false;
  end_ += size;
  return true;
}

bool ZipWriter::SeekTo(std::uint64_t position) {
  end_ = position;
  return Seek64(out_, position) == 0;
}

// The run of fields the local header and the directory entry share, from "version needed"
// to the extra field's length.
void ZipWriter::PutSharedFields(unsigned char* p, const Entry& e) {
  Put16(p, 20);
  Put16(p + 2, 0);
  Put16(p + 4, e.method);
  Put16(p + 6, e.dosTime);
  Put16(p + 8, e.dosDate);
  Put32(p + 10, e.crc);
  Put32(p + 14, e.compressedSize);
  Put32(p + 18, e.uncompressedSize);
  Put16(p + 22, static_cast<std::uint32_t>(e.name.size()));
  Put16(p + 24, 0);
}

bool ZipWriter::WriteLocalHeader(const Entry& e) {
  unsigned char h[30] = {'P', 'K', 3, 4};
  PutSharedFields(h + 4, e);
  return WriteBytes(h, sizeof(h)) && WriteBytes(e.name.data(), e.name.size());
}

bool ZipWriter::AddDirectory(const std::string& name, std::uint16_t dosDate, std::uint16_t dosTime,
                             std::string* error) {
  Entry e{name, 0, dosTime, dosDate, 0, 0, 0, static_cast<std::uint32_t>(end_), true};
  if (name.size() > 0xFFFF || end_ > kLimit32 || !WriteLocalHeader(e)) {
    *error = "cannot write \"" + name + "\"";
    return false;
  }
  entries_.push_back(e);
  return true;
}

// Streams the file into the archive: deflated first when a level is given; when that does
// not pay, the data is written again stored over the same place.
bool ZipWriter::CopyData(std::FILE* in, Entry& e, int level, std::string* error) {
  std::vector<unsigned char> input(kBuffer), output(kBuffer);
  const std::uint64_t dataStart = end_;
  std::uint64_t total = 0;
  std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  if (level > 0) {
    z_stream z;
    std::memset(&z, 0, sizeof(z));
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      *error = "deflate cannot start";
      return false;
    }
    bool ok = true;
    int flush = Z_NO_FLUSH;
    while (ok && flush != Z_FINISH) {
      const std::size_t got = std::fread(input.data(), 1, input.size(), in);
      if (got < input.size()) {
        if (std::ferror(in)) ok = false;
        flush = Z_FINISH;
      }
      total += got;
      crc = static_cast<std::uint32_t>(crc32(crc, input.data(), static_cast<uInt>(got)));
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
      do {
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        if (deflate(&z, flush) == Z_STREAM_ERROR) ok = false;
        ok = ok && WriteBytes(output.data(), output.size() - z.avail_out);
      } while (ok && z.avail_out == 0);
    }
    const std::uint64_t compressed = z.total_out;
    deflateEnd(&z);
    if (!ok) {
      *error = "cannot read or write the data of \"" + e.name + "\"";
      return false;
    }
    if (total > kLimit32) {
      *error = "\"" + e.name + "\" is 4 GiB or more";
      return false;
    }
    if (compressed < total) {
      e.method = 8;
      e.crc = crc;
      e.compressedSize = static_cast<std::uint32_t>(compressed);
      e.uncompressedSize = static_cast<std::uint32_t>(total);
      return true;
    }
    if (!SeekTo(dataStart) || Seek64(in, 0) != 0) {
      *error = "cannot rewind for \"" + e.name + "\"";
      return false;
    }
    total = 0;
    crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  }
  for (;;) {
    const std::size_t got = std::fread(input.data(), 1, input.size(), in);
    if (got == 0) break;
    total += got;
    crc = static_cast<std::uint32_t>(crc32(crc, input.data(), static_cast<uInt>(got)));
    if (!WriteBytes(input.data(), got)) break;
  }
  if (std::ferror(in) || std::ferror(out_)) {
    *error = "cannot read or write the data of \"" + e.name + "\"";
    return false;
  }
  if (total > kLimit32) {
    *error = "\"" + e.name + "\" is 4 GiB or more";
    return false;
  }
  e.method = 0;
  e.crc = crc;
  e.compressedSize = e.uncompressedSize = static_cast<std::uint32_t>(total);
  return true;
}

bool ZipWriter::AddBytes(const std::string& name, const std::string& data, std::uint16_t dosDate,
                         std::uint16_t dosTime, std::string* error) {
  Entry e{name, 0, dosTime, dosDate, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                                                                       static_cast<uInt>(data.size()))),
          static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(data.size()),
          static_cast<std::uint32_t>(end_), false};
  if (name.size() > 0xFFFF || end_ > kLimit32 || data.size() > 0xFFFF || !WriteLocalHeader(e) ||
      !WriteBytes(data.data(), data.size())) {
    *error = "cannot write \"" + name + "\"";
    return false;
  }
  entries_.push_back(e);
  return true;
}

bool ZipWriter::AddFile(const std::string& name, const std::filesystem::path& sourcePath, int level,
                        std::string* error) {
  std::uint16_t dosDate = 0, dosTime = 0;
  std::FILE* in = talvpack::OpenHostFile(sourcePath, "rb");
  if (in == nullptr || !DosTimeOfFile(sourcePath, &dosDate, &dosTime)) {
    if (in != nullptr) std::fclose(in);
    *error = "cannot read \"" + talvpack::Shown(sourcePath) + "\"";
    return false;
  }
  Entry e{name, 0, dosTime, dosDate, 0, 0, 0, static_cast<std::uint32_t>(end_), false};
  bool ok = name.size() <= 0xFFFF && end_ <= kLimit32;
  if (!ok) *error = "the archive would be 4 GiB or more";
  const std::uint64_t headerAt = end_;
  ok = ok && WriteLocalHeader(e);
  ok = ok && CopyData(in, e, level, error);
  std::fclose(in);
  if (!ok) return false;
  // The header goes again, now with the sizes and the checksum.
  const std::uint64_t dataEnd = end_;
  if (!SeekTo(headerAt) || !WriteLocalHeader(e) || !SeekTo(dataEnd)) {
    *error = "cannot write \"" + talvpack::Shown(path_) + "\"";
    return false;
  }
  entries_.push_back(e);
  return true;
}

bool ZipWriter::Close(std::string* error) {
  const std::uint64_t directoryAt = end_;
  bool ok = out_ != nullptr && entries_.size() <= 0xFFFF;
  for (const Entry& e : entries_) {
    if (!ok) break;
    unsigned char c[46] = {'P', 'K', 1, 2};
    Put16(c + 4, 20);  // made by: MS-DOS, version 2.0
    PutSharedFields(c + 6, e);
    Put32(c + 38, e.directory ? 0x10 : 0x20);  // MS-DOS attributes: folder / archive
    Put32(c + 42, e.localOffset);
    ok = WriteBytes(c, sizeof(c)) && WriteBytes(e.name.data(), e.name.size());
  }
  const std::uint64_t directorySize = end_ - directoryAt;
  ok = ok && end_ <= kLimit32;
  if (ok) {
    unsigned char r[22] = {'P', 'K', 5, 6};
    Put16(r + 8, static_cast<std::uint32_t>(entries_.size()));
    Put16(r + 10, static_cast<std::uint32_t>(entries_.size()));
    Put32(r + 12, static_cast<std::uint32_t>(directorySize));
    Put32(r + 16, static_cast<std::uint32_t>(directoryAt));
    ok = WriteBytes(r, sizeof(r));
  }
  if (out_ != nullptr && std::fclose(out_) != 0) ok = false;
  out_ = nullptr;
  // A file stored after a deflate attempt may have left bytes behind the real end.
  std::error_code ec;
  if (ok) std::filesystem::resize_file(path_, end_, ec);
  if (!ok || ec) {
    *error = "cannot write \"" + talvpack::Shown(path_) + "\" (more than 65,535 entries or 4 GiB?)";
    return false;
  }
  return true;
}

namespace {

bool WriteAndCheck(const std::filesystem::path& path, const std::vector<ZipItem>& items, int level,
                   std::string* error, talvpack::Progress* progress) {
  ZipWriter zip;
  if (!zip.Open(path, error)) return false;
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  const std::uint16_t today =
      local == nullptr ? 0x21 : static_cast<std::uint16_t>(((local->tm_year - 80) << 9) | ((local->tm_mon + 1) << 5) | local->tm_mday);
  for (const ZipItem& item : items) {
    bool ok;
    if (item.folder) {
      std::uint16_t date = 0, time = 0;
      ok = DosTimeOfFile(item.source, &date, &time) && zip.AddDirectory(item.name, date, time, error);
    } else if (item.source.empty()) {
      ok = zip.AddBytes(item.name, item.bytes, today, 0, error);
    } else {
      ok = zip.AddFile(item.name, item.source, level, error);
    }
    if (!ok) {
      if (error->empty()) *error = "cannot add \"" + talvpack::Shown(item.source) + "\"";
      return false;
    }
    if (progress != nullptr) {
      std::error_code ec;
      progress->Add(1, item.folder || item.source.empty() ? item.bytes.size() : std::filesystem::file_size(item.source, ec));
    }
  }
  if (!zip.Close(error)) return false;
  ZipArchive check;
  bool same = OpenZipFile(talvpack::Shown(path).c_str(), check) && GetZipEntryCount(check) == items.size();
  for (std::size_t i = 0; same && i < items.size(); ++i) {
    char name[kMaxPath];
    same = GetZipEntryName(check, name, static_cast<std::uint32_t>(i)) && items[i].name == name;
  }
  CloseZip(check);
  if (!same) *error = "the archive does not read back as written";
  return same;
}

}  // namespace

bool WriteZipArchive(const std::filesystem::path& path, const std::vector<ZipItem>& items, int level,
                     std::string* error, talvpack::Progress* progress) {
  if (WriteAndCheck(path, items, level, error, progress)) return true;
  std::error_code ec;
  std::filesystem::remove(path, ec);  // no half archive for anyone to ship
  return false;
}
