// Taking server addresses apart: credentials, host, port, start directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "launcher/transfer/download_mgr.h"

namespace {

struct AddressCase {
  const char* text;
  const char* host;
  const char* user;
  const char* password;
  const char* path;
  int port;
};

}  // namespace

TEST(ServerAddress, Parse) {
  const AddressCase cases[] = {
      {"patch.example.com", "patch.example.com", "", "", "(cleared)", 0},
      {"patch.example.com\\\\", "patch.example.com", "", "", "(cleared)", 0},
      {"h\\/", "h\\", "", "", "/", 0},
      {"10.0.0.1:80", "10.0.0.1", "", "", "(cleared)", 80},
      {"10.0.0.1:8080/a/b", "10.0.0.1", "", "", "/a/b", 8080},
      {"host:/dir", "host", "", "", "/dir", 0},
      {"host:x12/", "host", "", "", "/", 0},
      {"host:21abc", "host", "", "", "(cleared)", 21},
      {"talv:secret@host:21/patch/", "host", "talv", "secret", "/patch/", 21},
      {"anon@host", "host", "anon", "", "(cleared)", 0},
      // The last "@" ends the credentials; the first one stays in the user name.
      {"me@corp:pw@host/p", "host", "me@corp", "pw", "/p", 0},
      // Only two parts of the credentials count.
      {"a:b:c@host", "host", "a", "b", "(cleared)", 0},
      // No scheme is recognised: it becomes the host, and "//" starts the path.
      {"http://patch.example.com:80/x", "http", "", "", "//patch.example.com:80/x", 0},
      {"ftp://u:p@h/d", "h", "ftp", "//u", "/d", 0},
      {"", "", "", "", "(cleared)", 0},
      // A port beyond 32 bits saturates rather than overflowing.
      {"h:99999999999999999999", "h", "", "", "(cleared)", 2147483647},
  };
  for (const auto& c : cases) {
    ServerAddress a;
    std::snprintf(a.path, sizeof(a.path), "(cleared)");
    ASSERT_TRUE(ParseServerAddress(c.text, &a)) << c.text;
    EXPECT_STREQ(a.host, c.host) << c.text;
    EXPECT_STREQ(a.user, c.user) << c.text;
    EXPECT_STREQ(a.password, c.password) << c.text;
    EXPECT_STREQ(a.path, c.path) << c.text;
    EXPECT_EQ(a.port, c.port) << c.text;
  }
}

TEST(ServerAddress, ProtocolFollowsThePortAlone) {
  EXPECT_EQ(ProtocolForPort(80), kProtocolHttp);
  for (int port : {0, 21, 8080, 443, 65616}) EXPECT_EQ(ProtocolForPort(port), kProtocolFtp) << port;
}

TEST(ServerAddress, RefusesFieldsThatDoNotFit) {
  const std::string long259(259, 'a');
  const std::string long260(260, 'a');
  const std::string fitting[] = {long259, "u:" + long259 + "@h", "h/" + long259.substr(1)};
  for (const auto& text : fitting) {
    ServerAddress a;
    EXPECT_TRUE(ParseServerAddress(text.c_str(), &a)) << text.size();
  }
  const std::string refused[] = {long260, long260 + "@h", "u:" + long260 + "@h", "h/" + long259,
                                 long260 + ":21/p"};
  for (const auto& text : refused) {
    ServerAddress a;
    std::snprintf(a.host, sizeof(a.host), "kept");
    EXPECT_FALSE(ParseServerAddress(text.c_str(), &a)) << text.size();
    EXPECT_STREQ(a.host, "kept");
    EXPECT_STREQ(a.user, "");
    EXPECT_STREQ(a.path, "");
  }
  ServerAddress a;
  EXPECT_FALSE(ParseServerAddress(nullptr, &a));
}
