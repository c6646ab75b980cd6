// The built plugin file as the daemon sees it: its SONAME, its two exports and nothing else.
#include <elf.h>
#include <gtest/gtest.h>

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

// DT_SONAME and the global or weak symbols a 64-bit ELF file defines.
struct DynamicSymbols {
  std::string soname;
  std::map<std::string, SymbolInfo> defined;
};

DynamicSymbols ReadDynamicSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file{std::istreambuf_iterator<char>(in), {}};
  DynamicSymbols out;
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(file.data());
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(file.data() + header->e_shoff);
  for (int i = 0; i < header->e_shnum; i++) {
    const Elf64_Shdr& section = sections[i];
    const char* names = file.data() + sections[section.sh_link].sh_offset;
    if (section.sh_type == SHT_DYNSYM) {
      const auto* symbols = reinterpret_cast<const Elf64_Sym*>(file.data() + section.sh_offset);
      for (size_t k = 1; k < section.sh_size / sizeof(Elf64_Sym); k++) {
        const Elf64_Sym& symbol = symbols[k];
        const unsigned bind = ELF64_ST_BIND(symbol.st_info);
        if (symbol.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
        SymbolInfo& info = out.defined[names + symbol.st_name];
        info.size = symbol.st_size;
        info.object = ELF64_ST_TYPE(symbol.st_info) == STT_OBJECT;
        info.writable = symbol.st_shndx < header->e_shnum &&
                        (sections[symbol.st_shndx].sh_flags & SHF_WRITE) != 0;
      }
    } else if (section.sh_type == SHT_DYNAMIC) {
      const auto* entries = reinterpret_cast<const Elf64_Dyn*>(file.data() + section.sh_offset);
      for (size_t k = 0; k < section.sh_size / sizeof(Elf64_Dyn); k++) {
        if (entries[k].d_tag == DT_SONAME) out.soname = names + entries[k].d_un.d_val;
      }
    }
  }
  return out;
}

TEST(PluginExports, NamedForTheDaemonWithTheFactoryAndAReadOnlyAbiRecordOnly) {
  const std::string path = KORVEL_PLUGIN_PATH;
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "libkorvel-proc-core.so.0");
  const DynamicSymbols symbols = ReadDynamicSymbols(path);
  EXPECT_EQ(symbols.soname, "libkorvel-proc-core.so.0");
  std::set<std::string> names;
  for (const auto& entry : symbols.defined) names.insert(entry.first);
  EXPECT_EQ(names, (std::set<std::string>{"kvPluginInit", "kv_plugin_abi"}));
  // The ABI record is a 32-byte data object in a read-only section.
  const SymbolInfo& info = symbols.defined.at("kv_plugin_abi");
  EXPECT_EQ(info.size, 32u);
  EXPECT_TRUE(info.object);
  EXPECT_FALSE(info.writable);
}

}  // namespace
