#include "cli/cli_discovery.h"

#include "cli/cli_output.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

std::string Ordinal(size_t n) {
  const size_t tens = n % 100;
  const size_t ones = n % 10;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th"
                       : ones == 1                ? "st"
                       : ones == 2                ? "nd"
                       : ones == 3                ? "rd"
                                                  : "th";
  return std::to_string(n) + suffix;
}

std::string EntryCount(size_t n) {
  return std::to_string(n) + (n == 1 ? " *.bin entry" : " *.bin entries");
}

// Entry names are shown as the system gave them: a separator in one is its fault, not a path.
std::string Quoted(const std::wstring& name) {
  return "\"" + Utf8FromWide(name) + "\"";
}

bool DiscoveryDecided(const CImageDiscovery& report) {
  return report.searched && report.miss != ImageMiss::None;
}

}  // namespace

std::string CliDiscoveryText(const CImageDiscovery& report) {
  if (!report.searched)
    return {};
  std::string text;
  for (const CImageEntry& entry : report.entries) {
    if (entry.fault) {
      text += "          passed over " + Quoted(entry.name) + ": " +
              ImageNameFaultText(*entry.fault) + "\n";
    }
  }
  if (report.taken) {
    text += "          took " + Quoted(report.entries[*report.taken].name) + ", the " +
            Ordinal(*report.taken + 1) + " of " + EntryCount(report.entries.size()) +
            " in the order the folder lists them\n";
  }
  return text;
}

std::string CliNoImageText(const CImageDiscovery& report) {
  if (!DiscoveryDecided(report))
    return {};
  std::string text = std::string("no image: ") + ImageMissText(report.miss);
  if (report.taken)
    text += " (" + PlatformDisplayPath(report.path) + ")";
  else
    text += " (" + PlatformDisplayPath(report.folder) + ")";
  return text + "\n";
}

std::string CliDiscoveryJson(const CImageDiscovery& report) {
  if (!report.searched)
    return {};
  std::string json =
      ",\"imageFolder\":" + JsonString(PlatformDisplayPath(report.folder)) + ",\"image\":" +
      (report.taken ? JsonString(Utf8FromWide(report.entries[*report.taken].name))
                    : std::string("null")) +
      ",\"imageEntries\":" + std::to_string(report.entries.size()) + ",\"noImage\":" +
      (DiscoveryDecided(report) ? JsonString(ImageMissText(report.miss)) : std::string("null"));
  return json;
}
