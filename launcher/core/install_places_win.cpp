// Removal confined to the places of an installation, and never through a link.
#include "launcher/core/install_places.h"

#include "launcher/core/windows_api.h"

#include <cstring>

#include "launcher/core/file_system.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/paths.h"
#include "launcher/core/win_handle.h"
#include "launcher/resources/resource_ids.h"

namespace {

constexpr std::size_t kChildPath = 512;  // children of a 259-character folder still fit

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Removes the link itself: RemoveDirectory takes a junction or a folder link away without
// touching what it points to, DeleteFile a file link.
bool RemoveLink(const char* path, DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path) != FALSE : DeleteFileA(path) != FALSE;
}

}  // namespace

bool GetFolderBelow(int csidl, const char* name, char (&out)[kMaxPath]) {
  char folder[kMaxPath];
  return IsSoundName(name) && GetSpecialFolder(csidl, folder) && JoinPath(name, out, folder);
}

void CollectInstallPlaces(CLauncherMgr& mgr, InstallPlaces* places) {
  if (places == nullptr) return;
  char folder[kMaxPath];
  // The Windows folder is no place, nor anything in it; the others only may not be a
  // place or lie inside one (a game folder below Program Files is the usual case).
  if (GetSpecialFolder(CSIDL_WINDOWS, folder)) places->ProtectTree(folder);
  static const int kProtected[] = {
      CSIDL_PROGRAM_FILES,    CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_COMMON_APPDATA,
      CSIDL_PROFILE,          CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,        CSIDL_PERSONAL,
      CSIDL_DESKTOPDIRECTORY, CSIDL_STARTMENU,        CSIDL_PROGRAMS,             CSIDL_COMMON_STARTMENU,
      CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_DESKTOPDIRECTORY,
  };
  for (int csidl : kProtected) {
    if (GetSpecialFolder(csidl, folder)) places->Protect(folder);
  }
  if (GetSpecialFolder(CSIDL_PROFILE, folder)) {
    char profiles[kMaxPath];
    places->Protect(GetParentDir(profiles, folder));
  }

  char place[kMaxPath];
  places->AddFolder(mgr.m_gameDir);
  // A title or folder name that is no single sound name would make a place of its parent.
  if (GetFolderBelow(CSIDL_PROGRAMS, mgr.m_title, place)) places->AddFolder(place);
  if (GetFolderBelow(CSIDL_PERSONAL, mgr.m_userFolderName, place)) places->AddFolder(place);
  if (GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, folder)) {
    char name[kMaxPath];
    if (FormatString(name, sizeof(name), "%s.lnk", mgr.m_title) && IsSoundName(name) &&
        JoinPath(name, place, folder)) {
      places->AddFile(place);
    }
    mgr.GetString(sizeof(name), name, IDS_PORTAL_LINK);
    if (IsSoundName(name) && JoinPath(name, place, folder)) places->AddFile(place);
  }
}

RemovalResult RemoveInsidePlaces(const InstallPlaces& places, const char* path, RemovalKind kind) {
  std::string canonical;
  std::size_t placeLength = 0;
  switch (places.Judge(path, &canonical, &placeLength)) {
    case InstallPlaces::Verdict::Inside:
      break;
    case InstallPlaces::Verdict::Above:
      return RemovalResult::Above;
    case InstallPlaces::Verdict::Outside:
      return RemovalResult::Outside;
  }
  // Every folder from the place down to the path's parent; the place itself included
  // when the path lies below it. Scanned by character: a Big5 trail byte is no "\".
  const char* text = canonical.c_str();
  for (const char* p = text + placeLength; *p != '\0'; p = NextPathChar(p)) {
    if (*p != '\\') continue;
    const std::string folder(text, static_cast<std::size_t>(p - text));
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return RemovalResult::Missing;
    if (IsLink(attributes)) return RemovalResult::BehindLink;
  }
  const DWORD attributes = GetFileAttributesA(text);
  if (attributes == INVALID_FILE_ATTRIBUTES) return RemovalResult::Missing;
  bool removed = false;
  if (IsLink(attributes)) {
    removed = RemoveLink(text, attributes);
  } else if (kind == RemovalKind::File) {
    removed = DeleteFileA(text) != FALSE;
  } else if (kind == RemovalKind::Folder) {
    removed = RemoveDirectoryA(text) != FALSE;  // fails while anything is left in it, as intended
  } else {
    removed = RemoveTreeWithoutLinks(text);
  }
  return removed ? RemovalResult::Removed : RemovalResult::Failed;
}

bool RemoveTreeWithoutLinks(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  const DWORD top = GetFileAttributesA(path);
  if (top == INVALID_FILE_ATTRIBUTES) return true;
  if (IsLink(top)) return RemoveLink(path, top);
  char pattern[kChildPath];
  if (!FormatString(pattern, sizeof(pattern), "%s\\*", path)) return false;
  {
    for (CDirectoryIterator entry(pattern); entry.Next();) {
      if (entry.IsDotEntry()) continue;
      char child[kChildPath];
      if (!JoinPath(entry.Name(), child, path, sizeof(child))) continue;
      const DWORD attributes = entry.Entry().dwFileAttributes;
      if (IsLink(attributes)) {
        RemoveLink(child, attributes);
      } else if (entry.IsFolder()) {
        RemoveTreeWithoutLinks(child);
      } else {
        SetFileAttributesA(child, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child);
      }
    }
  }
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryA(path) != FALSE || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

void LogRefusedRemoval(const char* who, const char* path, RemovalResult result) {
  if (result == RemovalResult::Outside) {
    g_launcher.Log("%s : \"%s\" lies outside the installation, skipped.", who, path);
  } else if (result == RemovalResult::BehindLink) {
    g_launcher.Log("%s : \"%s\" lies behind a link, skipped.", who, path);
  }
}
