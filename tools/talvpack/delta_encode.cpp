#include "tools/talvpack/delta_encode.h"

#include <divsufsort.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint64_t MatchLength(const unsigned char* a, std::uint64_t an, const unsigned char* b, std::uint64_t bn) {
  const std::uint64_t n = std::min(an, bn);
  std::uint64_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// The longest match of target in old among the suffixes sa[lo..hi]; its start in *pos.
std::uint64_t Search(const saidx_t* sa, const unsigned char* old, std::uint64_t oldSize, const unsigned char* target,
                     std::uint64_t targetSize, std::int64_t lo, std::int64_t hi, std::uint64_t* pos) {
  while (hi - lo >= 2) {
    const std::int64_t mid = lo + (hi - lo) / 2;
    const std::uint64_t at = static_cast<std::uint64_t>(sa[mid]);
    const std::uint64_t n = std::min(oldSize - at, targetSize);
    if (std::memcmp(old + at, target, n) < 0)
      lo = mid;
    else
      hi = mid;
  }
  const std::uint64_t a = static_cast<std::uint64_t>(sa[lo]);
  const std::uint64_t b = static_cast<std::uint64_t>(sa[hi]);
  const std::uint64_t x = MatchLength(old + a, oldSize - a, target, targetSize);
  const std::uint64_t y = MatchLength(old + b, oldSize - b, target, targetSize);
  if (x > y) {
    *pos = a;
    return x;
  }
  *pos = b;
  return y;
}

// Collects the records of one result chunk: their control numbers, and where their add and
// insert bytes lie in the chunk's buffers, from which the streams are compressed afterwards
// without a copy of their raw bytes. The seek of a record is known once the next record's
// source position is.
class RecordWriter {
 public:
  struct Run {
    const unsigned char* old;
    const unsigned char* result;
    std::uint64_t addLen;
    const unsigned char* inserted;
    std::uint64_t insertLen;
  };

  void Add(std::uint64_t oldStart, const unsigned char* old, const unsigned char* result, std::uint64_t addLen,
           const unsigned char* inserted, std::uint64_t insertLen) {
    // Runs longer than one record may carry are split; the pieces continue in place.
    while (addLen > kDeltaMaxRun) {
      Emit(oldStart, {old, result, kDeltaMaxRun, nullptr, 0});
      oldStart += kDeltaMaxRun;
      old += kDeltaMaxRun;
      result += kDeltaMaxRun;
      addLen -= kDeltaMaxRun;
    }
    while (insertLen > kDeltaMaxRun) {
      Emit(oldStart, {old, result, addLen, inserted, kDeltaMaxRun});
      oldStart += addLen;
      old += addLen;
      result += addLen;
      addLen = 0;
      inserted += kDeltaMaxRun;
      insertLen -= kDeltaMaxRun;
    }
    Emit(oldStart, {old, result, addLen, inserted, insertLen});
  }

  // Writes the last pending record with a step to nextOldStart.
  void Flush(std::uint64_t nextOldStart) {
    if (!m_pending) return;
    PutNumber(m_addLen);
    PutNumber(m_insertLen);
    PutNumber(ZigZag(static_cast<std::int64_t>(nextOldStart - (m_oldStart + m_addLen))));
    m_pending = false;
  }

  void Clear() {
    Bytes().swap(control);
    std::vector<Run>().swap(runs);
  }

  Bytes control;
  std::vector<Run> runs;

 private:
  void Emit(std::uint64_t oldStart, const Run& run) {
    Flush(oldStart);
    runs.push_back(run);
    m_pending = true;
    m_oldStart = oldStart;
    m_addLen = run.addLen;
    m_insertLen = run.insertLen;
  }
  void PutNumber(std::uint64_t v) {
    unsigned char buf[kVarintMax];
    const std::size_t n = PutVarint(v, buf);
    control.insert(control.end(), buf, buf + n);
  }

  bool m_pending = false;
  std::uint64_t m_oldStart = 0, m_addLen = 0, m_insertLen = 0;
};

