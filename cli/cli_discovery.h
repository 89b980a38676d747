#pragma once
// What kelvane-cli says about image discovery: which folder was searched, which entry was
// taken among how many, which were passed over, and why there is no image.
#include <string>

#include "engine/image_discovery.h"

// Indented lines for the progress, after the "find image" step.
std::string CliDiscoveryText(const CImageDiscovery& report);
// "no image: ..." with the reason, or empty when discovery was not the cause.
std::string CliNoImageText(const CImageDiscovery& report);
// ,"imageFolder":...,"image":...,"imageEntries":N,"noImage":... (empty before a search).
std::string CliDiscoveryJson(const CImageDiscovery& report);
