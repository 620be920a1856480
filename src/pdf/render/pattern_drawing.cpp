// Patterns: fills, strokes and text painted with a pattern colour.
//
// The pattern's matrix is relative to the pattern base: the CTM in force
// when the current page, form or pattern cell began (GraphicsState::
// patternBase), not the CTM of the mark.
//
// Shading patterns (type 2) paint their shading through the mark's shape,
// with the shading's "Background", under the pattern's own ExtGState
// (its opacity for the side painted, intent and blend mode).
//
// Tiling patterns (type 1) render their cell once into a tile raster (a
// nested render consumer over a 4-byte-per-pixel buffer, one lattice step
// wide and high, at the device resolution of the pattern space), and the
// pattern tiler repeats it under the mark. Bounds:
// - the tile holds at most kMaxTilePixels; a cell that would need more is
//   drawn straight onto the page, once per lattice cell under the mark,
//   clipped to the mark and the cell's box (at most kMaxDirectCells of
//   them; beyond, the tile is rendered at the largest resolution that
//   fits, so a huge cell costs no more memory than a small one);
// - a cell whose box spans several steps is drawn at most
//   kMaxCellCopies + 2 times per axis into the tile (overlaps beyond are
//   dropped);
// - a tiny step makes a tile of one pixel: the work is the mark's area;
// - cells draw patterns inside themselves at most kMaxPatternDepth deep
//   (a pattern whose cell uses itself ends there, with a display event).
// An uncoloured pattern (PaintType 2) paints its cell in the colour given
// with the pattern name (in the pattern space's base).
#include <cstdint>

#include "im/pattern_tiler.h"
#include "pdf/content/ext_gstate.h"
#include "pdf/document/page_tree.h"
#include "pdf/render/render_consumer.h"
#include "pdf/render/restore_on_exit.h"
#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

struct TilingPattern {
  int32_t paintType;
  FixedRect bbox;
  Fixed16_16 xStep, yStep;  // magnitudes
};

namespace {

inline constexpr uint32_t kMaxTilePixels = 256 * 1024;  // 1 MB of tile
inline constexpr int32_t kMaxCellCopies = 4;
inline constexpr uint32_t kMaxPatternDepth = 3;
// Cells larger than a tile are drawn one by one when at most this many lie
// under the mark (else in a tile at a reduced resolution).
inline constexpr int64_t kMaxDirectCells = 256;


int32_t RequiredInteger(document::ObjectResolver& resolver, const ResolvedValue& pattern, const char* key) {
  ResolvedValue value(resolver.Context());
  document::GetResolved(resolver, pattern, key, value);
  if (!value.Get().IsInteger()) RaiseBadData(resolver.Context());
  return value.Get().i;
}

Fixed16_16 RequiredNumber(document::ObjectResolver& resolver, const ResolvedValue& pattern, const char* key) {
  ResolvedValue value(resolver.Context());
  document::GetResolved(resolver, pattern, key, value);
  if (!value.Get().IsNumber()) RaiseBadData(resolver.Context());
  return value.Get().AsFixed();
}

void ReadTilingPattern(document::ObjectResolver& resolver, const ResolvedValue& pattern, TilingPattern& out) {
  AppContext& context = resolver.Context();
  out.paintType = RequiredInteger(resolver, pattern, "PaintType");
  const int32_t tilingType = RequiredInteger(resolver, pattern, "TilingType");
  if ((out.paintType != 1 && out.paintType != 2) || tilingType < 1 || tilingType > 3) RaiseBadData(context);
  Fixed16_16 box[4];
  if (document::GetNumbers(resolver, pattern, "BBox", box, 4) < 4) RaiseBadData(context);
  out.bbox = FixedRect{box[0] < box[2] ? box[0] : box[2], box[1] < box[3] ? box[1] : box[3],
                       box[0] < box[2] ? box[2] : box[0], box[1] < box[3] ? box[3] : box[1]};
  out.xStep = static_cast<Fixed16_16>(FixedMagnitude(RequiredNumber(resolver, pattern, "XStep")));
  out.yStep = static_cast<Fixed16_16>(FixedMagnitude(RequiredNumber(resolver, pattern, "YStep")));
  if (out.xStep <= 0 || out.yStep <= 0) RaiseBadData(context);
}

// Device pixels of a pattern-space vector, at least 1.
int32_t DeviceLength(const FixedMatrix& toDevice, Fixed16_16 x, Fixed16_16 y) {
  const FixedPoint v = TransformVector(toDevice, FixedPoint{x, y});
  // Rounded: a step of a whole number of pixels keeps its exact size.
  const int32_t length = FixedRound(FixedHypot(v.x, v.y));
  return length < 1 ? 1 : length > 0x4000 ? 0x4000 : length;
}

// The lattice offsets i (times the step) whose copy of [low, high]
// reaches into the tile [low, low + step]: the cells from the left whose
// box overlaps the tile. At most kMaxCellCopies.
int32_t CellCopies(Fixed16_16 low, Fixed16_16 high, Fixed16_16 step) {
  int32_t copies = 1;
  for (int64_t end = static_cast<int64_t>(high) - step; end > low && copies < kMaxCellCopies; end -= step) ++copies;
  return copies;
}

}  // namespace

