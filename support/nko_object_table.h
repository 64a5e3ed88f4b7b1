// The named objects the NKO server created for its clients, each held under the
// (ProcId, handle value) pair of the create reply until that client's CloseHandle request.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "support/nko_request.h"

namespace ombrix {

class ObjectTable {
 public:
  ObjectTable() = default;
  ObjectTable(const ObjectTable&) = delete;
  ObjectTable& operator=(const ObjectTable&) = delete;
  ~ObjectTable() { CloseAll(); }

  // Carries out one request and returns the reply text: "<handle>", "<handle>,183"
  // (the object existed before), "0,<error>" for a failure, "1" for a CloseHandle done.
  // With |refuseCreate| every create request fails with access denied and creates nothing.
  std::string Execute(const NkoRequest& request, bool refuseCreate);

  size_t Held() const;
  void CloseAll();

 private:
  std::string Create(const NkoRequest& request);
  std::string Close(const NkoRequest& request);

  mutable std::mutex m_mutex;
  std::map<std::pair<int32_t, int32_t>, HANDLE> m_handles;
};

}  // namespace ombrix
