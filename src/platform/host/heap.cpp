// The process heap, over the C allocator.
#include <cstdlib>

#include "platform/system_services.h"

namespace {

int g_processHeap;  // only its address matters: the one heap handle there is

bool IsProcessHeap(HANDLE heap) { return heap == &g_processHeap; }

}  // namespace

HANDLE GetProcessHeap() { return &g_processHeap; }

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (!IsProcessHeap(heap) || flags != 0) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* block, SIZE_T bytes) {
  if (!IsProcessHeap(heap) || flags != 0 || block == nullptr) return nullptr;
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

BOOL HeapFree(HANDLE heap, DWORD flags, void* block) {
  if (!IsProcessHeap(heap) || flags != 0) return FALSE;
  std::free(block);
  return TRUE;
}