struct RenderConsumer::TileReplay {
  RenderConsumer& outer;
  const ResolvedValue& pattern;
  document::ObjectId id;
  const TilingPattern& tiling;
  FixedMatrix cellToTile;
  im::PixelBuffer tile;
  const uint8_t* uncoloured;
};

void RenderConsumer::PaintPatternMark(const im::Path& path, const FixedMatrix& matrix, im::FillRule rule,
                                      PaintColor& side, Fixed16_16 alpha) {
  // A Pattern space's initial colour is a pattern that paints nothing.
  if (!side.pattern) return;
  Scoped<im::BezierRasterPainter> shape(context_, context_, path, matrix, State().deviceClip, rule);
  const im::PixelRect area = im::Intersect(shape->Bounds(), State().deviceClip);
  if (area.Empty()) return;
  im::RasterPainterImpl<im::BezierRasterPainter> shapeIn(*shape);
  const MarkOutline outline{path, matrix, rule};
  PaintPatternThrough(side, alpha, shapeIn, area, &outline);
}

struct RenderConsumer::PatternReplay {
  PaintColor& side;
  Fixed16_16 alpha;
  im::PainterInput& shape;
  const im::PixelRect& area;
  const MarkOutline* outline;
};

// Reading the pattern (its dictionary, maybe parsed from the file now) and
// drawing its cell want stack: the work runs as a nested replay, on a fresh
// stack when this one runs low, as for shadings.
void RenderConsumer::PaintPatternThrough(PaintColor& side, Fixed16_16 alpha, im::PainterInput& shape,
                                         const im::PixelRect& area, const MarkOutline* outline) {
  PatternReplay replay{side, alpha, shape, area, outline};
  RunNested(&PlayPattern, &replay, kShadingStackReserve);
}

void RenderConsumer::PlayPattern(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const PatternReplay& r = *static_cast<const PatternReplay*>(argument);
  self.DrawPattern(r.side, r.alpha, r.shape, r.area, r.outline);
}

