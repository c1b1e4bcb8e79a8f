// talvpack commands register themselves: one file per command, no central list to edit.
#pragma once
#include <string>
#include <vector>

using CommandMain = int (*)(const std::vector<std::string>& args);  // args after the command word

struct CommandInfo {
  const char* name;
  const char* synopsis;  // one usage line
  const char* help;      // shown by "talvpack help NAME"
  CommandMain main;
};

std::vector<CommandInfo>& Commands();

struct CommandRegistrar {
  explicit CommandRegistrar(const CommandInfo& info) { Commands().push_back(info); }
};

#define TALVPACK_COMMAND(ident, name, synopsis, help, fn) \
  static CommandRegistrar ident##_registrar(CommandInfo{name, synopsis, help, fn})
