// The options file reader: whatever the bytes, the options stay within what the options panel
// can set, and the file written from them reads back to the same bytes.
#include <cstdint>

#include "exam/options_file.h"
#include "fuzz_check.h"
#include "study/timing.h"

using namespace quorvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Options o;
  decodeOptions({data, size}, o);
  auto oneOf = [](int v, std::initializer_list<int> allowed) {
    return std::find(allowed.begin(), allowed.end(), v) != allowed.end();
  };
  FUZZ_REQUIRE(o.ECH >= 100 && o.ECH <= 2000);
  FUZZ_REQUIRE(oneOf(o.TT_, {1, 2}) && oneOf(o.TZ_, {1, 2}) && oneOf(o.TX_, {1, 2}));
  FUZZ_REQUIRE(o.DEFAULT_seuil >= 10 && o.DEFAULT_seuil <= 90);
  FUZZ_REQUIRE(o.TACFIT_ITvol >= 0 && o.TACFIT_ITvol <= 100);
  FUZZ_REQUIRE(o.DEFAULT_compmax >= 0 && o.DEFAULT_compmax <= 100);
  FUZZ_REQUIRE(o.DEFAULT_pentemin >= 0 && o.DEFAULT_pentemin <= 100);
  FUZZ_REQUIRE(oneOf(o.LANGUE, {0, 1}) && oneOf(o.DEFAULT_format, {1, 2, 3, 4}) && oneOf(o.DEFAULT_ninst, {8, 16}));
  FUZZ_REQUIRE(oneOf(o.RECH_8, {0, 1}) && oneOf(o.short_axis, {0, 1}) && o.equilibrium == 1);
  FUZZ_REQUIRE(oneOf(o.DEFAULT_tacfitswitch, {1, 2, 3}) && oneOf(o.DEFAULT_Vpond, {0, 1}));
  FUZZ_REQUIRE(oneOf(o.DEFAULT_sama, {24, 48, 72, 96, 120}) && oneOf(o.DEFAULT_samr, {24, 48, 72, 96, 120}));
  FUZZ_REQUIRE(oneOf(o.mesh_samP, {12, 24, 48}) && o.mesh_Pdiv == o.mesh_samP);
  FUZZ_REQUIRE(oneOf(o.SECT_25, {13, 17, 19, 25}) && oneOf(o.RESEXP_1024, {0, 1}));
  FUZZ_REQUIRE(o.DEFAULT_freq >= kMinHeartRate && o.DEFAULT_freq <= kMaxHeartRate);
  FUZZ_REQUIRE(oneOf(o.proposePlacementOnOpen, {0, 1}));
  const int rgb = o.BK_r + o.BK_g + o.BK_b;
  FUZZ_REQUIRE(rgb > 29 && rgb < 601);

  const std::vector<uint8_t> written = encodeOptions(o);
  Options back;
  decodeOptions(written, back);
  FUZZ_REQUIRE(encodeOptions(back) == written);
  return 0;
}
