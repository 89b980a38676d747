#include "cli/cli_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/cli_advice.h"
#include "cli/cli_discovery.h"
#include "cli/cli_image.h"
#include "cli/cli_kernel.h"
#include "cli/cli_options.h"
#include "cli/text_command.h"
#include "emulator/emulated_controller.h"
#include "emulator/emulated_notebook.h"
#include "engine/acpi_channel.h"
#include "engine/image_discovery.h"
#include "engine/update_worker.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

struct CProgress {
  ICliOutput& output;
  bool realWaits;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

  static void Observe(UpdateStep step, void* context) {
    auto& self = *static_cast<CProgress*>(context);
    // Discovery has just ended: say where it looked and what it took, before loading.
    if (step == UpdateStep::LoadImage)
      self.output.Out(CliDiscoveryText(UpdateWorkerDiscovery()));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - self.start).count();
    const bool wait = step == UpdateStep::ServiceWait || step == UpdateStep::SettleWait;
    char line[96];
    std::snprintf(line, sizeof line, "%6.1f s  %s%s\n", seconds, UpdateStepName(step),
                  wait && self.realWaits ? " (10 s)" : "");
    self.output.Out(line);
  }
};

const char* AttemptName(const CCliOptions& options) {
  return options.command == CliCommand::Check ? "check" : "update";
}

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
  const CImageDiscovery& discovery = UpdateWorkerDiscovery();
  output.Out("result: " + HexCode(result) + " " + shown + "\n" +
             (result == UR_NO_IMAGE ? CliNoImageText(discovery) : std::string()) + advice + "\n");
  if (options.json) {
    output.Out("{\"command\":" + JsonString(AttemptName(options)) +
               ",\"result\":" + JsonString(HexCode(result)) + ",\"name\":" + JsonString(shown) +
               ",\"wrote\":" + (!checkOnly && result == UR_OK ? "true" : "false") +
               ",\"advice\":" + JsonString(advice) + CliDiscoveryJson(discovery) + "}\n");
  }
}

// An outcome without a result code: the attempt never started.
void ReportNoAttempt(ICliOutput& output, const CCliOptions& options, const char* name,
                     const std::string& text) {
  if (options.json) {
    output.Out("{\"command\":" + JsonString(AttemptName(options)) + ",\"result\":null,\"name\":" +
               JsonString(name) + ",\"wrote\":false,\"advice\":" + JsonString(text) + "}\n");
  }
}

void ReportRefusal(ICliOutput& output, const CCliOptions& options, const char* text) {
  output.Out(std::string("refused: ") + text + "\n");
  ReportNoAttempt(output, options, "battery", text);
}

// --data when given; else DIR/data of an emulated notebook when that folder exists, since that
// is where its images are kept; else the folder "data" beside the program (empty).
std::wstring ImageFolder(const CCliOptions& options) {
  if (!options.data.empty())
    return WideFromUtf8(options.data);
  if (!options.emulate.empty()) {
    std::error_code error;
    if (std::filesystem::is_directory(EmuPathFromUtf8(options.emulate) / "data", error)) {
      std::wstring folder = WideFromUtf8(options.emulate);
      while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
      return folder + L"\\data";
    }
  }
  return {};
}

std::string AttemptIntro(bool checkOnly, bool realWaits) {
  const std::string duration = realWaits ? "; this takes about 20 s" : "";
  return checkOnly ? "Checking the image (nothing is written)" + duration + ".\n"
                   : "Updating the Thunderbolt firmware" + duration +
                         ". Do not switch the notebook off.\n";
}

// The reason, the command forms and where to read more; not the whole help.
int ReportUsageError(const std::string& command, bool json, const std::string& error,
                     ICliOutput& output) {
  output.Err("kelvane-cli: " + error + "\n" + CliShortUsage() +
             "Run \"kelvane-cli --help\" for every option and the exit statuses.\n");
  if (json) {
    output.Out("{\"command\":" + JsonString(command) +
               ",\"result\":null,\"name\":\"usage\",\"advice\":" + JsonString(error) + "}\n");
  }
  return CLI_EXIT_USAGE;
}

int RunAttempt(const CCliOptions& options, ICliOutput& output) {
  std::unique_ptr<CEmulatedNotebook> notebook;
  std::unique_ptr<CScopedPlatform> installed;
  const bool checkOnly = options.command == CliCommand::Check;
  std::unique_ptr<CCliKernel> kernel;
  if (!options.emulate.empty() && !options.controller.empty()) {
    return ReportUsageError(AttemptName(options), options.json,
                            "--controller chooses among the kernel's host routers; an emulated "
                            "notebook has one controller",
                            output);
  }
  if (options.emulate.empty()) {
    kernel = CliKernelInstall(options, output);
    if (!kernel && !options.controller.empty()) {
      return ReportUsageError(AttemptName(options), options.json,
                              "--controller chooses among the Linux kernel's host routers", output);
    }
  } else {
    std::string error;
    bool inUse = false;
    notebook = CEmulatedNotebook::Load(EmuPathFromUtf8(options.emulate), error, &inUse);
    if (!notebook) {
      const std::string message = options.emulate + ": " + error;
      output.Err("kelvane-cli: " + message + "\n");
      // The folder is the emulated controller: its lock is the attempt lock.
      if (inUse) {
        Report(output, options, UR_ATTEMPT_RUNNING, checkOnly, nullptr);
        return CLI_EXIT_BUSY;
      }
      ReportNoAttempt(output, options, "unreadable", message);
      return CLI_EXIT_UNREADABLE;
    }
    installed = std::make_unique<CScopedPlatform>(notebook->Services());
  }
  PlatformSetDataFolder(ImageFolder(options));
  const bool realWaits = !notebook || notebook->Config().clock == EmuClock::Real;

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
    output.Out(AttemptIntro(checkOnly, realWaits));
    output.Out("image folder: " + PlatformDisplayPath(PlatformDataFolder()) + "\n");
    CProgress progress{output, realWaits};
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
    if (!notebook || notebook->Controller().WriteError().empty())
      Report(output, options, state.m_result, checkOnly, kernel.get());
    status = state.m_result == UR_OK                ? CLI_EXIT_OK
             : state.m_result == UR_ATTEMPT_RUNNING ? CLI_EXIT_BUSY
                                                    : CLI_EXIT_FAILED;
    // The emulated controller could not save what it was given: a fault of the folder, not of
    // the Thunderbolt software.
    if (notebook && !notebook->Controller().WriteError().empty()) {
      const std::string message =
          notebook->Controller().WriteError() + "; the emulated firmware is unchanged";
      output.Err("kelvane-cli: " + message + "\n");
      ReportNoAttempt(output, options, "unwritable", message);
      status = CLI_EXIT_UNREADABLE;
    }
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
  PlatformSetDataFolder(L"");  // its --data holds for this run only
  output.Out(out.str());
  output.Err(err.str());
  return status;
}

// The reason and the command forms, not the whole help; with --json among the words, the
// object too, so that a script reads one on the last line whatever happened.
int ReportUsageError(const std::vector<std::string>& args, const std::string& error,
                     ICliOutput& output) {
  const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
  return ReportUsageError(args.empty() ? std::string() : args.front(), json, error, output);
}

}  // namespace

int CliRun(const std::vector<std::string>& args, ICliOutput& output) {
  // "text" has its own small grammar (translators' tool), shared with its tests.
  if (!args.empty() && args[0] == "text")
    return RunText(args, output);
  CCliOptions options;
  std::string error;
  if (!CliParseOptions(args, options, error))
    return ReportUsageError(args, error, output);
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
