#include "platform/wmi_memory_object.h"

bool CWmiMemoryObject::Get(const wchar_t* name, WmiValue& value) {
  const auto found = m_values.find(name);
  if (found == m_values.end())
    return false;
  value = found->second;
  return true;
}

bool CWmiMemoryObject::Put(const wchar_t* name, const WmiValue& value) {
  if (!m_declared.empty() && !m_declared.contains(name))
    return false;
  m_values[name] = value;
  return true;
}

bool CWmiMemoryObject::GetMethod(const wchar_t* name, std::unique_ptr<IWmiObject>* inSignature) {
  const auto found = m_methods.find(name);
  if (found == m_methods.end())
    return false;
  if (inSignature) {
    inSignature->reset(found->second.empty() ? nullptr : new CWmiMemoryObject(found->second));
  }
  return true;
}

bool CWmiMemoryObject::SpawnInstance(std::unique_ptr<IWmiObject>& instance) {
  instance = std::make_unique<CWmiMemoryObject>(m_declared, m_methods);
  return true;
}
