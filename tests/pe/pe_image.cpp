#include "pe/pe_image.h"

#include <functional>

namespace {

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}

  bool Has(uint64_t offset, uint64_t size) const { return offset + size <= bytes_.size(); }
  uint32_t U8(uint64_t at) const { return Has(at, 1) ? static_cast<unsigned char>(bytes_[at]) : 0; }
  uint32_t U16(uint64_t at) const { return U8(at) | U8(at + 1) << 8; }
  uint32_t U32(uint64_t at) const { return U16(at) | U16(at + 2) << 16; }
  uint64_t U64(uint64_t at) const { return U32(at) | static_cast<uint64_t>(U32(at + 4)) << 32; }
  std::string CString(uint64_t at) const {
    std::string text;
    while (Has(at, 1) && bytes_[at] != 0) text += bytes_[at++];
    return text;
  }
  std::string Bytes(uint64_t at, uint64_t size) const { return Has(at, size) ? bytes_.substr(at, size) : ""; }

 private:
  const std::string& bytes_;
};

}  // namespace

bool ReadPeImage(const std::string& bytes, PeImage* image, std::string* error) {
  Reader in(bytes);
  if (in.U16(0) != 0x5A4D) return *error = "no MZ header", false;
  uint32_t pe = in.U32(0x3C);
  if (in.U32(pe) != 0x4550) return *error = "no PE signature", false;
  image->machine = static_cast<uint16_t>(in.U16(pe + 4));
  uint32_t sectionCount = in.U16(pe + 6);
  image->timeDateStamp = in.U32(pe + 8);
  uint32_t optionalSize = in.U16(pe + 20);
  uint32_t optional = pe + 24;
  image->magic = static_cast<uint16_t>(in.U16(optional));
  if (image->magic != 0x10B && image->magic != 0x20B) return *error = "unknown optional header", false;
  const bool wide = image->magic == 0x20B;
  image->osMajor = static_cast<uint16_t>(in.U16(optional + 40));
  image->osMinor = static_cast<uint16_t>(in.U16(optional + 42));
  image->subsystemMajor = static_cast<uint16_t>(in.U16(optional + 48));
  image->subsystemMinor = static_cast<uint16_t>(in.U16(optional + 50));
  image->subsystem = static_cast<uint16_t>(in.U16(optional + 68));
  image->dllCharacteristics = static_cast<uint16_t>(in.U16(optional + 70));
  uint32_t directories = optional + (wide ? 112 : 96);
  uint32_t directoryCount = in.U32(optional + (wide ? 108 : 92));

  std::vector<Section> sections;
  uint32_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    uint32_t at = table + 40 * i;
    sections.push_back({in.U32(at + 12), in.U32(at + 8), in.U32(at + 20), in.U32(at + 16)});
  }
  auto offsetOf = [&](uint32_t rva) -> uint64_t {
    for (const Section& section : sections) {
      uint32_t size = section.virtualSize > section.rawSize ? section.virtualSize : section.rawSize;
      if (rva >= section.virtualAddress && rva < section.virtualAddress + size) {
        return uint64_t{section.rawOffset} + (rva - section.virtualAddress);
      }
    }
    return UINT64_MAX / 2;
  };

  // Imports: descriptors of 20 bytes until an empty one.
  if (directoryCount > 1 && in.U32(directories + 8) != 0) {
    for (uint64_t at = offsetOf(in.U32(directories + 8)); in.Has(at, 20) && in.U32(at + 12) != 0; at += 20) {
      std::string dll = in.CString(offsetOf(in.U32(at + 12)));
      uint32_t thunks = in.U32(at) != 0 ? in.U32(at) : in.U32(at + 16);
      for (uint64_t thunk = offsetOf(thunks);; thunk += wide ? 8 : 4) {
        uint64_t entry = wide ? in.U64(thunk) : in.U32(thunk);
        if (entry == 0 || !in.Has(thunk, wide ? 8 : 4)) break;
        bool byOrdinal = wide ? (entry >> 63) != 0 : (entry >> 31) != 0;
        image->imports.push_back({dll, byOrdinal ? "#" + std::to_string(entry & 0xFFFF)
                                                 : in.CString(offsetOf(static_cast<uint32_t>(entry)) + 2)});
      }
    }
  }

  // Resources: type, then id, then language directories, then data entries.
  if (directoryCount > 2 && in.U32(directories + 16) != 0) {
    uint64_t root = offsetOf(in.U32(directories + 16));
    std::function<void(uint64_t, int, std::vector<uint32_t>)> walk = [&](uint64_t directory, int depth,
                                                                         std::vector<uint32_t> path) {
      if (depth > 2) return;
      uint32_t entries = in.U16(directory + 12) + in.U16(directory + 14);
      for (uint32_t i = 0; i < entries; ++i) {
        uint64_t entry = directory + 16 + 8 * i;
        uint32_t name = in.U32(entry);
        uint32_t target = in.U32(entry + 4);
        if (name & 0x80000000u) continue;  // named entries are not used here
        std::vector<uint32_t> next = path;
        next.push_back(name);
        if (target & 0x80000000u) {
          walk(root + (target & 0x7FFFFFFFu), depth + 1, next);
        } else if (next.size() == 3) {
          uint64_t data = root + target;
          image->resources[{next[0], next[1], next[2]}] = in.Bytes(offsetOf(in.U32(data)), in.U32(data + 4));
        }
      }
    };
    walk(root, 0, {});
  }
  return true;
}
