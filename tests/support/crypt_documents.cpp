#include "support/crypt_documents.h"

#include "data_io/ccitt_test_support.h"
#include "data_io/filter_encoders.h"
#include "data_io/jpg_test_support.h"
#include "support/pdf_builder.h"

namespace vn::test {

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string Flate(const std::string& data) { return Encoded("FlateDecode", data); }

// Rows of `width` bytes with a PNG "Up" predictor byte each, or the TIFF
// predictor's differences to the left.
std::string Predicted(const std::vector<uint8_t>& data, uint32_t width, bool png) {
  std::string out;
  for (size_t row = 0; row < data.size() / width; ++row) {
    if (png) out += '\2';
    for (uint32_t i = 0; i < width; ++i) {
      const size_t at = row * width + i;
      const uint8_t before = png ? (row > 0 ? data[at - width] : 0) : (i > 0 ? data[at - 1] : 0);
      out += static_cast<char>(data[at] - before);
    }
  }
  return out;
}

std::string Stream(const std::string& entries, const std::string& data) {
  return "<< /Length " + std::to_string(data.size()) + " " + entries + " >>\nstream\n" + data + "\nendstream";
}

std::string HexString(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex = "<";
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex + ">";
}

}  // namespace

const char kCryptContent[] = "q 1 0 0 rg 10 10 50 50 re f Q BT /F1 12 Tf 20 100 Td (Plain) Tj ET";

std::string CryptContentDocument(const std::string& entries, const std::string& data,
                                 const Rc4Encryption* encryption, const std::string& streamFilter) {
  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
  pdf.Add(4, Stream(entries, data));
  if (encryption == nullptr) return pdf.Finish(pdf.Trailer());
  pdf.Add(5, encryption->Dictionary(streamFilter));
  return pdf.Finish(pdf.Trailer(encryption->TrailerEntries(5)));
}

std::vector<CryptCase> CryptFilterCases(const Rc4Encryption& rc4) {
  const std::string content = kCryptContent;
  const std::string identity = "<< /Name /Identity >>";
  const std::string named = "<< /Name /StdCF >>";
  return {
      {"identity", "/Filter /Crypt /DecodeParms " + identity, content},
      {"no parameters", "/Filter /Crypt", content},
      {"identity in an array", "/Filter [/Crypt] /DecodeParms [" + identity + "]", content},
      {"named", "/Filter /Crypt /DecodeParms " + named, rc4.Encrypt(4, content)},
      {"first", "/Filter [/Crypt /FlateDecode] /DecodeParms [" + identity + " null]", Flate(content)},
      {"named first", "/Filter [/Crypt /FlateDecode] /DecodeParms [" + named + " null]",
       rc4.Encrypt(4, Flate(content))},
      {"last", "/Filter [/FlateDecode /Crypt] /DecodeParms [null " + identity + "]", Flate(content)},
      {"between Flate stages", "/Filter [/FlateDecode /Crypt /FlateDecode] /DecodeParms [null " + identity + " null]",
       Flate(Flate(content))},
      {"named between Flate stages",
       "/Filter [/FlateDecode /Crypt /FlateDecode] /DecodeParms [null " + named + " null]",
       Flate(rc4.Encrypt(4, Flate(content)))},
  };
}

std::string EveryFilterDocument() {
  const Rc4Encryption rc4;
  std::vector<uint8_t> samples(8 * 24);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 + i / 8);
  EncodeOptions g4;
  g4.k = -1;
  const std::string content =
      "q 40 0 0 40 10 10 cm /Photo Do Q q 1 0 0 1 60 10 cm /Fm Do Q q 64 0 0 16 10 60 cm /Fax Do Q "
      "BI /W 4 /H 2 /BPC 8 /CS /G /F /AHx ID 00112233445566778899AABBCCDDEEFF> EI "
      "0 0 1 rg 1 1 5 5 re f BT /F1 9 Tf 5 90 Td (made up) Tj ET";
  const std::string form = "0 1 0 rg 0 0 20 20 re f 1 w 0 0 m 20 20 l S";

  PdfBuilder pdf;
  pdf.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Add(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Resources << /XObject << "
             "/Photo 5 0 R /Fm 6 0 R /Fax 7 0 R >> >> >>");
  pdf.Add(4, Stream("/Filter /FlateDecode", rc4.Encrypt(4, Flate(content))));
  pdf.Add(5, Stream("/Subtype /Image /Width 12 /Height 10 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
                    "/Filter /DCTDecode",
                    rc4.Encrypt(5, Text(EncodeJpeg(12, 10, 3)))));
  pdf.Add(6, Stream("/Subtype /Form /BBox [0 0 20 20] /Filter [/Crypt /LZWDecode] "
                    "/DecodeParms [<< /Name /Identity >> null]",
                    Encoded("LZWDecode", form)));
  pdf.Add(7, Stream("/Subtype /Image /Width 64 /Height 16 /ImageMask true /Filter /CCITTFaxDecode "
                    "/DecodeParms << /K -1 /Columns 64 /Rows 16 >>",
                    rc4.Encrypt(7, Text(Encode(RandomImage(3, 64, 16, 6), g4)))));
  pdf.Add(8, Stream("/Filter /ASCII85Decode", rc4.Encrypt(8, Text(Encoded("ASCII85Decode", samples)) + "~>")));
  pdf.Add(9, Stream("/Filter /RunLengthDecode", rc4.Encrypt(9, Text(Encoded("RunLengthDecode", samples)) + "\x80")));
  pdf.Add(10, Stream("/Filter /ASCIIHexDecode", rc4.Encrypt(10, Text(Encoded("ASCIIHexDecode", samples)) + ">")));
  pdf.Add(11, Stream("/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 8 >>",
                     rc4.Encrypt(11, Flate(Predicted(samples, 8, true)))));
  pdf.Add(12, Stream("/Filter /LZWDecode /DecodeParms << /Predictor 2 /Columns 8 >>",
                     rc4.Encrypt(12, Encoded("LZWDecode", Predicted(samples, 8, false)))));
  pdf.Add(13, Stream("/Filter [/FlateDecode /Crypt /FlateDecode] /DecodeParms [null << /Name /StdCF >> null]",
                     Flate(rc4.Encrypt(13, Text(Encoded("FlateDecode", samples))))));
  pdf.Add(14, "<< /Title " + HexString(rc4.Encrypt(14, "Every filter")) + " >>");
  pdf.Add(15, rc4.Dictionary());
  return pdf.Finish(pdf.Trailer("/Info 14 0 R " + rc4.TrailerEntries(15)));
}

}  // namespace vn::test
