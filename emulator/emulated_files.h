#pragma once
// The emulation's own file handling: whole reads of regular files with a size limit, writes
// that replace a file in one rename, names that must stay inside the notebook folder, and the
// lock that keeps a second run out of the folder. Nothing here throws.
#include <cstdint>
#include <filesystem>
#include <string>

enum class EmuFileStatus { Ok, OpenFailed, NotRegular, TooLarge, ReadFailed };

// Far above any controller's flash, far below what a process could not hold.
inline constexpr uint64_t EMU_FILE_LIMIT = 16u << 20;

// The whole of a regular file (a link to one counts) of at most limit bytes.
EmuFileStatus EmuReadRegularFile(const std::filesystem::path& path, std::string& bytes,
                                 uint64_t limit = EMU_FILE_LIMIT);
// "cannot be opened", "is not a regular file", ...
const char* EmuFileStatusText(EmuFileStatus status);
bool EmuReadFile(const std::filesystem::path& path, std::string& bytes);

// Writes a temporary file of a name no other run uses beside the target, flushes it to the
// disk, gives it the target's permissions and renames it over the target, so the target holds
// either its old or its new content. A symbolic link is not followed: pass its target.
bool EmuWriteFileAtomically(const std::filesystem::path& target, const std::string& bytes);

// The path of a UTF-8 file name, on every platform; empty when the name is not valid UTF-8.
std::filesystem::path EmuPathFromUtf8(const std::string& name);
// A path as UTF-8 for messages.
std::string EmuPathText(const std::filesystem::path& path);

// folder / name when name is relative, has no ".." and, links resolved, stays inside folder.
bool EmuPathInside(const std::filesystem::path& folder, const std::string& name,
                   std::filesystem::path& path);
// Where a write to path must go so that a symbolic link stays one: its final target.
std::filesystem::path EmuWriteTarget(const std::filesystem::path& path);

// Keeps every other run out of one notebook folder while it is held, and ends with the
// process however that ends. On Windows it is a file "notebook.lock" in the folder, open
// without sharing and deleted when closed; elsewhere an flock on the folder itself.
class CEmuFolderLock {
 public:
  enum class Status { Held, Busy, Failed };

  CEmuFolderLock() = default;
  ~CEmuFolderLock();
  CEmuFolderLock(const CEmuFolderLock&) = delete;
  CEmuFolderLock& operator=(const CEmuFolderLock&) = delete;

  Status Lock(const std::filesystem::path& folder);

 private:
  intptr_t m_handle = -1;
};

inline constexpr char EMU_LOCK_FILE[] = "notebook.lock";
