#include "launcher/install/install_helper.h"

#include "launcher/core/windows_api.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/text.h"
#include "launcher/core/win_handle.h"
#include "launcher/install/entry_copy.h"
#include "launcher/core/safe_file.h"
#include "launcher/patch/version_info.h"
#include "launcher/resources/resource_ids.h"
#include "launcher/storage/zip_archive.h"
#include "launcher/ui/panel.h"

namespace {

constexpr char kJoinedArchiveName[] = "talvenor_install.cab";
constexpr int kDiskFullError = 28;  // errno ENOSPC

// Stands in when the caller gives no panel.
class NullPanel final : public IPanel {
 public:
  void SetPanelType(int) override {}
  void SetGameVersion(int) override {}
  void SetText(const char*) override {}
  void SetProgress(int) override {}
  void SetSize(std::uint64_t, std::uint64_t) override {}
  void SetSpeed(std::uint32_t, std::uint32_t) override {}
};
NullPanel g_nullPanel;

// The installer data file beside the launcher ("tlvn" or "dat" for "exe").
bool InstallerFile(const char* extension, char* out) {
  char module[kMaxPath];
  if (!GetModulePath(module)) {
    out[0] = '\0';
    return false;
  }
  return g_launcher.InstallerDataFile(module, extension, out, kMaxPath);
}

struct UnzCloser {
  void operator()(void* archive) const { unzClose(static_cast<unzFile>(archive)); }
};
using UnzOwner = std::unique_ptr<void, UnzCloser>;

// One entry's data copied into a new file. The file is removed again unless the whole
// entry arrived intact: a damaged file must not pass for an installed one.
bool CopyEntry(unzFile archive, const char* archivePath, const char* outputPath, std::uint64_t expectedSize,
               unsigned char* buffer) {
  if (unzOpenCurrentFile(archive) != UNZ_OK) {
    g_launcher.Log("Fail to unzOpenCurrentFile file : \"%s\"...", outputPath);
    return false;
  }
  std::FILE* out = std::fopen(outputPath, "wb");
  if (out == nullptr) {
    const int error = errno;
    unzCloseCurrentFile(archive);
    if (error == kDiskFullError) g_launcher.ShowMessage(0, IDS_DISK_FULL, kMessageInfo);
    g_launcher.Log("Fail to fopen file : \"%s\", \"%s\"... %d", archivePath, outputPath, error);
    return false;
  }
  std::setvbuf(out, nullptr, _IOFBF, kExtractFileBuffer);

  EntryCopyIo io;
  io.read = [archive](unsigned char* data, unsigned size) { return unzReadCurrentFile(archive, data, size); };
  io.write = [out](const unsigned char* data, std::size_t count, int* error) {
    errno = 0;
    if (std::fwrite(data, 1, count, out) == count) return true;
    *error = errno != 0 ? errno : EIO;
    return false;
  };
  io.closeOutput = [out](int* error) {
    errno = 0;
    if (std::fclose(out) == 0) return true;
    *error = errno != 0 ? errno : EIO;
    return false;
  };
  io.closeEntry = [archive]() { return unzCloseCurrentFile(archive); };
  const EntryCopy copy = CopyEntryData(io, expectedSize, buffer, static_cast<unsigned>(kExtractChunk));

  switch (copy.result) {
    case EntryCopyResult::Intact:
      return true;
    case EntryCopyResult::ReadFailed:
      g_launcher.Log("Fail to unzReadCurrentFile file : \"%s\"...error%d", archivePath, copy.code);
      break;
    case EntryCopyResult::WriteFailed:
      if (copy.code == kDiskFullError) g_launcher.ShowMessage(0, IDS_DISK_FULL, kMessageInfo);
      g_launcher.Log("Fail to write file : \"%s\"... %d", outputPath, copy.code);
      break;
    case EntryCopyResult::Short:
      g_launcher.Log("Fail to unzReadCurrentFile file : \"%s\"... %llu of %llu bytes", outputPath,
                     static_cast<unsigned long long>(copy.copied), static_cast<unsigned long long>(expectedSize));
      break;
    case EntryCopyResult::Damaged:
      g_launcher.Log("Fail to unzCloseCurrentFile file : \"%s\"...error%d", outputPath, copy.code);
      break;
  }
  DeleteFileA(outputPath);
  return false;
}

}  // namespace

CInstallHelper::CInstallHelper(IPanel* panel, StopCheck stop)
    : m_panel(panel != nullptr ? *panel : g_nullPanel), m_stop(std::move(stop)) {}

