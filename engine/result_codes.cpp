#include "engine/result_codes.h"

const char* UpdateResultName(UpdateResult result) {
  switch (result) {
#define KELVANE_RESULT_CASE(name, value) \
  case value:                            \
    return #name;
    KELVANE_UPDATE_RESULTS(KELVANE_RESULT_CASE)
#undef KELVANE_RESULT_CASE
  }
  return nullptr;
}
