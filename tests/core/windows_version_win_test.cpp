// The version class and the administrator test as Wine answers them: Wine reports Windows
// 6.1 and runs its programs as an administrator with a full token, whose linked token is
// the filtered one user account control would hand out.
#include "launcher/core/windows_api.h"

#include <gtest/gtest.h>

#include "launcher/core/win_handle.h"
#include "launcher/core/windows_version.h"

namespace {

TOKEN_ELEVATION_TYPE ElevationOf(HANDLE token) {
  TOKEN_ELEVATION_TYPE elevation = TokenElevationTypeDefault;
  DWORD size = 0;
  GetTokenInformation(token, TokenElevationType, &elevation, sizeof(elevation), &size);
  return elevation;
}

}  // namespace

TEST(WindowsVersionWin, WineIsClassSeven) { EXPECT_EQ(GetWindowsVersionClass(), 7); }

TEST(WindowsVersionWin, AnAdministratorCountsAlsoWithTheFilteredToken) {
  EXPECT_TRUE(IsUserAdministrator());
  CKernelHandle own;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, own.put()));
  ASSERT_EQ(ElevationOf(own.get()), TokenElevationTypeFull);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(own.get(), TokenLinkedToken, &linked, sizeof(linked), &size));
  CKernelHandle filtered(linked.LinkedToken);
  ASSERT_EQ(ElevationOf(filtered.get()), TokenElevationTypeLimited);
  EXPECT_TRUE(IsAdministratorToken(filtered.get()));
  EXPECT_FALSE(IsAdministratorToken(nullptr));
}
