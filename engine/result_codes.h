#pragma once
// The outcome of an update attempt or of one of its steps. 0 is success; the tool's own codes
// run from 0x10430001 to 0x1043000D; any other value is the Thunderbolt provider's own
// "ReturnValue", passed on unchanged and never interpreted.
#include <cstdint>

using UpdateResult = uint32_t;

#define KELVANE_UPDATE_RESULTS(X)           \
  X(UR_OK, 0x00000000u)                     \
  X(UR_NO_ACPI_DEVICE, 0x10430001u)         \
  X(UR_NO_CONTROLLER, 0x10430002u)          \
  X(UR_NO_TBT_SOFTWARE, 0x10430003u)        \
  X(UR_UNLISTED_DEVICE_ID, 0x10430004u)     \
  X(UR_NO_IMAGE, 0x10430005u)               \
  X(UR_SECTION_MISMATCH, 0x10430006u)       \
  X(UR_OUT_OF_MEMORY, 0x10430007u)          \
  X(UR_UNSUPPORTED_CONTROLLER, 0x10430008u) \
  X(UR_FAMILY_MISMATCH, 0x10430009u)        \
  X(UR_VARIANT_MISMATCH, 0x1043000Au)       \
  X(UR_LEVEL_MISMATCH, 0x1043000Bu)         \
  X(UR_DOWNGRADE_REFUSED, 0x1043000Cu)      \
  X(UR_ATTEMPT_RUNNING, 0x1043000Du)

#define KELVANE_DECLARE_RESULT(name, value) inline constexpr UpdateResult name = value;
KELVANE_UPDATE_RESULTS(KELVANE_DECLARE_RESULT)
#undef KELVANE_DECLARE_RESULT

// "UR_..." for the tool's own codes, null for a provider's code.
const char* UpdateResultName(UpdateResult result);
