// Optional content drawn as the document's default view shows it: forms,
// images and annotations in hidden layers are left out; memberships combine
// their groups by policy or expression; what cannot be read is shown.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pdf_builder.h"
#include "support/render_pages.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

// Objects 10 (on) and 11 (off) are the groups; `memberships` are the "OC"
// values of forms drawn as red squares in a row, 20 units apart, from
// x = 0 (each square 10 units, at y 0..10 of a 200 x 20 page).
struct LayeredPage {
  std::string configuration = "<< /OFF [11 0 R] >>";
  std::vector<std::string> memberships;
  std::string pageExtra;
  std::vector<std::string> extraObjects;  // objects 40, 41, ...
};

std::string Build(const LayeredPage& page) {
  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [10 0 R 11 0 R] /D " + page.configuration +
                 " >> >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  std::string xobjects, content;
  for (size_t i = 0; i < page.memberships.size(); ++i) {
    const std::string name = "/F" + std::to_string(i);
    xobjects += name + " " + std::to_string(20 + i) + " 0 R ";
    content += "q 1 0 0 1 " + std::to_string(20 * i) + " 0 cm " + name + " Do Q ";
  }
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 20] /Resources << /XObject << " + xobjects +
                 " >> >> /Contents 4 0 R " + page.pageExtra + " >>");
  pdf.Add(4, StreamObject("", content));
  pdf.Add(10, "<< /Type /OCG /Name (On) >>");
  pdf.Add(11, "<< /Type /OCG /Name (Off) >>");
  for (size_t i = 0; i < page.memberships.size(); ++i) {
    pdf.Add(static_cast<int>(20 + i), StreamObject("/Subtype /Form /BBox [0 0 10 10] /OC " + page.memberships[i],
                                                   "1 0 0 rg 0 0 10 10 re f"));
  }
  for (size_t i = 0; i < page.extraObjects.size(); ++i) pdf.Add(static_cast<int>(40 + i), page.extraObjects[i]);
  return pdf.Finish(pdf.Trailer());
}

// Whether the square of form `i` was drawn.
bool Drawn(const Rendered& r, int i) { return r.Green(20 * i + 5, 15) < 128; }

TEST(OptionalContentTest, GroupsAndMembershipPoliciesFollowTheDefaultConfiguration) {
  AppContext context;
  LayeredPage page;
  page.memberships = {
      "10 0 R",                                                   // on
      "11 0 R",                                                   // off
      "<< /Type /OCMD /OCGs [10 0 R 11 0 R] >>",                  // AnyOn
      "<< /Type /OCMD /OCGs [10 0 R 11 0 R] /P /AllOn >>",
      "<< /Type /OCMD /OCGs [10 0 R 11 0 R] /P /AnyOff >>",
      "<< /Type /OCMD /OCGs [10 0 R 11 0 R] /P /AllOff >>",
      "<< /Type /OCMD /OCGs 11 0 R >>",                           // one group, not in an array
      "<< /OCGs 11 0 R /P /AllOff >>",                            // no Type: a membership all the same
  };
  const Rendered r = RenderPdf(context, Build(page));
  ASSERT_EQ(r.error, -1);
  const bool expected[] = {true, false, true, false, true, false, false, true};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Drawn(r, i), expected[i]) << page.memberships[i];
}

TEST(OptionalContentTest, VisibilityExpressionsDecideOverTheGroups) {
  AppContext context;
  LayeredPage page;
  page.memberships = {
      "<< /Type /OCMD /VE [/Not 11 0 R] >>",
      "<< /Type /OCMD /VE [/And 10 0 R 11 0 R] >>",
      "<< /Type /OCMD /VE [/Or 11 0 R [/Not [/And 11 0 R 10 0 R]]] >>",
      "<< /Type /OCMD /OCGs [10 0 R] /VE [/And 10 0 R [/Not 10 0 R]] >>",  // the expression wins
      "<< /Type /OCMD /OCGs [11 0 R] /VE [/Xor 10 0 R] >>",  // no such operator: the groups decide
      "<< /Type /OCMD /VE 40 0 R >>",                         // an expression that contains itself
  };
  page.extraObjects = {"[/Not 40 0 R]"};
  const Rendered r = RenderPdf(context, Build(page));
  ASSERT_EQ(r.error, -1);
  const bool expected[] = {true, false, true, false, false, true};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Drawn(r, i), expected[i]) << page.memberships[i];
}

TEST(OptionalContentTest, BaseStateOffHidesAllButTheGroupsTurnedOn) {
  AppContext context;
  LayeredPage page;
  page.configuration = "<< /BaseState /OFF /ON [11 0 R] >>";
  page.memberships = {"10 0 R", "11 0 R", "<< /Type /OCG /Name (direct) >>"};
  const Rendered r = RenderPdf(context, Build(page));
  EXPECT_FALSE(Drawn(r, 0));
  EXPECT_TRUE(Drawn(r, 1));
  EXPECT_FALSE(Drawn(r, 2));
}

TEST(OptionalContentTest, WhatCannotBeReadIsShown) {
  AppContext context;
  for (const char* configuration : {"<< /OFF 11 0 R >>", "5", "<< /OFF [(x) 99 0 R] >>"}) {
    LayeredPage page;
    page.configuration = configuration;
    page.memberships = {"11 0 R"};
    EXPECT_TRUE(Drawn(RenderPdf(context, Build(page)), 0)) << configuration;
  }
  LayeredPage page;
  page.memberships = {"5", "(group)", "99 0 R", "<< /Type /OCMD /OCGs [(x) 7] >>", "<< /Type /OCMD >>"};
  const Rendered r = RenderPdf(context, Build(page));
  ASSERT_EQ(r.error, -1);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(Drawn(r, i)) << page.memberships[i];
}

