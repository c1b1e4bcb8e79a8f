// The web-browser control hosted in a child window of a dialog (the notice page of the
// launcher dialog). Host is the container object; ClientSite and InPlaceSite are the two
// sites handed to the control, which share the host's identity and reference count.
#pragma once
#include "launcher/core/windows_api.h"

#include <memory>

#include "launcher/core/win_handle.h"

class Host;

class ClientSite final : public IOleClientSite {
 public:
  explicit ClientSite(Host* host) : m_host(host) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE SaveObject() override;
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override;
  HRESULT STDMETHODCALLTYPE ShowObject() override;
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

 private:
  Host* m_host;
};

class InPlaceSite final : public IOleInPlaceSite {
 public:
  InPlaceSite(Host* host, HWND window) : m_host(host), m_window(window) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enterMode) override;
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
  HRESULT STDMETHODCALLTYPE OnUIActivate() override;
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                             RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* frameInfo) override;
  HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
  HRESULT STDMETHODCALLTYPE OnPosRectChange(const RECT* position) override;

 private:
  Host* m_host;
  HWND m_window;
};

// The owner (the launcher dialog) deletes a Host directly; Release reaching zero deletes
// it as well, for a control that is the last to let go.
class Host final : public IUnknown {
 public:
  // Creates the web-browser control in the window, sized to its client area. When the
  // control cannot be created the window is left as it is and Navigate does nothing.
  explicit Host(HWND window);
  // The same with another control class and server context (tests use a class that does not
  // exist, looked up in-process only: Wine would otherwise wait seconds for its RPC service).
  Host(HWND window, REFCLSID control, DWORD classContext = CLSCTX_ALL);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // Shows the page at the address (system code page; at most kMaxNavigateChars characters
  // of it are used). Does not wait for the page.
  void Navigate(const char* address);

  bool HasControl() const { return m_browser != nullptr; }

 private:
  void CreateControl(REFCLSID control, DWORD classContext);

  CComScope m_ole{true};  // first in, last out: every interface is gone before OLE ends
  std::unique_ptr<ClientSite> m_clientSite;
  std::unique_ptr<InPlaceSite> m_inPlaceSite;
  HWND m_window;
  IUnknown* m_browser = nullptr;
  int m_refCount = 1;
  bool m_destroying = false;
};

// Characters of an address handed to the control.
constexpr int kMaxNavigateChars = 255;

// The address in UTF-16 from the system code page, cut to kMaxNavigateChars characters
// (out holds kMaxNavigateChars + 1). Returns the number of characters.
int NavigateAddress(const char* address, wchar_t* out);
