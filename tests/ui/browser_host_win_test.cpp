// The browser host's COM contract under Wine. Wine has no HTML engine here, so whether the
// control itself comes up is the prefix's business; the container must behave either way.
#include "launcher/ui/browser_host.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

const CLSID kNoSuchControl = {0x1b2d7c9e, 0x0d51, 0x4f7a, {0x9e, 0x11, 0x52, 0x60, 0x7a, 0x3c, 0x88, 0x01}};

struct TestWindow {
  HWND window = CreateWindowExA(0, "STATIC", "host area", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ~TestWindow() { DestroyWindow(window); }
};

// The size of the control's own window inside the host window, or an empty size.
SIZE ControlSize(HWND window) {
  RECT rect = {0, 0, 0, 0};
  if (HWND child = GetWindow(window, GW_CHILD)) GetClientRect(child, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int ChildCount(HWND window) {
  int count = 0;
  EnumChildWindows(window, &CountChild, reinterpret_cast<LPARAM>(&count));
  return count;
}

// True when the calling thread is in no apartment: every OleInitialize was balanced.
bool ThreadOutsideCom() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (SUCCEEDED(hr)) CoUninitialize();
  return hr == S_OK;
}

// Runs f on a thread of its own, so the apartment state seen is the host's alone.
template <typename F>
void OnFreshThread(F f) {
  std::thread(f).join();
}

}  // namespace

TEST(BrowserHost, QueryInterfaceHandsOutTheHostAndItsSites) {
  TestWindow w;
  Host host(w.window, kNoSuchControl, CLSCTX_INPROC_SERVER);
  void* unknown = nullptr;
  void* client = nullptr;
  void* inPlace = nullptr;
  ASSERT_EQ(host.QueryInterface(IID_IUnknown, &unknown), S_OK);
  ASSERT_EQ(host.QueryInterface(IID_IOleClientSite, &client), S_OK);
  ASSERT_EQ(host.QueryInterface(IID_IOleInPlaceSite, &inPlace), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(&host));
  EXPECT_NE(client, nullptr);
  EXPECT_NE(inPlace, nullptr);

  // Either site answers for the same object.
  auto* clientSite = static_cast<IOleClientSite*>(client);
  auto* inPlaceSite = static_cast<IOleInPlaceSite*>(inPlace);
  void* again = nullptr;
  EXPECT_EQ(clientSite->QueryInterface(IID_IUnknown, &again), S_OK);
  EXPECT_EQ(again, unknown);
  EXPECT_EQ(inPlaceSite->QueryInterface(IID_IOleClientSite, &again), S_OK);
  EXPECT_EQ(again, client);
  EXPECT_EQ(clientSite->QueryInterface(IID_IOleInPlaceSite, &again), S_OK);
  EXPECT_EQ(again, inPlace);

  for (const IID* iid : {&IID_IDispatch, &IID_IOleObject, &IID_IOleInPlaceFrame, &IID_IOleContainer}) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(host.QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(clientSite->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(host.QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_EQ(inPlaceSite->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);

  // Six references were handed out above (three by the host, three by the sites).
  EXPECT_EQ(host.AddRef(), 8u);
  for (int i = 0; i < 7; ++i) host.Release();
  EXPECT_EQ(host.AddRef(), 2u);
  EXPECT_EQ(host.Release(), 1u);
}

TEST(BrowserHost, SitesShareTheHostsCount) {
  TestWindow w;
  Host host(w.window, kNoSuchControl, CLSCTX_INPROC_SERVER);
  IOleClientSite* client = nullptr;
  IOleInPlaceSite* inPlace = nullptr;
  ASSERT_EQ(host.QueryInterface(IID_IOleClientSite, reinterpret_cast<void**>(&client)), S_OK);
  ASSERT_EQ(host.QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace)), S_OK);
  EXPECT_EQ(client->AddRef(), 4u);
  EXPECT_EQ(inPlace->AddRef(), 5u);
  EXPECT_EQ(host.AddRef(), 6u);
  EXPECT_EQ(inPlace->Release(), 5u);
  EXPECT_EQ(client->Release(), 4u);
  EXPECT_EQ(host.Release(), 3u);
  EXPECT_EQ(client->Release(), 2u);
  EXPECT_EQ(inPlace->Release(), 1u);

  HWND window = nullptr;
  EXPECT_EQ(inPlace->GetWindow(&window), S_OK);
  EXPECT_EQ(window, w.window);
  IOleInPlaceFrame* frame = reinterpret_cast<IOleInPlaceFrame*>(0x1234);
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(0x1234);
  RECT position = {1, 2, 3, 4}, clip = {5, 6, 7, 8};
  OLEINPLACEFRAMEINFO info = {};
  EXPECT_EQ(inPlace->GetWindowContext(&frame, &document, &position, &clip, &info), S_OK);
  EXPECT_EQ(frame, nullptr);
  EXPECT_EQ(document, nullptr);
  IMoniker* moniker = reinterpret_cast<IMoniker*>(0x1234);
  EXPECT_EQ(client->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &moniker), S_OK);
  EXPECT_EQ(moniker, nullptr);
  IOleContainer* container = nullptr;
  EXPECT_EQ(client->GetContainer(&container), E_NOTIMPL);
}

TEST(BrowserHost, ReleaseToZeroEndsTheHostAndItsOle) {
  OnFreshThread([] {
    TestWindow w;
    Host* host = new Host(w.window, kNoSuchControl, CLSCTX_INPROC_SERVER);
    IOleInPlaceSite* site = nullptr;
    ASSERT_EQ(host->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site)), S_OK);
    EXPECT_FALSE(ThreadOutsideCom());
    EXPECT_EQ(host->Release(), 1u);
    EXPECT_EQ(site->Release(), 0u);  // the last reference, through a site
    EXPECT_TRUE(ThreadOutsideCom());
  });
}