void RenderConsumer::DrawPattern(PaintColor& side, Fixed16_16 alpha, im::PainterInput& shapeIn,
                                 const im::PixelRect& area, const MarkOutline* outline) {
  GraphicsState& s = State();
  ResolvedValue pattern(context_);
  document::ObjectId id{-1, 0};
  document::LookupResource(*Resolver(), Record()->Resources(), "Pattern", side.pattern->Data(),
                           side.pattern->Count(), pattern, &id);
  if (!pattern.Get().IsDictionary()) RaiseBadData(context_);
  const int32_t patternType = RequiredInteger(*Resolver(), pattern, "PatternType");
  if (patternType != 1 && patternType != 2) RaiseBadData(context_);
  Fixed16_16 m[6];
  FixedMatrix patternMatrix = IdentityMatrix();
  const uint32_t count = document::GetNumbers(*Resolver(), pattern, "Matrix", m, 6);
  if (count != 0) {
    if (count < 6) RaiseBadData(context_);
    patternMatrix = FixedMatrix{m[0], m[1], m[2], m[3], m[4], m[5]};
  }
  const FixedMatrix toDevice = Concat(patternMatrix, s.patternBase);
  if (patternType == 2) {
    PaintShadingPattern(pattern, &side == &s.stroke, toDevice, shapeIn, area, alpha);
    return;
  }

  TilingPattern tiling;
  ReadTilingPattern(*Resolver(), pattern, tiling);
  if (id.number < 0) RaiseBadData(context_);  // a cell is a stream: an indirect object
  uint8_t rgb[3];
  if (tiling.paintType == 2) {
    if (!side.componentsGiven) RaiseBadData(context_);
    const uint8_t* given = DisplayColor(side);
    rgb[0] = given[0];
    rgb[1] = given[1];
    rgb[2] = given[2];
  }
  if (patternDepth_ >= kMaxPatternDepth) {
    SendEvent(kEventObjectSkipped, kLimitExceeded);
    return;
  }
  if (s.blendMode != 0) SendEvent(kEventTransparency, kBlendModeIgnored);
  if (alpha < kFixedOne) SendEvent(kEventTransparency, kConstantAlpha);
  const uint8_t opacity = FixedToByte(alpha);
  if (opacity == 0) return;

  // One lattice step at the device resolution, within the tile budget;
  // larger cells are drawn straight onto the page when there are not too
  // many of them under the mark.
  int32_t width = DeviceLength(toDevice, tiling.xStep, 0), height = DeviceLength(toDevice, 0, tiling.yStep);
  if (static_cast<uint32_t>(width) * static_cast<uint32_t>(height) > kMaxTilePixels && outline != nullptr &&
      DrawLargeCells(CellMark{outline->path, outline->matrix, outline->rule, tiling.bbox, toDevice, nullptr, 0,
                              tiling.paintType == 2 ? rgb : nullptr, alpha},
                     tiling, id, area)) {
    return;
  }
  while (static_cast<uint32_t>(width) * static_cast<uint32_t>(height) > kMaxTilePixels) {
    width = width > 1 ? (width + 1) / 2 : 1;
    height = height > 1 ? (height + 1) / 2 : 1;
  }
  // Pattern space to tile pixels: the step's box, row 0 at its top, moved
  // by the fraction of a pixel at which the box's top left corner lies on
  // the device: when the tile is upright and as large as the step on the
  // device, tile pixels then fall exactly on device pixels.
  const Fixed16_16 scaleX = FixedDiv(IntToFixed(width), tiling.xStep);
  const Fixed16_16 scaleY = FixedDiv(IntToFixed(height), tiling.yStep);
  const FixedPoint corner =
      TransformPoint(toDevice, FixedPoint{tiling.bbox.x0, FixedAddSat(tiling.bbox.y0, tiling.yStep)});
  const Fixed16_16 shiftX = corner.x & 0xFFFF, shiftY = corner.y & 0xFFFF;
  const FixedMatrix cellToTile{
      scaleX, 0, 0, -scaleY, FixedAddSat(FixedMul(-tiling.bbox.x0, scaleX), shiftX),
      FixedAddSat(FixedAddSat(IntToFixed(height), FixedMul(tiling.bbox.y0, scaleY)), shiftY)};
  EngineArray<uint8_t> pixels(context_);
  pixels.Resize(static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * im::kTileBytesPerPixel);
  for (uint32_t i = 0; i < pixels.Size(); ++i) pixels[i] = 0;
  TileReplay replay{*this, pattern, id, tiling, cellToTile, im::TileBuffer(pixels.Data(), width, height),
                    tiling.paintType == 2 ? rgb : nullptr};
  RunNested(&PlayTile, &replay);

  // The tile's unit square is one step of the lattice from the box's corner.
  const FixedMatrix stepToDevice =
      Concat(FixedMatrix{tiling.xStep, 0, 0, tiling.yStep, tiling.bbox.x0, tiling.bbox.y0}, toDevice);
  im::ImageMapping mapping;
  if (!mapping.Set(stepToDevice, static_cast<uint32_t>(width), static_cast<uint32_t>(height))) return;
  Scoped<im::PatternTiler> tiler(context_, context_, pixels.Data(), static_cast<uint32_t>(width),
                                 static_cast<uint32_t>(height), mapping, shiftX, shiftY, opacity);
  im::RasterPainterImpl<im::PatternTiler> tilerIn(*tiler);
  Scoped<im::MarkChain> mark(context_, context_, *clip_, pageIn_, shapeIn, tilerIn);
  im::PaintRows(work_, mark->Painter(), area);
  AddDirty(area);
}

void RenderConsumer::PaintShadingPattern(const ResolvedValue& pattern, bool stroking, const FixedMatrix& toDevice,
                                         im::PainterInput& shape, const im::PixelRect& area, Fixed16_16 alpha) {
  ResolvedValue shading(context_);
  document::GetResolved(*Resolver(), pattern, "Shading", shading);
  ResolvedValue extGState(context_);
  document::GetResolved(*Resolver(), pattern, "ExtGState", extGState);
  if (extGState.Get().IsNull()) {
    PaintShadingThrough(shading, true, toDevice, shape, area, alpha);
    return;
  }
  // The pattern's own parameters are in force while its shading paints:
  // the opacity of the side it paints, the rendering intent and the blend
  // mode. Line parameters no longer matter (the mark's shape is made).
  using R = content::ExtGStateRecord;
  R record;
  EngineArray<Fixed16_16> dash(context_);
  content::ReadExtGState(*Resolver(), extGState, record, dash);
  GraphicsState& s = State();
  RestoreOnExit<int32_t> intent(context_, s.intent);
  RestoreOnExit<uint8_t> blendMode(context_, s.blendMode);
  if (record.present & R::kIntent) s.intent = record.intent;
  if (record.present & R::kBlendMode) s.blendMode = record.blendMode;
  if ((record.present & R::kSoftMask) && !record.clearsSoftMask) SendEvent(kEventTransparency, kSoftMaskNotApplied);
  if (stroking && (record.present & R::kStrokeAlpha)) alpha = record.strokeAlpha;
  if (!stroking && (record.present & R::kFillAlpha)) alpha = record.fillAlpha;
  PaintShadingThrough(shading, true, toDevice, shape, area, alpha);
}

