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

// What the last attempt's image discovery found, and why it found no image (searched stays
// false when the attempt ended before it). Written on the worker's thread: read it from the
// observer or after the attempt has ended.
struct CImageDiscovery;
const CImageDiscovery& UpdateWorkerDiscovery();

// Stable English name of a step ("device on", "write", ...).
const char* UpdateStepName(UpdateStep step);

// Whether an attempt ends with the write or stops just before it. A check runs every other
// step, the device switched on and off and both waits included, and reports UR_OK where the
// write would have happened.
enum class UpdateMode { Write, CheckOnly };

// Holds the system's attempt lock from before the device is switched on until after it is
// switched off; while another attempt holds it, nothing is done and m_result is
// UR_ATTEMPT_RUNNING.
void UpdateAttempt(CUpdateState& state, UpdateMode mode);

// Thread procedure; the argument is a CUpdateState. Returns 0; the outcome is in m_result.
uint32_t UpdateWorker(void* state);
