#include "lzh/archive_writer.h"

#include <sys/stat.h>

#include "common/file_io.h"
#include "lzh/crc16.h"
#include "lzh/lzh_header.h"

namespace lzh {

std::string EncodeMember(const MemberData& member, const Lh5Options& options,
                         MemberReport* report) {
  if (member.content.size() > 0xFFFFFFFFu) return {};
  std::string packed = CompressLh5(member.content, options);
  const bool store = packed.size() >= member.content.size();

  MemberHeader header;
  header.method = store ? "-lh0-" : "-lh5-";
  header.packedSize = static_cast<uint32_t>(store ? member.content.size() : packed.size());
  header.originalSize = static_cast<uint32_t>(member.content.size());
  header.modifiedTime = member.modifiedTime;
  header.dataCrc = Crc16(member.content);
  header.dosAttributes = kDosArchiveAttribute | (member.readOnly ? kDosReadOnlyAttribute : 0);
  const size_t slash = member.storedPath.rfind('/');
  if (slash == std::string::npos) {
    header.fileName = member.storedPath;
  } else {
    header.directory = member.storedPath.substr(0, slash);
    header.fileName = member.storedPath.substr(slash + 1);
  }
  const std::string headerBytes = EncodeLevel2Header(header);
  if (headerBytes.empty()) return {};
  std::string out;
  if (store) {
    out.reserve(headerBytes.size() + member.content.size());
    out = headerBytes;
    out.append(member.content);
  } else {
    // The packed data already has its room: the header goes in front of it
    // instead of both being copied into a new string.
    out = std::move(packed);
    out.insert(0, headerBytes);
  }
  if (report != nullptr) {
    *report = {member.storedPath, header.method, member.content.size(), header.packedSize};
  }
  return out;
}

WriteResult WriteArchive(const std::string& archivePath, const std::vector<MemberSource>& sources,
                         const Lh5Options& options) {
  using Status = WriteResult::Status;
  WriteResult result;
  auto fail = [&](Status status, std::string message) {
    result.status = status;
    result.message = std::move(message);
    return result;
  };

  struct stat archiveStat {};
  const bool archiveExists = ::stat(archivePath.c_str(), &archiveStat) == 0;
  std::string archive;
  for (const MemberSource& source : sources) {
    struct stat st {};
    if (::stat(source.filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      return fail(Status::kFileMissing, "file not found: " + source.filePath);
    if (archiveExists && st.st_dev == archiveStat.st_dev && st.st_ino == archiveStat.st_ino)
      return fail(Status::kArchiveIsMember,
                  "the archive would replace the file it holds: " + source.filePath);
    if (static_cast<unsigned long long>(st.st_size) > 0xFFFFFFFFull)
      return fail(Status::kTooLarge,
                  "4 GB or more, too large for an LZH member: " + source.filePath);
    std::optional<std::string> content = common::ReadWholeFile(source.filePath);
    if (!content) return fail(Status::kReadFailed, "cannot read: " + source.filePath);

    MemberData member;
    member.storedPath = source.storedPath;
    member.content = *content;
    member.modifiedTime = static_cast<uint32_t>(st.st_mtime);
    member.readOnly = (st.st_mode & S_IWUSR) == 0;
    MemberReport report;
    std::string encoded = EncodeMember(member, options, &report);
    if (encoded.empty())
      return fail(Status::kTooLarge, "name or size does not fit an LZH header: " + source.filePath);
    if (archive.empty()) {
      archive = std::move(encoded);
    } else {
      archive += encoded;
    }
    result.members.push_back(std::move(report));
  }
  archive.push_back('\0');  // end of archive

  if (!common::ReplaceFileAtomically(archivePath, archive))
    return fail(Status::kWriteFailed, "cannot write the archive: " + archivePath);
  return result;
}

}  // namespace lzh
