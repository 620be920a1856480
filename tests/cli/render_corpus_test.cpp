// folio render on a fixed share of the corpus (every sixth file, its first
// page): each file is drawn (status 0) or fails with one line that says why
// (status 1); nothing crashes, hangs or exhausts memory, also under the
// sanitizers. tools/render-corpus.sh runs every page of every file.
#include <gtest/gtest.h>

#include <string>

#include "cli/folio_runner.h"
#include "support/corpus.h"

namespace folio::test {
namespace {

TEST(FolioRenderCorpus, EveryFileIsDrawnOrSaysWhyInOneLine) {
  const auto files = vn::test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus absent";
  const std::string out = testing::TempDir() + "/folio-corpus.ppm";
  int drawn = 0, refused = 0;
  for (size_t i = 0; i < files.size(); i += 6) {
    const auto& f = files[i];
    const std::string password = f.userPassword.empty() ? "" : " --password '" + f.userPassword + "'";
    Outcome r = Execute("timeout 300 " + Folio() + " render -o '" + out + "'" + password + " '" + f.path + "' 1");
    ASSERT_TRUE(r.status == 0 || r.status == 1) << f.name << " exited " << r.status << ": " << r.out;
    // The failure line, if any: exactly one, naming the file.
    size_t failures = 0;
    for (size_t at = r.out.find("folio: "); at != std::string::npos; at = r.out.find("folio: ", at + 1)) ++failures;
    EXPECT_EQ(failures, r.status == 1 ? 1u : 0u) << f.name << ": " << r.out;
    if (r.status == 1) {
      EXPECT_NE(r.out.find("folio: " + f.path + ": "), std::string::npos) << r.out;
    }
    (r.status == 0 ? drawn : refused) += 1;
  }
  std::printf("folio render: %d of %d corpus files drawn, %d refused in one line\n", drawn, drawn + refused, refused);
}

}  // namespace
}  // namespace folio::test
