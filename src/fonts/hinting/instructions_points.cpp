// Instructions on points: the projection, freedom and dual vectors, the
// zones, measuring, every kind of move, interpolation and point deltas.
#include "fonts/hinting/interpreter.h"

namespace vn::fonts::hinting {

namespace {

uint64_t SquareRoot(uint64_t v) {
  uint64_t root = 0;
  for (uint64_t bit = uint64_t{1} << 62; bit != 0; bit >>= 2) {
    if (v >= root + bit) {
      v -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
  }
  return root;
}

int32_t& Axis(Point26& p, bool xAxis) { return xAxis ? p.x : p.y; }

}  // namespace

// A vector along (dx, dy), scaled to unit length in 2.14. A zero-length
// vector means the x axis.
void Interpreter::SetVector(int32_t& x, int32_t& y, int64_t dx, int64_t dy) {
  if (dx == 0 && dy == 0) {
    x = kUnitVector;
    y = 0;
    return;
  }
  // Scale the larger component to about 2^29 for a precise length.
  while (Magnitude64(dx) >= (uint64_t{1} << 30) || Magnitude64(dy) >= (uint64_t{1} << 30)) {
    dx /= 2;
    dy /= 2;
  }
  while (Magnitude64(dx) < (uint64_t{1} << 29) && Magnitude64(dy) < (uint64_t{1} << 29)) {
    dx *= 2;
    dy *= 2;
  }
  const int64_t length = static_cast<int64_t>(SquareRoot(static_cast<uint64_t>(dx * dx + dy * dy)));
  x = MulDiv(dx, kUnitVector, length);
  y = MulDiv(dy, kUnitVector, length);
}

void Interpreter::UpdateProjections() {
  fDotP_ = static_cast<int32_t>((int64_t{gs_.projX} * gs_.freeX + int64_t{gs_.projY} * gs_.freeY) >> 14);
  // Nearly perpendicular vectors would send points to infinity.
  if (fDotP_ > -0x400 && fDotP_ < 0x400) fDotP_ = kUnitVector;
}

void Interpreter::VectorInstruction(uint8_t opcode) {
  const bool xAxis = opcode & 1;
  const int32_t ax = xAxis ? kUnitVector : 0, ay = xAxis ? 0 : kUnitVector;
  switch (opcode) {
    case 0x00: case 0x01:  // SVTCA
      gs_.projX = gs_.freeX = gs_.dualX = ax;
      gs_.projY = gs_.freeY = gs_.dualY = ay;
      break;
    case 0x02: case 0x03:  // SPVTCA
      gs_.projX = gs_.dualX = ax;
      gs_.projY = gs_.dualY = ay;
      break;
    case 0x04: case 0x05:  // SFVTCA
      gs_.freeX = ax;
      gs_.freeY = ay;
      break;
    case 0x06: case 0x07: case 0x08: case 0x09: case 0x86: case 0x87:
      SetVectorToLine(opcode);
      break;
    case 0x0A: SetVectorFromStack(false); break;
    case 0x0B: SetVectorFromStack(true); break;
    case 0x0C:  // GPV
      Push(gs_.projX);
      Push(gs_.projY);
      return;
    case 0x0D:  // GFV
      Push(gs_.freeX);
      Push(gs_.freeY);
      return;
    case 0x0E:  // SFVTPV
      gs_.freeX = gs_.projX;
      gs_.freeY = gs_.projY;
      break;
    default: return;
  }
  UpdateProjections();
}

// SPVTL, SFVTL, SDPVTL: the line from the second point popped (zp2) to the
// first (zp1); odd opcodes take the perpendicular, turned counterclockwise.
void Interpreter::SetVectorToLine(uint8_t opcode) {
  if (!Need(2)) return;
  const int32_t p2 = Pop();
  const int32_t p1 = Pop();
  Zone& z1 = *zp_[1];
  Zone& z2 = *zp_[2];
  if (!PointOk(z1, p1) || !PointOk(z2, p2)) return;
  const bool perpendicular = opcode & 1;
  auto direction = [&](const Point26* a, const Point26* b, int32_t& x, int32_t& y) {
    int64_t dx = int64_t{a[p1].x} - b[p2].x, dy = int64_t{a[p1].y} - b[p2].y;
    if (perpendicular && (dx != 0 || dy != 0)) {
      const int64_t t = dy;
      dy = dx;
      dx = -t;
    }
    SetVector(x, y, dx, dy);
  };
  if (opcode == 0x08 || opcode == 0x09) {
    direction(z1.cur, z2.cur, gs_.freeX, gs_.freeY);
    return;
  }
  direction(z1.cur, z2.cur, gs_.projX, gs_.projY);
  if (opcode >= 0x86) {
    direction(z1.org, z2.org, gs_.dualX, gs_.dualY);
  } else {
    gs_.dualX = gs_.projX;
    gs_.dualY = gs_.projY;
  }
}

void Interpreter::SetVectorFromStack(bool freedom) {
  if (!Need(2)) return;
  const int16_t y = static_cast<int16_t>(Pop());
  const int16_t x = static_cast<int16_t>(Pop());
  if (freedom) {
    SetVector(gs_.freeX, gs_.freeY, x, y);
  } else {
    SetVector(gs_.projX, gs_.projY, x, y);
    gs_.dualX = gs_.projX;
    gs_.dualY = gs_.projY;
  }
}

void Interpreter::SetZone(uint8_t opcode) {
  if (!Need(1)) return;
  const int32_t zone = Pop();
  if (zone != 0 && zone != 1) return Fail(kBadArgument);
  for (int i = 0; i < 3; ++i) {
    if (opcode == 0x16 || opcode - 0x13 == i) {
      gs_.zoneNumbers[i] = static_cast<uint8_t>(zone);
      zp_[i] = zone == 0 ? &twilight_ : &glyph_;
    }
  }
}

bool Interpreter::PointOk(const Zone& zone, int32_t point) {
  if (point >= 0 && static_cast<uint32_t>(point) < zone.pointCount) return true;
  Fail(kBadPoint);
  return false;
}

// The distance from b to a in the original outline along the dual vector:
// measured in font units and scaled, for precision, except in the twilight
// zone, which has no font units.
F26Dot6 Interpreter::OriginalDistance(const Zone& za, int32_t a, const Zone& zb, int32_t b, bool twilight) const {
  if (twilight) return DualProject(za.org[a], zb.org[b]);
  return MulFix16(DualProject(za.orus[a], zb.orus[b]), orusScale_);
}

void Interpreter::Move(Zone& zone, int32_t point, F26Dot6 distance) {
  Point26& p = zone.cur[point];
  // (Along an axis shared by both vectors the move is the distance itself.)
  if (gs_.freeX != 0) {
    p.x = AddSat(p.x, gs_.freeX == fDotP_ ? distance : MulDiv(distance, gs_.freeX, fDotP_));
    zone.flags[point] |= kTouchedX;
  }
  if (gs_.freeY != 0) {
    p.y = AddSat(p.y, gs_.freeY == fDotP_ ? distance : MulDiv(distance, gs_.freeY, fDotP_));
    zone.flags[point] |= kTouchedY;
  }
}

void Interpreter::ShiftPoint(Zone& zone, int32_t point, F26Dot6 dx, F26Dot6 dy, bool touch) {
  Point26& p = zone.cur[point];
  if (gs_.freeX != 0) {
    p.x = AddSat(p.x, dx);
    if (touch) zone.flags[point] |= kTouchedX;
  }
  if (gs_.freeY != 0) {
    p.y = AddSat(p.y, dy);
    if (touch) zone.flags[point] |= kTouchedY;
  }
}

void Interpreter::MeasureInstruction(uint8_t opcode) {
  if (opcode == 0x46 || opcode == 0x47) {  // GC: current, original
    if (!Need(1)) return;
    const int32_t p = Pop();
    if (!PointOk(*zp_[2], p)) return;
    const Point26 origin{0, 0};
    return Push(opcode == 0x46 ? Project(zp_[2]->cur[p], origin) : DualProject(zp_[2]->org[p], origin));
  }
  if (!Need(2)) return;
  const int32_t second = Pop();
  const int32_t first = Pop();
  if (opcode == 0x48) {  // SCFS: point `first` to coordinate `second`
    Zone& z = *zp_[2];
    if (!PointOk(z, first)) return;
    Move(z, first, SubSat(second, Project(z.cur[first], Point26{0, 0})));
    if (gs_.zoneNumbers[2] == 0) z.org[first] = z.cur[first];
    return;
  }
  // MD: from `second` (zp1) to `first` (zp0), current or original.
  if (!PointOk(*zp_[0], first) || !PointOk(*zp_[1], second)) return;
  if (opcode == 0x49) return Push(Project(zp_[0]->cur[first], zp_[1]->cur[second]));
  const bool twilight = gs_.zoneNumbers[0] == 0 || gs_.zoneNumbers[1] == 0;
  Push(OriginalDistance(*zp_[0], first, *zp_[1], second, twilight));
}

void Interpreter::MoveDirectAbsolute(uint8_t opcode) {  // MDAP
  if (!Need(1)) return;
  const int32_t p = Pop();
  Zone& z = *zp_[0];
  if (!PointOk(z, p)) return;
  F26Dot6 distance = 0;
  if (opcode & 1) {
    const F26Dot6 position = Project(z.cur[p], Point26{0, 0});
    distance = SubSat(Round(position), position);
  }
  Move(z, p, distance);
  gs_.rp0 = gs_.rp1 = p;
}

void Interpreter::MoveIndirectAbsolute(uint8_t opcode) {  // MIAP
  if (!Need(2)) return;
  const int32_t index = Pop();
  const int32_t p = Pop();
  Zone& z = *zp_[0];
  if (!PointOk(z, p) || !CvtIndex(index)) return;
  F26Dot6 distance = cvt_[static_cast<uint32_t>(index)];
  if (gs_.zoneNumbers[0] == 0) {
    // A twilight point is placed at the control value along the freedom vector.
    z.org[p] = Point26{MulFix14(distance, gs_.freeX), MulFix14(distance, gs_.freeY)};
    z.cur[p] = z.org[p];
  }
  const F26Dot6 position = Project(z.cur[p], Point26{0, 0});
  if (opcode & 1) {
    if (Magnitude64(int64_t{distance} - position) > static_cast<uint64_t>(gs_.controlValueCutIn)) distance = position;
    distance = Round(distance);
  }
  Move(z, p, SubSat(distance, position));
  gs_.rp0 = gs_.rp1 = p;
}

void Interpreter::MoveDirectRelative(uint8_t opcode) {  // MDRP[abcde]
  if (!Need(1)) return;
  const int32_t p = Pop();
  Zone& from = *zp_[0];
  Zone& z = *zp_[1];
  if (!PointOk(z, p) || !PointOk(from, gs_.rp0)) return;
  const bool twilight = gs_.zoneNumbers[0] == 0 || gs_.zoneNumbers[1] == 0;
  F26Dot6 original = OriginalDistance(z, p, from, gs_.rp0, twilight);
  if (Magnitude64(int64_t{original} - gs_.singleWidthValue) < static_cast<uint64_t>(gs_.singleWidthCutIn)) {
    original = original >= 0 ? gs_.singleWidthValue : -gs_.singleWidthValue;
  }
  F26Dot6 distance = (opcode & 4) ? Round(original) : original;
  if (opcode & 8) {
    if (original >= 0) {
      if (distance < gs_.minimumDistance) distance = gs_.minimumDistance;
    } else if (distance > -gs_.minimumDistance) {
      distance = -gs_.minimumDistance;
    }
  }
  Move(z, p, SubSat(distance, Project(z.cur[p], from.cur[gs_.rp0])));
  gs_.rp1 = gs_.rp0;
  gs_.rp2 = p;
  if (opcode & 16) gs_.rp0 = p;
}

void Interpreter::MoveIndirectRelative(uint8_t opcode) {  // MIRP[abcde]
  if (!Need(2)) return;
  const int32_t index = Pop();
  const int32_t p = Pop();
  Zone& from = *zp_[0];
  Zone& z = *zp_[1];
  if (!PointOk(z, p) || !PointOk(from, gs_.rp0) || !CvtIndex(index)) return;
  F26Dot6 cvtDistance = cvt_[static_cast<uint32_t>(index)];
  if (Magnitude64(int64_t{cvtDistance} - gs_.singleWidthValue) < static_cast<uint64_t>(gs_.singleWidthCutIn)) {
    cvtDistance = cvtDistance >= 0 ? gs_.singleWidthValue : -gs_.singleWidthValue;
  }
  if (gs_.zoneNumbers[1] == 0) {
    // A twilight point is first placed at the control value from rp0.
    const Point26 base = from.org[gs_.rp0];
    z.org[p] =
        Point26{AddSat(base.x, MulFix14(cvtDistance, gs_.freeX)), AddSat(base.y, MulFix14(cvtDistance, gs_.freeY))};
    z.cur[p] = z.org[p];
  }
  const F26Dot6 original = DualProject(z.org[p], from.org[gs_.rp0]);
  const F26Dot6 current = Project(z.cur[p], from.cur[gs_.rp0]);
  if (gs_.autoFlip && (original ^ cvtDistance) < 0) cvtDistance = -cvtDistance;
  F26Dot6 distance = cvtDistance;
  if (opcode & 4) {
    // The cut-in only applies between points of one zone.
    if (gs_.zoneNumbers[0] == gs_.zoneNumbers[1] &&
        Magnitude64(int64_t{cvtDistance} - original) > static_cast<uint64_t>(gs_.controlValueCutIn)) {
      distance = original;
    }
    distance = Round(distance);
  }
  if (opcode & 8) {
    if (original >= 0) {
      if (distance < gs_.minimumDistance) distance = gs_.minimumDistance;
    } else if (distance > -gs_.minimumDistance) {
      distance = -gs_.minimumDistance;
    }
  }
  Move(z, p, SubSat(distance, current));
  gs_.rp1 = gs_.rp0;
  gs_.rp2 = p;
  if (opcode & 16) gs_.rp0 = p;
}

void Interpreter::MoveStackIndirectRelative(uint8_t opcode) {  // MSIRP
  if (!Need(2)) return;
  const F26Dot6 distance = Pop();
  const int32_t p = Pop();
  Zone& from = *zp_[0];
  Zone& z = *zp_[1];
  if (!PointOk(z, p) || !PointOk(from, gs_.rp0)) return;
  if (gs_.zoneNumbers[1] == 0) {
    z.org[p] = from.org[gs_.rp0];
    z.cur[p] = z.org[p];
  }
  Move(z, p, SubSat(distance, Project(z.cur[p], from.cur[gs_.rp0])));
  gs_.rp1 = gs_.rp0;
  gs_.rp2 = p;
  if (opcode & 1) gs_.rp0 = p;
}

void Interpreter::AlignToReference() {  // ALIGNRP
  Zone& from = *zp_[0];
  Zone& z = *zp_[1];
  for (; gs_.loop > 0; --gs_.loop) {
    if (!Need(1)) return;
    const int32_t p = Pop();
    if (!PointOk(z, p) || !PointOk(from, gs_.rp0)) return;
    Move(z, p, -Project(z.cur[p], from.cur[gs_.rp0]));
  }
  gs_.loop = 1;
}

void Interpreter::AlignPoints() {  // ALIGNPTS: both points meet halfway
  if (!Need(2)) return;
  const int32_t p2 = Pop();
  const int32_t p1 = Pop();
  if (!PointOk(*zp_[1], p1) || !PointOk(*zp_[0], p2)) return;
  const F26Dot6 half = Project(zp_[0]->cur[p2], zp_[1]->cur[p1]) / 2;
  Move(*zp_[1], p1, half);
  Move(*zp_[0], p2, -half);
}

void Interpreter::Intersect() {  // ISECT: the crossing of lines a0-a1 (zp1) and b0-b1 (zp0)
  if (!Need(5)) return;
  const int32_t b1 = Pop(), b0 = Pop(), a1 = Pop(), a0 = Pop(), p = Pop();
  Zone& za = *zp_[1];
  Zone& zb = *zp_[0];
  Zone& z = *zp_[2];
  if (!PointOk(z, p) || !PointOk(za, a0) || !PointOk(za, a1) || !PointOk(zb, b0) || !PointOk(zb, b1)) return;
  const int64_t dbx = int64_t{zb.cur[b1].x} - zb.cur[b0].x, dby = int64_t{zb.cur[b1].y} - zb.cur[b0].y;
  const int64_t dax = int64_t{za.cur[a1].x} - za.cur[a0].x, day = int64_t{za.cur[a1].y} - za.cur[a0].y;
  const int64_t dx = int64_t{zb.cur[b0].x} - za.cur[a0].x, dy = int64_t{zb.cur[b0].y} - za.cur[a0].y;
  const int64_t cross = int64_t{MulDiv(dax, -dby, 64)} + MulDiv(day, dbx, 64);
  const int64_t dot = int64_t{MulDiv(dax, dbx, 64)} + MulDiv(day, dby, 64);
  Point26& r = z.cur[p];
  // Lines within about 3 degrees of parallel have no useful crossing: the
  // point goes to the middle of the four ends.
  if (19 * Magnitude64(cross) > Magnitude64(dot)) {
    const int64_t t = int64_t{MulDiv(dx, -dby, 64)} + MulDiv(dy, dbx, 64);
    r.x = AddSat(za.cur[a0].x, MulDiv(t, dax, cross));
    r.y = AddSat(za.cur[a0].y, MulDiv(t, day, cross));
  } else {
    r.x = Clamp32((int64_t{za.cur[a0].x} + za.cur[a1].x + zb.cur[b0].x + zb.cur[b1].x) / 4);
    r.y = Clamp32((int64_t{za.cur[a0].y} + za.cur[a1].y + zb.cur[b0].y + zb.cur[b1].y) / 4);
  }
  z.flags[p] |= kTouchedX | kTouchedY;
}

// IP: each point keeps its original place relative to rp1 and rp2.
void Interpreter::InterpolatePoints() {
  Zone& z1 = *zp_[0];
  Zone& z2 = *zp_[1];
  Zone& z = *zp_[2];
  if (!PointOk(z1, gs_.rp1) || !PointOk(z2, gs_.rp2)) return;
  const bool twilight = gs_.zoneNumbers[0] == 0 || gs_.zoneNumbers[1] == 0 || gs_.zoneNumbers[2] == 0;
  // Original distances in font units where there are some (they only
  // serve as ratios here).
  const Point26 base = twilight ? z1.org[gs_.rp1] : z1.orus[gs_.rp1];
  const F26Dot6 oldRange = DualProject(twilight ? z2.org[gs_.rp2] : z2.orus[gs_.rp2], base);
  const F26Dot6 curRange = Project(z2.cur[gs_.rp2], z1.cur[gs_.rp1]);
  for (; gs_.loop > 0; --gs_.loop) {
    if (!Need(1)) return;
    const int32_t p = Pop();
    if (!PointOk(z, p)) return;
    const F26Dot6 original = DualProject(twilight ? z.org[p] : z.orus[p], base);
    const F26Dot6 current = Project(z.cur[p], z1.cur[gs_.rp1]);
    F26Dot6 wanted = 0;
    if (original != 0) {
      wanted = oldRange != 0 ? MulDiv(original, curRange, oldRange)
                             : (twilight ? original : MulFix16(original, orusScale_));
    }
    Move(z, p, SubSat(wanted, current));
  }
  gs_.loop = 1;
}

// The displacement of the reference point SHP/SHC/SHZ shift by (rp1 in zp0
// for odd opcodes, rp2 in zp1 for even ones).
bool Interpreter::ReferenceDisplacement(uint8_t opcode, F26Dot6& dx, F26Dot6& dy, Zone*& zone, int32_t& point) {
  zone = (opcode & 1) ? zp_[0] : zp_[1];
  point = (opcode & 1) ? gs_.rp1 : gs_.rp2;
  if (!PointOk(*zone, point)) return false;
  const F26Dot6 d = Project(zone->cur[point], zone->org[point]);
  dx = MulDiv(d, gs_.freeX, fDotP_);
  dy = MulDiv(d, gs_.freeY, fDotP_);
  return true;
}

void Interpreter::ShiftInstruction(uint8_t opcode) {
  F26Dot6 dx, dy;
  Zone* reference;
  int32_t refPoint;
  Zone& z = *zp_[2];
  if (opcode <= 0x33) {  // SHP
    if (ReferenceDisplacement(opcode, dx, dy, reference, refPoint)) ShiftLoopPoints(dx, dy);
    return;
  }
  if (!Need(1)) return;
  const int32_t number = Pop();
  uint32_t from = 0, to = 0;  // [from, to)
  if (opcode <= 0x35) {       // SHC: one contour
    if (number < 0 || static_cast<uint32_t>(number) >= z.contourCount) return Fail(kBadPoint);
    from = number == 0 ? 0 : z.contourEnds[number - 1] + 1;
    to = z.contourEnds[number] + 1;
  } else {  // SHZ: the whole zone, without the phantom points
    if (number != 0 && number != 1) return Fail(kBadArgument);
    if (gs_.zoneNumbers[2] == 0) {
      to = z.pointCount;
    } else if (z.contourCount > 0) {
      to = z.contourEnds[z.contourCount - 1] + 1;
    }
  }
  if (!ReferenceDisplacement(opcode, dx, dy, reference, refPoint)) return;
  if (to > z.pointCount) to = z.pointCount;
  for (uint32_t i = from; i < to; ++i) {
    if (reference != &z || i != static_cast<uint32_t>(refPoint))
      ShiftPoint(z, static_cast<int32_t>(i), dx, dy, opcode <= 0x35);
  }
}

void Interpreter::ShiftByPixels() {  // SHPIX
  if (!Need(1)) return;
  const F26Dot6 amount = Pop();
  ShiftLoopPoints(MulFix14(amount, gs_.freeX), MulFix14(amount, gs_.freeY));
}

// Shifts the loop counter's worth of points of zp2, popped one by one.
void Interpreter::ShiftLoopPoints(F26Dot6 dx, F26Dot6 dy) {
  Zone& z = *zp_[2];
  for (; gs_.loop > 0; --gs_.loop) {
    if (!Need(1)) return;
    const int32_t p = Pop();
    if (!PointOk(z, p)) return;
    ShiftPoint(z, p, dx, dy, true);
  }
  gs_.loop = 1;
}

void Interpreter::UntouchPoint() {  // UTP
  if (!Need(1)) return;
  const int32_t p = Pop();
  Zone& z = *zp_[0];
  if (!PointOk(z, p)) return;
  if (gs_.freeX != 0) z.flags[p] &= static_cast<uint8_t>(~kTouchedX);
  if (gs_.freeY != 0) z.flags[p] &= static_cast<uint8_t>(~kTouchedY);
}

void Interpreter::FlipInstruction(uint8_t opcode) {
  Zone& z = *zp_[0];
  if (opcode == 0x80) {  // FLIPPT
    for (; gs_.loop > 0; --gs_.loop) {
      if (!Need(1)) return;
      const int32_t p = Pop();
      if (!PointOk(z, p)) return;
      z.flags[p] ^= kPointOnCurve;
    }
    gs_.loop = 1;
    return;
  }
  if (!Need(2)) return;  // FLIPRGON, FLIPRGOFF
  const int32_t high = Pop();
  const int32_t low = Pop();
  if (!PointOk(z, low) || !PointOk(z, high)) return;
  for (int32_t p = low; p <= high; ++p) {
    if (opcode == 0x81) {
      z.flags[p] |= kPointOnCurve;
    } else {
      z.flags[p] &= static_cast<uint8_t>(~kPointOnCurve);
    }
  }
}

// IUP's shift of a contour with one touched point: every point moves with it.
void Interpreter::ShiftRange(bool xAxis, uint32_t from, uint32_t to, uint32_t ref) {
  const F26Dot6 delta = SubSat(Axis(glyph_.cur[ref], xAxis), Axis(glyph_.org[ref], xAxis));
  if (delta == 0) return;
  for (uint32_t i = from; i <= to; ++i) {
    if (i != ref) Axis(glyph_.cur[i], xAxis) = AddSat(Axis(glyph_.cur[i], xAxis), delta);
  }
}

// IUP between touched points ref1 and ref2: points between them in the
// original outline are interpolated, points outside shift with the nearer.
void Interpreter::InterpolateRange(bool xAxis, uint32_t from, uint32_t to, uint32_t ref1, uint32_t ref2) {
  if (from > to) return;
  if (Axis(glyph_.orus[ref1], xAxis) > Axis(glyph_.orus[ref2], xAxis)) {
    const uint32_t t = ref1;
    ref1 = ref2;
    ref2 = t;
  }
  const F26Dot6 orus1 = Axis(glyph_.orus[ref1], xAxis), orus2 = Axis(glyph_.orus[ref2], xAxis);
  const F26Dot6 org1 = Axis(glyph_.org[ref1], xAxis), org2 = Axis(glyph_.org[ref2], xAxis);
  const F26Dot6 cur1 = Axis(glyph_.cur[ref1], xAxis), cur2 = Axis(glyph_.cur[ref2], xAxis);
  const F26Dot6 delta1 = SubSat(cur1, org1), delta2 = SubSat(cur2, org2);
  const bool flat = cur1 == cur2 || orus1 == orus2;
  int32_t scale = 0;
  bool scaleKnown = false;
  for (uint32_t i = from; i <= to; ++i) {
    F26Dot6 v = Axis(glyph_.org[i], xAxis);
    if (v <= org1) {
      v = AddSat(v, delta1);
    } else if (v >= org2) {
      v = AddSat(v, delta2);
    } else if (flat) {
      v = cur1;
    } else {
      if (!scaleKnown) {
        scale = MulDiv(int64_t{cur2} - cur1, 0x10000, int64_t{orus2} - orus1);
        scaleKnown = true;
      }
      v = AddSat(cur1, MulFix16(SubSat(Axis(glyph_.orus[i], xAxis), orus1), scale));
    }
    Axis(glyph_.cur[i], xAxis) = v;
  }
}

void Interpreter::InterpolateUntouched(uint8_t opcode) {  // IUP[a]: 0x30 y, 0x31 x
  if (program_ != kGlyphProgram) return Fail(kNeedsOutline);
  const bool xAxis = opcode & 1;
  const uint8_t touched = xAxis ? kTouchedX : kTouchedY;
  uint32_t point = 0;
  for (uint32_t c = 0; c < glyph_.contourCount; ++c) {
    const uint32_t start = point;
    uint32_t end = glyph_.contourEnds[c];
    if (end >= glyph_.pointCount) end = glyph_.pointCount - 1;
    while (point <= end && !(glyph_.flags[point] & touched)) ++point;
    if (point <= end) {
      const uint32_t firstTouched = point;
      uint32_t lastTouched = point;
      for (++point; point <= end; ++point) {
        if (glyph_.flags[point] & touched) {
          InterpolateRange(xAxis, lastTouched + 1, point - 1, lastTouched, point);
          lastTouched = point;
        }
      }
      if (lastTouched == firstTouched) {
        ShiftRange(xAxis, start, end, lastTouched);
      } else {
        InterpolateRange(xAxis, lastTouched + 1, end, lastTouched, firstTouched);
        if (firstTouched > start) InterpolateRange(xAxis, start, firstTouched - 1, lastTouched, firstTouched);
      }
    }
    point = end + 1;
  }
}

void Interpreter::DeltaP(uint8_t opcode) {
  if (!Need(1)) return;
  const int32_t count = Pop();
  const int32_t base = gs_.deltaBase + (opcode == 0x5D ? 0 : (opcode - 0x70) * 16);
  Zone& z = *zp_[0];
  for (int32_t k = 0; k < count; ++k) {
    if (!Need(2)) return;
    const int32_t p = Pop();
    const int32_t argument = Pop();
    if (!PointOk(z, p)) return;
    if (base + ((argument & 0xF0) >> 4) != size_.ppem) continue;
    int32_t steps = (argument & 0xF) - 8;
    if (steps >= 0) ++steps;
    Move(z, p, steps * (1 << (6 - gs_.deltaShift)));
  }
}

}  // namespace vn::fonts::hinting
