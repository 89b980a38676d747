#include "platform/linux/sysfs_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Closes the descriptor it holds; -1 holds none.
class CFd {
 public:
  explicit CFd(int fd) : m_fd(fd) {}
  ~CFd() {
    if (m_fd >= 0)
      ::close(m_fd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  int Get() const { return m_fd; }
  // The close's own result: a write to sysfs may report its failure only here.
  int Close() {
    const int fd = m_fd;
    m_fd = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
  }

 private:
  int m_fd;
};

int OpenFile(const std::string& path, int flags) {
  return ::open(path.c_str(), flags | O_CLOEXEC);
}

}  // namespace

CSysfsIo::CSysfsIo(std::string root) : m_root(std::move(root)) {
  while (!m_root.empty() && m_root.back() == '/')
    m_root.pop_back();
}

int CSysfsIo::ReadText(const std::string& path, std::string& text) {
  text.clear();
  CFd fd(OpenFile(Shown(path), O_RDONLY));
  if (fd.Get() < 0)
    return errno;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return errno;
    if (n == 0)
      return 0;
    text.append(buffer, static_cast<size_t>(n));
  }
}

int CSysfsIo::ReadAt(const std::string& path, uint64_t offset, uint32_t length,
                     std::vector<uint8_t>& bytes) {
  bytes.assign(length, 0);
  CFd fd(OpenFile(Shown(path), O_RDONLY));
  if (fd.Get() < 0)
    return errno;
  size_t got = 0;
  while (got < length) {
    const ssize_t n =
        ::pread(fd.Get(), bytes.data() + got, length - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return errno;
    if (n == 0)
      break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return 0;
}

int CSysfsIo::WriteAll(const std::string& path, const uint8_t* bytes, size_t size) {
  // Never O_CREAT: a missing attribute is the kernel's answer, not a file to make.
  CFd fd(OpenFile(Shown(path), O_WRONLY));
  if (fd.Get() < 0)
    return errno;
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd.Get(), bytes + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      return errno;
    if (n == 0)
      return ENOSPC;  // the attribute takes no more
    done += static_cast<size_t>(n);
  }
  return fd.Close();
}

int CSysfsIo::CheckWritable(const std::string& path) {
  return ::access(Shown(path).c_str(), W_OK) == 0 ? 0 : errno;
}

bool CSysfsIo::Exists(const std::string& path) {
  struct stat info;
  return ::stat(Shown(path).c_str(), &info) == 0;
}

std::vector<std::string> CSysfsIo::List(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(Shown(folder).c_str());
  if (!dir)
    return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..")
      names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string SysfsErrorText(int error) {
  return std::strerror(error);
}
