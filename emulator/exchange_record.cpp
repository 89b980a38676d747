#include "emulator/exchange_record.h"

#include "platform/utf8.h"

namespace {

uint32_t LoadLittleEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= uint32_t{bytes[at + i]} << (8 * i);
  return value;
}

std::string DescribeRequest(const EmuEvent& event) {
  // A DEVS request is tag, length 8, device id, value.
  if (event.bytes.size() == 16 && LoadLittleEndian32(event.bytes, 0) == 0x53564544) {
    // Appended rather than concatenated: GCC 12 warns falsely on literal + string (-Wrestrict).
    std::string line = "DEVS ";
    line += std::to_string(LoadLittleEndian32(event.bytes, 12));
    return line;
  }
  return "request";
}

std::string Joined(const char* first, const std::string& second) {
  std::string line = first;
  line += second;
  return line;
}

}  // namespace

void CExchangeRecord::Add(EmuEvent event) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_events.push_back(std::move(event));
}

std::vector<EmuEvent> CExchangeRecord::Events() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_events;
}

void CExchangeRecord::Clear() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_events.clear();
}

std::vector<std::string> CExchangeRecord::Summary() const {
  std::vector<std::string> lines;
  for (const EmuEvent& event : Events()) {
    switch (event.kind) {
      case EmuEventKind::DeviceRequest:
        lines.push_back(DescribeRequest(event));
        break;
      case EmuEventKind::ServiceStart:
        lines.push_back(Joined("start ", Utf8FromWide(event.name)));
        break;
      case EmuEventKind::Wait:
        lines.push_back(Joined("wait ", std::to_string(event.number)));
        break;
      case EmuEventKind::WmiConnect:
        lines.push_back(event.number ? "connect" : "connect failed");
        break;
      case EmuEventKind::WmiQuery:
        lines.push_back("query");
        break;
      case EmuEventKind::WmiMethod: {
        std::string line = Utf8FromWide(event.name);
        if (!event.detail.empty())
          line += Joined(" ", Utf8FromWide(event.detail));
        lines.push_back(line);
        break;
      }
      case EmuEventKind::DeviceOpen:
      case EmuEventKind::DeviceClose:
      case EmuEventKind::ServiceManager:
      case EmuEventKind::ServiceOpen:
        break;
    }
  }
  return lines;
}