// bsdiff's scan of one result chunk against one source window (base = the window's offset in
// the source): exact matches found through the suffix array are extended forwards and
// backwards while at least half the bytes agree, which makes the add stream mostly zeros.
void ScanChunk(const saidx_t* sa, const unsigned char* old, std::uint64_t oldSize, std::uint64_t base,
               const unsigned char* target, std::uint64_t size, RecordWriter* out, const DeltaEncodeOptions& options,
               std::uint64_t progressBase) {
  std::uint64_t scan = 0, len = 0, pos = 0, lastScan = 0, lastPos = 0;
  std::int64_t lastOffset = 0;
  std::uint64_t nextReport = 1 << 20;
  while (scan < size) {
    std::uint64_t oldScore = 0;
    for (std::uint64_t scsc = scan += len; scan < size; ++scan) {
      if (oldSize > 0)
        len = Search(sa, old, oldSize, target + scan, size - scan, 0, static_cast<std::int64_t>(oldSize) - 1, &pos);
      else
        len = 0;
      for (; scsc < scan + len; ++scsc) {
        const std::int64_t o = static_cast<std::int64_t>(scsc) + lastOffset;
        if (o >= 0 && static_cast<std::uint64_t>(o) < oldSize && old[o] == target[scsc]) ++oldScore;
      }
      if ((len == oldScore && len != 0) || len > oldScore + 8) break;
      const std::int64_t o = static_cast<std::int64_t>(scan) + lastOffset;
      if (o >= 0 && static_cast<std::uint64_t>(o) < oldSize && old[o] == target[scan]) --oldScore;
    }
    if (len != oldScore || scan == size) {
      // Forward extension of the previous match.
      std::uint64_t lenf = 0;
      {
        std::int64_t s = 0, sf = 0;
        for (std::uint64_t i = 0; lastScan + i < scan && lastPos + i < oldSize;) {
          if (old[lastPos + i] == target[lastScan + i]) ++s;
          ++i;
          if (s * 2 - static_cast<std::int64_t>(i) > sf * 2 - static_cast<std::int64_t>(lenf)) {
            sf = s;
            lenf = i;
          }
        }
      }
      // Backward extension of the new match.
      std::uint64_t lenb = 0;
      if (scan < size) {
        std::int64_t s = 0, sb = 0;
        for (std::uint64_t i = 1; scan >= lastScan + i && pos >= i; ++i) {
          if (old[pos - i] == target[scan - i]) ++s;
          if (s * 2 - static_cast<std::int64_t>(i) > sb * 2 - static_cast<std::int64_t>(lenb)) {
            sb = s;
            lenb = i;
          }
        }
      }
      // Where the two overlap, split at the point that agrees best.
      if (lastScan + lenf > scan - lenb) {
        const std::uint64_t overlap = (lastScan + lenf) - (scan - lenb);
        std::int64_t s = 0, best = 0;
        std::uint64_t lens = 0;
        for (std::uint64_t i = 0; i < overlap; ++i) {
          if (target[lastScan + lenf - overlap + i] == old[lastPos + lenf - overlap + i]) ++s;
          if (target[scan - lenb + i] == old[pos - lenb + i]) --s;
          if (s > best) {
            best = s;
            lens = i + 1;
          }
        }
        lenf += lens - overlap;
        lenb -= lens;
      }
      out->Add(base + lastPos, old + lastPos, target + lastScan, lenf, target + lastScan + lenf,
               (scan - lenb) - (lastScan + lenf));
      lastScan = scan - lenb;
      lastPos = pos - lenb;
      lastOffset = static_cast<std::int64_t>(pos) - static_cast<std::int64_t>(scan);
    }
    if (options.progress != nullptr && scan >= nextReport) {
      options.progress(options.progressContext, progressBase + scan);
      nextReport = scan + (1 << 20);
    }
  }
}

// The smallest window that covers size bytes, never more than the decoder accepts.
int WindowLogFor(std::uint64_t size, int limit) {
  int log = 10;  // zstd's smallest window
  while (log < limit && (std::uint64_t{1} << log) < size) ++log;
  return log;
}

