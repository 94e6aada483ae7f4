// Builds thread records directly, as the reader would deliver them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "converter/reading/thread.h"

namespace converter::page::testing {

struct PostText {
  std::string name = "名無しさん";
  std::string mail;
  std::string date = "2008/01/07(月) 14:10:06 ID:T0OW3SHo";
  std::string body = "本文";
};

// A UTF-8 thread (input and output UTF-8 unless changed) of kind `kind`.
inline std::unique_ptr<Thread> MakeThread(const std::vector<PostText>& posts,
                                          const std::string& title = "テスト",
                                          BoardKind kind = BoardKind::k2ch) {
  auto thread = std::make_unique<Thread>();
  thread->path = "/tmp/1234567890.dat";
  thread->baseName = "1234567890";
  thread->key = 1234567890;
  thread->identification = Identification::kDat;
  thread->form = DatForm::kPlain;
  thread->inputKanjicode = 3;
  thread->outputKanjicode = 3;
  thread->title = title;
  thread->kind = kind;
  thread->traits = &TraitsOf(kind);
  thread->language = thread->traits->Language();
  // Fields view into the buffer, so it is filled completely first.
  std::vector<size_t> offsets;
  for (const PostText& p : posts) {
    for (const std::string* field : {&p.name, &p.mail, &p.date, &p.body}) {
      offsets.push_back(thread->buffer.size());
      thread->buffer += *field;
    }
    thread->buffer += "\n";
  }
  size_t k = 0;
  for (size_t i = 0; i < posts.size(); ++i) {
    Post post;
    post.number = static_cast<int>(i + 1);
    std::string_view all(thread->buffer);
    post.name = all.substr(offsets[k++], posts[i].name.size());
    post.mail = all.substr(offsets[k++], posts[i].mail.size());
    post.date = all.substr(offsets[k++], posts[i].date.size());
    post.body = all.substr(offsets[k++], posts[i].body.size());
    thread->posts.push_back(post);
  }
  thread->postCount = static_cast<int>(posts.size());
  thread->fileSize = static_cast<long long>(thread->buffer.size());
  thread->sizeKb = std::max<int>(1, static_cast<int>(thread->buffer.size() / 1024));
  return thread;
}

inline std::unique_ptr<Thread> MakeThreadOf(int count, const std::string& body = "本文") {
  std::vector<PostText> posts(static_cast<size_t>(count));
  for (PostText& p : posts) p.body = body;
  return MakeThread(posts);
}

}  // namespace converter::page::testing
