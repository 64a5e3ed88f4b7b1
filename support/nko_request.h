// The five requests of the NKO pipe and their strict parser. A request is one XML element
// with fixed attributes in a fixed order:
//   <CreateEvent ProcId="%d" SecurityAttributes="%d" bManualReset="%d" bInitialState="%d" lpName="%s"/>
//   <CreateMutex ProcId="%d" SecurityAttributes="%d" bInitialOwner="%d" lpName="%s"/>
//   <CreateSemaphore ProcId="%d" SecurityAttributes="%d" lInitialCount="%d" lMaximumCount="%d" lpName="%s"/>
//   <CreateFileMapping ProcId="%d" hFile="%d" SecurityAttributes="%d" flProtect="%d"
//                      dwMaximumSizeHigh="%d" dwMaximumSizeLow="%d" lpName="%s"/>
//   <CloseHandle ProcId="%d" Handle="%d"/>
// Numbers are signed 32-bit decimals; lpName carries the five XML entities.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ombrix {

enum class RequestKind { CreateEvent, CreateMutex, CreateSemaphore, CreateFileMapping, CloseHandle };

struct NkoRequest {
  RequestKind kind = RequestKind::CloseHandle;
  int32_t procId = 0;
  int32_t securityAttributes = 0;
  // Kind-specific numbers in wire order:
  //   CreateEvent: bManualReset, bInitialState      CreateMutex: bInitialOwner
  //   CreateSemaphore: lInitialCount, lMaximumCount
  //   CreateFileMapping: hFile, flProtect, dwMaximumSizeHigh, dwMaximumSizeLow
  //   CloseHandle: Handle
  int32_t args[4] = {};
  std::string name;  // lpName with the entities resolved; empty for CloseHandle
};

// Returns nothing for anything that is not exactly one of the five requests.
std::optional<NkoRequest> ParseNkoRequest(std::string_view text);

// Resolves &quot; &amp; &apos; &lt; &gt;. Any other '&' sequence or a raw '<' or '"'
// makes the value malformed.
std::optional<std::string> XmlUnescape(std::string_view text);

}  // namespace ombrix
