#include "mail_test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

namespace yagura_test {
namespace {

// Fields separated by a line holding only U+241E, so that bodies may hold
// anything else.
constexpr const char* kParser = R"PY(
import sys
from email import policy
from email.parser import BytesParser
m = BytesParser(policy=policy.default).parse(open(sys.argv[1], "rb"))
sep = "\n\u241e\n"
body = m.get_body(preferencelist=("plain",)).get_content()
fields = [str(m["subject"]), body, str(m["from"] or ""), str(m["to"] or ""),
          str(m["x-mailer"] or ""), m.get_content_type() + ";" + str(m.get_content_charset()),
          "1" if m["date"] is not None and m["date"].datetime is not None else "0",
          "1" if m["message-id"] else "0"]
sys.stdout.buffer.write(sep.join(fields).encode("utf-8"))
)PY";

}  // namespace

ParsedMail ParseWithPython(const std::string& rawMail) {
  ParsedMail parsed;
  char path[] = "/tmp/yagura_mail_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return parsed;
  if (write(fd, rawMail.data(), rawMail.size()) != static_cast<ssize_t>(rawMail.size())) {
    close(fd);
    unlink(path);
    return parsed;
  }
  close(fd);
  char script[] = "/tmp/yagura_mail_parser_XXXXXX";
  int sfd = mkstemp(script);
  if (sfd >= 0) {
    std::string text = kParser;
    ssize_t ignored = write(sfd, text.data(), text.size());
    (void)ignored;
    close(sfd);
  }
  const std::string command = std::string("/usr/bin/python3 ") + script + " " + path + " 2>&1";
  std::string output;
  {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (pipe) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, n);
    }
  }
  unlink(path);
  unlink(script);
  const std::string sep = "\n\xE2\x90\x9E\n";
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t at; (at = output.find(sep, from)) != std::string::npos; from = at + sep.size()) {
    fields.push_back(output.substr(from, at - from));
  }
  fields.push_back(output.substr(from));
  if (fields.size() != 8) {
    parsed.error = output;
    return parsed;
  }
  parsed.ok = true;
  parsed.subject = fields[0];
  parsed.body = fields[1];
  parsed.from = fields[2];
  parsed.to = fields[3];
  parsed.xMailer = fields[4];
  parsed.contentType = fields[5];
  parsed.hasDate = fields[6] == "1";
  parsed.hasMessageId = fields[7] == "1";
  return parsed;
}

}  // namespace yagura_test
