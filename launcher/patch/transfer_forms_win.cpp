// The download stage's smaller forms: a delta applied to the installed file, or the whole
// file compressed, fetched through the transfer's download manager like any file, checked against
// the index, decoded into the place of the download, then checked against the manifest.
#include "launcher/core/windows_api.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/patch/patch_helper.h"
#include "launcher/patch/patch_info.h"
#include "launcher/patch/signed_document.h"
#include "launcher/patch/transfer_forms.h"
#include "launcher/transfer/delta_apply.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/transfer/file_digest.h"

namespace {


class WinFileSource : public ByteSource {
 public:
  bool Open(const char* path) {
    m_file.reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS,
                             nullptr));
    LARGE_INTEGER size;
    if (!m_file || !GetFileSizeEx(m_file.get(), &size)) return false;
    m_size = static_cast<std::uint64_t>(size.QuadPart);
    return true;
  }
  std::uint64_t Size() const override { return m_size; }
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
    if (offset > m_size || n > m_size - offset) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(m_file.get(), at, nullptr, FILE_BEGIN)) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (n > 0) {
      const DWORD want = n > kDownloadBlock ? kDownloadBlock : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!::ReadFile(m_file.get(), out, want, &got, nullptr) || got == 0) return false;
      out += got;
      n -= got;
    }
    return true;
  }

 private:
  CFileHandle m_file;
  std::uint64_t m_size = 0;
};

