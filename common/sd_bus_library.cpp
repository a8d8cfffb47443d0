#include "common/sd_bus_library.h"

#include <dlfcn.h>

namespace brivane {
namespace {

const SdBusCalls* Resolve() {
  void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    return nullptr;
  }
  static SdBusCalls calls;
#define BRIVANE_SD_BUS_RESOLVE(name)                                          \
  calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(library, #name)); \
  if (calls.name == nullptr) {                                                \
    return nullptr;                                                           \
  }
  BRIVANE_SD_BUS_CALLS(BRIVANE_SD_BUS_RESOLVE)
#undef BRIVANE_SD_BUS_RESOLVE
  return &calls;
}

}  // namespace

const SdBusCalls* LoadSdBus() {
  static const SdBusCalls* const loaded = Resolve();
  return loaded;
}

}  // namespace brivane
