// The parts of CLauncherMgr that only compute: command line, game directory, log lines.
#include "launcher/core/launcher_mgr.h"

#include <cstring>
#include <string>

#include "build_settings.h"
#include "launcher/core/log_output.h"
#include "launcher/core/paths.h"
#include "launcher/core/token_reader.h"

CLauncherMgr g_launcher;

void CLauncherMgr::ResetState() {
  m_mode = ModePatch;
  m_forcePatch = m_repair = m_forceUpdateLauncher = m_npc = false;
  m_ogmInstall = m_oguTry = m_installRequested = m_exePatch = false;
  m_pipeMode = m_hostPlay = false;
  m_exitCode = 0;
  for (char* field : {m_currentDir, m_gameDir, m_installerDir, m_patchDir, m_clientArgs,
                      m_loginAddress, m_devFtp, m_title, m_userFolderName, m_domain, m_passN,
                      m_passV, m_passT, m_logPath}) {
    field[0] = '\0';
  }
  m_passport[0] = '\0';
  CopyString(m_patchBaseUrl, TALV_PATCH_BASE_URL);
}

namespace {

// Copies an option value into its field; an over-long value is cut to the field and the
// cut is logged so that support can see why an option looks truncated.
template <std::size_t N>
void CopyOption(const CLauncherMgr& mgr, char (&field)[N], const char* value, const char* option) {
  if (!CopyString(field, value)) {
    mgr.Log("CLauncherMgr::ParseCommandLine() : value of \"%s\" cut to %u characters.", option,
            static_cast<unsigned>(N - 1));
  }
}

}  // namespace

void CLauncherMgr::ParseCommandLine() {
  m_mode = ModePatch;
  TokenReader reader(m_commandLine);
  reader.AddDelimiter('\r').AddDelimiter('\n').AddDelimiter('\t').AddDelimiter(' ');
  while (char* token = reader.NextToken()) {
    if (token[0] == '/') {
      if (EqualsNoCase(token, "/install")) {
        m_installRequested = true;
        m_mode = ModeInstall;
        Log("Patch Installer mode");
      } else if (EqualsNoCase(token, "/uninstall")) {
        m_mode = ModeUninstall;
        Log("Uninstaller mode");
      } else if (EqualsNoCase(token, "/ogm_install")) {
        m_ogmInstall = true;
      } else if (EqualsNoCase(token, "/pipe")) {
        m_pipeMode = true;
      }
      if (StartsWithNoCase(token, "/N:", 3)) {
        CopyOption(*this, m_passN, token + 3, "/N:");
      } else if (StartsWithNoCase(token, "/V:", 3)) {
        CopyOption(*this, m_passV, token + 3, "/V:");
      } else if (StartsWithNoCase(token, "/T:", 3)) {
        CopyOption(*this, m_passT, token + 3, "/T:");
      } else if (StartsWithNoCase(token, "/P:", 3)) {
        CopyOption(*this, m_passport, token + 3, "/P:");
      } else if (StartsWithNoCase(token, "/OPP:", 5)) {
        CopyOption(*this, m_passport, token + 5, "/OPP:");
      }
    }
    if (EqualsNoCase(token, "force_patch")) {
      m_forcePatch = true;
      Log("force_patch mode");
    }
    if (EqualsNoCase(token, "repair")) {
      m_repair = true;
      Log("repair mode");
    }
    if (EqualsNoCase(token, "force_updatelauncher")) {
      m_forceUpdateLauncher = true;
      Log("force_updatelauncher mode");
    } else if (StartsWithNoCase(token, "devftp:", 7)) {
      CopyOption(*this, m_devFtp, token + 7, "devftp:");
    } else if (EqualsNoCase(token, "npc")) {
      m_npc = true;
    } else if (StartsWithNoCase(token, "domain:", 7)) {
      CopyOption(*this, m_domain, token + 7, "domain:");
    } else if (StartsWithNoCase(token, "TK_OGU_TRY", 10)) {
      m_oguTry = true;
    } else if (StartsWithNoCase(token, "patchurl:", 9)) {
      // Replaces the compiled-in patch base for this run (test rigs, staging servers).
      CopyOption(*this, m_patchBaseUrl, token + 9, "patchurl:");
    } else if (EqualsNoCase(token, "play")) {
      m_hostPlay = true;
    }
  }
}

bool CLauncherMgr::SetGameDir(const char* path) {
  if (!m_initialized || path == nullptr) return false;
  char gameDir[kMaxPath];
  char installerDir[kMaxPath];
  char patchDir[kMaxPath];
  // A path that does not fit, with its derived folders, is refused: a cut path would name
  // another folder.
  if (std::strlen(path) <= 3 || !CopyString(gameDir, path) ||
      !JoinPath("Talvenor Installer", installerDir, gameDir) ||
      !JoinPath("patch", patchDir, gameDir)) {
    Log("ERROR : CLauncherMgr::SetGameDir() : invalid path : \"%s\".", path);
    return false;
  }
  CopyString(m_gameDir, gameDir);
  CopyString(m_installerDir, installerDir);
  CopyString(m_patchDir, patchDir);
  Log("Game directory is \"%s\".", m_gameDir);
  return true;
}

void CLauncherMgr::SetLoginAddress(const char* address) {
  if (address != nullptr) CopyString(m_loginAddress, address);
}

void CLauncherMgr::SetClientArgs(const char* args) {
  if (args != nullptr) CopyString(m_clientArgs, args);
}

bool CLauncherMgr::InstallerDataFile(const char* modulePath, const char* extension, char* out,
                                     std::size_t outSize) const {
  char name[kMaxPath];
  GetFileNamePart(name, modulePath);
  std::string path = std::string(m_currentDir) + name;
  ReplaceAll(path, "exe", extension);
  if (!CopyString(out, outSize, path.c_str())) {
    out[0] = '\0';
    return false;
  }
  return true;
}

void CLauncherMgr::Log(const char* format, ...) const {
  if (!m_initialized || format == nullptr) return;
  char line[kMaxLogLine];
  va_list args;
  va_start(args, format);
  // Room for CR LF and the zero; a longer text is cut.
  FormatStringV(line, sizeof(line) - 2, format, args);
  va_end(args);
  std::size_t length = std::strlen(line);
  line[length++] = '\r';
  line[length++] = '\n';
  line[length] = '\0';
  if (m_logTap != nullptr) m_logTap(line, m_logTapContext);
  WriteLogOutput(m_logPath, line, length);
}

std::string CLauncherMgr::HostMessageLine(int stringId, const char* text) {
  std::string out = "message : " + std::to_string(stringId) + " : ";
  if (text == nullptr) return out;
  if (text[0] == 8 || text[0] == 9) ++text;  // the stay-on-top mark of a message box
  bool lineStart = true;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r' || *p == '\n') {
      lineStart = true;
      continue;
    }
    if (lineStart && *p == '#') {
      lineStart = false;
      continue;
    }
    lineStart = false;
    out += *p;
  }
  return out;
}

void CLauncherMgr::Run() {
  if (!m_initialized || m_screens == nullptr) return;
  m_screens->run(*this);
}

CDialog* CLauncherMgr::CreateDialog(ScreenType type) {
  if (!m_initialized) return nullptr;
  CDialog* dialog = m_screens != nullptr ? m_screens->create(type) : nullptr;
  if (dialog == nullptr) {
    Log("CLauncherMgr::CreateDialog(%d) failed.", static_cast<int>(type));
    return nullptr;
  }
  m_dialogs.push_back(dialog);
  return dialog;
}
