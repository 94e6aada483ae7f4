// A monitor in a temporary folder plus one private nginx shared by the tests
// of a suite, with a board folder served from it.
#pragma once

#include <memory>
#include <string>

#include "common/file_io.h"
#include "monitor/http/http_client.h"
#include "tests/monitor/core/test_support.h"
#include "tests/servers/nginx_server.h"

namespace yagura::testing {

class NginxMonitorTest : public MonitorTest {
 protected:
  static void SetUpTestSuite() {
    NginxServer::Options options;
    options.serverConfig = "    location = /moved/ { return 302 http://127.0.0.1/elsewhere/; }\n";
    nginx_ = std::make_unique<NginxServer>(options);
  }
  static void TearDownTestSuite() { nginx_.reset(); }
  void SetUp() override {
    MonitorTest::SetUp();
    ASSERT_TRUE(nginx_->Running()) << nginx_->ErrorLog();
  }
  // The contents of a file, or "<missing>".
  static std::string Contents(const std::string& path) {
    return common::ReadWholeFile(path).value_or("<missing>");
  }

  static std::unique_ptr<NginxServer> nginx_;
  HttpClient client{m};
};

inline std::unique_ptr<NginxServer> NginxMonitorTest::nginx_;

}  // namespace yagura::testing
