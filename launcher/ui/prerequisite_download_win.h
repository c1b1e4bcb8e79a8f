// The prerequisite download dialog on template IDD_PREREQUISITE_DOWNLOAD (the launcher's, or an equivalent one a
// test builds). The transfer goes through a download manager and is driven by the dialog's
// timer, one block per tick, so the dialog answers its buttons without a worker.
#pragma once
#include "launcher/core/windows_api.h"

#include <cstdint>
#include <memory>

#include "launcher/core/limits.h"
#include "launcher/core/win_handle.h"
#include "launcher/transfer/download_mgr.h"
#include "launcher/ui/modal_dialog.h"
#include "launcher/ui/prerequisite_download.h"

class CPrerequisiteDownload : public CModalDialog {
 public:
  // parameter: the text of FormatDownloadParameter; it must outlive the dialog.
  explicit CPrerequisiteDownload(const char* parameter) : CModalDialog(kDownloadTemplate), m_parameter(parameter) {}

 protected:
  INT_PTR OnInitDialog() override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  bool OpenRemote(const char* address);
  bool ChooseTarget(const char* folder, const char* address);
  void EndWith(INT_PTR result);
  void StartOrReport();
  void OnTick();
  void OnTransferEnd(bool readFailed);
  void OnCancel();
  void OnDestroy();

  const char* m_parameter;
  std::unique_ptr<CDownloadMgr> m_remote;
  CFileHandle m_local;
  char m_path[kMaxPath] = {};
  std::uint32_t m_expected = 0;
  std::uint64_t m_total = 0;
  bool m_busy = false;  // a tick (or the cancel question) is under way
  // The first block, read before the local file is made: a server that has no such file
  // answers it, and then nothing is created.
  char m_first[kPrerequisiteBlock] = {};
  std::uint64_t m_firstCount = 0;
  bool m_firstPending = false;
};
