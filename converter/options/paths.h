// Path helpers of the converter: absolute paths with '..' folded, the
// program's own folder, the XDG user folders.
#pragma once

#include <string>
#include <string_view>

namespace converter {

// `path` made absolute against `base` (absolute, no trailing '/'), with
// '\\' turned into '/' and '.' / '..' steps folded.
std::string AbsolutePath(std::string_view path, std::string_view base);

// The folder of the running executable, ending in '/'.
std::string ProgramFolder();

// "desktop" or "documents" folder of the user, from the XDG user-dirs file,
// else ~/Desktop or ~/Documents.
std::string XdgUserFolder(std::string_view which);

// Folder part of a path ("/a/b/c.dat" -> "/a/b/"), ending in '/'.
std::string FolderOf(std::string_view path);
// Last component ("/a/b/c.dat" -> "c.dat").
std::string FileNameOf(std::string_view path);
// `folder` with exactly one trailing '/'.
std::string WithTrailingSlash(std::string folder);

}  // namespace converter
