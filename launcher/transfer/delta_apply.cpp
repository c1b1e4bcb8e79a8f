#include "launcher/transfer/delta_apply.h"

#include <zstd.h>

#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/launcher_mgr.h"

namespace {

constexpr std::size_t kChunk = 65536;

// One zstd stream lying in [begin, end) of a source, read in order through a small buffer.
class StreamReader {
 public:
  StreamReader(ByteSource& source, std::uint64_t begin, std::uint64_t end, int windowLogMax)
      : m_source(source), m_offset(begin), m_end(end), m_windowLogMax(windowLogMax) {}
  ~StreamReader() { ZSTD_freeDCtx(m_dctx); }
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  bool Open() {
    m_dctx = ZSTD_createDCtx();
    m_in.reset(new (std::nothrow) unsigned char[kChunk]);
    m_out.reset(new (std::nothrow) unsigned char[kChunk]);
    if (m_dctx == nullptr || !m_in || !m_out) return Fail("out of memory");
    if (ZSTD_isError(ZSTD_DCtx_setParameter(m_dctx, ZSTD_d_windowLogMax, m_windowLogMax)))
      return Fail("cannot bound the window");
    return true;
  }

  // Copies exactly n bytes; false on a fault or an early end.
  bool Read(unsigned char* out, std::size_t n) {
    while (n > 0) {
      if (m_outPos == m_outFill && !Fill()) return false;
      if (m_outPos == m_outFill) return Fail("stream ends early");
      std::size_t take = m_outFill - m_outPos;
      if (take > n) take = n;
      std::memcpy(out, m_out.get() + m_outPos, take);
      m_outPos += take;
      out += take;
      n -= take;
    }
    return true;
  }

  // One byte; false at the end or on a fault (told apart by Failed()).
  bool ReadByte(unsigned char* byte) {
    if (m_outPos == m_outFill && (!Fill() || m_outPos == m_outFill)) return false;
    *byte = m_out[m_outPos++];
    return true;
  }

  // True when every byte of the stream was consumed and its last frame ended.
  bool AtEnd() {
    if (m_outPos < m_outFill) return false;
    if (!Fill()) return false;
    return m_outPos == m_outFill;
  }

  bool Failed() const { return m_error != nullptr; }
  const char* Error() const { return m_error != nullptr ? m_error : "stream ends early"; }

 private:
  bool Fail(const char* why) {
    if (m_error == nullptr) m_error = why;
    return false;
  }

  // Decodes more output into the empty buffer. True with no new output only at the clean end.
  bool Fill() {
    if (m_error != nullptr) return false;
    m_outPos = m_outFill = 0;
    for (;;) {
      if (m_inPos == m_inFill && m_offset < m_end) {
        std::size_t take = kChunk;
        if (m_end - m_offset < take) take = static_cast<std::size_t>(m_end - m_offset);
        if (!m_source.ReadAt(m_offset, m_in.get(), take)) return Fail("read failed");
        m_offset += take;
        m_inPos = 0;
        m_inFill = take;
      }
      if (m_inPos == m_inFill && m_frameDone) return true;  // clean end (or an empty stream)
      ZSTD_inBuffer in = {m_in.get(), m_inFill, m_inPos};
      ZSTD_outBuffer out = {m_out.get(), kChunk, 0};
      const std::size_t ret = ZSTD_decompressStream(m_dctx, &out, &in);
      if (ZSTD_isError(ret)) return Fail(ZSTD_getErrorName(ret));
      const bool moved = in.pos != m_inPos || out.pos != 0;
      m_inPos = in.pos;
      m_frameDone = ret == 0;
      m_outFill = out.pos;
      if (m_outFill > 0) return true;
      if (!moved && m_inPos == m_inFill && m_offset == m_end) return Fail("stream ends early");
    }
  }

