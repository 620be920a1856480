#include "pdf/text/cid_metrics.h"

#include <algorithm>

#include "pdf/text/font_dictionary.h"
#include "runtime/error.h"
#include "runtime/yield_points.h"

namespace vn::pdf::text {

using document::ResolvedValue;
using document::Value;

namespace {

// Element `index` of the resolved array `array`, resolved.
void ElementAt(document::ObjectResolver& resolver, const ResolvedValue& array, uint32_t index, ResolvedValue& out) {
  out = array;
  out.SetChild(document::ArrayElement(array.Get(), index));
  document::ResolveInPlace(resolver, out);
}

// A CID written as a number; -1 for one below 0 (skipped).
int64_t CidOf(const Value& value) {
  if (document::IsInteger(value)) return document::IntegerOf(value);
  return document::NumberToFixed(value) >> 16;
}

Fixed16_16 MetricOf(AppContext& context, const Value& value) {
  if (!document::IsNumber(value)) RaiseBadData(context);
  return ThousandthsToFixed(document::NumberToFixed(value));
}

// Walks a W (valuesPerCid 1) or W2 (3) array: entries "c [v...]" give
// consecutive CIDs from c their values, `valuesPerCid` at a time; entries
// "first last v..." give every CID of first..last the same values. Calls
// add(first, last, values) for each run.
template <class Add>
void ReadRuns(document::ObjectResolver& resolver, const ResolvedValue& font, const char* key, uint32_t valuesPerCid,
              Add add) {
  AppContext& context = resolver.Context();
  ResolvedValue array(context);
  document::GetResolved(resolver, font, key, array);
  if (document::IsNull(array.Get())) return;
  if (!document::IsArray(array.Get())) RaiseBadData(context);
  const uint32_t length = document::ArrayLength(array.Get());
  ResolvedValue item(context);
  ResolvedValue inner(context);
  Fixed16_16 values[3];
  uint32_t i = 0;
  while (i + 1 < length) {
    ElementAt(resolver, array, i, item);
    if (!document::IsNumber(item.Get())) RaiseBadData(context);
    const int64_t first = CidOf(item.Get());
    ElementAt(resolver, array, i + 1, item);
    if (document::IsArray(item.Get())) {
      const uint32_t count = document::ArrayLength(item.Get()) / valuesPerCid;
      for (uint32_t k = 0; k < count; ++k) {
        for (uint32_t v = 0; v < valuesPerCid; ++v) {
          ElementAt(resolver, item, k * valuesPerCid + v, inner);
          values[v] = MetricOf(context, inner.Get());
        }
        const int64_t cid = first + k;
        if (cid >= 0 && cid <= UINT32_MAX) add(static_cast<uint32_t>(cid), static_cast<uint32_t>(cid), values);
      }
      AddWork(context, count);
      i += 2;
      continue;
    }
    if (!document::IsNumber(item.Get())) RaiseBadData(context);
    const int64_t last = CidOf(item.Get());
    if (i + 2 + valuesPerCid > length) break;  // a truncated last entry
    for (uint32_t v = 0; v < valuesPerCid; ++v) {
      ElementAt(resolver, array, i + 2 + v, inner);
      values[v] = MetricOf(context, inner.Get());
    }
    if (first >= 0 && last >= first && last <= UINT32_MAX) {
      add(static_cast<uint32_t>(first), static_cast<uint32_t>(last), values);
    }
    i += 2 + valuesPerCid;
  }
}

template <class Run>
void SortRuns(EngineArray<Run>& runs) {
  const auto byFirst = [](const Run& a, const Run& b) { return a.first < b.first; };
  if (!std::is_sorted(runs.begin(), runs.end(), byFirst)) std::sort(runs.begin(), runs.end(), byFirst);
}

// The run that starts last at or before `cid` and covers it. Overlaps are
// rare (a range with exceptions written after it): a few runs back are
// looked at.
template <class Run>
const Run* FindRun(const EngineArray<Run>& runs, uint32_t cid) {
  constexpr uint32_t kRunsLookedBack = 16;
  const Run* after = std::upper_bound(runs.begin(), runs.end(), cid,
                                      [](uint32_t c, const Run& run) { return c < run.first; });
  for (uint32_t back = 0; after != runs.begin() && back < kRunsLookedBack; ++back) {
    --after;
    if (cid <= after->last) return after;
  }
  return nullptr;
}

template <class Run>
void PushRun(AppContext& context, EngineArray<Run>& runs, const Run& run) {
  if (runs.Size() >= kMaxCidMetricRuns) RaiseCode(context, kLimitExceeded);
  runs.Push(run);
}

}  // namespace

void CidMetrics::ReadHorizontal(document::ObjectResolver& resolver, const ResolvedValue& font) {
  AppContext& context = resolver.Context();
  const Value dw = document::DictionaryGet(context, font.Get(), "DW");
  if (document::IsNumber(dw)) defaultWidth_ = ThousandthsToFixed(document::NumberToFixed(dw));
  ReadRuns(resolver, font, "W", 1, [&](uint32_t first, uint32_t last, const Fixed16_16* values) {
    // Neighbours of one width, as "c [w w w]" often gives them, share a run.
    if (!widths_.Empty() && widths_.Back().last + 1 == first && widths_.Back().width == values[0]) {
      widths_.Back().last = last;
      return;
    }
    PushRun(context, widths_, WidthRun{first, last, values[0]});
  });
  SortRuns(widths_);
}

void CidMetrics::ReadVertical(document::ObjectResolver& resolver, const ResolvedValue& font) {
  AppContext& context = resolver.Context();
  Fixed16_16 dw2[2];
  ResolvedValue array(context);
  document::GetResolved(resolver, font, "DW2", array);
  if (document::IsArray(array.Get()) && document::ArrayLength(array.Get()) >= 2) {
    ResolvedValue item(context);
    for (uint32_t i = 0; i < 2; ++i) {
      ElementAt(resolver, array, i, item);
      dw2[i] = MetricOf(context, item.Get());
    }
    defaultOriginY_ = dw2[0];
    defaultAdvance_ = dw2[1];
  }
  ReadRuns(resolver, font, "W2", 3, [&](uint32_t first, uint32_t last, const Fixed16_16* values) {
    PushRun(context, vertical_, VerticalRun{first, last, VerticalMetrics{values[0], values[1], values[2]}});
  });
  SortRuns(vertical_);
}

Fixed16_16 CidMetrics::Width(uint32_t cid) const {
  const WidthRun* run = FindRun(widths_, cid);
  return run != nullptr ? run->width : defaultWidth_;
}

VerticalMetrics CidMetrics::Vertical(uint32_t cid) const {
  const VerticalRun* run = FindRun(vertical_, cid);
  if (run != nullptr) return run->metrics;
  // Without an entry the vertical origin sits above the middle of the
  // horizontal advance.
  return VerticalMetrics{defaultAdvance_, Width(cid) / 2, defaultOriginY_};
}

}  // namespace vn::pdf::text
