#include "cli/cli_advice.h"

const char* CliAdvice(UpdateResult result) {
  switch (result) {
    case UR_OK:
      return "The firmware was written. Power the notebook off and on so that it takes effect.";
    case UR_NO_ACPI_DEVICE:
      return "The notebook maker's ACPI control driver is missing: install it and try again.";
    case UR_NO_CONTROLLER:
      return "No Thunderbolt controller was found: make sure it is enabled in the firmware "
             "setup.";
    case UR_NO_TBT_SOFTWARE:
      return "The Thunderbolt software cannot be reached: install or repair it and try again.";
    case UR_UNLISTED_DEVICE_ID:
      return "The image is for a device this tool does not know: get the image made for this "
             "notebook.";
    case UR_NO_IMAGE:
      return "No usable image: put the firmware file (*.bin) in the data folder; it must be "
             "readable in full.";
    case UR_SECTION_MISMATCH:
      return "The image's settings differ from this controller's: it is for another notebook. "
             "Nothing was written.";
    case UR_OUT_OF_MEMORY:
      return "Not enough memory to load the image: close other programs and try again.";
    case UR_UNSUPPORTED_CONTROLLER:
      return "This controller cannot be updated with this tool. Nothing was written.";
    case UR_FAMILY_MISMATCH:
    case UR_VARIANT_MISMATCH:
    case UR_LEVEL_MISMATCH:
      return "The image does not belong to this controller. Nothing was written.";
    case UR_DOWNGRADE_REFUSED:
      return "The image is older than the controller's firmware. Use --downgradable to write "
             "it anyway.";
    case UR_ATTEMPT_RUNNING:
      return "Another update attempt is running on this notebook: wait until it has ended, then "
             "try again. Nothing was switched, checked or written.";
  }
  return "The Thunderbolt software reported an error: try again, or reinstall the Thunderbolt "
         "software.";
}
