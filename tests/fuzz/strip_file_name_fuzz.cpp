// StripFileName on any text: the part before the last backslash found from
// index 1 on, or nothing when there is none; a backslash at index 0 is never
// the cut, and only the one backslash at the cut goes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/redistribution.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const std::string result = vostrel::StripFileName(text);

  size_t cut = std::string::npos;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '\\') cut = i;
  }
  const std::string expected = cut == std::string::npos ? std::string() : text.substr(0, cut);
  if (result != expected) {
    std::fprintf(stderr, "StripFileName(\"%s\") gave \"%s\", not \"%s\"\n", text.c_str(),
                 result.c_str(), expected.c_str());
    std::abort();
  }
  return 0;
}
