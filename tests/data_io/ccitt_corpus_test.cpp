// The fax decoder on the corpus's real CCITT images: every such image
// XObject is decoded through the document store (which reads DecodeParms)
// and compared row by row with the bilevel image pdfimages extracts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data_io/file_data_store.h"
#include "memory_stream.h"
#include "pdf/store/document_store.h"
#include "support/corpus.h"
#include "support/shell.h"
#include "support/test_context.h"

namespace vn::test {
namespace {

using pdf::store::DocumentStore;
using pdf::store::ParsedObject;
using pdf::store::Value;

struct ListedImage {
  int page;
  int indexOnPage;  // position among the page's images, as pdfimages numbers its files
  int object;
  int width;
  int height;
  bool stencil;
};

// The first appearance of every CCITT image object in `pdfimages -list`.
std::vector<ListedImage> ListCcittImages(const std::string& path) {
  std::string out;
  std::vector<ListedImage> images;
  if (!RunTool("pdfimages -list '" + path + "'", out)) return images;
  std::istringstream lines(out);
  std::string line;
  std::map<int, int> firstOnPage;  // page -> lowest image number
  std::map<int, bool> seen;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int page, num, width, height, comp, bpc, object;
    std::string type, color, enc, interp;
    if (!(fields >> page >> num >> type >> width >> height >> color >> comp >> bpc >> enc >> interp >> object)) continue;
    if (firstOnPage.find(page) == firstOnPage.end()) firstOnPage[page] = num;
    if (enc != "ccitt" || object <= 0 || seen[object]) continue;
    seen[object] = true;
    images.push_back({page, num - firstOnPage[page], object, width, height, type == "stencil"});
  }
  return images;
}

// The packed rows of a P4 PBM file (1 = black).
bool ReadPbm(const std::string& path, int width, int height, std::vector<uint8_t>& bits) {
  std::vector<unsigned char> file = ReadWholeFile(path);
  std::string header(file.begin(), file.begin() + static_cast<long>(std::min<size_t>(file.size(), 64)));
  int w = 0, h = 0, consumed = 0;
  if (std::sscanf(header.c_str(), "P4 %d %d%n", &w, &h, &consumed) != 2 || w != width || h != height) return false;
  size_t start = static_cast<size_t>(consumed) + 1;  // one white-space byte after the height
  size_t bytes = static_cast<size_t>((width + 7) / 8) * static_cast<size_t>(height);
  if (file.size() < start + bytes) return false;
  bits.assign(file.begin() + static_cast<long>(start), file.begin() + static_cast<long>(start + bytes));
  return true;
}

TEST(CcittCorpus, MatchesPdfimages) {
  if (CorpusDir().empty() || system("pdfimages -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "no corpus or pdfimages";
  char dirTemplate[] = "/tmp/folio-ccitt-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  int files = 0, unopened = 0, images = 0, equalImages = 0, rowsCompared = 0, rowsEqual = 0, stencils = 0, blackIs1Images = 0;
  for (const CorpusFile& file : CorpusFiles()) {
    if (file.encrypted != "none") continue;
    std::vector<unsigned char> bytes = ReadWholeFile(file.path);
    const std::string key = "CCITTFaxDecode";
    if (std::search(bytes.begin(), bytes.end(), key.begin(), key.end()) == bytes.end()) continue;
    std::vector<ListedImage> listed = ListCcittImages(file.path);
    if (listed.empty()) continue;
    ++files;
    AppContext context;
    std::wstring wide(file.path.begin(), file.path.end());
    Owned<DocumentStore> store(context);
    if (RaisedCode(context, [&] {
          store.Set(pdf::store::OpenDocument(context, New<data_io::FileDataStore>(context, context, wide.c_str())));
        }) != -1) {
      EXPECT_TRUE(file.HasFeature("broken")) << file.name << " does not open";
      ++unopened;
      continue;
    }
    for (const ListedImage& image : listed) {
      std::string prefix = dir + "/img";
      std::string ignored;
      RunTool("rm -f " + dir + "/img-*; pdfimages -f " + std::to_string(image.page) + " -l " +
                  std::to_string(image.page) + " '" + file.path + "' " + prefix,
              ignored);
      char name[32];
      std::snprintf(name, sizeof name, "-%03d.pbm", image.indexOnPage);
      std::vector<uint8_t> pbm;
      if (!ReadPbm(prefix + name, image.width, image.height, pbm)) {
        ADD_FAILURE() << file.name << " object " << image.object << ": no PBM from pdfimages";
        continue;
      }
      std::vector<uint8_t> ours;
      bool blackIs1 = false;
      int32_t code = RaisedCode(context, [&] {
        Ref<ParsedObject> object(context);
        store->GetObject(object, image.object);
        Ref<ParsedObject> holder(context);
        Value parms = store->Resolve(Get(context, object->value, "DecodeParms"), holder);
        if (parms.IsArray()) parms = ArrayAt(context, parms, 0);
        if (parms.IsDictionary()) blackIs1 = Get(context, parms, "BlackIs1").AsBool();
        if (blackIs1) ++blackIs1Images;
        Owned<data_io::DataBlockStream> stream(context, store->OpenStreamData(*object));
        ours = ReadAll(context, *stream);
      });
      ++images;
      if (code != -1) {
        ADD_FAILURE() << file.name << " object " << image.object << " raised " << code;
        continue;
      }
      // pdfimages writes an image's samples inverted (PBM's 1 is black,
      // a gray sample's 0 is black) and a stencil mask's samples as they
      // are. BlackIs1 is undone by both decoders alike, so it does not
      // change the comparison. (No corpus image has a Decode array.)
      const uint8_t flip = image.stencil ? 0x00 : 0xFF;
      if (image.stencil) ++stencils;
      const size_t rowBytes = static_cast<size_t>((image.width + 7) / 8);
      const uint8_t padMask = static_cast<uint8_t>(0xFF << ((8 - image.width % 8) % 8));
      auto rowEqual = [&](size_t r, uint8_t flip) {
        for (size_t i = 0; i < rowBytes; ++i) {
          uint8_t mask = i + 1 == rowBytes ? padMask : 0xFF;
          if (((ours[r * rowBytes + i] ^ flip) & mask) != (pbm[r * rowBytes + i] & mask)) return false;
        }
        return true;
      };
      size_t ourRows = ours.size() / rowBytes;
      size_t rows = std::min<size_t>(ourRows, static_cast<size_t>(image.height));
      int equalRows = 0;
      for (size_t r = 0; r < rows; ++r) equalRows += rowEqual(r, flip) ? 1 : 0;
      rowsCompared += image.height;
      rowsEqual += equalRows;
      if (equalRows == image.height && ourRows >= static_cast<size_t>(image.height)) {
        ++equalImages;
      } else {
        size_t firstBad = 0;
        while (firstBad < rows && rowEqual(firstBad, flip)) ++firstBad;
        ADD_FAILURE() << file.name << " object " << image.object << " " << image.width << "x" << image.height
                      << " BlackIs1 " << blackIs1 << ": " << equalRows << " rows equal, ours " << ourRows
                      << " rows, first difference at row " << firstBad;
      }
    }
  }
  std::string ignored;
  RunTool("rm -rf " + dir, ignored);
  std::printf("CCITT corpus: %d files (%d do not open), %d images, %d equal; %d of %d rows equal; %d stencil masks, %d with BlackIs1\n", files,
              unopened, images, equalImages, rowsEqual, rowsCompared, stencils, blackIs1Images);
  EXPECT_GT(images, 0);
}

}  // namespace
}  // namespace vn::test
