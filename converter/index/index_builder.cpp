#include "converter/index/index_builder.h"

#include "common/file_io.h"
#include "converter/index/index_names.h"
#include "converter/index/index_pages.h"
#include "converter/index/page_import.h"
#include "converter/index/templates.h"

namespace converter::index {

IndexBuilder::StartResult IndexBuilder::Start(const Options& cmd, Reporter& reporter) {
  if (!cmd.i.enabled || cmd.outputNull || cmd.outputFolder.empty()) return StartResult::kReady;
  const std::string& root = cmd.outputFolder;
  const bool takeOver = cmd.i.digits[7] == 1 || cmd.inputNull;
  const bool existed = common::FileExists(root + "index.tmp");
  std::vector<std::string> kept;
  switch (work_.Open(root, kept)) {
    case IndexWorkFile::OpenResult::kNotCreatable:
      reporter.Say("index.tmpが作成できません\r\n");
      return StartResult::kFatal;
    case IndexWorkFile::OpenResult::kLocked:
      reporter.Say(root + "index.tmpは既にロックされています。読み込めません\n");
      reporter.Say("インデックスファイルを作成しませんでした。\r\n");
      return StartResult::kRefused;
    case IndexWorkFile::OpenResult::kOpened:
      break;
  }
  active_ = true;
  if (cmd.i.digits[9] != 0) {
    reporter.Say("注意:/i の10桁目の指定には対応していません。無視します。\r\n");
  }
  if (takeOver) {
    if (!existed) {
      reporter.Say(root + "index.tmpは存在しません\r\n");
    } else {
      reporter.Say(root + "index.tmpからインデックス情報を取り込みます");
      int taken = 0;
      for (const std::string& line : kept) {
        std::optional<IndexEntry> entry = ParseIndexRecord(line);
        if (!entry) continue;
        Insert(std::move(*entry), true);
        ++taken;
      }
      reporter.Say("\r\n" + std::to_string(taken) +
                   "件のインデックスファイル情報の取り込みを完了しました\r\n");
    }
  }
  return StartResult::kReady;
}

void IndexBuilder::Insert(IndexEntry entry, bool replace) {
  auto [found, added] = byIdentity_.try_emplace(entry.Identity(), entries_.size());
  if (added) {
    entries_.push_back(std::move(entry));
  } else if (replace) {
    entries_[found->second] = std::move(entry);
  }
}

void IndexBuilder::Add(const std::string& recordLine, Reporter& reporter) {
  if (!active_ || recordLine.empty()) return;
  std::optional<IndexEntry> entry = ParseIndexRecord(recordLine);
  if (!entry) return;
  if (!work_.Append(recordLine) && !writeFailed_) {
    writeFailed_ = true;
    reporter.Say(work_.path() + "  :ファイルの書き込みに失敗しました。\r\n");
  }
  Insert(std::move(*entry), true);
}

int IndexBuilder::Finish(const Options& cmd, Reporter& reporter) {
  if (!active_) return 0;
  active_ = false;
  if (cmd.i.digits[6] == 1) {
    const std::string top = TopIndexName(cmd);
    auto skip = [&top](const std::string& name) {
      return name == top || name == "index.html" || name == kThreadListName ||
             name == kArchiveTopName || name == kNineDigitListName || name == kKeylessListName;
    };
    ImportPageRecords(
        cmd.outputFolder, skip, [this](IndexEntry e) { Insert(std::move(e), false); }, reporter);
  }
  int written = 0;
  if (entries_.empty()) {
    reporter.Say("インデックスファイルを作成しませんでした。\r\n");
  } else {
    reporter.Say("インデックスファイルの構築を開始します\r\n");
    IndexTemplates templates = LoadIndexTemplates(cmd, reporter);
    written = WriteIndexPages(entries_, cmd, templates, reporter);
  }
  if (!work_.Close(cmd.i.digits[7] == 1) && !writeFailed_) {
    reporter.Say(work_.path() + "  :ファイルの書き込みに失敗しました。\r\n");
  }
  return written;
}

}  // namespace converter::index
