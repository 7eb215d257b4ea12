// A reader of the parts of a PE executable the checks look at: headers,
// imports and resources.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

struct PeImport {
  std::string dll;
  std::string function;  // "#<ordinal>" for an import by ordinal
};

struct PeImage {
  uint16_t machine = 0;
  uint16_t magic = 0;  // 0x10B PE32, 0x20B PE32+
  uint16_t osMajor = 0, osMinor = 0;
  uint16_t subsystemMajor = 0, subsystemMinor = 0;
  uint16_t subsystem = 0;
  uint16_t dllCharacteristics = 0;
  uint32_t timeDateStamp = 0;
  std::vector<PeImport> imports;
  // Resource bytes by (type, id, language); named entries are left out.
  std::map<std::tuple<uint32_t, uint32_t, uint32_t>, std::string> resources;
};

// False, with a reason, when `bytes` is not a PE image this reader understands.
bool ReadPeImage(const std::string& bytes, PeImage* image, std::string* error);