  ByteSource& m_source;
  std::uint64_t m_offset;
  std::uint64_t m_end;
  int m_windowLogMax;
  ZSTD_DCtx* m_dctx = nullptr;
  std::unique_ptr<unsigned char[]> m_in;
  std::unique_ptr<unsigned char[]> m_out;
  std::size_t m_inPos = 0, m_inFill = 0, m_outPos = 0, m_outFill = 0;
  bool m_frameDone = true;  // no frame begun: an empty stream is a clean end
  const char* m_error = nullptr;
};

// The result written in order, its digest kept on the way.
class DigestingSink {
 public:
  explicit DigestingSink(ByteSink& sink) : m_sink(sink) { MD5Init(&m_md5); }
  bool Write(const unsigned char* data, std::size_t n) {
    MD5Update(&m_md5, data, n);
    m_written += n;
    return m_sink.Write(data, n);
  }
  bool DigestIs(const unsigned char* expected) {
    unsigned char digest[kMd5DigestSize];
    MD5Final(digest, &m_md5);
    return std::memcmp(digest, expected, kMd5DigestSize) == 0;
  }
  std::uint64_t Written() const { return m_written; }

 private:
  ByteSink& m_sink;
  MD5_CTX m_md5;
  std::uint64_t m_written = 0;
};

// A control number; *fault tells a fault from the stream's end.
bool ReadVarint(StreamReader& control, std::uint64_t* value, bool first, const char** fault) {
  *value = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    unsigned char byte = 0;
    if (!control.ReadByte(&byte)) {
      *fault = control.Failed() ? control.Error() : (first && shift == 0 ? nullptr : "truncated control record");
      return false;
    }
    if (shift == 63 && byte > 1) break;
    *value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return true;
  }
  *fault = "control number too long";
  return false;
}

bool Refuse(const char* name, const char* why) {
  g_launcher.Log("ApplyDelta(%s) : %s.", name, why);
  return false;
}

}  // namespace

bool MemorySource::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) {
  if (offset > m_size || n > m_size - offset) return false;
  if (n > 0) std::memcpy(buffer, m_data + offset, n);
  return true;
}

bool ReadDeltaHeaderFrom(ByteSource& delta, DeltaHeader* header, const char* name) {
  unsigned char raw[kDeltaHeaderSize];
  if (delta.Size() < kDeltaHeaderSize || !delta.ReadAt(0, raw, sizeof raw)) return Refuse(name, "truncated header");
  const DeltaHeaderResult result = ReadDeltaHeader(raw, delta.Size(), header);
  if (result != DeltaHeaderResult::kOk) return Refuse(name, DescribeDeltaHeaderResult(result));
  return true;
}

