#include "monitor/http/response_head.h"

#include <gtest/gtest.h>

namespace yagura {
namespace {

TEST(ResponseHeadTest, StatusCodes) {
  const struct {
    const char* line;
    int code;
  } cases[] = {
      {"HTTP/1.1 206 Partial Content", 206},
      {"HTTP/1.0 200 OK", 200},
      {"HTTP/1.1 304", 304},  // no reason phrase
      {"HTTP/1.1 416 Requested Range Not Satisfiable", 416},
      {"HTTP/1.1", 0},
      {"HTTP/1.1 2000 Big", 0},
      {"HTTP/1.1 20x OK", 0},
      {"Date: 200 OK", 0},  // not a status line
      {"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusCodeOf(c.line), c.code) << c.line;
    EXPECT_EQ(ResponseHead::Parse(std::string(c.line) + "\r\n").StatusCode(), c.code) << c.line;
  }
}

TEST(ResponseHeadTest, FindsHeadersIgnoringCaseAndBlanks) {
  const ResponseHead head = ResponseHead::Parse(
      "HTTP/1.1 200 OK\r\n"
      "content-length:  120 \r\n"
      "Last-Modified: Sat, 02 Jan 2010 03:04:05 GMT\r\n"
      "X-Empty:\r\n"
      "Content-Length: 999\r\n"
      "\r\n"
      "Server: after the head\r\n");
  EXPECT_EQ(head.StatusLine(), "HTTP/1.1 200 OK");
  EXPECT_EQ(head.Find("Content-Length"), "120");  // the first of two
  EXPECT_EQ(head.ContentLength(), 120);
  EXPECT_EQ(head.Find("LAST-MODIFIED"), "Sat, 02 Jan 2010 03:04:05 GMT");
  EXPECT_EQ(head.Find("x-empty"), "");
  EXPECT_FALSE(head.Find("Server"));  // the head ended at the empty line
  EXPECT_FALSE(head.Find("Content"));
}

TEST(ResponseHeadTest, ContentLengthMustBeANumber) {
  const struct {
    const char* value;
    long long expected;  // -1: none
  } cases[] = {{"0", 0}, {"52429", 52429}, {"12abc", -1}, {"-5", -1}, {"", -1}};
  for (const auto& c : cases) {
    const auto length =
        ResponseHead::Parse(std::string("HTTP/1.1 200 OK\nContent-Length: ") + c.value + "\n")
            .ContentLength();
    EXPECT_EQ(length.value_or(-1), c.expected) << c.value;
  }
  EXPECT_FALSE(ResponseHead::Parse("HTTP/1.1 200 OK\r\n").ContentLength());
}

}  // namespace
}  // namespace yagura
