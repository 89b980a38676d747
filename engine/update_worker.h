#pragma once
// One complete firmware update attempt, run on a thread of its own.
#include <cstdint>

#include "engine/result_codes.h"

// What the worker reads and writes of its argument; the main window is one, so is the CLI's.
struct CUpdateState {
  UpdateResult m_result = UR_OK;
  int32_t m_downgradable = 0;
};

// Thread procedure; the argument is a CUpdateState. Returns 0; the outcome is in m_result.
uint32_t UpdateWorker(void* state);