bool ApplyDelta(ByteSource& delta, ByteSource& source, ByteSink& sink, const char* name,
                const unsigned char* expectedMd5) {
  DeltaHeader header;
  if (!ReadDeltaHeaderFrom(delta, &header, name)) return false;
  if (source.Size() != header.sourceSize) return Refuse(name, "the source file has another size");
  if (expectedMd5 != nullptr && std::memcmp(expectedMd5, header.resultMd5, kMd5DigestSize) != 0)
    return Refuse(name, "the delta makes another content");

  std::uint64_t at = kDeltaHeaderSize;
  std::unique_ptr<StreamReader> streams[kDeltaStreamCount];
  for (int i = 0; i < kDeltaStreamCount; ++i) {
    streams[i].reset(new (std::nothrow) StreamReader(delta, at, at + header.streamSize[i], kDeltaStreamWindowLog));
    if (!streams[i] || !streams[i]->Open()) return Refuse(name, "out of memory");
    at += header.streamSize[i];
  }
  StreamReader& control = *streams[static_cast<int>(DeltaStream::kControl)];
  StreamReader& add = *streams[static_cast<int>(DeltaStream::kAdd)];
  StreamReader& insert = *streams[static_cast<int>(DeltaStream::kInsert)];

  std::unique_ptr<unsigned char[]> oldBuf(new (std::nothrow) unsigned char[kChunk]);
  std::unique_ptr<unsigned char[]> workBuf(new (std::nothrow) unsigned char[kChunk]);
  if (!oldBuf || !workBuf) return Refuse(name, "out of memory");

  DigestingSink out(sink);
  std::uint64_t oldPos = 0;
  std::uint64_t newPos = 0;
  for (;;) {
    std::uint64_t addLen = 0, insertLen = 0, step = 0;
    const char* fault = nullptr;
    if (!ReadVarint(control, &addLen, true, &fault)) {
      if (fault != nullptr) return Refuse(name, fault);
      break;  // the control stream ended between records
    }
    if (!ReadVarint(control, &insertLen, false, &fault) || !ReadVarint(control, &step, false, &fault))
      return Refuse(name, fault);
    if (addLen > kDeltaMaxRun || insertLen > kDeltaMaxRun) return Refuse(name, "control record too long");
    if (addLen > header.sourceSize - oldPos) return Refuse(name, "record reaches past the source");
    if (addLen + insertLen > header.resultSize - newPos) return Refuse(name, "record reaches past the result");

    for (std::uint64_t left = addLen; left > 0;) {
      const std::size_t n = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
      if (!source.ReadAt(oldPos, oldBuf.get(), n)) return Refuse(name, "cannot read the source file");
      if (!add.Read(workBuf.get(), n)) return Refuse(name, add.Error());
      for (std::size_t i = 0; i < n; ++i) workBuf[i] = static_cast<unsigned char>(workBuf[i] + oldBuf[i]);
      if (!out.Write(workBuf.get(), n)) return Refuse(name, "cannot write the result");
      oldPos += n;
      left -= n;
    }
    for (std::uint64_t left = insertLen; left > 0;) {
      const std::size_t n = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
      if (!insert.Read(workBuf.get(), n)) return Refuse(name, insert.Error());
      if (!out.Write(workBuf.get(), n)) return Refuse(name, "cannot write the result");
      left -= n;
    }
    newPos += addLen + insertLen;

    const std::int64_t delta64 = UnZigZag(step);
    if (delta64 < 0 ? static_cast<std::uint64_t>(-(delta64 + 1)) + 1 > oldPos
                    : static_cast<std::uint64_t>(delta64) > header.sourceSize - oldPos)
      return Refuse(name, "record moves outside the source");
    oldPos += static_cast<std::uint64_t>(delta64);
  }
  if (newPos != header.resultSize) return Refuse(name, "the result is short");
  if (!add.AtEnd() || !insert.AtEnd()) {
    if (add.Failed()) return Refuse(name, add.Error());
    if (insert.Failed()) return Refuse(name, insert.Error());
    return Refuse(name, "streams carry bytes no record uses");
  }
  if (!out.DigestIs(header.resultMd5)) return Refuse(name, "the result has another digest");
  return true;
}

bool DecompressWholeFile(ByteSource& packed, std::uint64_t expectedSize, const unsigned char* expectedMd5,
                         ByteSink& sink, const char* name) {
  StreamReader reader(packed, 0, packed.Size(), kWholeFileWindowLog);
  if (!reader.Open()) {
    g_launcher.Log("DecompressWholeFile(%s) : %s.", name, reader.Error());
    return false;
  }
  std::unique_ptr<unsigned char[]> buf(new (std::nothrow) unsigned char[kChunk]);
  if (!buf) {
    g_launcher.Log("DecompressWholeFile(%s) : out of memory.", name);
    return false;
  }
  DigestingSink out(sink);
  for (std::uint64_t left = expectedSize; left > 0;) {
    const std::size_t n = left < kChunk ? static_cast<std::size_t>(left) : kChunk;
    if (!reader.Read(buf.get(), n)) {
      g_launcher.Log("DecompressWholeFile(%s) : %s.", name, reader.Error());
      return false;
    }
    if (!out.Write(buf.get(), n)) {
      g_launcher.Log("DecompressWholeFile(%s) : cannot write the result.", name);
      return false;
    }
    left -= n;
  }
  if (!reader.AtEnd()) {
    g_launcher.Log("DecompressWholeFile(%s) : %s.", name,
                   reader.Failed() ? reader.Error() : "longer than the expected size");
    return false;
  }
  if (!out.DigestIs(expectedMd5)) {
    g_launcher.Log("DecompressWholeFile(%s) : the result has another digest.", name);
    return false;
  }
  return true;
}
