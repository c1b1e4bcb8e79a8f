// talvpack: the publisher's command-line tool that writes what the launcher reads.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/talvpack/command.h"
#include "tools/talvpack/host_names.h"

std::vector<CommandInfo>& Commands() {
  static std::vector<CommandInfo> commands;
  return commands;
}

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs("usage: talvpack COMMAND [OPTIONS]\n       talvpack help COMMAND\n\ncommands:\n", out);
  auto commands = Commands();
  std::sort(commands.begin(), commands.end(),
            [](const CommandInfo& a, const CommandInfo& b) { return std::strcmp(a.name, b.name) < 0; });
  for (const auto& c : commands) std::fprintf(out, "  %s\n", c.synopsis);
}

const CommandInfo* Find(const char* name) {
  for (const auto& c : Commands()) {
    if (std::strcmp(c.name, name) == 0) return &c;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
    if (argc > 2) {
      const CommandInfo* c = Find(argv[2]);
      if (c == nullptr) {
        std::fprintf(stderr, "talvpack: unknown command \"%s\"\n", argv[2]);
        return 2;
      }
      std::printf("usage: talvpack %s\n\n%s\n", c->synopsis, c->help);
      return 0;
    }
    PrintUsage(stdout);
    return 0;
  }
  const CommandInfo* c = Find(argv[1]);
  if (c == nullptr) {
    std::fprintf(stderr, "talvpack: unknown command \"%s\"\n", argv[1]);
    PrintUsage(stderr);
    return 2;
  }
  std::vector<std::string> words = talvpack::CommandWords(argc, argv);
  if (!words.empty()) words.erase(words.begin());  // the command's own word
  return c->main(words);
}
