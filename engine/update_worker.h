#pragma once
// One complete firmware update attempt, run on a thread of its own.
#include <cstdint>
#include <string>

#include "engine/result_codes.h"

// What the worker reads and writes of its argument; the main window is one, so is the CLI's.
struct CUpdateState {
  UpdateResult m_result = UR_OK;
  int32_t m_downgradable = 0;
};

// The steps of an attempt, in the order the worker runs them.
enum class UpdateStep {
  DeviceOn,
  ServiceStart,
  ServiceWait,
  Connect,
  ReadVersion,
  FindImage,
  LoadImage,
  CheckImage,
  VersionRule,
  Write,
  SettleWait,
  DeviceOff,
};

// Watches an attempt from outside (the CLI's live progress). A process-wide slot rather than a
// member of the state object, so the worker still touches only the two fields above and the
// window needs nothing. Called on the worker's thread as each step begins; null by default.
using UpdateStepObserver = void (*)(UpdateStep step, void* context);
void UpdateWorkerSetObserver(UpdateStepObserver observer, void* context);

// Stable English name of a step ("device on", "write", ...).
const char* UpdateStepName(UpdateStep step);

// Whether an attempt ends with the write or stops just before it. A check runs every other
// step, the device switched on and off and both waits included, and reports UR_OK where the
// write would have happened.
enum class UpdateMode { Write, CheckOnly };

void UpdateAttempt(CUpdateState& state, UpdateMode mode);

// The image an attempt takes: the first entry of "folder\*.bin" as the system lists it, "."
// and ".." passed over. Empty when there is none, or when the name would not fit the worker's
// path buffers (a cut path could name some other file).
std::wstring UpdateFindImageFile(const std::wstring& folder);

// Thread procedure; the argument is a CUpdateState. Returns 0; the outcome is in m_result.
uint32_t UpdateWorker(void* state);
