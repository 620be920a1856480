// The path populator: a content-parser client that collects one path, from
// where it began up to its painting operator, as the display list would
// have stored it. Used to re-read paths the list did not store.
#pragma once

#include <cstdint>

#include "pdf/content/content_parser_client.h"
#include "pdf/content/dl_consumer.h"
#include "pdf/content/dl_populator.h"
#include "runtime/engine_array.h"

namespace vn::pdf::content {

class PathPopulator final : public ContentParserClient {
 public:
  PathPopulator(AppContext& context, document::ObjectResolver& resolver, const document::ResolvedValue& resources);

  // Starts a new path.
  void Begin();
  DLPath Path() const { return DLPath{points_.Data(), points_.Size()}; }

  bool MoveTo(Fixed16_16 x, Fixed16_16 y) override;
  bool LineTo(Fixed16_16 x, Fixed16_16 y) override;
  bool CurveTo(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) override;
  bool CurveToV(Fixed16_16 x2, Fixed16_16 y2, Fixed16_16 x3, Fixed16_16 y3) override;
  bool CurveToY(Fixed16_16 x1, Fixed16_16 y1, Fixed16_16 x3, Fixed16_16 y3) override;
  bool ClosePath() override;
  bool Rectangle(Fixed16_16 x, Fixed16_16 y, Fixed16_16 w, Fixed16_16 h) override;
  bool InlineImage(const Value& dictionary, data_io::BufferedStream& source) override;
  bool PaintPath(bool stroke, FillKind fill) override;

 private:
  void Add(const DLPoint* points, uint32_t count);

  AppContext& context_;
  document::ObjectResolver& resolver_;
  const document::ResolvedValue& resources_;
  PathBuilder builder_;
  bool active_ = false;
  EngineArray<DLPoint> points_;
  EngineArray<uint8_t> scratch_;
};

}  // namespace vn::pdf::content
