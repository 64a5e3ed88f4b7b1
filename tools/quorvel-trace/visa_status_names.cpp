#include "tools/quorvel-trace/visa_status_names.h"

#include <algorithm>
#include <iterator>

namespace qtrace {
namespace {

struct StatusName {
  uint32_t code;
  std::string_view name;
};

// Sorted by code, for a binary search.
constexpr StatusName kStatusNames[] = {
    {0x00000000, "VI_SUCCESS"},
    {0x3FFF0002, "VI_SUCCESS_EVENT_EN"},
    {0x3FFF0003, "VI_SUCCESS_EVENT_DIS"},
    {0x3FFF0004, "VI_SUCCESS_QUEUE_EMPTY"},
    {0x3FFF0005, "VI_SUCCESS_TERM_CHAR"},
    {0x3FFF0006, "VI_SUCCESS_MAX_CNT"},
    {0x3FFF000C, "VI_WARN_QUEUE_OVERFLOW"},
    {0x3FFF0077, "VI_WARN_CONFIG_NLOADED"},
    {0x3FFF007D, "VI_SUCCESS_DEV_NPRESENT"},
    {0x3FFF007E, "VI_SUCCESS_TRIG_MAPPED"},
    {0x3FFF0080, "VI_SUCCESS_QUEUE_NEMPTY"},
    {0x3FFF0082, "VI_WARN_NULL_OBJECT"},
    {0x3FFF0084, "VI_WARN_NSUP_ATTR_STATE"},
    {0x3FFF0085, "VI_WARN_UNKNOWN_STATUS"},
    {0x3FFF0088, "VI_WARN_NSUP_BUF"},
    {0x3FFF0098, "VI_SUCCESS_NCHAIN"},
    {0x3FFF0099, "VI_SUCCESS_NESTED_SHARED"},
    {0x3FFF009A, "VI_SUCCESS_NESTED_EXCLUSIVE"},
    {0x3FFF009B, "VI_SUCCESS_SYNC"},
    {0x3FFF00A9, "VI_WARN_EXT_FUNC_NIMPL"},
    {0xBFFF0000, "VI_ERROR_SYSTEM_ERROR"},
    {0xBFFF000E, "VI_ERROR_INV_OBJECT"},
    {0xBFFF000F, "VI_ERROR_RSRC_LOCKED"},
    {0xBFFF0010, "VI_ERROR_INV_EXPR"},
    {0xBFFF0011, "VI_ERROR_RSRC_NFOUND"},
    {0xBFFF0012, "VI_ERROR_INV_RSRC_NAME"},
    {0xBFFF0013, "VI_ERROR_INV_ACC_MODE"},
    {0xBFFF0015, "VI_ERROR_TMO"},
    {0xBFFF0016, "VI_ERROR_CLOSING_FAILED"},
    {0xBFFF001B, "VI_ERROR_INV_DEGREE"},
    {0xBFFF001C, "VI_ERROR_INV_JOB_ID"},
    {0xBFFF001D, "VI_ERROR_NSUP_ATTR"},
    {0xBFFF001E, "VI_ERROR_NSUP_ATTR_STATE"},
    {0xBFFF001F, "VI_ERROR_ATTR_READONLY"},
    {0xBFFF0020, "VI_ERROR_INV_LOCK_TYPE"},
    {0xBFFF0021, "VI_ERROR_INV_ACCESS_KEY"},
    {0xBFFF0026, "VI_ERROR_INV_EVENT"},
    {0xBFFF0027, "VI_ERROR_INV_MECH"},
    {0xBFFF0028, "VI_ERROR_HNDLR_NINSTALLED"},
    {0xBFFF0029, "VI_ERROR_INV_HNDLR_REF"},
    {0xBFFF002A, "VI_ERROR_INV_CONTEXT"},
    {0xBFFF002D, "VI_ERROR_QUEUE_OVERFLOW"},
    {0xBFFF002F, "VI_ERROR_NENABLED"},
    {0xBFFF0030, "VI_ERROR_ABORT"},
    {0xBFFF0034, "VI_ERROR_RAW_WR_PROT_VIOL"},
    {0xBFFF0035, "VI_ERROR_RAW_RD_PROT_VIOL"},
    {0xBFFF0036, "VI_ERROR_OUTP_PROT_VIOL"},
    {0xBFFF0037, "VI_ERROR_INP_PROT_VIOL"},
    {0xBFFF0038, "VI_ERROR_BERR"},
    {0xBFFF0039, "VI_ERROR_IN_PROGRESS"},
    {0xBFFF003A, "VI_ERROR_INV_SETUP"},
    {0xBFFF003B, "VI_ERROR_QUEUE_ERROR"},
    {0xBFFF003C, "VI_ERROR_ALLOC"},
    {0xBFFF003D, "VI_ERROR_INV_MASK"},
    {0xBFFF003E, "VI_ERROR_IO"},
    {0xBFFF003F, "VI_ERROR_INV_FMT"},
    {0xBFFF0041, "VI_ERROR_NSUP_FMT"},
    {0xBFFF0042, "VI_ERROR_LINE_IN_USE"},
    {0xBFFF0046, "VI_ERROR_NSUP_MODE"},
    {0xBFFF004A, "VI_ERROR_SRQ_NOCCURRED"},
    {0xBFFF004E, "VI_ERROR_INV_SPACE"},
    {0xBFFF0051, "VI_ERROR_INV_OFFSET"},
    {0xBFFF0052, "VI_ERROR_INV_WIDTH"},
    {0xBFFF0054, "VI_ERROR_NSUP_OFFSET"},
    {0xBFFF0055, "VI_ERROR_NSUP_VAR_WIDTH"},
    {0xBFFF0057, "VI_ERROR_WINDOW_NMAPPED"},
    {0xBFFF0059, "VI_ERROR_RESP_PENDING"},
    {0xBFFF005F, "VI_ERROR_NLISTENERS"},
    {0xBFFF0060, "VI_ERROR_NCIC"},
    {0xBFFF0061, "VI_ERROR_NSYS_CNTLR"},
    {0xBFFF0067, "VI_ERROR_NSUP_OPER"},
    {0xBFFF0068, "VI_ERROR_INTR_PENDING"},
    {0xBFFF006A, "VI_ERROR_ASRL_PARITY"},
    {0xBFFF006B, "VI_ERROR_ASRL_FRAMING"},
    {0xBFFF006C, "VI_ERROR_ASRL_OVERRUN"},
    {0xBFFF006E, "VI_ERROR_TRIG_NMAPPED"},
    {0xBFFF0070, "VI_ERROR_NSUP_ALIGN_OFFSET"},
    {0xBFFF0071, "VI_ERROR_USER_BUF"},
    {0xBFFF0072, "VI_ERROR_RSRC_BUSY"},
    {0xBFFF0076, "VI_ERROR_NSUP_WIDTH"},
    {0xBFFF0078, "VI_ERROR_INV_PARAMETER"},
    {0xBFFF0079, "VI_ERROR_INV_PROT"},
    {0xBFFF007B, "VI_ERROR_INV_SIZE"},
    {0xBFFF0080, "VI_ERROR_WINDOW_MAPPED"},
    {0xBFFF0081, "VI_ERROR_NIMPL_OPER"},
    {0xBFFF0083, "VI_ERROR_INV_LENGTH"},
    {0xBFFF0091, "VI_ERROR_INV_MODE"},
    {0xBFFF009C, "VI_ERROR_SESN_NLOCKED"},
    {0xBFFF009D, "VI_ERROR_MEM_NSHARED"},
    {0xBFFF009E, "VI_ERROR_LIBRARY_NFOUND"},
    {0xBFFF009F, "VI_ERROR_NSUP_INTR"},
    {0xBFFF00A0, "VI_ERROR_INV_LINE"},
    {0xBFFF00A1, "VI_ERROR_FILE_ACCESS"},
    {0xBFFF00A2, "VI_ERROR_FILE_IO"},
    {0xBFFF00A3, "VI_ERROR_NSUP_LINE"},
    {0xBFFF00A4, "VI_ERROR_NSUP_MECH"},
    {0xBFFF00A5, "VI_ERROR_INTF_NUM_NCONFIG"},
    {0xBFFF00A6, "VI_ERROR_CONN_LOST"},
    {0xBFFF00A7, "VI_ERROR_MACHINE_NAVAIL"},
    {0xBFFF00A8, "VI_ERROR_NPERMISSION"},
};

static_assert(std::is_sorted(std::begin(kStatusNames), std::end(kStatusNames),
                             [](const StatusName& a, const StatusName& b) { return a.code < b.code; }));

}  // namespace

std::string_view VisaStatusName(int32_t status) {
  const auto code = static_cast<uint32_t>(status);
  const auto it = std::lower_bound(std::begin(kStatusNames), std::end(kStatusNames), code,
                                   [](const StatusName& s, uint32_t c) { return s.code < c; });
  return it != std::end(kStatusNames) && it->code == code ? it->name : std::string_view();
}

std::string StatusHex(int32_t status) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x00000000";
  auto code = static_cast<uint32_t>(status);
  for (size_t i = text.size(); i-- > 2; code >>= 4) text[i] = kDigits[code & 15];
  return text;
}

std::string StatusText(int32_t status, bool visaCall) {
  const std::string_view name = visaCall ? VisaStatusName(status) : std::string_view();
  if (name.empty()) return StatusHex(status);
  return std::string(name) + " (" + StatusHex(status) + ")";
}

bool IsVisaMethod(std::string_view method) { return method == "VISA" || method.starts_with("VISA::"); }

}  // namespace qtrace