TEST(OptionalContentTest, ImagesAndAnnotationsInHiddenLayersAreLeftOut) {
  AppContext context;
  // A red 1 x 1 image in the hidden group at x 0..10, and an annotation
  // whose red appearance is in it at x 20..30; the same annotation without
  // a layer at x 40..50.
  const std::string image = StreamObject(
      "/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceRGB /BitsPerComponent 8 /OC 11 0 R",
      std::string("\xFF\x00\x00", 3));
  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [11 0 R] /D << /OFF [11 0 R] >> >> >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 20] /Resources << /XObject << /Im 5 0 R >> >> "
             "/Contents 4 0 R /Annots [6 0 R 7 0 R] >>");
  pdf.Add(4, StreamObject("", "q 10 0 0 10 0 0 cm /Im Do Q"));
  pdf.Add(5, image);
  pdf.Add(6, "<< /Type /Annot /Subtype /Square /Rect [20 0 30 10] /OC 11 0 R /AP << /N 8 0 R >> >>");
  pdf.Add(7, "<< /Type /Annot /Subtype /Square /Rect [40 0 50 10] /AP << /N 8 0 R >> >>");
  pdf.Add(8, StreamObject("/Subtype /Form /BBox [0 0 10 10]", "1 0 0 rg 0 0 10 10 re f"));
  pdf.Add(11, "<< /Type /OCG /Name (Off) >>");
  const Rendered r = RenderPdf(context, pdf.Finish(pdf.Trailer()));
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(5, 15), "255,255,255");
  EXPECT_EQ(r.At(25, 15), "255,255,255");
  EXPECT_EQ(r.At(45, 15), "255,0,0");
}

// A page in one layer's marked content: objects 10 (on) and 11 (off) as
// above, the Properties /On and /Off, the font /F1 (Helvetica).
Rendered RenderMarked(AppContext& context, const std::string& content) {
  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [10 0 R 11 0 R] /D << /OFF [11 0 R] >> >> >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 20] /Resources << /Properties << /On 10 0 R "
             "/Off 11 0 R /Both << /Type /OCMD /OCGs [10 0 R 11 0 R] /P /AllOn >> >> /XObject << /Fm 5 0 R >> "
             "/Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents 4 0 R >>");
  pdf.Add(4, StreamObject("", content));
  // A form that leaves a hidden sequence open.
  pdf.Add(5, StreamObject("/Subtype /Form /BBox [0 0 200 20] /Resources << /Properties << /Off 11 0 R >> >>",
                          "/OC /Off BDC"));
  pdf.Add(10, "<< /Type /OCG /Name (On) >>");
  pdf.Add(11, "<< /Type /OCG /Name (Off) >>");
  return RenderPdf(context, pdf.Finish(pdf.Trailer()));
}

bool Inked(const Rendered& r, int x0, int x1, int y0, int y1) {
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (r.Green(x, y) < 128) return true;
    }
  }
  return false;
}

TEST(OptionalContentTest, MarkedContentInHiddenLayersPaintsNothingButStillChangesTheState) {
  AppContext context;
  // Squares at x 0, 20, 40, 60: in the hidden layer, in the shown one, in
  // a shown layer nested inside a hidden one, after both closed (and an
  // EMC too many). The colour set inside the hidden layer stays in force.
  Rendered r = RenderMarked(context,
                            "/OC /Off BDC 1 0 0 rg 0 0 10 10 re f EMC /OC /On BDC 20 0 10 10 re f EMC "
                            "/OC /Both BDC /Span << /MCID 0 >> BDC /OC /On BDC 40 0 10 10 re f EMC EMC EMC "
                            "EMC 60 0 10 10 re f");
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(5, 15), "255,255,255");
  EXPECT_EQ(r.At(25, 15), "255,0,0");
  EXPECT_EQ(r.At(45, 15), "255,255,255");
  EXPECT_EQ(r.At(65, 15), "255,0,0");
  // A clip set in a hidden layer clips what follows; hidden text moves the
  // pen (the shown "M" lands after four hidden ones, 4 x 8.33 units on).
  r = RenderMarked(context,
                   "/OC /Off BDC 0 0 5 20 re W n EMC 1 0 0 rg 0 0 10 10 re f "
                   "BT /F1 10 Tf 100 5 Td /OC /Off BDC (MMMM) Tj EMC (M) Tj ET");
  ASSERT_EQ(r.error, -1);
  EXPECT_EQ(r.At(2, 15), "255,0,0");
  EXPECT_EQ(r.At(7, 15), "255,255,255");
  r = RenderMarked(context, "BT /F1 10 Tf 100 5 Td /OC /Off BDC (MMMM) Tj EMC (M) Tj ET");
  EXPECT_FALSE(Inked(r, 100, 133, 0, 20));
  EXPECT_TRUE(Inked(r, 134, 142, 0, 20));
  // A form's open sequence ends with the form.
  r = RenderMarked(context, "/Fm Do 1 0 0 rg 0 0 10 10 re f");
  EXPECT_EQ(r.At(5, 15), "255,0,0");
}

}  // namespace
}  // namespace vn::test