class WinFileSink : public ByteSink {
 public:
  bool Create(const char* path) {
    m_file.reset(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(m_file);
  }
  bool Write(const void* data, std::size_t n) override {
    DWORD written = 0;
    return ::WriteFile(m_file.get(), data, static_cast<DWORD>(n), &written, nullptr) && written == n;
  }
  void Close() { m_file.reset(); }

 private:
  CFileHandle m_file;
};

// The installed game file a delta would start from.
class InstalledFile : public InstalledContent {
 public:
  explicit InstalledFile(std::string path) : m_path(std::move(path)) {}
  bool Size(std::uint64_t* size) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(m_path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return false;
    *size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return true;
  }
  bool Digest(unsigned char md5[kMd5DigestSize]) override {
    CFileHandle file(CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return file && ComputeHashCode(file.get(), md5);
  }

 private:
  std::string m_path;
};

// The index in one attempt: a server without it answers 404 or 550 at once, and the retries
// the manifest's fetch makes would only delay every run on such a server by seconds. A fetch
// that fails for any other reason costs the forms, never the run.
bool FetchIndexOnce(const char* name, CDownloadMgr* mgr, char** block, std::uint32_t* size) {
  if (mgr->IsOpened() || !mgr->OpenFile(name)) return false;
  std::unique_ptr<char[]> piece(new (std::nothrow) char[kDownloadBlock]);
  std::string data;
  bool ok = piece != nullptr;
  while (ok) {
    std::uint64_t count = 0;
    ok = mgr->ReadFile(piece.get(), kDownloadBlock, &count) && count <= kDownloadBlock &&
         data.size() + count <= kMaxTransferIndexSize;
    if (!ok || count == 0) break;
    data.append(piece.get(), static_cast<std::size_t>(count));
  }
  mgr->CloseFile();
  if (!ok) return false;
  *block = new (std::nothrow) char[data.size() + 1];
  if (*block == nullptr) return false;
  std::memcpy(*block, data.data(), data.size());
  *size = static_cast<std::uint32_t>(data.size());
  return true;
}

const char* KindName(const TransferForm& form) {
  return form.kind == TransferFormKind::kDelta ? "delta" : "compressed file";
}

std::string GamePath(const std::string& name) {
  char path[kMaxPath];
  return JoinPath(name.c_str(), path, g_launcher.m_gameDir) ? std::string(path) : std::string();
}

}  // namespace

void CPatchHelper::PlanTransferForms() {
  if (m_downloadMgr == nullptr || m_downloadSet.empty() || IsStopped()) return;
  // Only a tree that announces its index is asked for one: any other gets today's requests.
  const char* indexName = m_context != nullptr && m_context->patchInfo != nullptr ? m_context->patchInfo->forms : "";
  if (indexName[0] == '\0') return;
  std::unique_ptr<char[]> block;
  std::uint32_t size = 0;
  switch (GetSignedFileIntoMemory(indexName, m_downloadMgr.get(), &block, &size, &FetchIndexOnce)) {
    case DocumentFetch::kFetched:
      if (!m_transferIndex.Read(block.get(), size)) {
        g_launcher.Log("Transfer index \"%s\" unreadable : raw files only.", indexName);
        return;
      }
      break;
    case DocumentFetch::kNotFetched:
      g_launcher.Log("Transfer index \"%s\" not found : raw files only.", indexName);
      return;
    case DocumentFetch::kRefused:
      g_launcher.Log("Transfer index \"%s\" refused : raw files only.", indexName);
      return;
  }
  for (const auto& item : m_downloadSet) {
    const PatchEntry& entry = item.second;
    InstalledFile installed(GamePath(entry.name));
    std::vector<const TransferForm*> choice = ChooseForms(m_transferIndex.Find(entry.name, entry.hash), entry.size,
                                                          g_launcher.m_installRequested, installed);
    if (choice.empty()) continue;
    // The panel's total counts the bytes that will travel.
    m_totalSize = m_totalSize - entry.size + WireSize(choice, entry.size);
    m_formPlan.emplace(entry.name, std::move(choice));
  }
}

bool CPatchHelper::DownloadByForm(const PatchEntry& entry, const char* localPath, const FileTransfer& transfer) {
  const auto plan = m_formPlan.find(entry.name);
  if (plan == m_formPlan.end()) {
    if (!m_transferIndex.Empty()) g_launcher.Log("Transfer form of %s : raw file.", entry.name.c_str());
    return false;
  }
  const std::vector<const TransferForm*>& forms = plan->second;
  for (std::size_t i = 0; i < forms.size(); ++i) {
    if (Halted(transfer)) return true;
    const TransferForm& form = *forms[i];
    g_launcher.Log("Transfer form of %s : %s \"%s\" (%llu of %llu bytes).", entry.name.c_str(), KindName(form),
                   form.path.c_str(), static_cast<unsigned long long>(form.size),
                   static_cast<unsigned long long>(entry.size));
    if (TryForm(entry, form, localPath, transfer)) {
      m_bytesSaved += entry.size - form.size;
      return true;
    }
    if (Halted(transfer)) return true;
    if (transfer.mgr->Stalled()) {
      // The server went silent: the raw file is fetched from the next server, not another
      // form from this one.
      m_totalSize += entry.size - form.size;
      g_launcher.Log("Transfer form of %s failed : trying the raw file.", entry.name.c_str());
      return false;
    }
    // The next form (or the raw file) travels instead of this one.
    const std::uint64_t next = i + 1 < forms.size() ? forms[i + 1]->size : entry.size;
    m_totalSize += next - form.size;  // several transfers may change the total at once
    g_launcher.Log("Transfer form of %s failed : trying %s.", entry.name.c_str(),
                   i + 1 < forms.size() ? KindName(*forms[i + 1]) : "the raw file");
  }
  return false;
}

bool CPatchHelper::TryForm(const PatchEntry& entry, const TransferForm& form, const char* localPath,
                           const FileTransfer& transfer) {
  char fetched[kMaxPath];
  if (!FormatString(fetched, sizeof(fetched), "%s.form", localPath)) return false;
  bool ok = FetchWithRetry(transfer, form.path.c_str(), fetched, transfer.mgr->IsRestartSupported());
  ok = ok && !Halted(transfer) && CheckHashCode(fetched, form.md5);
  if (ok) {
    WinFileSource packed;
    WinFileSink result;
    ok = packed.Open(fetched) && result.Create(localPath);
    if (ok && form.kind == TransferFormKind::kWhole) {
      ok = DecompressWholeFile(packed, entry.size, entry.hash, result, entry.name.c_str());
    } else if (ok) {
      WinFileSource installed;
      ok = installed.Open(GamePath(entry.name).c_str()) &&
           ApplyDelta(packed, installed, result, entry.name.c_str(), entry.hash);
    }
    result.Close();
  }
  DeleteFileA(fetched);
  // The result is checked as every download is, whatever the decoder found.
  ok = ok && CheckHashCode(localPath, entry.hash);
  if (ok) {
    m_doneSize += form.size;  // what travelled, as the total counts it
    return true;
  }
  DeleteFileA(localPath);
  return false;
}

void CPatchHelper::LogTransferSavings() const {
  if (m_transferIndex.Empty()) return;
  g_launcher.Log("Transfer forms saved %llu bytes.", static_cast<unsigned long long>(m_bytesSaved.load()));
}
