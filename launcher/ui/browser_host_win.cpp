#include "launcher/ui/browser_host.h"

#include <exdisp.h>

#include <string>

namespace {

// The interfaces are asked for by their numbers, so nothing depends on which of them the
// import libraries happen to define.
const IID kIidOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidOleInPlaceObject = {0x00000113, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIidWebBrowser2 = {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const CLSID kClsidWebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

RECT ClientOrigin(HWND window) {
  RECT rect = {0, 0, 0, 0};
  GetClientRect(window, &rect);
  OffsetRect(&rect, -rect.left, -rect.top);
  return rect;
}

}  // namespace

// --- Host ---------------------------------------------------------------------------------

Host::Host(HWND window) : Host(window, kClsidWebBrowser) {}

Host::Host(HWND window, REFCLSID control, DWORD classContext)
    : m_clientSite(new ClientSite(this)), m_inPlaceSite(new InPlaceSite(this, window)), m_window(window) {
  CreateControl(control, classContext);
}

void Host::CreateControl(REFCLSID control, DWORD classContext) {
  if (FAILED(CoCreateInstance(control, nullptr, classContext, IID_IUnknown, reinterpret_cast<void**>(&m_browser)))) {
    m_browser = nullptr;
    return;
  }
  CComPtr<IOleObject> object;
  if (FAILED(m_browser->QueryInterface(kIidOleObject, object.put())) || object.get() == nullptr) return;
  object->SetClientSite(m_clientSite.get());

  RECT rect = ClientOrigin(m_window);
  {
    CComPtr<IOleInPlaceObject> inPlace;
    if (SUCCEEDED(m_browser->QueryInterface(kIidOleInPlaceObject, inPlace.put())) && inPlace.get() != nullptr) {
      inPlace->SetObjectRects(&rect, &rect);
    }
  }
  object->DoVerb(OLEIVERB_SHOW, nullptr, m_clientSite.get(), 0, m_window, &rect);
}

Host::~Host() {
  m_destroying = true;
  if (m_browser != nullptr) {
    // Closed and cut off from its site first: the control must not call back into sites
    // that are about to go, whoever else still holds it.
    {
      CComPtr<IOleObject> object;
      if (SUCCEEDED(m_browser->QueryInterface(kIidOleObject, object.put())) && object.get() != nullptr) {
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
      }
    }
    m_browser->Release();
    m_browser = nullptr;
  }
  m_inPlaceSite.reset();
  m_clientSite.reset();
}

HRESULT Host::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(iid, IID_IOleClientSite)) {
    *out = static_cast<IOleClientSite*>(m_clientSite.get());
  } else if (IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *out = static_cast<IOleInPlaceSite*>(m_inPlaceSite.get());
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG Host::AddRef() { return static_cast<ULONG>(++m_refCount); }

ULONG Host::Release() {
  const int count = --m_refCount;
  // During destruction the control lets go of the sites: that must not delete again.
  if (count == 0 && !m_destroying) delete this;
  return static_cast<ULONG>(count);
}

void Host::Navigate(const char* address) {
  if (m_browser == nullptr || address == nullptr) return;
  CComPtr<IWebBrowser2> browser;
  if (FAILED(m_browser->QueryInterface(kIidWebBrowser2, browser.put())) || browser.get() == nullptr) return;
  wchar_t wide[kMaxNavigateChars + 1];
  NavigateAddress(address, wide);
  BSTR url = SysAllocString(wide);
  if (url == nullptr) return;
  VARIANT empty[4];
  for (VARIANT& v : empty) VariantInit(&v);
  browser->Navigate(url, &empty[0], &empty[1], &empty[2], &empty[3]);
  SysFreeString(url);
}

int NavigateAddress(const char* address, wchar_t* out) {
  out[0] = L'\0';
  if (address == nullptr || address[0] == '\0') return 0;
  // Converted whole, then cut: a fixed buffer would refuse a long address altogether.
  const int needed = MultiByteToWideChar(CP_ACP, 0, address, -1, nullptr, 0);
  if (needed <= 0) return 0;
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, address, -1, &wide[0], needed);
  int length = needed - 1;
  if (length > kMaxNavigateChars) length = kMaxNavigateChars;
  wide.copy(out, static_cast<std::size_t>(length));
  out[length] = L'\0';
  return length;
}

// --- ClientSite ---------------------------------------------------------------------------

HRESULT ClientSite::QueryInterface(REFIID iid, void** out) { return m_host->QueryInterface(iid, out); }
ULONG ClientSite::AddRef() { return m_host->AddRef(); }
ULONG ClientSite::Release() { return m_host->Release(); }
HRESULT ClientSite::SaveObject() { return S_OK; }
HRESULT ClientSite::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return S_OK;
}
HRESULT ClientSite::GetContainer(IOleContainer** container) {
  if (container != nullptr) *container = nullptr;
  return E_NOTIMPL;
}
HRESULT ClientSite::ShowObject() { return S_OK; }
HRESULT ClientSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT ClientSite::RequestNewObjectLayout() { return S_OK; }

// --- InPlaceSite --------------------------------------------------------------------------

HRESULT InPlaceSite::QueryInterface(REFIID iid, void** out) { return m_host->QueryInterface(iid, out); }
ULONG InPlaceSite::AddRef() { return m_host->AddRef(); }
ULONG InPlaceSite::Release() { return m_host->Release(); }
HRESULT InPlaceSite::GetWindow(HWND* window) {
  if (window == nullptr) return E_INVALIDARG;
  *window = m_window;
  return S_OK;
}
HRESULT InPlaceSite::ContextSensitiveHelp(BOOL) { return S_OK; }
HRESULT InPlaceSite::CanInPlaceActivate() { return S_OK; }
HRESULT InPlaceSite::OnInPlaceActivate() { return S_OK; }
HRESULT InPlaceSite::OnUIActivate() { return S_OK; }
HRESULT InPlaceSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT*, RECT*,
                                      OLEINPLACEFRAMEINFO*) {
  if (frame != nullptr) *frame = nullptr;
  if (document != nullptr) *document = nullptr;
  return S_OK;
}
HRESULT InPlaceSite::Scroll(SIZE) { return S_OK; }
HRESULT InPlaceSite::OnUIDeactivate(BOOL) { return S_OK; }
HRESULT InPlaceSite::OnInPlaceDeactivate() { return S_OK; }
HRESULT InPlaceSite::DiscardUndoState() { return S_OK; }
HRESULT InPlaceSite::DeactivateAndUndo() { return S_OK; }
HRESULT InPlaceSite::OnPosRectChange(const RECT*) { return S_OK; }
