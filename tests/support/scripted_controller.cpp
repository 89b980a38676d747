#include "tests/support/scripted_controller.h"

namespace {

WmiMethodReply Reply(uint32_t returnValue) {
  WmiMethodReply reply;
  reply.out[L"ReturnValue"] = WmiValue::Int(static_cast<int32_t>(returnValue));
  return reply;
}

bool IntParameter(const WmiProperties& in, const wchar_t* name, int32_t* value) {
  const auto found = in.find(name);
  if (found == in.end() || found->second.type != WmiType::Int32)
    return false;
  *value = found->second.int32;
  return true;
}

}  // namespace

CScriptedController::CScriptedController(std::vector<uint8_t> nvmBytes, uint32_t nvmVersion,
                                         std::wstring controllerId)
    : nvm(std::move(nvmBytes)), version(nvmVersion) {
  WmiScript& script = m_wmi.Script();
  script.instances.push_back({{L"ControllerId", WmiValue::Str(std::move(controllerId))}});
  script.methods[L"GetCurrentNvmVersion"] = {{}, [this](auto&, auto&) { return GetVersion(); }};
  script.methods[L"ReadFirmware"] = {{L"offset", L"length"},
                                     [this](auto&, const auto& in) { return Read(in); }};
  script.methods[L"UpdateFirmware"] = {{L"BufferSize", L"Buffer"},
                                       [this](auto&, const auto& in) { return Update(in); }};
}

WmiMethodReply CScriptedController::GetVersion() {
  WmiMethodReply reply = Reply(0);
  reply.out[L"NvmVersion"] = WmiValue::Int(static_cast<int32_t>(version));
  return reply;
}

WmiMethodReply CScriptedController::Read(const WmiProperties& in) {
  int32_t offset = 0;
  int32_t length = 0;
  if (!IntParameter(in, L"offset", &offset) || !IntParameter(in, L"length", &length) ||
      length < 0) {
    return Reply(SCRIPTED_BAD_PARAMETER);
  }
  readOffsets.push_back(static_cast<uint32_t>(offset));
  readLengths.push_back(static_cast<uint32_t>(length));
  std::vector<uint8_t> data(static_cast<size_t>(length), 0xFF);
  for (uint32_t i = 0; i < data.size(); ++i) {
    const uint64_t at = uint64_t(uint32_t(offset)) + i;
    if (at < nvm.size())
      data[i] = nvm[at];
  }
  const auto code = readReturnValues.find(static_cast<uint32_t>(offset));
  WmiMethodReply reply = Reply(code == readReturnValues.end() ? 0 : code->second);
  reply.out[L"data"] = WmiValue::Bytes(std::move(data));
  return reply;
}

WmiMethodReply CScriptedController::Update(const WmiProperties& in) {
  if (!IntParameter(in, L"BufferSize", &writtenSize))
    return Reply(SCRIPTED_BAD_PARAMETER);
  const auto buffer = in.find(L"Buffer");
  if (buffer == in.end() || buffer->second.type != WmiType::ByteArray) {
    return Reply(SCRIPTED_BAD_PARAMETER);
  }
  written = buffer->second.bytes;
  return Reply(updateReturnValue);
}
