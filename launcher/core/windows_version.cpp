#include "launcher/core/windows_version.h"

int WindowsVersionClassOf(unsigned major, unsigned minor, bool queried) {
  if (!queried || major < 4 || major > 7) return 0;
  if (major == 4) {
    switch (minor) {
      case 0: return 1;
      case 1: return 6;   // minor 1 and 2 of major 4 read like 5.1 and 5.2
      case 2: return 5;
      case 10: return 2;
      case 90: return 3;
      default: return 7;
    }
  }
  if (major == 5) {
    switch (minor) {
      case 0: return 4;
      case 1: return 6;
      case 2: return 5;
      default: return 7;
    }
  }
  return 7;
}
