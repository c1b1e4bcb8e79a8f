// Times the two stages of a local installation on their own, as the installer runs them:
//   install_bench extract ARCHIVE GAME_DIR LOG      CInstallHelper::ExtractArchive
//   install_bench join FOLDER PART...              CInstallHelper::MergeSplitFiles
// Prints "ms N" (the stage alone, without starting the program or Wine). The log is
// written as the launcher writes it: one line per extracted file.
#include "launcher/core/windows_api.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_clock.h"
#include "launcher/core/launcher_mgr.h"
#include "launcher/core/text.h"
#include "launcher/install/install_helper.h"
#include "launcher/patch/version_info.h"

int main(int argc, char** argv) {
  if (argc >= 5 && std::strcmp(argv[1], "extract") == 0) {
    g_launcher.m_initialized = true;
    CopyString(g_launcher.m_logPath, argv[4]);
    CopyString(g_launcher.m_gameDir, argv[3]);
    unzFile archive = unzOpen(argv[2]);
    CInstallHelper helper(nullptr, nullptr);
    const double start = NowSeconds();
    const bool ok = helper.ExtractArchive(archive, argv[2]);
    const double seconds = NowSeconds() - start;
    unzClose(archive);
    if (!ok) return 1;
    std::printf("ms %.0f\n", seconds * 1000);
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "join") == 0) {
    CopyString(g_launcher.m_currentDir, (std::string(argv[2]) + "\\").c_str());
    CopyString(g_launcher.m_installerDir, argv[2]);
    std::string manifest;
    for (int i = 3; i < argc; ++i) manifest += std::string(argv[i]) + ",1,00000000000000000000000000000000,1\r\n";
    CVersionInfo parts;
    if (!parts.ReadFromMemory(manifest.c_str())) return 2;
    CInstallHelper helper(nullptr, nullptr);
    char joined[kMaxPath];
    const double start = NowSeconds();
    const bool ok = helper.MergeSplitFiles(parts, joined);
    const double seconds = NowSeconds() - start;
    if (!ok) return 1;
    std::printf("ms %.0f\n", seconds * 1000);
    return 0;
  }
  std::fprintf(stderr, "usage: install_bench extract ARCHIVE GAME_DIR LOG | join FOLDER PART...\n");
  return 2;
}
