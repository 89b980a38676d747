#pragma once
// The Thunderbolt software's WMI provider as the emulated notebook serves it: namespace
// "ROOT\Intel\Thunderbolt" with one "SdkTbtController" instance over the emulated controller.
#include "emulator/emulated_controller.h"
#include "emulator/exchange_record.h"
#include "emulator/notebook_config.h"
#include "platform/wmi_model.h"

inline constexpr wchar_t EMU_CONTROLLER_ID[] = L"TBT\\EMULATED\\0";

// Provider codes of the emulation itself (any non-zero "ReturnValue" is the provider's own).
inline constexpr int32_t EMU_PROVIDER_BAD_PARAMETER = 87;
inline constexpr int32_t EMU_PROVIDER_WRITE_FAILED = 31;
// The image does not authenticate: its main section is shorter than the one it would replace.
inline constexpr int32_t EMU_PROVIDER_IMAGE_REFUSED = 13;

class CEmulatedProvider final : public IWmi {
 public:
  CEmulatedProvider(const CNotebookConfig& config, CEmulatedController& controller,
                    CExchangeRecord& record)
      : m_config(config), m_controller(controller), m_record(record) {}

  std::unique_ptr<IWmiLocator> CreateLocator() override;

  // Called by the emulation's services object; public for its sake only.
  bool Connect(const wchar_t* nameSpace);
  bool Query(const wchar_t* language, const wchar_t* query,
             std::unique_ptr<IWmiEnumerator>& result);
  bool ClassObject(const wchar_t* path, std::unique_ptr<IWmiObject>& object);
  bool Call(const wchar_t* path, const wchar_t* method, IWmiObject* in,
            std::unique_ptr<IWmiObject>& out);

 private:
  bool Dispatch(const wchar_t* path, const wchar_t* method, IWmiObject* in,
                std::unique_ptr<IWmiObject>& out);
  std::unique_ptr<IWmiObject> GetCurrentNvmVersion();
  std::unique_ptr<IWmiObject> ReadFirmware(IWmiObject* in);
  std::unique_ptr<IWmiObject> UpdateFirmware(IWmiObject* in);

  const CNotebookConfig& m_config;
  CEmulatedController& m_controller;
  CExchangeRecord& m_record;
  uint32_t m_calls = 0;
};
