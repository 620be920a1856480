#include "pdf/render/shading_description.h"

#include <initializer_list>

#include "runtime/error.h"

namespace vn::pdf::render {

using document::ResolvedValue;

// ---- colour functions

ShadeFunctions::ShadeFunctions(AppContext& context) : context_(context) {
  RegisterUnwindable(context, this, &UnwindByReset<ShadeFunctions>);
}

void ShadeFunctions::Add(content::Function* function) {
  if (count_ >= pdfcolor::kMaxComponents) RaiseBadData(context_);
  function->AddRef();
  functions_[count_++] = function;
}

uint32_t ShadeFunctions::Outputs() const {
  uint32_t outputs = 0;
  for (uint32_t i = 0; i < count_; ++i) outputs += functions_[i]->Outputs();
  return outputs;
}

void ShadeFunctions::Evaluate(const Fixed16_16* inputs, Fixed16_16* outputs) const {
  Fixed16_16 values[content::kMaxFunctionOutputs];
  uint32_t next = 0;
  for (uint32_t i = 0; i < count_; ++i) {
    const content::FunctionDispatcher dispatcher(*functions_[i]);
    dispatcher.Evaluate(inputs, values);
    for (uint32_t k = 0; k < functions_[i]->Outputs() && next < pdfcolor::kMaxComponents; ++k) {
      outputs[next++] = values[k];
    }
  }
}

void ShadeFunctions::Reset() {
  UnregisterUnwindable(this);
  while (count_ > 0) functions_[--count_]->Release(context_);
}

// ---- description

namespace {

void ReadFunctions(document::ObjectResolver& resolver, const ResolvedValue& shading, uint32_t inputs,
                   uint32_t components, bool required, ShadeFunctions& out) {
  AppContext& context = resolver.Context();
  ResolvedValue value(context);
  document::GetResolved(resolver, shading, "Function", value);
  if (value.Get().IsNull()) {
    if (required) RaiseBadData(context);
    return;
  }
  Ref<content::Function> function(context);
  if (value.Get().IsArray()) {
    // One single-output function per colour component.
    const uint32_t count = document::ArrayLength(value.Get());
    if (count != components) RaiseBadData(context);
    ResolvedValue element(context);
    for (uint32_t i = 0; i < count; ++i) {
      element = value;
      element.SetChild(document::ArrayElement(value.Get(), i));
      document::ResolveInPlace(resolver, element);
      function.Set(content::CreateFunction(resolver, element));
      if (function->Outputs() != 1) RaiseBadData(context);
      out.Add(function.get());
    }
  } else {
    function.Set(content::CreateFunction(resolver, value));
    if (function->Outputs() != components) RaiseBadData(context);
    out.Add(function.get());
  }
  for (uint32_t i = 0; i < out.Count(); ++i) {
    if (out.At(i).Inputs() != inputs) RaiseBadData(context);
  }
}

// Exactly `count` numbers of entry `key` (absent: `required` decides).
bool ReadExactNumbers(document::ObjectResolver& resolver, const ResolvedValue& parent, const char* key,
                      Fixed16_16* out, uint32_t count, bool required) {
  const uint32_t length = document::GetNumbers(resolver, parent, key, out, count);
  if (length == 0 && !required) return false;
  if (length < count) RaiseBadData(resolver.Context());
  return true;
}

int32_t RequiredInteger(document::ObjectResolver& resolver, const ResolvedValue& parent, const char* key) {
  ResolvedValue value(resolver.Context());
  document::GetResolved(resolver, parent, key, value);
  if (!value.Get().IsInteger()) RaiseBadData(resolver.Context());
  return value.Get().i;
}

// The packing of a mesh's data: each width one the format allows.
void ReadMeshLayout(document::ObjectResolver& resolver, const ResolvedValue& shading, ShadingDescription& out) {
  AppContext& context = resolver.Context();
  auto bits = [&](const char* key, uint32_t allowed) {
    const int32_t n = RequiredInteger(resolver, shading, key);
    if (n < 1 || n > 32 || (allowed & (uint32_t{1} << (n - 1))) == 0) RaiseBadData(context);
    return static_cast<uint32_t>(n);
  };
  constexpr auto widths = [](std::initializer_list<uint32_t> list) {
    uint32_t mask = 0;
    for (uint32_t n : list) mask |= uint32_t{1} << (n - 1);
    return mask;
  };
  out.bitsPerCoordinate = bits("BitsPerCoordinate", widths({1, 2, 4, 8, 12, 16, 24, 32}));
  out.bitsPerComponent = bits("BitsPerComponent", widths({1, 2, 4, 8, 12, 16}));
  if (out.type == kLatticeMesh) {
    const int32_t perRow = RequiredInteger(resolver, shading, "VerticesPerRow");
    if (perRow < 2) RaiseBadData(context);
    out.verticesPerRow = static_cast<uint32_t>(perRow);
  } else {
    out.bitsPerFlag = bits("BitsPerFlag", widths({2, 4, 8}));
  }
  ReadExactNumbers(resolver, shading, "Decode", out.decode, 4 + 2 * out.MeshValues(), true);
}

}  // namespace

void ReadShadingDescription(pdfcolor::DocumentColorSpaces& colors, const ResolvedValue& shading,
                            const ResolvedValue& resources, bool forPattern, ShadingDescription& out) {
  document::ObjectResolver& resolver = colors.Resolver();
  AppContext& context = colors.Context();
  if (!shading.Get().IsDictionary()) RaiseBadData(context);
  ResolvedValue value(context);
  document::GetResolved(resolver, shading, "ShadingType", value);
  if (!value.Get().IsInteger()) RaiseBadData(context);
  out.type = value.Get().i;
  if (out.type < kFunctionShading || out.type > kTensorMesh) RaiseBadData(context);

  document::GetResolved(resolver, shading, "ColorSpace", value);
  if (!value.Get().IsName() && !value.Get().IsArray()) RaiseBadData(context);
  colors.Resolve(out.space, value, resources, 0, pdfcolor::kPatternSpace);
  const uint32_t components = out.space.components;
  if (components == 0 || components > pdfcolor::kMaxComponents) RaiseBadData(context);

  if (forPattern) out.hasBackground = ReadExactNumbers(resolver, shading, "Background", out.background, components, false);
  Fixed16_16 box[4];
  if (ReadExactNumbers(resolver, shading, "BBox", box, 4, false)) {
    out.hasBBox = true;
    out.bbox = FixedRect{box[0] < box[2] ? box[0] : box[2], box[1] < box[3] ? box[1] : box[3],
                         box[0] < box[2] ? box[2] : box[0], box[1] < box[3] ? box[3] : box[1]};
  }

  switch (out.type) {
    case kFunctionShading: {
      ReadExactNumbers(resolver, shading, "Domain", out.domain, 4, false);
      Fixed16_16 m[6];
      if (ReadExactNumbers(resolver, shading, "Matrix", m, 6, false)) out.matrix = FixedMatrix{m[0], m[1], m[2], m[3], m[4], m[5]};
      ReadFunctions(resolver, shading, 2, components, true, out.functions);
      break;
    }
    case kAxialShading:
    case kRadialShading: {
      const uint32_t count = out.type == kAxialShading ? 4 : 6;
      ReadExactNumbers(resolver, shading, "Coords", out.coords, count, true);
      if (out.type == kRadialShading && (out.coords[2] < 0 || out.coords[5] < 0)) RaiseBadData(context);
      ReadExactNumbers(resolver, shading, "Domain", out.domain, 2, false);
      document::GetResolved(resolver, shading, "Extend", value);
      if (!value.Get().IsNull()) {
        if (!value.Get().IsArray() || document::ArrayLength(value.Get()) < 2) RaiseBadData(context);
        ResolvedValue flag(value);
        for (uint32_t i = 0; i < 2; ++i) {
          flag = value;
          flag.SetChild(document::ArrayElement(value.Get(), i));
          document::ResolveInPlace(resolver, flag);
          if (flag.Get().type != store::kBoolean) RaiseBadData(context);
          (i == 0 ? out.extend.start : out.extend.end) = flag.Get().AsBool();
        }
      }
      ReadFunctions(resolver, shading, 1, components, true, out.functions);
      break;
    }
    default:
      // Meshes: the function, when present, maps one parameter per vertex.
      ReadFunctions(resolver, shading, 1, components, false, out.functions);
      ReadMeshLayout(resolver, shading, out);
      break;
  }
}

// ---- colour function

PDFSmoothShadeFunction::PDFSmoothShadeFunction(pdfcolor::DocumentColorSpaces& colors,
                                               const ShadingDescription& description, int32_t intent)
    : description_(description), converter_(colors.Context()) {
  colors.GetFixedConverter(converter_, description.space, intent);
}

void PDFSmoothShadeFunction::ToRGB(const Fixed16_16* components, uint8_t* rgb) const {
  Fixed16_16 out[color::kMaxColorChannels];
  converter_->ConvertPixel(out, 1, components, 1);
  for (int i = 0; i < 3; ++i) rgb[i] = color::UnitToByte(out[i]);
}

void PDFSmoothShadeFunction::Shade(Fixed16_16 t, uint8_t* rgb) const {
  Fixed16_16 components[pdfcolor::kMaxComponents] = {};
  description_.functions.Evaluate(&t, components);
  ToRGB(components, rgb);
}

void PDFSmoothShadeFunction::Shade(Fixed16_16 x, Fixed16_16 y, uint8_t* rgb) const {
  const Fixed16_16 point[2] = {x, y};
  Fixed16_16 components[pdfcolor::kMaxComponents] = {};
  description_.functions.Evaluate(point, components);
  ToRGB(components, rgb);
}

}  // namespace vn::pdf::render
