// nko-probe: creates or opens one named kernel object through the kernel object layer and
// says what happened. A Global\ name is created by the NKO server, so two probes show
// that an object made for one process is there for another.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/os_class.h"
#include "base/unique.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"

namespace {

const char kUsage[] =
    "usage: nko-probe create KIND NAME [options]\n"
    "       nko-probe open KIND NAME [options]\n"
    "KIND is event, mutex, semaphore or mapping. Names starting with Global\\ (any case)\n"
    "are created by the NKO server of the suite service; others locally.\n"
    "options:\n"
    "  --set            set the event after creating or opening it\n"
    "  --write TEXT     write TEXT into the mapping (4096 bytes)\n"
    "  --read           print the text held in the mapping\n"
    "  --wait MS        wait up to MS ms for the event; exit 3 when it stays unsignalled\n"
    "  --hold MS        keep the object open MS ms before closing it (default 0)\n"
    "  --until EVENT    with --hold: end the hold as soon as the local event EVENT is set;\n"
    "                   EVENT is created before the object, so whoever sees the object can\n"
    "                   set it; exit 3 when nobody sets it within the hold time\n"
    "  --retry-for MS   open: when the object does not exist yet, try again until it does\n"
    "                   or MS ms have passed\n"
    "exit codes: 0 done, 1 create/open failed, 2 usage, 3 wait or hold timed out\n";

constexpr DWORD kRetryGapMs = 50;

constexpr DWORD kMappingSize = 4096;

struct Options {
  bool create = false;
  std::string kind;
  std::string name;
  bool set = false;
  bool read = false;
  const char* write = nullptr;
  long waitMs = -1;
  long holdMs = 0;
  const char* until = nullptr;
  long retryForMs = 0;
};

bool Parse(int argc, char** argv, Options& o) {
  if (argc < 4) return false;
  if (std::strcmp(argv[1], "create") == 0) {
    o.create = true;
  } else if (std::strcmp(argv[1], "open") != 0) {
    return false;
  }
  o.kind = argv[2];
  o.name = argv[3];
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--set") {
      o.set = true;
    } else if (a == "--read") {
      o.read = true;
    } else if (a == "--write" && hasValue) {
      o.write = argv[++i];
    } else if (a == "--wait" && hasValue) {
      o.waitMs = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "--hold" && hasValue) {
      o.holdMs = std::strtol(argv[++i], nullptr, 10);
    } else if (a == "--until" && hasValue) {
      o.until = argv[++i];
    } else if (a == "--retry-for" && hasValue) {
      o.retryForMs = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "nko-probe: unknown or incomplete option %s\n", a.c_str());
      return false;
    }
  }
  if (o.until != nullptr && o.holdMs <= 0) {
    std::fprintf(stderr, "nko-probe: --until needs --hold\n");
    return false;
  }
  return o.kind == "event" || o.kind == "mutex" || o.kind == "semaphore" || o.kind == "mapping";
}

NkoHandle* Create(const Options& o) {
  SECURITY_ATTRIBUTES* sa = GetNullDaclSecurityAttributes();
  const char* n = o.name.c_str();
  if (o.kind == "event") return NkoCreateEvent(sa, TRUE, FALSE, n);
  if (o.kind == "mutex") return NkoCreateMutex(sa, FALSE, n);
  if (o.kind == "semaphore") return NkoCreateSemaphore(sa, 1, 65535, n);
  return NkoCreateFileMapping(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, kMappingSize, n);
}

NkoHandle* Open(const Options& o) {
  const char* n = o.name.c_str();
  if (o.kind == "event") return NkoOpenEvent(EVENT_ALL_ACCESS, FALSE, n);
  if (o.kind == "mutex") return NkoOpenMutex(MUTEX_ALL_ACCESS, FALSE, n);
  if (o.kind == "mapping") return NkoOpenFileMapping(FILE_MAP_ALL_ACCESS, FALSE, n);
  // The layer has no open for semaphores: the plain open's handle goes into a holder of
  // our own, which NkoClose frees like any other.
  UniqueHandle h(OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, n));
  if (!h) return InvalidNkoHandle;
  return new NkoHandle{h.Release(), 0};
}

// Opens the object, and while it does not exist yet (error 2) and the retry time has not
// run out, tries again.
UniqueNko OpenWithRetry(const Options& o) {
  const DWORD start = GetTickCount();
  for (;;) {
    SetLastError(0);
    UniqueNko h(Open(o));
    if (NkoIsValid(h.Get()) || GetLastError() != ERROR_FILE_NOT_FOUND) return h;
    if (static_cast<long>(GetTickCount() - start) >= o.retryForMs) return h;
    Sleep(kRetryGapMs);
  }
}

// Keeps the object for the hold time, or until the release event is set; 3 when a
// release event was given and nobody set it in time.
int Hold(const Options& o, HANDLE release) {
  if (o.holdMs <= 0) return 0;
  if (release == nullptr) {
    Sleep(static_cast<DWORD>(o.holdMs));
    return 0;
  }
  if (WaitForSingleObject(release, static_cast<DWORD>(o.holdMs)) == WAIT_OBJECT_0) return 0;
  std::printf("nobody set \"%s\" within %ld ms\n", o.until, o.holdMs);
  return 3;
}

int UseObject(const Options& o, HANDLE h) {
  if (o.set && o.kind == "event") {
    SetEvent(h);
    std::printf("set the event\n");
  }
  if (o.kind == "mapping" && (o.write != nullptr || o.read)) {
    UniqueView mapped(MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, kMappingSize));
    char* view = ViewAs<char>(mapped);
    if (view == nullptr) {
      std::printf("MapViewOfFile failed, error %lu\n", GetLastError());
      return 1;
    }
    if (o.write != nullptr) {
      lstrcpynA(view, o.write, kMappingSize);
      std::printf("wrote \"%s\" into the mapping\n", view);
    }
    if (o.read) std::printf("the mapping holds \"%.*s\"\n", static_cast<int>(kMappingSize), view);
  }
  if (o.waitMs >= 0) {
    const DWORD r = WaitForSingleObject(h, static_cast<DWORD>(o.waitMs));
    std::printf(r == WAIT_OBJECT_0 ? "the object is signalled\n" : "the object stayed unsignalled\n");
    if (r != WAIT_OBJECT_0) return 3;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!Parse(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  setvbuf(stdout, nullptr, _IONBF, 0);
  UniqueHandle release;
  if (o.until != nullptr && !(release = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, o.until)))) {
    std::printf("create event \"%s\" failed, error %lu\n", o.until, GetLastError());
    return 1;
  }
  SetLastError(0);
  UniqueNko h = o.create ? UniqueNko(Create(o)) : OpenWithRetry(o);
  const DWORD error = GetLastError();
  const char* path = !o.create ? "local open" : IsGlobalObjectName(o.name.c_str()) ? "NKO server" : "local creation";
  if (!NkoIsValid(h.Get())) {
    std::printf("%s %s \"%s\" failed (%s), error %lu\n", o.create ? "create" : "open", o.kind.c_str(),
                o.name.c_str(), path, error);
    return 1;
  }
  std::printf("%s %s \"%s\" (%s): ok%s\n", o.create ? "created" : "opened", o.kind.c_str(), o.name.c_str(), path,
              o.create ? (error == ERROR_ALREADY_EXISTS ? ", error 183: it existed already" : ", a new object") : "");
  int rc = UseObject(o, NkoGetHandle(h.Get()));
  const int held = Hold(o, release.Get());
  if (rc == 0) rc = held;
  return rc;
}