bool CInstallHelper::Install() {
  m_panel.SetProgress(0);
  m_panel.SetPanelType(PanelGeneral);
  m_panel.SetText("Copying install file...");

  char archivePath[kMaxPath] = {};
  switch (g_launcher.m_mode) {
    case ModeSplitInstall: {
      char manifestPath[kMaxPath];
      CVersionInfo manifest;
      if (!InstallerFile("dat", manifestPath) || !manifest.ReadFromFile(manifestPath)) {
        g_launcher.Log("Fail to ReadFromFile. : \"%s\"", manifestPath);
        g_launcher.ShowMessage(0, IDS_FILE_ENTRY_NOT_FOUND, kMessageInfo);
        return false;
      }
      // A failed join leaves only its own joined archive to delete: the ".zip" beside the
      // launcher that the manifest's name suggests may be the user's.
      if (!MergeSplitFiles(manifest, archivePath)) {
        DeleteJoinedArchive();
        return false;
      }
      break;
    }
    case ModeZipInstall:
      InstallerFile("tlvn", archivePath);
      break;
    default:
      g_launcher.Log("Invalid launcher mode. : %d", static_cast<int>(g_launcher.m_mode));
      return false;
  }
  if (Stopped()) return false;

  UnzOwner archive(archivePath[0] != '\0' ? unzOpen(archivePath) : nullptr);
  if (!ExtractArchive(static_cast<unzFile>(archive.get()), archivePath)) {
    g_launcher.Log("Fail to Extract zip file. : \"%s\"", archivePath);
    return false;
  }
  return true;
}

bool CInstallHelper::MergeSplitFiles(const CVersionInfo& manifest, char* archivePath) {
  if (Stopped()) return false;
  m_panel.SetPanelType(PanelGeneral);
  m_panel.SetText("Merge installer files...");
  m_panel.SetProgress(0);

  char joinedPath[kMaxPath];
  GetJoinedArchivePath(joinedPath);
  CFileHandle joined(joinedPath[0] != '\0' ? CreateFileA(joinedPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr)
                                           : INVALID_HANDLE_VALUE);
  if (!joined) {
    g_launcher.Log("Fail to open file \"%s\" for writing.", joinedPath);
    g_launcher.ShowRunError();
    return false;
  }

  const std::size_t count = manifest.GetCount();
  for (std::size_t i = 0; i < count; ++i) {
    if (Stopped()) return false;
    m_panel.SetProgress(static_cast<int>(100 * i / count));

    char partPath[kMaxPath];
    const bool named = CopyString(partPath, g_launcher.m_currentDir) && AppendString(partPath, manifest.GetName(i));
    if (!named || !FileExists(partPath)) {
      g_launcher.Log("Fail to find file \"%s\" for reading.", named ? partPath : manifest.GetName(i));
      g_launcher.ShowRunError();
      return false;
    }
    CFileHandle part(CreateFileA(partPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!part || !GetFileSizeEx(part.get(), &size)) {
      g_launcher.Log("Fail to open file \"%s\" for reading.", partPath);
      g_launcher.ShowRunError();
      return false;
    }
    const std::uint64_t partSize = static_cast<std::uint64_t>(size.QuadPart);
    if (partSize == 0) continue;  // nothing to add, and an empty file cannot be mapped
    // The part is copied from a read-only view straight into the archive: one copy of
    // each byte instead of two through a buffer of our own, as cat's in-kernel copy does.
    // Only WriteFile touches the view, so a part that cannot be read (or that shrank)
    // fails that call instead of raising an exception here.
    CKernelHandle mapping(CreateFileMappingA(part.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping) {
      g_launcher.Log("Fail to read file \"%s\". %lu", partPath, static_cast<unsigned long>(GetLastError()));
      g_launcher.ShowRunError();
      return false;
    }
    for (std::uint64_t offset = 0; offset < partSize;) {
      if (Stopped()) return false;
      const DWORD chunk = static_cast<DWORD>(partSize - offset < kJoinChunk ? partSize - offset : kJoinChunk);
      // A part that ends early fails here or in the write below: it would leave a hole
      // in the archive that its checksums might not reveal until much later.
      CMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                                     static_cast<DWORD>(offset), chunk));
      if (!view) {
        g_launcher.Log("Fail to read file \"%s\". %lu", partPath, static_cast<unsigned long>(GetLastError()));
        g_launcher.ShowRunError();
        return false;
      }
      DWORD written = 0;
      if (!WriteFile(joined.get(), view.get(), chunk, &written, nullptr) || written != chunk) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOACCESS || error == ERROR_SWAPERROR || error == ERROR_INVALID_USER_BUFFER) {
          // The view's pages could not be brought in (the part shrank or its medium
          // failed): the part, not the archive, failed.
          g_launcher.Log("Fail to read file \"%s\". %lu", partPath, static_cast<unsigned long>(error));
        } else {
          g_launcher.Log("Fail to write file \"%s\". %lu", joinedPath, static_cast<unsigned long>(error));
        }
        if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
          g_launcher.ShowMessage(0, IDS_DISK_FULL, kMessageInfo);
        } else {
          g_launcher.ShowRunError();
        }
        return false;
      }
      offset += chunk;
    }
  }
  if (!CloseHandle(joined.release())) {
    g_launcher.Log("Fail to write file \"%s\".", joinedPath);
    g_launcher.ShowRunError();
    return false;
  }
  CopyString(archivePath, kMaxPath, joinedPath);
  return true;
}

