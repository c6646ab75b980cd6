// PluginLibrary: dlopen, the ABI record check, the factory call and dlclose.
#include "tools/player/plugin_library.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <exception>

#include "tools/constants.h"
#include "tools/player/abi_record.h"

namespace replay {

namespace {

std::string LastDlError(const char* fallback) {
  const char* error = dlerror();
  return error != nullptr ? std::string(error) : std::string(fallback);
}

// The size of the data symbol at `address`, from the dynamic symbol table; false when unknown.
bool SymbolSize(void* address, size_t& size) {
  Dl_info info;
  void* entry = nullptr;
  if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) return false;
  size = static_cast<const ElfW(Sym)*>(entry)->st_size;
  return true;
}

}  // namespace

PluginLibrary::~PluginLibrary() {
  Close();
}

std::string PluginLibrary::Open(const std::string& path) {
  Close();
  dlerror();
  handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return LastDlError("dlopen failed");

  dlerror();
  void* record = dlsym(handle, kAbiSymbol);
  if (record == nullptr) {
    const std::string error =
        std::string("no ") + kAbiSymbol + " record: " + LastDlError("symbol not found");
    Close();
    return error;
  }
  size_t size = 0;
  if (!SymbolSize(record, size)) {
    Close();
    return std::string("cannot tell the size of ") + kAbiSymbol;
  }
  const std::string abi_error = CheckAbiRecord(static_cast<const uint8_t*>(record), size);
  if (!abi_error.empty()) {
    Close();
    return std::string("bad ") + kAbiSymbol + " record: " + abi_error;
  }

  dlerror();
  void* factory = dlsym(handle, kInitSymbol);
  if (factory == nullptr) {
    const std::string error =
        std::string("no ") + kInitSymbol + " function: " + LastDlError("symbol not found");
    Close();
    return error;
  }
  init = reinterpret_cast<kvPluginInitFunction>(factory);
  return std::string();
}

kvPlugin* PluginLibrary::Create(const std::string& tag, const kvPlugin::Params& params,
                                std::string& error) {
  kvPlugin* plugin = nullptr;
  try {
    plugin = init(tag, params);
  } catch (const std::exception& e) {
    error = std::string(kInitSymbol) + " failed: " + e.what();
    return nullptr;
  } catch (const std::string& text) {
    error = std::string(kInitSymbol) + " failed: " + text;
    return nullptr;
  } catch (...) {
    error = std::string(kInitSymbol) + " failed with an unknown exception";
    return nullptr;
  }
  if (plugin == nullptr) error = std::string(kInitSymbol) + " returned no plugin";
  return plugin;
}

void PluginLibrary::Close() {
  if (handle != nullptr) dlclose(handle);
  handle = nullptr;
  init = nullptr;
}

}  // namespace replay
