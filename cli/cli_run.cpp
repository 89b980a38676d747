#include "cli/cli_run.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/cli_advice.h"
#include "cli/cli_image.h"
#include "cli/cli_kernel.h"
#include "cli/cli_options.h"
#include "cli/text_command.h"
#include "emulator/emulated_controller.h"
#include "emulator/emulated_notebook.h"
#include "engine/acpi_channel.h"
#include "engine/update_worker.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

struct CProgress {
  ICliOutput& output;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  static void Observe(UpdateStep step, void* context) {
    auto& self = *static_cast<CProgress*>(context);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - self.start).count();
    const bool wait = step == UpdateStep::ServiceWait || step == UpdateStep::SettleWait;
    char line[96];
    std::snprintf(line, sizeof line, "%6.1f s  %s%s\n", seconds, UpdateStepName(step),
                  wait ? " (10 s)" : "");
    self.output.Out(line);
  }
};

// The result line(s) and, with --json, the object on the last line.
void Report(ICliOutput& output, const CCliOptions& options, UpdateResult result, bool checkOnly,
            const CCliKernel* kernel) {
  const char* name = UpdateResultName(result);
  const std::string shown = name ? name : "provider";
  const char* backendAdvice = kernel ? kernel->Advice(result) : nullptr;
  const char* advice = backendAdvice ? backendAdvice
                       : checkOnly && result == UR_OK
                           ? "The image is compatible: update would write it."
                           : CliAdvice(result);
  output.Out("result: " + HexCode(result) + " " + shown + "\n" + advice + "\n");
  if (options.json) {
    output.Out("{\"command\":" + JsonString(checkOnly ? "check" : "update") +
               ",\"result\":" + JsonString(HexCode(result)) + ",\"name\":" + JsonString(shown) +
               ",\"wrote\":" + (!checkOnly && result == UR_OK ? "true" : "false") +
               ",\"advice\":" + JsonString(advice) + "}\n");
  }
}

void ReportRefusal(ICliOutput& output, const CCliOptions& options, const char* text) {
  output.Out(std::string("refused: ") + text + "\n");
  if (options.json) {
    output.Out(
        "{\"command\":" + JsonString(options.command == CliCommand::Check ? "check" : "update") +
        ",\"result\":null,\"name\":\"battery\",\"wrote\":false,\"advice\":" + JsonString(text) +
        "}\n");
  }
}

int RunAttempt(const CCliOptions& options, ICliOutput& output) {
  std::unique_ptr<CEmulatedNotebook> notebook;
  std::unique_ptr<CScopedPlatform> installed;
  std::unique_ptr<CCliKernel> kernel;
  if (!options.emulate.empty() && !options.controller.empty()) {
    output.Err(
        "kelvane-cli: --controller chooses among the kernel's host routers; an emulated "
        "notebook has one controller\n\n" +
        std::string(CliUsage()));
    return CLI_EXIT_USAGE;
  }
  if (options.emulate.empty()) {
    kernel = CliKernelInstall(options, output);
    if (!kernel && !options.controller.empty()) {
      output.Err("kelvane-cli: --controller chooses among the Linux kernel's host routers\n\n" +
                 std::string(CliUsage()));
      return CLI_EXIT_USAGE;
    }
  } else {
    std::string error;
    notebook = CEmulatedNotebook::Load(EmuPathFromUtf8(options.emulate), error);
    if (!notebook) {
      output.Err("kelvane-cli: " + options.emulate + ": " + error + "\n");
      return CLI_EXIT_UNREADABLE;
    }
    installed = std::make_unique<CScopedPlatform>(notebook->Services());
  }
  PlatformSetDataFolder(WideFromUtf8(options.data));
  const bool checkOnly = options.command == CliCommand::Check;

  // What the window does before it starts the worker: the device first, then the power.
  if ((g_acpiDevice == DEVICE_HANDLE_EMPTY || g_acpiDevice == DEVICE_HANDLE_INVALID) &&
      !AcpiDeviceOpen()) {
    Report(output, options, UR_NO_ACPI_DEVICE, checkOnly, kernel.get());
    return CLI_EXIT_NO_DEVICE;
  }
  int status = CLI_EXIT_OK;
  if (PlatformSystem().AcPowerSource() == PowerSource::Battery) {
    ReportRefusal(output, options,
                  "the notebook runs on battery power. Connect the AC adapter and try again.");
    status = CLI_EXIT_ON_BATTERY;
  } else {
    output.Out(checkOnly ? "Checking the image (nothing is written); this takes about 20 s.\n"
                         : "Updating the Thunderbolt firmware; this takes about 20 s. Do not "
                           "switch the notebook off.\n");
    CProgress progress{output};
    UpdateWorkerSetObserver(&CProgress::Observe, &progress);
    CUpdateState state;
    state.m_downgradable = options.downgradable ? 1 : 0;
    // On a thread of its own, as the window runs it: COM and WMI belong to that thread.
    std::thread worker([&state, checkOnly] {
      UpdateAttempt(state, checkOnly ? UpdateMode::CheckOnly : UpdateMode::Write);
    });
    worker.join();
    UpdateWorkerSetObserver(nullptr, nullptr);
    if (kernel && checkOnly)
      state.m_result = kernel->AfterCheck(state.m_result);
    Report(output, options, state.m_result, checkOnly, kernel.get());
    status = state.m_result == UR_OK ? CLI_EXIT_OK : CLI_EXIT_FAILED;
  }
  AcpiDeviceClose();
  PlatformSetDataFolder(L"");
  return status;
}

int RunText(const std::vector<std::string>& args, ICliOutput& output) {
  std::vector<std::wstring> wide;
  for (size_t i = 1; i < args.size(); ++i)
    wide.push_back(WideFromUtf8(args[i]));
  std::ostringstream out;
  std::ostringstream err;
  const int status = CliText(wide, out, err);
  output.Out(out.str());
  output.Err(err.str());
  return status;
}

}  // namespace

int CliRun(const std::vector<std::string>& args, ICliOutput& output) {
  // "text" has its own small grammar (translators' tool), shared with its tests.
  if (!args.empty() && args[0] == "text")
    return RunText(args, output);
  CCliOptions options;
  std::string error;
  if (!CliParseOptions(args, options, error)) {
    output.Err("kelvane-cli: " + error + "\n\n" + CliUsage());
    return CLI_EXIT_USAGE;
  }
  switch (options.command) {
    case CliCommand::Help:
      output.Out(CliUsage());
      return CLI_EXIT_OK;
    case CliCommand::Update:
    case CliCommand::Check:
      return RunAttempt(options, output);
    case CliCommand::Inspect:
      return CliInspect(options, output);
    case CliCommand::MakeImage:
      return CliMakeImage(options, output);
  }
  return CLI_EXIT_USAGE;
}
