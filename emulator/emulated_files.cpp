#include "emulator/emulated_files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr size_t EMU_READ_CHUNK = 64 * 1024;

#ifdef _WIN32
int OpenForReading(const fs::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}
bool IsRegular(int fd) {
  struct _stat64 info {};
  return _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
}
long long ReadSome(int fd, char* to, size_t count) {
  return _read(fd, to, static_cast<unsigned>(count));
}
void CloseFile(int fd) {
  _close(fd);
}
int ProcessId() {
  return _getpid();
}
#else
// Non-blocking, so that a FIFO does not hold the open; it is refused as not regular.
int OpenForReading(const fs::path& path) {
  return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}
bool IsRegular(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}
long long ReadSome(int fd, char* to, size_t count) {
  return read(fd, to, count);
}
void CloseFile(int fd) {
  close(fd);
}
int ProcessId() {
  return static_cast<int>(getpid());
}
#endif

// Reads to the end rather than trusting the size: the file may change meanwhile.
EmuFileStatus ReadAll(int fd, std::string& bytes, uint64_t limit) {
  bytes.clear();
  char chunk[EMU_READ_CHUNK];
  for (;;) {
    const long long n = ReadSome(fd, chunk, sizeof chunk);
    if (n < 0)
      return EmuFileStatus::ReadFailed;
    if (n == 0)
      return EmuFileStatus::Ok;
    if (bytes.size() + static_cast<uint64_t>(n) > limit)
      return EmuFileStatus::TooLarge;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0)
    return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

fs::path UniqueTemporary(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%d-%u-%lld.tmp", ProcessId(), counter++,
                static_cast<long long>(now % 1000000000));
  fs::path temporary = target;
  temporary += suffix;
  return temporary;
}

bool WriteAndFlush(const fs::path& path, const std::string& bytes) {
#ifdef _WIN32
  std::FILE* file = _wfopen(path.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(path.c_str(), "wbx");
#endif
  if (!file)
    return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool flushed = written && FlushToDisk(file);
  return std::fclose(file) == 0 && flushed;
}

}  // namespace

EmuFileStatus EmuReadRegularFile(const fs::path& path, std::string& bytes, uint64_t limit) {
  const int fd = OpenForReading(path);
  if (fd < 0) {
    // Windows opens no directory as a file; say what it is all the same.
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    return !error && fs::exists(status) && !fs::is_regular_file(status) ? EmuFileStatus::NotRegular
                                                                        : EmuFileStatus::OpenFailed;
  }
  EmuFileStatus status = EmuFileStatus::NotRegular;
  try {
    if (IsRegular(fd))
      status = ReadAll(fd, bytes, limit);
  } catch (const std::bad_alloc&) {
    status = EmuFileStatus::TooLarge;
  }
  CloseFile(fd);
  if (status != EmuFileStatus::Ok)
    bytes.clear();
  return status;
}

const char* EmuFileStatusText(EmuFileStatus status) {
  switch (status) {
    case EmuFileStatus::Ok:
      return "was read";
    case EmuFileStatus::OpenFailed:
      return "cannot be opened";
    case EmuFileStatus::NotRegular:
      return "is not a regular file";
    case EmuFileStatus::TooLarge:
      return "is larger than 16 MiB, too large for a controller's NVM";
    case EmuFileStatus::ReadFailed:
      return "cannot be read";
  }
  return "cannot be read";
}

bool EmuReadFile(const fs::path& path, std::string& bytes) {
  return EmuReadRegularFile(path, bytes) == EmuFileStatus::Ok;
}

bool EmuWriteFileAtomically(const fs::path& target, const std::string& bytes) {
  const fs::path temporary = UniqueTemporary(target);
  std::error_code ignored;
  if (!WriteAndFlush(temporary, bytes)) {
    fs::remove(temporary, ignored);
    return false;
  }
  // A file the user made read-only or private stays so.
  const fs::file_status old = fs::status(target, ignored);
  if (fs::is_regular_file(old))
    fs::permissions(temporary, old.permissions(), ignored);
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error)
    fs::remove(temporary, ignored);
  return !error;
}

fs::path EmuPathFromUtf8(const std::string& name) {
  try {
    return fs::path(std::u8string(name.begin(), name.end()));
  } catch (...) {
    return {};
  }
}

std::string EmuPathText(const fs::path& path) {
  try {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } catch (...) {
    return "(a path that is not valid text)";
  }
}

bool EmuPathInside(const fs::path& folder, const std::string& name, fs::path& path) {
  const fs::path relative = EmuPathFromUtf8(name);
  if (relative.empty() || relative.has_root_name() || relative.has_root_directory())
    return false;
  if (std::any_of(relative.begin(), relative.end(), [](const fs::path& p) { return p == ".."; }))
    return false;
  std::error_code error;
  const fs::path root = fs::canonical(folder, error);
  if (error)
    return false;
  const fs::path full = fs::weakly_canonical(folder / relative, error);
  if (error)
    return false;
  const auto [r, f] = std::mismatch(root.begin(), root.end(), full.begin(), full.end());
  if (r != root.end() || f == full.end())
    return false;
  path = folder / relative;
  return true;
}

fs::path EmuWriteTarget(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error)))
    return path;
  const fs::path target = fs::canonical(path, error);
  return error ? path : target;
}

#ifdef _WIN32
CEmuFolderLock::~CEmuFolderLock() {
  if (m_handle != -1)
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

CEmuFolderLock::Status CEmuFolderLock::Lock(const fs::path& folder) {
  const fs::path file = folder / EMU_LOCK_FILE;
  HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION ? Status::Busy : Status::Failed;
  }
  m_handle = reinterpret_cast<intptr_t>(handle);
  return Status::Held;
}
#else
CEmuFolderLock::~CEmuFolderLock() {
  if (m_handle >= 0)
    close(static_cast<int>(m_handle));
}

CEmuFolderLock::Status CEmuFolderLock::Lock(const fs::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return Status::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    close(fd);
    return busy ? Status::Busy : Status::Failed;
  }
  m_handle = fd;
  return Status::Held;
}
#endif