TEST(BrowserHost, AControlThatCannotBeCreatedLeavesTheAreaAlone) {
  OnFreshThread([] {
    TestWindow w;
    {
      Host host(w.window, kNoSuchControl, CLSCTX_INPROC_SERVER);
      EXPECT_FALSE(host.HasControl());
      host.Navigate("http://127.0.0.1/notice.html");
      host.Navigate(nullptr);
      EXPECT_EQ(ChildCount(w.window), 0);
      char text[32] = {};
      GetWindowTextA(w.window, text, sizeof(text));
      EXPECT_STREQ(text, "host area");
    }
    EXPECT_TRUE(ThreadOutsideCom());
  });
}

TEST(BrowserHost, ASecondHostOnTheSameWindowAfterTheFirstWasDeleted) {
  OnFreshThread([] {
    TestWindow w;
    Host* first = new Host(w.window);
    first->Navigate("about:blank");
    const bool control = first->HasControl();
    if (control) {  // in place, filling the area
      EXPECT_EQ(ControlSize(w.window).cx, 400);
      EXPECT_EQ(ControlSize(w.window).cy, 300);
    }
    delete first;  // as the launcher dialog does: directly, not through Release
    EXPECT_TRUE(ThreadOutsideCom());
    EXPECT_EQ(ChildCount(w.window), 0);

    Host* second = new Host(w.window);
    EXPECT_EQ(second->HasControl(), control);
    if (control) {
      EXPECT_GT(ChildCount(w.window), 0);
    }
    EXPECT_FALSE(ThreadOutsideCom());
    second->Navigate("about:blank");
    delete second;
    EXPECT_TRUE(ThreadOutsideCom());
    EXPECT_EQ(ChildCount(w.window), 0);
  });
}

TEST(BrowserHost, AddressesAreConvertedFromTheSystemCodePageAndCut) {
  const struct {
    std::string narrow;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"http://127.0.0.1/notice.html", L"http://127.0.0.1/notice.html"},
      {"http://x/\xa4\xbd\xa7\x69.html", L"http://x/\u516c\u544a.html"},  // 公告 in Big5
      {std::string(255, 'a'), std::wstring(255, L'a')},
      {std::string(256, 'a'), std::wstring(255, L'a')},
      {std::string(254, 'a') + "\xa4\xbd\xa7\x69", std::wstring(254, L'a') + L"\u516c"},
  };
  ASSERT_EQ(GetACP(), 950u);
  for (const auto& c : cases) {
    wchar_t out[kMaxNavigateChars + 1];
    EXPECT_EQ(NavigateAddress(c.narrow.c_str(), out), static_cast<int>(c.wide.size()));
    EXPECT_EQ(std::wstring(out), c.wide) << c.narrow;
  }
  wchar_t out[kMaxNavigateChars + 1] = L"x";
  EXPECT_EQ(NavigateAddress(nullptr, out), 0);
  EXPECT_EQ(out[0], L'\0');
}
