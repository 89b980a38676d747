#pragma once
// The WMI object model that controller access is written against: locator -> services for a
// namespace -> queries, class objects, method signatures and method calls. The Windows build
// implements it with COM/WMI; the emulated notebook and the tests serve it in-process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How the exchange types a value. Integer VARIANTs of any width arrive as Int32; anything the
// model does not carry (dates, objects, arrays of other element types) arrives as Other.
enum class WmiType { Empty, Null, Int32, String, ByteArray, NoArray, Other };

struct WmiValue {
  WmiType type = WmiType::Empty;
  int32_t int32 = 0;
  std::wstring string;
  std::vector<uint8_t> bytes;

  static WmiValue Null() {
    WmiValue v;
    v.type = WmiType::Null;
    return v;
  }
  static WmiValue Int(int32_t value) {
    WmiValue v;
    v.type = WmiType::Int32;
    v.int32 = value;
    return v;
  }
  static WmiValue Str(std::wstring value) {
    WmiValue v;
    v.type = WmiType::String;
    v.string = std::move(value);
    return v;
  }
  static WmiValue Bytes(std::vector<uint8_t> value) {
    WmiValue v;
    v.type = WmiType::ByteArray;
    v.bytes = std::move(value);
    return v;
  }
  // An array-typed value that holds no array (the array could not be created).
  static WmiValue MissingArray() {
    WmiValue v;
    v.type = WmiType::NoArray;
    return v;
  }
};

// A class object, an instance, a method's in-parameters or its out-parameters.
class IWmiObject {
 public:
  virtual ~IWmiObject() = default;
  virtual bool Get(const wchar_t* name, WmiValue& value) = 0;
  virtual bool Put(const wchar_t* name, const WmiValue& value) = 0;
  // On a class object: looks the method up; when inSignature is given, also hands back its
  // in-parameter signature (null when the method takes none).
  virtual bool GetMethod(const wchar_t* name, std::unique_ptr<IWmiObject>* inSignature) = 0;
  virtual bool SpawnInstance(std::unique_ptr<IWmiObject>& instance) = 0;
};

class IWmiEnumerator {
 public:
  virtual ~IWmiEnumerator() = default;
  // One object, or false when the call failed or the enumeration is at its end.
  virtual bool Next(std::unique_ptr<IWmiObject>& object) = 0;
};

class IWmiServices {
 public:
  virtual ~IWmiServices() = default;
  virtual bool ExecQuery(const wchar_t* language, const wchar_t* query,
                         std::unique_ptr<IWmiEnumerator>& result) = 0;
  virtual bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) = 0;
  // outParams stays null when the call succeeds without out-parameters.
  virtual bool ExecMethod(const wchar_t* path, const wchar_t* method, IWmiObject* inParams,
                          std::unique_ptr<IWmiObject>& outParams) = 0;
};

class IWmiLocator {
 public:
  virtual ~IWmiLocator() = default;
  virtual bool ConnectServer(const wchar_t* nameSpace, std::unique_ptr<IWmiServices>& services) = 0;
};

// Creates locators (CoCreateInstance of the WMI locator on Windows).
class IWmi {
 public:
  virtual ~IWmi() = default;
  virtual std::unique_ptr<IWmiLocator> CreateLocator() = 0;
};
