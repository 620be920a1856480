// Shading dictionaries read into a description, and the shading's colour
// function (PDFSmoothShadeFunction) that the shade samplers of the imaging
// core call.
//
// A description is checked as it is read: a malformed dictionary (a
// missing or wrong-typed entry, a colour function whose output count does
// not match the colour space, a negative radius) raises kBadData, so that
// the one shading is skipped with a display event.
//
// Holds counted references: make it with New and own it with Owned.
#pragma once

#include <cstdint>

#include "color/color_converter.h"
#include "im/shade_sampler.h"
#include "pdf/content/function.h"
#include "pdf/pdfcolor/pdf_color_spaces.h"

namespace vn::pdf::render {

enum ShadingType : int32_t {
  kFunctionShading = 1,
  kAxialShading = 2,
  kRadialShading = 3,
  kFreeFormMesh = 4,
  kLatticeMesh = 5,
  kCoonsMesh = 6,
  kTensorMesh = 7,
};

// The colour function of a shading: one function with n outputs, or n
// functions of one output each.
class ShadeFunctions : public Unwindable {
 public:
  explicit ShadeFunctions(AppContext& context);
  ~ShadeFunctions() { Reset(); }
  ShadeFunctions(const ShadeFunctions&) = delete;
  ShadeFunctions& operator=(const ShadeFunctions&) = delete;

  // Takes a reference to `function`.
  void Add(content::Function* function);
  uint32_t Count() const { return count_; }
  const content::Function& At(uint32_t i) const { return *functions_[i]; }
  // The outputs for `inputs` (one or two values), `Outputs()` of them.
  void Evaluate(const Fixed16_16* inputs, Fixed16_16* outputs) const;
  uint32_t Outputs() const;
  void Reset();

 private:
  AppContext& context_;
  content::Function* functions_[pdfcolor::kMaxComponents] = {};
  uint32_t count_ = 0;
};

struct ShadingDescription {
  explicit ShadingDescription(AppContext& context) : space(context), functions(context) {}

  int32_t type = 0;
  pdfcolor::ColorSpaceRef space;
  bool hasBackground = false;
  Fixed16_16 background[pdfcolor::kMaxComponents] = {};
  bool hasBBox = false;
  FixedRect bbox = {0, 0, 0, 0};
  ShadeFunctions functions;  // may be empty for mesh shadings
  // Axial: x0 y0 x1 y1; radial: x0 y0 r0 x1 y1 r1.
  Fixed16_16 coords[6] = {};
  // t0 t1 (axial, radial) or x0 x1 y0 y1 (function-based).
  Fixed16_16 domain[4] = {0, kFixedOne, 0, kFixedOne};
  im::ShadeExtend extend;
  FixedMatrix matrix = IdentityMatrix();  // function-based: domain to shading space
  // Meshes: the packing of their data and its decode ranges (x, y, then one
  // pair per colour component, or one pair for t with a function).
  uint32_t bitsPerCoordinate = 0, bitsPerComponent = 0, bitsPerFlag = 0;
  uint32_t verticesPerRow = 0;  // lattice meshes
  Fixed16_16 decode[4 + 2 * pdfcolor::kMaxComponents] = {};
  // The values per vertex after x and y: the components, or t alone.
  uint32_t MeshValues() const { return functions.Count() > 0 ? 1 : space.components; }
};

// Reads `shading` (a dictionary or, for meshes, a stream). "Background" is
// read only when `forPattern` (a shading pattern); `sh` ignores it.
void ReadShadingDescription(pdfcolor::DocumentColorSpaces& colors, const document::ResolvedValue& shading,
                            const document::ResolvedValue& resources, bool forPattern, ShadingDescription& out);

// The shading's colour at a parameter (axial, radial) or a point
// (function-based), converted to display RGB.
class PDFSmoothShadeFunction final : public im::SmoothShadeFunction, public im::PointShadeFunction {
 public:
  PDFSmoothShadeFunction(pdfcolor::DocumentColorSpaces& colors, const ShadingDescription& description,
                         int32_t intent);
  void Shade(Fixed16_16 t, uint8_t* rgb) const override;
  void Shade(Fixed16_16 x, Fixed16_16 y, uint8_t* rgb) const override;
  // The display colour of `components` in the shading's space.
  void ToRGB(const Fixed16_16* components, uint8_t* rgb) const;

 private:
  const ShadingDescription& description_;
  Ref<color::FixedColorConverter> converter_;
};

}  // namespace vn::pdf::render