// One zstd frame of a known size, fed in pieces. The match finder's tables are held below
// the level's own (hash 2^21, chain 2^22 entries for the delta streams): about 33 MiB in all
// with the window, which keeps the encoder under bsdiff's memory for every size.
class FrameWriter {
 public:
  FrameWriter(ZSTD_CCtx* cctx, int level, int windowLog, std::uint64_t size, Bytes* out)
      : m_cctx(cctx), m_out(out) {
    ZSTD_CCtx_reset(cctx, ZSTD_reset_session_and_parameters);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setPledgedSrcSize(cctx, size);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_windowLog, WindowLogFor(size, windowLog));
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_hashLog, windowLog - 2);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_chainLog, windowLog - 1);
  }
  bool Feed(const unsigned char* data, std::size_t n, std::string* error) { return Run(data, n, ZSTD_e_continue, error); }
  bool End(std::string* error) { return Run(nullptr, 0, ZSTD_e_end, error); }

 private:
  bool Run(const unsigned char* data, std::size_t n, ZSTD_EndDirective mode, std::string* error) {
    ZSTD_inBuffer in = {data, n, 0};
    unsigned char buf[1 << 16];
    for (;;) {
      ZSTD_outBuffer out = {buf, sizeof buf, 0};
      const std::size_t left = ZSTD_compressStream2(m_cctx, &out, &in, mode);
      if (ZSTD_isError(left)) {
        *error = ZSTD_getErrorName(left);
        return false;
      }
      m_out->insert(m_out->end(), buf, buf + out.pos);
      if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) return true;
    }
  }
  ZSTD_CCtx* m_cctx;
  Bytes* m_out;
};

// The three streams of one chunk's records, each appended to its stream as one frame.
bool CompressChunk(ZSTD_CCtx* cctx, const RecordWriter& records, int level, Bytes streams[kDeltaStreamCount],
                   std::string* error) {
  std::uint64_t addSize = 0, insertSize = 0;
  for (const RecordWriter::Run& r : records.runs) {
    addSize += r.addLen;
    insertSize += r.insertLen;
  }
  if (!records.control.empty()) {
    FrameWriter control(cctx, level, kDeltaStreamWindowLog, records.control.size(), &streams[0]);
    if (!control.Feed(records.control.data(), records.control.size(), error) || !control.End(error)) return false;
  }
  if (addSize > 0) {
    FrameWriter add(cctx, level, kDeltaStreamWindowLog, addSize, &streams[1]);
    Bytes piece(1 << 20);
    for (const RecordWriter::Run& r : records.runs) {
      for (std::uint64_t at = 0; at < r.addLen;) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), r.addLen - at));
        for (std::size_t i = 0; i < n; ++i) piece[i] = static_cast<unsigned char>(r.result[at + i] - r.old[at + i]);
        if (!add.Feed(piece.data(), n, error)) return false;
        at += n;
      }
    }
    if (!add.End(error)) return false;
  }
  if (insertSize > 0) {
    FrameWriter insert(cctx, level, kDeltaStreamWindowLog, insertSize, &streams[2]);
    for (const RecordWriter::Run& r : records.runs) {
      if (r.insertLen > 0 && !insert.Feed(r.inserted, static_cast<std::size_t>(r.insertLen), error)) return false;
    }
    if (!insert.End(error)) return false;
  }
  return true;
}

bool ReadRange(ByteSource& src, std::uint64_t at, std::uint64_t n, Bytes* out, std::string* error) {
  out->resize(static_cast<std::size_t>(n));
  if (n > 0 && !src.ReadAt(at, out->data(), out->size())) {
    *error = "read failed";
    return false;
  }
  return true;
}

// The source window a result chunk is matched against: all of the source when it fits, else
// the part around the same relative place (packed archives keep their order between releases).
std::uint64_t WindowStart(std::uint64_t at, std::uint64_t chunk, std::uint64_t oldSize, std::uint64_t newSize,
                          std::uint64_t window) {
  if (oldSize <= window) return 0;
  const long double rel = static_cast<long double>(at) * oldSize / (newSize > 0 ? newSize : 1);
  const std::uint64_t centre = static_cast<std::uint64_t>(rel) + chunk / 2;
  const std::uint64_t start = centre > window / 2 ? centre - window / 2 : 0;
  return std::min(start, oldSize - window);
}

}  // namespace

