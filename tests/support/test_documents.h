// Opening documents in tests: corpus files, and files built in memory.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/store/document_store.h"
#include "support/corpus.h"

namespace vn::test {

// Whether the engine is expected to open `file` without repairing it and
// read all of it: not marked broken, and small enough for a test run.
bool EngineCanOpen(const CorpusFile& file);

// Opens `file` into `store`, with the manifest's user password when it has
// one. Returns -1 on success, the engine error code otherwise, or 100 when
// the document opened but the password did not authorize it.
int32_t OpenCorpusDocument(AppContext& context, const CorpusFile& file, Owned<pdf::store::DocumentStore>& store);

// Opens the file `bytes` (which must outlive `store`) into `store`.
// Returns -1 on success, the engine error code otherwise.
int32_t OpenMemoryDocument(AppContext& context, const std::string& bytes, Owned<pdf::store::DocumentStore>& store);

}  // namespace vn::test
