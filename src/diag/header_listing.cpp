#include "diag/chunk_tally.h"
#include "diag/diagnostics.h"

namespace facetor {

void list_chunk_types(Bytes buffer, OutStream& console) {
  if (!check_diag_header(buffer, console)) return;
  ChunkTally tally;
  for_each_chunk(buffer, [&](const ChunkAt& chunk) { ++tally.entries[tally_find_or_add(tally, chunk.header.type)].count; });
  for (const ChunkTypeTally& entry : tally.entries) {
    out_printf(console, "  %s : %d\n", entry.type.c_str(), entry.count);
  }
}

}  // namespace facetor
