// A host that calls the exports that read data on one file, by name, as a
// viewer does, and frees every block it receives without reading it: so that
// tests/hostile_costs.sh can hold what each call costs (memory, time) to what
// the file holds. The same program is built natively and for Windows, where
// it calls the real DLLs under Wine. It prints each export's status.
//
// Usage: hostile_host FILE
#include <cstdio>
#include <string>

#include "tests/test_files.h"
#include "plugin_host/plugin_calls.h"

namespace {

void Free(MemoryHandle block) {
  if (block != nullptr) OsLocalFree(SystemPlatform(), block);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hostile_host FILE\n");
    return 2;
  }
  const std::string name = argv[1];
  const PictureApi& picture = Picture();
  const ArchiveApi& archive = Archive();
  PictureInfoRecord record{};
  std::printf("GetPictureInfo %d\n", picture.GetPictureInfo(name.c_str(), 0, 0, &record));
  MemoryHandle info = nullptr, bits = nullptr;
  std::printf("GetPicture %d\n",
              picture.GetPicture(name.c_str(), 0, 0, &info, &bits, nullptr, 0));
  Free(info);
  Free(bits);
  // Each member the listing shows, to memory.
  std::vector<Member> members;
  std::string error;
  const std::int32_t listed = ListArchive(archive, Source{name, nullptr}, &members, &error);
  std::printf("GetArchiveInfo %d (%zu members)\n", listed, members.size());
  for (std::size_t i = 0; i < members.size() && i < 64; ++i) {
    MemoryHandle block = nullptr;
    const std::int32_t status =
        archive.GetFile(name.c_str(), static_cast<HostInt>(members[i].position), &block, 0x100,
                        nullptr, 0);
    std::printf("GetFile %s %d\n", members[i].name.c_str(), status);
    Free(block);
  }
  return 0;
}
