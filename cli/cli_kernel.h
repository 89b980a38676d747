#pragma once
// kelvane-cli on Linux without --emulate: the kernel back end, its notes among the steps, its
// failures in words as the advice, and the kernel's own image rule in check.
#include <memory>
#include <string>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "engine/result_codes.h"

class CCliKernel {
 public:
  virtual ~CCliKernel() = default;
  // The back end's failure in words for this result, or null to use the usual advice.
  virtual const char* Advice(UpdateResult result) const = 0;
  // After a check that passed: the code update would end with when the kernel would refuse the
  // image (its words then become the advice); the result unchanged otherwise.
  virtual UpdateResult AfterCheck(UpdateResult result) = 0;
};

// Installs the kernel back end for the life of the object; null where there is none (Windows).
std::unique_ptr<CCliKernel> CliKernelInstall(const CCliOptions& options, ICliOutput& output);