struct RenderConsumer::LargeCellsReplay {
  document::ObjectId id;
  const CellMark& mark;
};

bool RenderConsumer::DrawLargeCells(const CellMark& mark, const TilingPattern& tiling, const document::ObjectId& id,
                                    const im::PixelRect& area) {
  // The lattice cells under the area: its corners in steps from the box's
  // corner, widened by the cells whose box reaches over their neighbours.
  const FixedMatrix stepToDevice =
      Concat(FixedMatrix{tiling.xStep, 0, 0, tiling.yStep, tiling.bbox.x0, tiling.bbox.y0}, mark.toDevice);
  im::ImageMapping lattice;
  if (!lattice.Set(stepToDevice, 1, 1)) return false;
  int64_t low[2] = {INT64_MAX, INT64_MAX}, high[2] = {INT64_MIN, INT64_MIN};
  for (int32_t x : {area.x0, area.x1}) {
    for (int32_t y : {area.y0, area.y1}) {
      int64_t u, v;
      lattice.Locate(x, y, u, v);
      const int64_t cell[2] = {u >> 32, ((int64_t{1} << 32) - v) >> 32};
      for (int k = 0; k < 2; ++k) {
        low[k] = cell[k] < low[k] ? cell[k] : low[k];
        high[k] = cell[k] > high[k] ? cell[k] : high[k];
      }
    }
  }
  low[0] -= CellCopies(tiling.bbox.x0, tiling.bbox.x1, tiling.xStep);
  low[1] -= CellCopies(tiling.bbox.y0, tiling.bbox.y1, tiling.yStep);
  ++high[0];
  ++high[1];
  if ((high[0] - low[0] + 1) * (high[1] - low[1] + 1) > kMaxDirectCells) return false;
  EngineArray<FixedPoint> offsets(context_);
  for (int64_t j = low[1]; j <= high[1]; ++j) {
    for (int64_t i = low[0]; i <= high[0]; ++i) {
      offsets.Push(FixedPoint{FixedSaturate(i * tiling.xStep), FixedSaturate(j * tiling.yStep)});
    }
  }
  CellMark cells = mark;
  cells.offsets = offsets.Data();
  cells.count = offsets.Size();
  LargeCellsReplay replay{id, cells};
  RunNested(&PlayLargeCells, &replay);
  return true;
}

void RenderConsumer::PlayLargeCells(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const LargeCellsReplay& r = *static_cast<const LargeCellsReplay*>(argument);
  Ref<document::FormDisplayList> list(self.context_);
  self.document_.GetFormDisplayList(list, r.id, *self.Record());
  self.DrawCellsOnPage(*list, r.mark);
}

// Draws the cell into the tile with a render consumer of its own, once per
// lattice copy that reaches into the tile.
void RenderConsumer::PlayTile(RenderConsumer& self, void* argument) {
  StackCheck(self.context_);
  const TileReplay& r = *static_cast<const TileReplay*>(argument);
  Ref<document::FormDisplayList> list(self.context_);
  self.document_.GetFormDisplayList(list, r.id, *self.Record());
  // The cell's consumer lives on the heap (the stack is kept for the
  // cell's replay) and counts its nesting on from this one's, so that the
  // bounds on nesting and helper threads hold for the whole drawing.
  Owned<RenderConsumer> cell(self.context_, New<RenderConsumer>(self.context_, self.document_, self.Colors(), r.tile,
                                                                r.cellToTile, self.events_));
  cell->patternDepth_ = self.patternDepth_ + 1;
  cell->nesting_ = self.nesting_;
  cell->helpers_ = self.helpers_;
  const TilingPattern& t = r.tiling;
  const int32_t copiesX = CellCopies(t.bbox.x0, t.bbox.x1, t.xStep);
  const int32_t copiesY = CellCopies(t.bbox.y0, t.bbox.y1, t.yStep);
  // One more copy on each side for what the shift moves across the edges.
  for (int32_t j = -1; j <= copiesY; ++j) {
    for (int32_t i = -1; i <= copiesX; ++i) {
      const FixedPoint offset{FixedSaturate(-i * static_cast<int64_t>(t.xStep)),
                              FixedSaturate(-j * static_cast<int64_t>(t.yStep))};
      cell->DrawCell(*list, t.bbox, offset, r.uncoloured);
    }
  }
}

}  // namespace vn::pdf::render
