// Capture files written by hand for tests: each message as the relay writes it, one per line.
#pragma once

#include <cstdint>
#include <string>

namespace qtrace::testing_capture {

// A parameter element: "uint32" with Value, or "array_uint8" with a BinHexValue run.
inline std::string Param(const std::string& name, bool in, const std::string& value) {
  return "<Parameter Name=\"" + name + "\" RetVal=\"False\" InParam=\"" + (in ? "True" : "False") +
         "\" OutParam=\"" + (in ? "False" : "True") + "\" ParamType=\"uint32\"><Element Value=\"" + value +
         "\"/></Parameter>";
}
inline std::string Bytes(const std::string& name, bool in, const std::string& text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : text) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return "<Parameter Name=\"" + name + "\" RetVal=\"False\" InParam=\"" + (in ? "True" : "False") +
         "\" OutParam=\"" + (in ? "False" : "True") + "\" ParamType=\"array_uint8\"><Element BinHexValue=\"" + hex +
         "\"/></Parameter>";
}

inline std::string Section(const std::string& parameters) {
  return parameters.empty() ? "" : "<Parameters>" + parameters + "</Parameters>";
}

inline std::string Enter(const std::string& method, int64_t timestamp, const std::string& app, uint32_t pid,
                         uint32_t tid, const std::string& address, const std::string& parameters = "") {
  return "<Message><Method><Method_Enter MethodName=\"" + method + "\" Timestamp=\"" + std::to_string(timestamp) +
         "\" AppName=\"" + app + "\" ThreadID=\"" + std::to_string(tid) + "\" ProcessID=\"" + std::to_string(pid) +
         "\" Address=\"" + address + "\" Source=\"Korvane VISA\" ParamCount=\"0\"/></Method>" + Section(parameters) +
         "</Message>\n";
}

inline std::string Exit(const std::string& key, int64_t timestamp, const std::string& elapsed, uint32_t pid,
                        uint32_t tid, const std::string& address, int32_t status,
                        const std::string& parameters = "") {
  const char* element = status < 0 ? "Method_Error" : "Method_Exit";
  return std::string("<Message><Method><") + element + " MethodName=\"" + key + "\" Timestamp=\"" +
         std::to_string(timestamp) + "\" ElapsedNS=\"" + elapsed + "\" ThreadID=\"" + std::to_string(tid) +
         "\" ProcessID=\"" + std::to_string(pid) + "\" Address=\"" + address +
         "\" Source=\"Korvane VISA\" ParamCount=\"0\" HRESULT=\"" + std::to_string(status) + "\"/></Method>" +
         Section(parameters) + "</Message>\n";
}

}  // namespace qtrace::testing_capture
