#include "desktop_notification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrolin::linux_backend {
namespace {

TEST(BusAddress, UnixSocketsInOrderOthersPassedOver) {
  struct Row {
    const char* address;
    std::vector<std::string> sockets;  // "@" before an abstract name
  };
  const Row rows[] = {
      {"unix:path=/run/user/1000/bus", {"/run/user/1000/bus"}},
      {"unix:abstract=/tmp/dbus-Xa1,guid=9f3c", {"@/tmp/dbus-Xa1"}},
      {"unix:guid=9f3c,path=/tmp/a%20b%2cc", {"/tmp/a b,c"}},
      {"tcp:host=localhost,port=4000;unix:path=/p;unix:abstract=a", {"/p", "@a"}},
      {"unix:tmpdir=/tmp", {}},
      {"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address);
    std::vector<std::string> got;
    for (const BusSocket& socket : ParseBusAddress(row.address))
      got.push_back((socket.abstract ? "@" : "") + socket.name);
    EXPECT_EQ(got, row.sockets);
  }
}

}  // namespace
}  // namespace tavrolin::linux_backend