bool MakeDelta(ByteSource& source, const unsigned char sourceMd5[kMd5DigestSize], ByteSource& result,
               const unsigned char resultMd5[kMd5DigestSize], ByteSink& sink, const DeltaEncodeOptions& options,
               std::string* error) {
  const std::uint64_t oldSize = source.Size();
  const std::uint64_t newSize = result.Size();
  const std::uint64_t window = std::min<std::uint64_t>(options.sourceWindow, 0x7FFFFFF0u);
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!cctx) {
    *error = "out of memory";
    return false;
  }
  Bytes streams[kDeltaStreamCount];
  Bytes old, target;
  std::vector<saidx_t> sa;
  std::uint64_t windowStart = 0;
  bool haveWindow = false;
  RecordWriter records;
  for (std::uint64_t at = 0; at < newSize || (at == 0 && newSize == 0); at += options.resultChunk) {
    const std::uint64_t chunk = std::min(options.resultChunk, newSize - at);
    const std::uint64_t start = WindowStart(at, chunk, oldSize, newSize, window);
    if (!haveWindow || start != windowStart) {
      const std::uint64_t n = std::min(window, oldSize);
      if (!ReadRange(source, start, n, &old, error)) return false;
      sa.assign(static_cast<std::size_t>(n), 0);
      if (n > 0 && divsufsort(old.data(), sa.data(), static_cast<saidx_t>(n)) != 0) {
        *error = "suffix sorting failed";
        return false;
      }
      windowStart = start;
      haveWindow = true;
    }
    if (!ReadRange(result, at, chunk, &target, error)) return false;
    static unsigned char none = 0;  // stands for the data of an empty file
    ScanChunk(sa.data(), old.empty() ? &none : old.data(), old.size(), windowStart,
              target.empty() ? &none : target.data(), chunk, &records, options, at);
    // A chunk's records are closed here, so each chunk's streams are frames of their own; the
    // last step goes to where the next chunk's window begins.
    const std::uint64_t next = at + chunk;
    records.Flush(next < newSize ? WindowStart(next, std::min(options.resultChunk, newSize - next), oldSize,
                                               newSize, window)
                                 : 0);
    if (!CompressChunk(cctx.get(), records, options.level, streams, error)) return false;
    records.Clear();
    if (options.progress != nullptr) options.progress(options.progressContext, at + chunk);
    if (newSize == 0) break;
  }
  DeltaHeader header;
  header.sourceSize = oldSize;
  header.resultSize = newSize;
  std::memcpy(header.sourceMd5, sourceMd5, kMd5DigestSize);
  std::memcpy(header.resultMd5, resultMd5, kMd5DigestSize);
  for (int i = 0; i < kDeltaStreamCount; ++i) header.streamSize[i] = streams[i].size();
  unsigned char raw[kDeltaHeaderSize];
  WriteDeltaHeader(header, raw);
  if (!sink.Write(raw, sizeof raw)) {
    *error = "write failed";
    return false;
  }
  for (const Bytes& s : streams) {
    if (!s.empty() && !sink.Write(s.data(), s.size())) {
      *error = "write failed";
      return false;
    }
  }
  return true;
}

bool MakeWholeFile(ByteSource& file, ByteSink& sink, int level, std::string* error) {
  std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> cctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!cctx) {
    *error = "out of memory";
    return false;
  }
  const std::uint64_t size = file.Size();
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setPledgedSrcSize(cctx.get(), size);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, WindowLogFor(size, kWholeFileWindowLog));
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_hashLog, kWholeFileWindowLog - 3);
  ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_chainLog, kWholeFileWindowLog - 2);
  const std::size_t chunk = 1 << 20;
  Bytes in(chunk), out(ZSTD_CStreamOutSize());
  for (std::uint64_t at = 0;;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size - at));
    if (n > 0 && !file.ReadAt(at, in.data(), n)) {
      *error = "read failed";
      return false;
    }
    at += n;
    const ZSTD_EndDirective mode = at == size ? ZSTD_e_end : ZSTD_e_continue;
    ZSTD_inBuffer input = {in.data(), n, 0};
    for (;;) {
      ZSTD_outBuffer output = {out.data(), out.size(), 0};
      const std::size_t left = ZSTD_compressStream2(cctx.get(), &output, &input, mode);
      if (ZSTD_isError(left)) {
        *error = ZSTD_getErrorName(left);
        return false;
      }
      if (output.pos > 0 && !sink.Write(out.data(), output.pos)) {
        *error = "write failed";
        return false;
      }
      if (mode == ZSTD_e_end ? left == 0 : input.pos == input.size) break;
    }
    if (mode == ZSTD_e_end) return true;
  }
}
