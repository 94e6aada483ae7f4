#include "monitor/http/header_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "common/file_io.h"

namespace yagura {
namespace {

class HeaderFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/yagura_head_XXXXXX";
    folder_ = mkdtemp(pattern);
    path = folder_ + "/k.dat.head";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void Write(const std::string& bytes) { ASSERT_TRUE(common::ReplaceFileAtomically(path, bytes)); }
  std::string Read() { return common::ReadWholeFile(path).value_or("<missing>"); }

  std::string folder_;
  std::string path;
};

constexpr const char* kStored =
    "HTTP/1.1 200 OK\r\n"
    "Server: nginx\r\n"
    "Date: Mon, 01 Feb 2010 00:00:00 GMT\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Length: 1234\r\n"
    "Last-Modified: Sun, 31 Jan 2010 23:59:00 GMT\r\n"
    "X-Note: see HTTP/1.0\r\n"
    "ETag: \"abc\"\r\n";

TEST_F(HeaderFileTest, ReadsTheFiveLinesAndMarksTheMissingOnes) {
  Write(kStored);
  HeaderFields f = ReadHeaderFile(path);
  EXPECT_EQ(f.status, "HTTP/1.1 200 OK");
  EXPECT_EQ(f.date, "Date: Mon, 01 Feb 2010 00:00:00 GMT");
  EXPECT_EQ(f.lastModified, "Last-Modified: Sun, 31 Jan 2010 23:59:00 GMT");
  EXPECT_EQ(f.contentLength, "Content-Length: 1234");
  EXPECT_EQ(f.readRes, "-");
}

TEST_F(HeaderFileTest, MissingFileReadsAsAllAbsent) {
  HeaderFields f = ReadHeaderFile(path);
  for (const std::string* v : {&f.status, &f.date, &f.lastModified, &f.contentLength, &f.readRes}) {
    EXPECT_EQ(*v, "-");
  }
}

TEST_F(HeaderFileTest, LaterLineWinsAndStartsAreCaseSensitive) {
  Write("x HTTP/1.1 200\r\nDate: first\r\ndate: lower\r\nDate: second\r\nContent-length: 9\r\n");
  HeaderFields f = ReadHeaderFile(path);
  EXPECT_EQ(f.status, "-");  // HTTP/ only counts at the start of a line
  EXPECT_EQ(f.date, "Date: second");
  EXPECT_EQ(f.contentLength, "-");
}

TEST_F(HeaderFileTest, WriterRemovesKeepsOrReplacesInPlace) {
  struct Case {
    const char* lastModified;
    const char* expectedLine;  // nullptr: the line is gone
  } cases[] = {
      {"-", nullptr},
      {"", "Last-Modified: Sun, 31 Jan 2010 23:59:00 GMT\r\n"},
      {"Last-Modified: Tue, 02 Feb 2010 10:00:00 GMT",
       "Last-Modified: Tue, 02 Feb 2010 10:00:00 GMT\r\n"},
  };
  for (const Case& c : cases) {
    Write(kStored);
    EXPECT_EQ(WriteHeaderFile(path, "", "", c.lastModified, "Content-Length: 2000", ""), 1);
    std::string expected =
        "HTTP/1.1 200 OK\r\nServer: nginx\r\nDate: Mon, 01 Feb 2010 00:00:00 GMT\r\n"
        "Content-Type: text/plain\r\nContent-Length: 2000\r\n" +
        std::string(c.expectedLine ? c.expectedLine : "") +
        "X-Note: see HTTP/1.0\r\nETag: \"abc\"\r\n";
    EXPECT_EQ(Read(), expected) << "lastModified argument '" << c.lastModified << "'";
  }
}

TEST_F(HeaderFileTest, ReadCountLineIsAppendedOnlyWhenGiven) {
  Write("HTTP/1.1 200 OK\r\nServer: nginx\r\n");
  WriteHeaderFile(path, "", "", "", "", "X-ReadRes: 12");
  EXPECT_EQ(Read(), "HTTP/1.1 200 OK\r\nServer: nginx\r\nX-ReadRes: 12\r\n");
  WriteHeaderFile(path, "", "", "", "", "X-ReadRes: 15");  // replaced, not added again
  EXPECT_EQ(Read(), "HTTP/1.1 200 OK\r\nServer: nginx\r\nX-ReadRes: 15\r\n");
  Write("HTTP/1.1 200 OK\r\n");
  WriteHeaderFile(path, "", "", "", "", "");
  EXPECT_EQ(Read(), "HTTP/1.1 200 OK\r\n");
}

TEST_F(HeaderFileTest, MissingFileIsCreatedWithTheReadCountLineOnly) {
  WriteHeaderFile(path, "HTTP/1.1 200 OK", "Date: x", "Last-Modified: y", "Content-Length: 1", "");
  EXPECT_EQ(Read(), "\r\n");
  std::filesystem::remove(path);
  WriteHeaderFile(path, "", "", "", "", "X-ReadRes: 3");
  EXPECT_EQ(Read(), "X-ReadRes: 3\r\n");
}

TEST_F(HeaderFileTest, SizeCheckReadsTheLengthLineAndTheBodySize) {
  const std::string body = folder_ + "/k.dat";
  struct Case {
    const char* header;  // nullptr: no header file
    long long bodySize;  // -1: no body file
    bool exists, hasLength, matches;
    long long expected;
    const char* lengthText;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n", 1234, true, true, true, 1234, "1234"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n", 1233, true, true, false, 1234, "1234"},
      {"HTTP/1.1 200 OK\r\ncontent-length: 5\r\n", 5, true, true, true, 5, "5"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", -1, true, true, false, 0, "0"},
      {"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n", 0, true, true, true, 0, "abc"},
      {"HTTP/1.1 200 OK\r\nServer: x\r\n", 3, true, false, false, 0, ""},
      {nullptr, 3, false, false, false, 0, ""},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(path);
    std::filesystem::remove(body);
    if (c.header) Write(c.header);
    if (c.bodySize >= 0) common::ReplaceFileAtomically(body, std::string(c.bodySize, 'x'));
    ContentLengthCheck check = CheckContentLength(path, body);
    SCOPED_TRACE(c.header ? c.header : "(none)");
    EXPECT_EQ(check.headerFileExists, c.exists);
    EXPECT_EQ(check.hasContentLength, c.hasLength);
    EXPECT_EQ(check.Matches(), c.matches);
    EXPECT_EQ(check.expected, c.expected);
    EXPECT_EQ(check.lengthText, c.lengthText);
    EXPECT_EQ(check.actual, c.bodySize);
  }
}

}  // namespace
}  // namespace yagura
