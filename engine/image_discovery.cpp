#include "engine/image_discovery.h"

#include "platform/platform.h"

namespace {

constexpr size_t DISCOVERY_PATH_CAPACITY = 1024;  // wide characters, terminator included
constexpr wchar_t DISCOVERY_REPLACEMENT = 0xFFFD;

std::optional<ImageNameFault> NameFault(const std::wstring& name) {
  if (name.find_first_of(L"\\/") != std::wstring::npos)
    return ImageNameFault::PathSeparator;
  // The platform edge puts U+FFFD where a name's bytes were not valid in its encoding.
  if (name.find(DISCOVERY_REPLACEMENT) != std::wstring::npos)
    return ImageNameFault::NotInEncoding;
  return std::nullopt;
}

// A folder lists at least "." and ".."; a file lists nothing.
bool IsFolder(const std::wstring& path) {
  std::vector<std::wstring> names;
  return PlatformSystem().ListDirectory(path + L"\\*", names);
}

ImageMiss MissOf(FileReadStatus status) {
  switch (status) {
    case FileReadStatus::Ok:
      return ImageMiss::None;
    case FileReadStatus::OpenFailed:
      return ImageMiss::Unreadable;
    case FileReadStatus::TooLarge:
      return ImageMiss::TooLarge;
    case FileReadStatus::NoMemory:
      return ImageMiss::NoMemory;
    case FileReadStatus::ShortRead:
      return ImageMiss::ShortRead;
  }
  return ImageMiss::Unreadable;
}

}  // namespace

void ImageFind(const std::wstring& folder, CImageDiscovery& report) {
  report = CImageDiscovery{};
  report.searched = true;
  report.folder = folder;
  const std::wstring pattern = folder + L"\\*.bin";
  if (pattern.size() >= DISCOVERY_PATH_CAPACITY) {
    report.miss = ImageMiss::PathTooLong;
    return;
  }
  std::vector<std::wstring> names;
  if (!PlatformSystem().ListDirectory(pattern, names)) {
    report.miss = IsFolder(folder) ? ImageMiss::NoMatch : ImageMiss::FolderUnlisted;
    return;
  }
  for (const std::wstring& name : names) {
    if (name != L"." && name != L"..")
      report.entries.push_back({name, NameFault(name)});
  }
  report.miss = report.entries.empty() ? ImageMiss::NoMatch : ImageMiss::OnlyBadNames;
  for (size_t i = 0; i < report.entries.size(); ++i) {
    if (report.entries[i].fault)
      continue;
    // A cut path could name some other file.
    const std::wstring path = folder + L"\\" + report.entries[i].name;
    if (path.size() >= DISCOVERY_PATH_CAPACITY) {
      report.miss = ImageMiss::PathTooLong;
      return;
    }
    report.taken = i;
    report.path = path;
    report.miss = ImageMiss::None;
    return;
  }
}

// A file not read in full is no image: checking or writing the zeros in place of its missing
// bytes could brick the controller.
UpdateResult ImageLoad(CImageDiscovery& report, std::vector<uint8_t>& image) {
  if (report.miss != ImageMiss::None || report.path.empty())
    return UR_NO_IMAGE;
  if (IsFolder(report.path)) {
    report.miss = ImageMiss::Directory;
    return UR_NO_IMAGE;
  }
  report.miss = MissOf(PlatformSystem().ReadWholeFile(report.path, image));
  // Whatever the platform allows, the write cannot carry this much.
  if (report.miss == ImageMiss::None && image.size() >= IMAGE_SIZE_LIMIT)
    report.miss = ImageMiss::TooLarge;
  if (report.miss == ImageMiss::None) {
    report.size = image.size();
    return UR_OK;
  }
  image.clear();
  return report.miss == ImageMiss::NoMemory ? UR_OUT_OF_MEMORY : UR_NO_IMAGE;
}

const char* ImageNameFaultText(ImageNameFault fault) {
  switch (fault) {
    case ImageNameFault::PathSeparator:
      return "its name holds a path separator";
    case ImageNameFault::NotInEncoding:
      return "its name is not valid in the file system's encoding";
  }
  return "its name cannot be used";
}

const char* ImageMissText(ImageMiss miss) {
  switch (miss) {
    case ImageMiss::None:
      return "an image was loaded";
    case ImageMiss::FolderUnlisted:
      return "the folder does not exist or cannot be listed";
    case ImageMiss::NoMatch:
      return "the folder holds no *.bin file";
    case ImageMiss::OnlyBadNames:
      return "every *.bin entry was passed over for its name";
    case ImageMiss::PathTooLong:
      return "a path would be longer than 1023 characters";
    case ImageMiss::Directory:
      return "the entry taken is a folder, not a file";
    case ImageMiss::Unreadable:
      return "the file taken cannot be opened (missing, no permission, or in use)";
    case ImageMiss::ShortRead:
      return "the file taken could not be read in full";
    case ImageMiss::TooLarge:
      return "the file taken is 2 GiB or more, too large to be an image";
    case ImageMiss::NoMemory:
      return "not enough memory to load the file taken";
  }
  return "no image";
}
