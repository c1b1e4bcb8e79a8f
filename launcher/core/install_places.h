// The places an installation writes, and the judgement whether a path lies inside one of
// them. The uninstaller removes whatever the "Files" value lists, the launcher runs with
// administrator rights, and any program of the user can write that value: a path is
// admitted for removal only when it names, component by component, something inside
// these places. Pure logic, no Windows header.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "launcher/core/limits.h"

// A path read the way Windows reads it: "X:\...", "X:" or "\\server\share\...", "\" and "/"
// alike, repeated separators as one, Big5 characters kept whole (a trail byte 0x5C is no
// separator). Unsound, and refused: relative and drive-relative paths, a component "." or
// "..", one made of dots only or ending in a dot or a space (Windows trims those), one
// holding ":", a wildcard, a quote, "<", ">", "|" or a control byte, a device name (CON,
// NUL, COM1 ...), a lead byte without a valid trail byte, a component over 255 bytes.
struct SoundPath {
  // The first component is the drive ("C:") or "\\server"; a share path's second is the
  // share. rootCount counts these (1 or 2).
  std::vector<std::string> components;
  std::size_t rootCount = 0;

  // Backslash-separated, no trailing separator; "C:" alone becomes "C:\".
  std::string Text() const;
  // The byte length of the first n components in Text().
  std::size_t PrefixLength(std::size_t n) const;
};
bool ParseSoundPath(const char* path, SoundPath* out);

// A name fit to be one component on its own (the title as a folder name): sound as above,
// and without separators.
bool IsSoundName(const char* name);

// The folder of one name directly below a system folder (Programs \ title, Documents \ user
// folder name); false for a name that is not one sound component, which would make the
// system folder itself, or another, the installation's.
bool GetFolderBelow(int csidl, const char* name, char (&out)[kMaxPath]);

class InstallPlaces {
 public:
  enum class Verdict {
    Inside,   // a place itself or something below a folder place
    Above,    // a folder on the way to a place (a drive, the game folder's parents)
    Outside,  // anything else, every unsound path included
  };

  // Folders the places may never be or contain. Protect: a place may lie below, as the
  // game folder lies below Program Files. ProtectTree: no place inside either.
  void Protect(const char* path);
  void ProtectTree(const char* path);

  // A folder whose content may go, and the folder itself. Refused (false) when the path is
  // unsound, a drive or share root, or a protected folder or one above it.
  bool AddFolder(const char* path);
  // One file that may go (the desktop's links), refused on the same grounds.
  bool AddFile(const char* path);

  // Judges path. For Inside, *canonical gets SoundPath::Text() of it and *placeLength the
  // length of the place's own part in it: every folder from that part down to the path's
  // parent must be checked for links before anything is removed.
  Verdict Judge(const char* path, std::string* canonical, std::size_t* placeLength) const;

 private:
  struct Place {
    SoundPath path;
    bool folder;
  };
  bool Admissible(const SoundPath& path) const;

  std::vector<SoundPath> protected_;
  std::vector<SoundPath> protectedTrees_;
  std::vector<Place> places_;
};

// --- Windows effects (install_places_win.cpp) -------------------------------------------

class CLauncherMgr;

// The places of the installation mgr describes: the game folder, the start-menu folder
// Programs \ m_title, the user folder Documents \ m_userFolderName and the desktop's two
// links (m_title + ".lnk" and string 58), with the system's own folders protected. A place
// whose folder or name cannot be had is left out: nothing there is removed.
void CollectInstallPlaces(CLauncherMgr& mgr, InstallPlaces* places);

enum class RemovalKind {
  File,    // a file
  Folder,  // a folder, which goes only when it is empty
  Tree,    // a folder with everything in it
};
enum class RemovalResult {
  Removed,
  Failed,      // in use, read-only, a folder not empty ...
  Missing,     // nothing there
  Above,       // a folder on the way to a place: never removed
  Outside,     // not inside a place: refused
  BehindLink,  // a junction or symbolic link lies between the place and the path: refused
};

// Removes path when the places admit it. A link at the path itself (also a place that is a
// link) is removed as the link, never entered; a path reached through a link is refused.
// The check and the removal are separate calls: a program racing the removal to swap a
// folder for a link in between is not guarded against.
RemovalResult RemoveInsidePlaces(const InstallPlaces& places, const char* path, RemovalKind kind);

// Removes a folder and everything in it. A link met inside is removed itself, never
// entered. True when the folder is gone.
bool RemoveTreeWithoutLinks(const char* path);

// The one log line of a refused removal (Outside, BehindLink); who is the caller's prefix.
void LogRefusedRemoval(const char* who, const char* path, RemovalResult result);
