#include "launcher/core/process.h"

#include "launcher/core/windows_api.h"

#include "launcher/core/launcher_mgr.h"
#include "launcher/core/win_handle.h"

bool CProcess::CreateProcess(const char* commandLine, const char* workingDir) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  // No standard handles for the started program: in host mode the launcher's output is the
  // host's pipe, and a game client that kept a copy of it would hold the host's read open
  // until the game ends.
  startup.dwFlags = STARTF_USESTDHANDLES;
  char buffer[kMaxCommandLine];
  char* line = nullptr;
  if (commandLine != nullptr) {
    // A cut command line would start the program with other arguments: refused instead.
    if (!CopyString(buffer, commandLine)) {
      g_launcher.Log("CProcess::CreateProcess() : CreateProcess() failed : code%d", static_cast<int>(ERROR_BUFFER_OVERFLOW));
      return false;
    }
    line = buffer;
  }
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, workingDir, &startup, &info)) {
    g_launcher.Log("CProcess::CreateProcess() : CreateProcess() failed : code%d", static_cast<int>(GetLastError()));
    return false;
  }
  CKernelHandle process(info.hProcess);
  CKernelHandle thread(info.hThread);
  return true;
}

bool CEvent::Create() {
  Close();
  m_handle = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  return m_handle != nullptr;
}

void CEvent::Wait() {
  if (m_handle != nullptr) WaitForSingleObject(m_handle, INFINITE);
}

void CEvent::Set() {
  if (m_handle != nullptr) SetEvent(m_handle);
}

void CEvent::Close() {
  CKernelHandle owned(m_handle);
  m_handle = nullptr;
}
