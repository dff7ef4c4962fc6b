#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace {

// The errno value that stands for a failed file call, so that callers read the same numbers and
// texts on every system.
int ErrnoOfLastError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    default:
      return EIO;
  }
}

}  // namespace

Status ReadFileStart(const std::string& path, std::string* contents, std::size_t limit) {
  contents->clear();
  // A directory opens too (with backup semantics off it does not); reading it fails below.
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoStatus(ErrnoOfLastError(GetLastError()));
  char chunk[8192];
  int failure = 0;
  while (contents->size() < limit) {
    const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, limit - contents->size()));
    DWORD got = 0;
    if (!ReadFile(file, chunk, want, &got, nullptr)) {
      failure = ErrnoOfLastError(GetLastError());
      break;
    }
    if (got == 0) break;
    contents->append(chunk, got);
  }
  CloseHandle(file);
  if (failure == 0) return Status::Ok();
  contents->clear();
  return ErrnoStatus(failure);
}

std::string NativePath(std::string_view relative_path) {
  std::string path(relative_path);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

const char* FindLastPathSeparator(const char* path) {
  if (path == nullptr) return nullptr;
  const char* last = nullptr;
  for (const char* at = path; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') last = at;
  }
  return last;
}
