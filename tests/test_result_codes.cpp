#include "engine/result_codes.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

TEST(ResultCodes, OwnCodesAreConsecutiveAndNamed) {
  EXPECT_STREQ(UpdateResultName(UR_OK), "UR_OK");
  const char* const names[] = {
      "UR_NO_ACPI_DEVICE",  "UR_NO_CONTROLLER",
      "UR_NO_TBT_SOFTWARE", "UR_UNLISTED_DEVICE_ID",
      "UR_NO_IMAGE",        "UR_SECTION_MISMATCH",
      "UR_OUT_OF_MEMORY",   "UR_UNSUPPORTED_CONTROLLER",
      "UR_FAMILY_MISMATCH", "UR_VARIANT_MISMATCH",
      "UR_LEVEL_MISMATCH",  "UR_DOWNGRADE_REFUSED",
      "UR_ATTEMPT_RUNNING",
  };
  for (uint32_t i = 0; i < std::size(names); ++i) {
    ASSERT_NE(UpdateResultName(0x10430001u + i), nullptr) << i;
    EXPECT_EQ(std::string(UpdateResultName(0x10430001u + i)), names[i]);
  }
}

TEST(ResultCodes, ProviderCodesHaveNoName) {
  for (UpdateResult code : {5u, 0x10430000u, 0x1043000Eu, 0xFFFFFFFFu}) {
    EXPECT_EQ(UpdateResultName(code), nullptr) << code;
  }
}
