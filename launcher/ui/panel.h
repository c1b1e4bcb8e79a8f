// Where long-running work reports its progress. The work only calls these six operations;
// a dialog's panel draws them, the pipe panel writes them as text lines for a host.
#pragma once
#include <cstdint>

enum PanelType : int {
  PanelGeneral = 0,
  PanelDownload = 1,
  PanelExtract = 2,
  PanelNone = 255,
};

class IPanel {
 public:
  virtual void SetPanelType(PanelType type) = 0;
  virtual void SetGameVersion(int version) = 0;
  virtual void SetText(const char* text) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void SetSize(std::uint64_t done, std::uint64_t total) = 0;
  // bytes of the current transfer and the millisecond tick at which it started
  virtual void SetSpeed(std::uint32_t bytes, std::uint32_t startTick) = 0;

 protected:
  ~IPanel() = default;  // panels are never deleted through the interface
};
