// talvpack: publisher's command-line tool.
#include <cstdio>
#include <cstring>

namespace {

void PrintUsage(std::FILE* out) {
  std::fputs("usage: talvpack COMMAND [OPTIONS]\n", out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    PrintUsage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  std::fprintf(stderr, "talvpack: unknown command \"%s\"\n", argv[1]);
  return 2;
}
