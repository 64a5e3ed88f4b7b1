// Names of the VISA completion and error codes, for showing a call's status as
// "VI_ERROR_TMO (0xBFFF0015)" instead of a bare decimal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qtrace {

// The name of a VISA status code, or an empty view when the code is not a VISA one.
std::string_view VisaStatusName(int32_t status);

// "0xBFFF0015": the status as eight upper-case hexadecimal digits.
std::string StatusHex(int32_t status);

// How a call's status is shown: "NAME (0x...)" for a known code of a VISA call, the bare
// hexadecimal form for anything else (other libraries, unknown codes).
std::string StatusText(int32_t status, bool visaCall);

// True when |method| ("KEY::name", or the exit's bare key) belongs to the VISA layer.
bool IsVisaMethod(std::string_view method);

}  // namespace qtrace
