#pragma once
// File access of the Linux kernel back end: every path is an absolute sysfs path ("/sys/...")
// taken below a root folder, so that tests serve a plain temporary folder as the kernel's tree.
// Every operation answers with an errno value, 0 on success, so the kernel's own reasons
// (ENODATA in safe mode, EACCES without root, EINVAL for a refused image) reach the user.
#include <cstdint>
#include <string>
#include <vector>

class ISysfsIo {
 public:
  virtual ~ISysfsIo() = default;
  // The whole attribute, as text.
  virtual int ReadText(const std::string& path, std::string& text) = 0;
  // Up to length bytes at offset; fewer at the end of the file.
  virtual int ReadAt(const std::string& path, uint64_t offset, uint32_t length,
                     std::vector<uint8_t>& bytes) = 0;
  // Writes all the bytes from offset 0 of an existing file; never creates one.
  virtual int WriteAll(const std::string& path, const uint8_t* bytes, size_t size) = 0;
  // 0 when the file exists and this process may write it.
  virtual int CheckWritable(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Entry names of a folder ("." and ".." left out), sorted; empty when it cannot be listed.
  virtual std::vector<std::string> List(const std::string& folder) = 0;
  // The path as the user finds it on this system, for messages.
  virtual std::string Shown(const std::string& path) = 0;
};

// The real files, below root ("" or "/" for the running system's own tree).
class CSysfsIo final : public ISysfsIo {
 public:
  explicit CSysfsIo(std::string root = "");
  int ReadText(const std::string& path, std::string& text) override;
  int ReadAt(const std::string& path, uint64_t offset, uint32_t length,
             std::vector<uint8_t>& bytes) override;
  int WriteAll(const std::string& path, const uint8_t* bytes, size_t size) override;
  int CheckWritable(const std::string& path) override;
  bool Exists(const std::string& path) override;
  std::vector<std::string> List(const std::string& folder) override;
  std::string Shown(const std::string& path) override { return m_root + path; }

 private:
  std::string m_root;
};

// "Permission denied" and the like, for an errno value.
std::string SysfsErrorText(int error);
