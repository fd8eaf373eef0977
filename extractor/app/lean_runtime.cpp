// Small definitions of library functions that the extractor links in place
// of the libraries' own, which would add about 45 KiB to every package.
//
// - The C++ library's helpers that raise its own exceptions (an index out
//   of range, a length beyond the maximum, ...). The library's versions
//   build std::logic_error and its kin, which bring a second std::string
//   implementation into the program. These raise the same kinds of failure
//   as one small type of ours; every barrier of the program catches it like
//   any other exception. None of them is raised unless the program has a
//   fault.
// - zlib's crc32, which inflate needs only for gzip streams: the package's
//   streams are zlib streams, checked with Adler-32. zlib's version carries
//   12 KiB of tables; this one computes bit by bit, with the same results.
#include <zlib.h>

#include <cstdarg>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryFault : public std::exception {
 public:
  explicit LibraryFault(const char* what) : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw std::bad_exception(); }
void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_bad_cast() { throw std::bad_cast(); }
void __throw_bad_typeid() { throw std::bad_typeid(); }
void __throw_logic_error(const char* what) { throw LibraryFault(what); }
void __throw_domain_error(const char* what) { throw LibraryFault(what); }
void __throw_invalid_argument(const char* what) { throw LibraryFault(what); }
void __throw_length_error(const char* what) { throw LibraryFault(what); }
void __throw_out_of_range(const char* what) { throw LibraryFault(what); }
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryFault(format); }
void __throw_runtime_error(const char* what) { throw LibraryFault(what); }
void __throw_range_error(const char* what) { throw LibraryFault(what); }
void __throw_overflow_error(const char* what) { throw LibraryFault(what); }
void __throw_underflow_error(const char* what) { throw LibraryFault(what); }

}  // namespace std

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* bytes, uInt length) {
  if (bytes == nullptr) return 0;
  crc = ~crc & 0xFFFFFFFFu;
  for (uInt i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc & 0xFFFFFFFFu;
}
