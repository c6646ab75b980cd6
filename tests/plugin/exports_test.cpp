// The built plugin file as the daemon sees it: its SONAME, its two exports and nothing else.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct SymbolInfo {
  uint64_t size = 0;
  bool object = false;    // a data object, not a function
  bool writable = false;  // placed in a writable section
};

struct DynamicSymbols {
  std::string soname;
  std::set<std::string> defined;  // global or weak symbols the file defines
  std::map<std::string, SymbolInfo> info;
};

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads the dynamic symbol table and DT_SONAME of a 64-bit ELF file.
DynamicSymbols ReadDynamicSymbols(const std::vector<char>& file) {
  DynamicSymbols out;
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.data() + header->e_shoff);
  for (int i = 0; i < header->e_shnum; i++) {
    const Elf64_Shdr& section = sections[i];
    if (section.sh_type == SHT_DYNSYM) {
      const char* names = file.data() + sections[section.sh_link].sh_offset;
      const auto* symbols = reinterpret_cast<const Elf64_Sym*>(file.data() + section.sh_offset);
      const size_t count = section.sh_size / sizeof(Elf64_Sym);
      for (size_t k = 1; k < count; k++) {
        const Elf64_Sym& symbol = symbols[k];
        const unsigned bind = ELF64_ST_BIND(symbol.st_info);
        if (symbol.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
        out.defined.insert(names + symbol.st_name);
        SymbolInfo& info = out.info[names + symbol.st_name];
        info.size = symbol.st_size;
        info.object = ELF64_ST_TYPE(symbol.st_info) == STT_OBJECT;
        info.writable = symbol.st_shndx < header->e_shnum &&
                        (sections[symbol.st_shndx].sh_flags & SHF_WRITE) != 0;
      }
    } else if (section.sh_type == SHT_DYNAMIC) {
      const char* names = file.data() + sections[section.sh_link].sh_offset;
      const auto* entries = reinterpret_cast<const Elf64_Dyn*>(file.data() + section.sh_offset);
      for (size_t k = 0; k < section.sh_size / sizeof(Elf64_Dyn); k++) {
        if (entries[k].d_tag == DT_SONAME) out.soname = names + entries[k].d_un.d_val;
      }
    }
  }
  return out;
}

TEST(PluginExports, FileNameAndSonameAreTheDaemonsName) {
  const std::string path = KORVEL_PLUGIN_PATH;
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "libkorvel-proc-core.so.0");
  const DynamicSymbols symbols = ReadDynamicSymbols(ReadFile(path));
  EXPECT_EQ(symbols.soname, "libkorvel-proc-core.so.0");
}

TEST(PluginExports, OnlyTheFactoryAndTheAbiRecordAreExported) {
  const DynamicSymbols symbols = ReadDynamicSymbols(ReadFile(KORVEL_PLUGIN_PATH));
  EXPECT_EQ(symbols.defined, (std::set<std::string>{"kvPluginInit", "kv_plugin_abi"}));
}

TEST(PluginExports, AbiRecordHoldsTheInterfaceItIsBuiltAgainst) {
  void* handle = dlopen(KORVEL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  const void* record = dlsym(handle, "kv_plugin_abi");
  ASSERT_NE(record, nullptr);
  EXPECT_NE(dlsym(handle, "kvPluginInit"), nullptr);

  const unsigned char expected[32] = {'B', 'A',  'P',  'K',  32,   0, 0,  0, 25, 0, 0,
                                      0,   0x09, 0x03, 0x23, 0x20, 1, 0,  0, 0,  0, 0,
                                      0,   0,    0x60, 0x0b, 0,    0, 72, 0, 0,  0};
  EXPECT_EQ(std::memcmp(record, expected, sizeof(expected)), 0);

  dlclose(handle);

  // A 32-byte data object in a read-only section.
  const DynamicSymbols symbols = ReadDynamicSymbols(ReadFile(KORVEL_PLUGIN_PATH));
  const SymbolInfo& info = symbols.info.at("kv_plugin_abi");
  EXPECT_EQ(info.size, 32u);
  EXPECT_TRUE(info.object);
  EXPECT_FALSE(info.writable);
}

}  // namespace
