// tiny.exe (pe_fixtures/, linked by scripts/make-pe-fixtures.sh): a 6 KiB
// program with a real linker's sections, relocations behind its resource
// section, windres's resource tree and a version block in 0x0409.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pe_fixture {

using Bytes = std::vector<unsigned char>;

inline Bytes TinyImage() {
  std::ifstream in(std::string(PE_FIXTURES) + "/tiny.exe", std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

}  // namespace pe_fixture
