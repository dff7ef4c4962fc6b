#include "platform/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

Status ReadFileStart(const std::string& path, std::string* contents, std::size_t limit) {
  contents->clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoStatus(errno);
  char chunk[8192];
  int failure = 0;
  while (contents->size() < limit) {
    const std::size_t want = std::min(sizeof chunk, limit - contents->size());
    const ssize_t got = read(fd, chunk, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      failure = errno;
      break;
    }
    if (got == 0) break;
    contents->append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  if (failure == 0) return Status::Ok();
  contents->clear();
  return ErrnoStatus(failure);
}

const char* FindLastPathSeparator(const char* path) {
  if (path == nullptr) return nullptr;
  return std::strrchr(path, '/');
}

std::string NativePath(std::string_view relative_path) { return std::string(relative_path); }