bool CInstallHelper::ExtractArchive(unzFile archive, const char* archivePath) {
  if (Stopped()) return true;
  unz_global_info64 global = {};
  const std::uint64_t count =
      archive != nullptr && unzGetGlobalInfo64(archive, &global) == UNZ_OK ? global.number_entry : 0;
  if (count == 0) {
    g_launcher.Log("Fail to open zip file : \"%s\"...", archivePath);
    return false;
  }
  m_panel.SetProgress(0);
  m_panel.SetPanelType(PanelExtract);
  m_panel.SetText("Extract install file...");

  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kExtractChunk]);
  if (!buffer || unzGoToFirstFile(archive) != UNZ_OK) {
    g_launcher.Log("Fail to open zip file : \"%s\"...", archivePath);
    return false;
  }
  char outputPath[kMaxPath] = {};
  char createdFolder[kMaxPath] = {};  // the folder made last: entries come folder by folder
  for (std::uint64_t i = 0; i < count; ++i) {
    if (Stopped()) return true;
    unz_file_info64 info = {};
    char name[kMaxPath] = {};
    if (unzGetCurrentFileInfo64(archive, &info, name, sizeof(name), nullptr, 0, nullptr, 0) != UNZ_OK) {
      g_launcher.Log("Fail to unzGetCurrentFileInfo file : \"%s\"...", outputPath);
      return false;
    }
    // minizip leaves a name that does not fit unterminated; one with a zero byte inside
    // would be written under another name than the archive shows.
    const bool fits = info.size_filename < sizeof(name) && std::strlen(name) == info.size_filename;
    name[sizeof(name) - 1] = '\0';
    if (!fits || !IsZipFolderName(name)) {
      if (!fits || !MakeZipEntryPath(g_launcher.m_gameDir, name, outputPath)) {
        g_launcher.Log("Fail to extract file, the name is refused : \"%s\"", name);
        return false;
      }
      char folder[kMaxPath];
      GetParentDir(folder, outputPath);
      g_launcher.Log("Extract file : %s", outputPath);
      m_panel.SetProgress(static_cast<int>(100 * i / count));
      if (std::strcmp(folder, createdFolder) != 0) {
        CreateDirectories(folder, false);
        CopyString(createdFolder, folder);
      }
      if (!CopyEntry(archive, archivePath, outputPath, info.uncompressed_size, buffer.get())) return false;
      // Recorded before moving on, so that a failure further on still removes it.
      g_launcher.AddInstalledFile(outputPath);
    }
    if (i + 1 < count && unzGoToNextFile(archive) != UNZ_OK) {
      g_launcher.Log("Fail to unzGoToNextFile file : \"%s\"...", archivePath);
      return false;
    }
  }
  return true;
}

bool GetJoinedArchivePath(char* out, std::size_t outSize) {
  if (out == nullptr || outSize == 0) return false;
  out[0] = '\0';
  if (g_launcher.m_installerDir[0] == '\0') return false;
  return JoinPath(kJoinedArchiveName, out, g_launcher.m_installerDir, outSize);
}

bool DeleteJoinedArchive() {
  char path[kMaxPath];
  if (!GetJoinedArchivePath(path)) return true;
  if (!FileExists(path)) return true;
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path)) {
    g_launcher.Log("DeleteJoinedArchive() : DeleteFile(%s) failed.", path);
    return false;
  }
  return true;
}

void CleanUpFailedInstallation() {
  DeleteJoinedArchive();
  g_launcher.DeleteInstalledFiles();
}

bool RunLocalInstallation(IPanel* panel, StopCheck stop) {
  CreateDirectories(g_launcher.m_installerDir, true);
  bool ok;
  {
    CInstallHelper helper(panel, stop);
    ok = helper.Install();
  }
  CFile::RemoveDirectory(g_launcher.m_installerDir, true);
  if (stop && stop()) ok = false;
  if (!ok) CleanUpFailedInstallation();
  return ok;
}
