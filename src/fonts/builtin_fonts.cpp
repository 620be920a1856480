#include "fonts/builtin_fonts.h"

#include "data_io/raw_data_store.h"
#include "fonts/parsers/cff.h"

namespace vn::fonts {

Font* MakeBuiltInProgram(AppContext& context, BuiltInFace face) {
  const BuiltInFaceData& data = kBuiltInFaceData[static_cast<uint32_t>(face)];
  Owned<data_io::DataStore> store(context, New<data_io::RawDataStore>(context, context, data.bytes, data.length));
  return New<parsers::CFF>(context, context, store);
}

}  // namespace vn::fonts
