#pragma once
// Finding and loading the image: the first "*.bin" entry of the data folder, as the system lists
// it, and in words a caller can pass on, why there is none.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/result_codes.h"

// Why an entry of the listing was passed over without being opened.
enum class ImageNameFault {
  PathSeparator,  // "..\x.bin" on a system where "\" is a name character would leave the folder
  NotInEncoding,  // the system's name had bytes its encoding rejects; a replaced name could
                  // reach another file
};

// Why an attempt found no image; None once an image is loaded.
enum class ImageMiss {
  None,
  FolderUnlisted,  // the folder does not exist or cannot be listed
  NoMatch,         // the folder holds no "*.bin" entry
  OnlyBadNames,    // every "*.bin" entry was passed over for its name
  PathTooLong,     // the pattern or the file's path does not fit the worker's path buffers
  Directory,       // the entry taken is a folder
  Unreadable,      // it cannot be opened (missing, no permission, locked)
  ShortRead,       // it could not be read in full
  TooLarge,        // 2 GiB or more: no size field of the write can carry it
  NoMemory,
};

struct CImageEntry {
  std::wstring name;
  std::optional<ImageNameFault> fault;
};

struct CImageDiscovery {
  bool searched = false;
  std::wstring folder;
  std::vector<CImageEntry> entries;  // the "*.bin" entries in listing order, "." and ".." left out
  std::optional<size_t> taken;       // index into entries
  std::wstring path;                 // what was opened
  uint64_t size = 0;                 // bytes loaded
  ImageMiss miss = ImageMiss::None;
};

// Images of this size or more are refused: the write's size is a 32-bit signed value.
inline constexpr uint64_t IMAGE_SIZE_LIMIT = uint64_t{1} << 31;

// Fills report.entries, report.taken and report.path; a miss when no entry can be taken.
void ImageFind(const std::wstring& folder, CImageDiscovery& report);
// Reads report.path whole: UR_OK, UR_NO_IMAGE or UR_OUT_OF_MEMORY, with the miss in report.
UpdateResult ImageLoad(CImageDiscovery& report, std::vector<uint8_t>& image);

// Stable English words for a fault or a miss, for messages.
const char* ImageNameFaultText(ImageNameFault fault);
const char* ImageMissText(ImageMiss miss);
