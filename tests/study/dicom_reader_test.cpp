#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "study/dicom_elements.h"
#include "study/dicom_reader.h"
#include "study_fixture.h"

using namespace quorvel;
using namespace quorvel::testing;

namespace {
const uint8_t* u(const char* s) { return reinterpret_cast<const uint8_t*>(s); }

// The file of g with raw bytes ahead of its data set, written under syntax uid.
std::vector<uint8_t> withFront(const GatedStudy& g, const std::vector<uint8_t>& front, bool implicitVr = false) {
  DicomBuilder b = g.builder(implicitVr);
  b.body().insert(b.body().begin(), front.begin(), front.end());
  return b.build(implicitVr ? kImplicitUid : kExplicitLittleUid);
}
// An element header written by hand: tag, then an explicit VR and a 16- or 32-bit length, or
// (vr empty) an implicit 32-bit length.
std::vector<uint8_t> element(uint16_t g, uint16_t e, const std::string& vr, uint32_t length) {
  std::vector<uint8_t> out;
  putU16le(out, g);
  putU16le(out, e);
  if (vr.empty()) {
    putU32le(out, length);
  } else if (vr == "OB" || vr == "UN") {
    out.insert(out.end(), {uint8_t(vr[0]), uint8_t(vr[1]), 0, 0});
    putU32le(out, length);
  } else {
    out.insert(out.end(), {uint8_t(vr[0]), uint8_t(vr[1])});
    putU16le(out, static_cast<uint16_t>(length));
  }
  return out;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::string& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

TEST(DicomValueParsers, TextAndDates) {
  EXPECT_EQ(GET_ASCII(u("ABC^DEF"), 7, 0, true, 100), "ABC DEF");
  EXPECT_EQ(GET_ASCII(u("DOE^^"), 5, 0, true, 100), "DOE  ");  // one space per caret
  EXPECT_EQ(GET_ASCII(u("O'Neil-2.x"), 10, 0, true, 100), "ONeil-2x");
  EXPECT_EQ(GET_ASCII(u("007"), 3, 0, false, 100), "7");  // leading zeros dropped without the flag
  EXPECT_EQ(GET_ASCII(u("ABCDEFGH"), 8, 0, true, 4), "ABC");
  std::string date = GET_ASCII(u("19450607"), 8, 1, true, 20);
  EXPECT_EQ(date, "1945/06/07");
  FORMAT_DATE(date);
  EXPECT_EQ(date, "07/06/1945");
  std::string colons = "2012:03:15";
  FORMAT_DATE(colons);
  EXPECT_EQ(colons, "15/03/2012");
  std::string empty;
  FORMAT_DATE(empty);
  EXPECT_EQ(empty, "");
}

// The reading of plain spacings before decimal strings were parsed: four significant digits and
// the decade of the number. Every plain value must keep exactly this result.
float fourDigitReading(const std::string& text) {
  float sum = 0;
  int accepted = 0, intDigits = 0, zerosAfterPoint = 0;
  bool afterPoint = false, significant = false;
  for (char c : text) {
    if (c == '.') afterPoint = true;
    if (c < '0' || c > '9') continue;
    if (c != '0') significant = true;
    if (!afterPoint && significant) ++intDigits;
    if (afterPoint && !significant && intDigits == 0) ++zerosAfterPoint;
    if (accepted >= 4 || (c == '0' && accepted == 0)) continue;
    sum += static_cast<float>((c - '0') * std::pow(10.0, 3 - accepted++));
  }
  const int decade = intDigits > 0 ? intDigits - 1 : -(zerosAfterPoint + 1);
  return (decade == 0 ? sum : static_cast<float>(sum * std::pow(10.0, decade))) / 10000.0f;
}

std::optional<std::vector<float>> voxelCm(const std::string& s) { return GET_VOXZIZE(u(s.c_str()), s.size(), 4); }

TEST(DicomValueParsers, VoxelSizesAreDecimalStringsInMillimetres) {
  struct Case {
    const char* text;
    std::vector<float> cm;  // empty: refused
  };
  const Case cases[] = {
      {"4.7952", {0.4795f}}, {"6.8", {0.68f}}, {"1", {0.1f}}, {"9.99999", {0.9999f}}, {"12.5", {1.25f}},
      {"0.5", {0.05f}}, {" 4.5", {0.45f}}, {"+1.200000e+01", {1.2f}}, {"+3.400000e+00", {0.34f}},
      {"1.2E1", {1.2f}}, {"+12.0", {1.2f}}, {" 12 ", {1.2f}}, {"12\\12", {1.2f, 1.2f}}, {"50", {5.0f}},
      {"6.8\\6.80000", {0.68f, 0.68f}}, {"3.3\\3.325", {0.33f, 0.3325f}}, {"1.5e-1", {0.015f}},
      {"1e308", {}}, {"1e400", {}}, {"nan", {}}, {"inf", {}}, {"-3", {}}, {"0", {}}, {"0.05", {}}, {"50.5", {}},
      {"", {}}, {"  ", {}}, {"1e", {}}, {"12 5", {}}, {"+-3", {}}, {"0x10", {}}, {"12\\", {}}, {"1,5", {}},
  };
  for (const Case& c : cases) {
    const auto got = voxelCm(c.text);
    if (c.cm.empty()) {
      EXPECT_FALSE(got) << c.text;
      continue;
    }
    ASSERT_TRUE(got) << c.text;
    ASSERT_EQ(got->size(), c.cm.size()) << c.text;
    for (size_t i = 0; i < c.cm.size(); ++i) EXPECT_FLOAT_EQ((*got)[i], c.cm[i]) << c.text;
  }
  EXPECT_EQ(voxelCm(std::string("6.8\0", 4)), std::vector<float>{0.68f});  // padded with a zero byte
  // Plain spacings of 0.1 to 50 mm with up to five decimals keep their former result, bit for bit.
  int differ = 0;
  for (int thousandths = 100; thousandths <= 50000; thousandths += 7)
    for (const char* fmt : {"%.3f", "%.1f", "%.5f"}) {
      char text[32];
      std::snprintf(text, sizeof text, fmt, thousandths / 1000.0 + (fmt[2] == '5' ? 0.00003 : 0));
      const auto got = voxelCm(text);
      differ += !got || got->front() != fourDigitReading(text);
    }
  EXPECT_EQ(differ, 0);
}

TEST(DicomValueParsers, IntegersAndRescale) {
  struct IntCase {
    const char* text;
    std::optional<int> value;
  };
  for (const IntCase& c : {IntCase{"512 ", 512}, {" 64", 64}, {"+72", 72}, {"-72", -72}, {"0", 0}, {"1e9", {}},
                           {"1x2", {}}, {"72.0", {}}, {"99999999999999", {}}, {"", {}}, {"7 2", {}}, {"72\\72", {}}})
    EXPECT_EQ(GET_NFRAMES(u(c.text), std::strlen(c.text)), c.value) << c.text;
  struct RescaleCase {
    const char* text;
    std::optional<float> value;
  };
  for (const RescaleCase& c : {RescaleCase{"2", 2.0f}, {"0.25 ", 0.25f}, {"-100", -100.0f}, {"+1.000000e+00", 1.0f},
                               {"1e39", {}}, {"nan", {}}, {"1\\2", {}}, {"2 x", {}}})
    EXPECT_EQ(GET_RESCALE(u(c.text), std::strlen(c.text)), c.value) << c.text;
  StudyRecord s;
  s.Ninst = 8;
  EXPECT_TRUE(GET_PULSE(s, u("75"), 2));
  EXPECT_EQ(s.CARD_FREQ_INT, 75);
  EXPECT_FLOAT_EQ(s.CYCLE, 100.0f);
  EXPECT_FALSE(GET_PULSE(s, u("1e9"), 3));
  EXPECT_EQ(s.CARD_FREQ_INT, 75);
}

class DicomReaderTest : public StudyTest {};

TEST_F(DicomReaderTest, ReadsTheStudyRecord) {
  GatedStudy g;
  g.spacing = "4.7952\\4.7952";
  g.thickness = "4.7952";
  g.name = "DOE^JANE^^";
  g.sex = "F";
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  const Study& s = w.study;
  EXPECT_EQ(s.Ninst, 8);
  EXPECT_EQ(s.NCZ, 4);
  EXPECT_EQ(s.OrImSize_H, 64);
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_XY, 0.4795f);
  EXPECT_FLOAT_EQ(s.VOXEL_SIZE_Z, 0.4795f);
  EXPECT_EQ(s.HEART_RATE, 1);
  EXPECT_NEAR(s.CYCLE, 104.1667f, 1e-3);
  EXPECT_EQ(s.pat_sex, 1);
  EXPECT_EQ(s.PAT_NAME, "DOE JANE  ");
  EXPECT_EQ(s.patient_name, "DOE JANE   ( 07/06/1945 )  -  Ex : 15/03/2012");
  EXPECT_EQ(s.patient_orientation, 1);
  EXPECT_EQ(std::string(s.patid.data(), 4), "ID42");
  EXPECT_EQ(s.patname_long, 10);
  EXPECT_EQ(s.TRANSFERT_UID, kExplicitLittle);
  EXPECT_EQ(s.chemin_short, "a.dcm");
  EXPECT_TRUE(notices.empty());
}

TEST_F(DicomReaderTest, TimeSlotsFramesAndHeartRateRules) {
  GatedStudy g;
  g.instants = 16;
  g.slices = 2;
  g.writeSlices = false;  // 32 frames / 16 slots: the division uses the final instant count
  w.options.RECH_8 = 0;
  ASSERT_TRUE(open(write("a.dcm", g.file())).ok());
  EXPECT_EQ(w.study.Ninst, 16);
  EXPECT_EQ(w.options.DEFAULT_ninst, 16);
  EXPECT_EQ(w.study.NCZ, 2);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_FALSE(notices[0].warning);
  EXPECT_EQ(notices[0].fr, "Nombre d'instants fixé à 16");

  for (const char* rate : {"0", "250"}) {
    StudyWorkspace fresh;
    GatedStudy h;
    h.heartRate = rate;
    ASSERT_TRUE(read(write("hr.dcm", h.file()), fresh).ok());
    EXPECT_EQ(fresh.study.HEART_RATE, 0) << rate;
    EXPECT_EQ(fresh.study.CARD_FREQ_INT, 72) << rate;  // default until the user answers
    EXPECT_NEAR(fresh.study.CYCLE, 104.1667f, 1e-3) << rate;
  }

  // Nominal Interval 857 ms gives 70 bpm when no Heart Rate came first.
  GatedStudy n;
  n.heartRate.clear();
  DicomBuilder b = n.builder();
  DicomBuilder withInterval;
  withInterval.str(0x0018, 0x1062, "IS", "857");
  std::vector<uint8_t> body = withInterval.body();
  body.insert(body.end(), b.body().begin(), b.body().end());
  b.body() = body;
  StudyWorkspace fresh;
  ASSERT_TRUE(read(write("rr.dcm", b.build(kExplicitLittleUid)), fresh).ok());
  EXPECT_EQ(fresh.study.CARD_FREQ_INT, 70);
  EXPECT_EQ(fresh.study.HEART_RATE, 1);
}

TEST_F(DicomReaderTest, FirstPatientNameWinsOverOneInsideASequence) {
  GatedStudy g;
  DicomBuilder b = g.builder();
  DicomBuilder front;
  front.str(0x0008, 0x0005, "CS", "ISO_IR 100");
  front.sequenceWith(0x0008, 0x1140, [](DicomBuilder& item) { item.str(0x0008, 0x1150, "UI", "1.2.3"); });
  std::vector<uint8_t> body = front.body();
  body.insert(body.end(), b.body().begin(), b.body().end());
  // A later sequence holding another name, placed before the pixel data.
  DicomBuilder seq;
  seq.sequenceWith(0x0054, 0x0016, [](DicomBuilder& item) { item.str(0x0010, 0x0010, "PN", "OTHER^NAME"); });
  b.body() = body;
  // Insert the sequence just before the pixel element (its last 12 + pixel bytes).
  const size_t pixelBytes = static_cast<size_t>(g.instants) * g.slices * 64 * 64 * 2 + 12;
  auto& all = b.body();
  all.insert(all.end() - static_cast<std::ptrdiff_t>(pixelBytes), seq.body().begin(), seq.body().end());
  ASSERT_TRUE(open(write("seq.dcm", b.build(kExplicitLittleUid))).ok());
  EXPECT_EQ(w.study.PAT_NAME, "DOE JOHN");
}

// One study, three transfer syntaxes written by DCMTK: the same record and the same voxels.
TEST_F(DicomReaderTest, ThreeTransferSyntaxesFromDcmtkGiveTheSameStudy) {
  GatedStudy g;
  g.instants = 8;
  g.slices = 6;
  g.rows = g.columns = 80;
  g.slope = "2";
  g.intercept = "10";
  g.position = "HFS";
  const auto source = write("source.dcm", g.file());
  struct Variant {
    const char* flag;
    int syntax;
  };
  std::vector<Study> loaded;
  for (Variant v : {Variant{"+ti", kImplicitLittle}, Variant{"+te", kExplicitLittle}, Variant{"+tb", kExplicitBig}}) {
    const auto out = dir / (std::string("v") + v.flag + ".dcm");
    ASSERT_EQ(run(std::string(QUORVEL_DCMCONV) + " " + v.flag + " " + source.string() + " " + out.string()), 0);
    StudyWorkspace fresh;
    ASSERT_TRUE(read(out, fresh).ok()) << v.flag;
    EXPECT_EQ(fresh.study.TRANSFERT_UID, v.syntax);
    loaded.push_back(fresh.study);
  }
  for (const Study& s : loaded) {
    EXPECT_EQ(s.Ninst, 8);
    EXPECT_EQ(s.NCZ, 6);
    EXPECT_EQ(s.OrImSize_H, 80);
    EXPECT_EQ(s.OrImSize_V, 80);
    EXPECT_FLOAT_EQ(s.rescale_slope, 2.0f);
    EXPECT_FLOAT_EQ(s.rescale_intercept, 10.0f);
    EXPECT_FLOAT_EQ(s.VOXEL_SIZE_XY, 0.68f);
    EXPECT_EQ(s.patient_name, loaded[0].patient_name);
    EXPECT_EQ(s.patient_orientation, 0);
    EXPECT_EQ(s.datamax, loaded[0].datamax);
    EXPECT_EQ(s.Inst_telesys, loaded[0].Inst_telesys);
    EXPECT_TRUE(s.DATA == loaded[0].DATA);
  }
  EXPECT_GT(loaded[0].datamax, 10.0f);
}

// Every malformed or crafted file that cannot be read right is refused with its message and
// leaves the loaded study as it was.
TEST_F(DicomReaderTest, MalformedFilesAreRefusedAndTheStudyIsKept) {
  GatedStudy good;
  ASSERT_TRUE(open(write("good.dcm", good.file())).ok());
  const Study before = w.study;
  const int ninstDefault = w.options.DEFAULT_ninst;

  const std::string notDicom = "   Fichier DICOM inapproprié !   ";
  const std::string decoding =
      "Problème de décodage du fichier Dicom.\nCode erreur : R-VR\nVeuillez contacter les auteurs en joignant le "
      "fichier Dicom";
  const std::string instants = "Le nombre d'instants doit être 8 ou 16 !";
  const std::string voxel =
      "Taille des voxels absente ou invalide dans le fichier :\nles volumes ne peuvent pas être calculés.";
  const std::string rescale = "Mise à l'échelle des valeurs (Rescale Slope / Intercept) invalide dans le fichier.";
  auto with = [&](const std::function<void(GatedStudy&)>& change) {
    GatedStudy g = good;
    change(g);
    return g.file();
  };
  const std::vector<uint8_t> bytes = good.file();
  // An element whose length runs past the end of the file.
  DicomBuilder lying;
  lying.str(0x0010, 0x0010, "PN", "DOE");
  lying.body()[6] = 0xF0;
  lying.body()[7] = 0xFF;
  // A header claiming a huge image asks for no memory: refused on size before any allocation.
  auto huge = with([](GatedStudy& g) { g.rows = g.columns = 1024, g.slices = 1; });
  huge.resize(huge.size() / 4);
  const std::string digits37(37, '9');
  // The pixel data element says it holds fewer bytes than the images, the rest following it.
  std::vector<uint8_t> shortPixels = bytes;
  const size_t pixelLength = shortPixels.size() - static_cast<size_t>(good.instants) * good.slices * 64 * 64 * 2 - 4;
  for (int i = 0; i < 4; ++i) shortPixels[pixelLength + i] = i == 0 ? 100 : 0;
  // One voxel short, a padding element after it: the last voxel would be read from that element.
  std::vector<uint8_t> oneVoxelShort(bytes.begin(), bytes.end() - 2);
  const uint32_t shortLength = static_cast<uint32_t>(bytes.size() - pixelLength - 4 - 2);
  for (int i = 0; i < 4; ++i) oneVoxelShort[pixelLength + i] = static_cast<uint8_t>(shortLength >> (8 * i));
  const std::vector<uint8_t> padding = element(0xFFFC, 0xFFFC, "OB", 16);
  oneVoxelShort.insert(oneVoxelShort.end(), padding.begin(), padding.end());
  oneVoxelShort.resize(oneVoxelShort.size() + 16, 0);
  // A data set written implicit under an explicit syntax, and the other way round.
  std::vector<uint8_t> mixed = good.builder(true).build(kExplicitLittleUid);
  std::vector<uint8_t> mixed2 = good.builder(false).build(kImplicitUid);

  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string message;
  };
  const Case cases[] = {
      {"magic", good.builder().build(kExplicitLittleUid, "DICX"), notDicom},
      {"tiny", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 100), notDicom},
      // Cut inside the header: the walk reaches the end before the pixel data.
      {"cut_header", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 300), decoding},
      // Cut inside the pixel data: the voxels would lie beyond the end.
      {"cut_pixels", std::vector<uint8_t>(bytes.begin(), bytes.end() - 2), notDicom},
      {"deflated", good.builder().build(kDeflatedUid), decoding},
      {"length", lying.build(kExplicitLittleUid), decoding},
      {"slots12", with([](GatedStudy& g) { g.instants = 12; }), instants},
      {"slices129", with([](GatedStudy& g) { g.slices = 129, g.rows = g.columns = 8; }),
       "Nombre de coupes trop élevé (129). Max. = 128."},
      {"rows0", with([](GatedStudy& g) { g.rows = 0; }), notDicom},
      {"columns0", with([](GatedStudy& g) { g.columns = 0; }), notDicom},
      {"rows65535", with([](GatedStudy& g) { g.rows = 65535, g.columns = 1, g.slices = 1; }), notDicom},
      {"pixels_element_short", shortPixels, notDicom},
      {"pixels_element_one_voxel_short", oneVoxelShort, notDicom},
      {"implicit_under_explicit", mixed, decoding},
      {"explicit_under_implicit", mixed2, decoding},
      // A group stepped over through a length that runs past the end.
      {"group_length_past_end", withFront(good, element(0x0009, 0x0000, "UL", 4) + std::string("\xF0\xFF\xFF\x0F")),
       decoding},
      // Undefined length on a value that is no sequence: what follows would be read as its items.
      {"undefined_length_ob", withFront(good, element(0x0018, 0x1000, "OB", 0xFFFFFFFF)), decoding},
      {"undefined_length_implicit", withFront(good, element(0x0010, 0x1000, "", 0xFFFFFFFF), true), decoding},
      {"huge", huge, notDicom},
      {"nospacing", with([](GatedStudy& g) { g.spacing.clear(); }), voxel},
      {"thick0", with([](GatedStudy& g) { g.thickness = "0"; }), voxel},
      {"thick_tiny", with([](GatedStudy& g) { g.thickness = "0.0000001"; }), voxel},
      {"thick_neg", with([](GatedStudy& g) { g.thickness = "-3"; }), voxel},
      {"thick_two", with([](GatedStudy& g) { g.thickness = "12\\12"; }), voxel},
      {"spacing_1e308", with([](GatedStudy& g) { g.spacing = "1e308\\1e308"; }), voxel},
      {"spacing_nan", with([](GatedStudy& g) { g.spacing = "nan"; }), voxel},
      {"spacing_three", with([](GatedStudy& g) { g.spacing = "6.8\\6.8\\6.8"; }), voxel},
      {"spacing_text", with([](GatedStudy& g) { g.spacing = "6.8mm"; }), voxel},
      {"slope_37", with([&](GatedStudy& g) { g.slope = digits37; }), rescale},
      {"intercept_37", with([&](GatedStudy& g) { g.slope = "1", g.intercept = "-" + digits37; }), rescale},
      {"slope_0", with([](GatedStudy& g) { g.slope = "0"; }), rescale},
      {"slope_inf", with([](GatedStudy& g) { g.slope = "inf"; }), rescale},
      {"frames_huge", with([](GatedStudy& g) { g.frames = "999999999"; }),
       "Nombre d'images du fichier (999999999) différent du nombre d'instants x nombre de coupes (8 x 4)."},
      {"frames_short", with([](GatedStudy& g) { g.frames = "24"; }),
       "Nombre d'images du fichier (24) différent du nombre d'instants x nombre de coupes (8 x 4)."},
      {"frames_neg", with([](GatedStudy& g) { g.frames = "-1"; }), "Nombre d'images invalide dans le fichier (-1)."},
      {"frames_text", with([](GatedStudy& g) { g.frames = "3.2e1"; }),
       "Nombre d'images invalide dans le fichier (3.2e1)."},
      {"no_counts", with([](GatedStudy& g) { g.value = [](int, int, int, int) { return int16_t{0}; }; }),
       "L'étude ne contient aucun comptage : elle ne peut pas être analysée."},
      {"negative_only", with([](GatedStudy& g) {
         g.rows = g.columns = 96;
         g.value = [](int, int, int, int) { return int16_t{-40}; };
       }),
       "L'étude ne contient aucun comptage : elle ne peut pas être analysée."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Status refused = open(write(c.name + ".dcm", c.bytes));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.refusal().fr, c.message);
    EXPECT_EQ(w.study.chemin_data, before.chemin_data);
    EXPECT_EQ(w.study.NCZ, before.NCZ);
    EXPECT_EQ(w.study.Ninst, before.Ninst);
    EXPECT_EQ(w.study.VOXEL_SIZE_XY, before.VOXEL_SIZE_XY);
    EXPECT_EQ(w.study.OFFSET_LEC, before.OFFSET_LEC);
    EXPECT_TRUE(w.study.DATA == before.DATA);
    EXPECT_EQ(w.options.DEFAULT_ninst, ninstDefault);
  }
}

// Crafted files that are legal, or nearly so, and are read with their right values.
TEST_F(DicomReaderTest, CraftedValuesAreReadRight) {
  GatedStudy plain;
  plain.value = [](int t, int z, int x, int y) { return static_cast<int16_t>(150 - t + (z + x + y) % 7); };
  ASSERT_TRUE(open(write("plain.dcm", plain.file())).ok());
  const Study reference = w.study;
  // A small icon image in a sequence of undefined length ahead of everything else: its rows,
  // columns and pixels are not the acquisition's.
  auto withIcon = [&](bool implicitVr) {
    DicomBuilder b = plain.builder(implicitVr);
    DicomBuilder front(implicitVr);
    front.sequenceWith(0x0088, 0x0200, [](DicomBuilder& item) {
      item.us(0x0028, 0x0010, 8).us(0x0028, 0x0011, 8).pixels(std::vector<int16_t>(64, 32736));
    });
    std::vector<uint8_t> body = front.body();
    body.insert(body.end(), b.body().begin(), b.body().end());
    b.body() = body;
    return b.build(implicitVr ? kImplicitUid : kExplicitLittleUid);
  };
  auto with = [&](const std::function<void(GatedStudy&)>& change) {
    GatedStudy g = plain;
    change(g);
    return g.file();
  };
  auto voxelSizes = [](float xy, float z) {
    return [=](const StudyWorkspace& s, const Notices&) {
      EXPECT_FLOAT_EQ(s.study.VOXEL_SIZE_XY, xy);
      EXPECT_FLOAT_EQ(s.study.VOXEL_SIZE_Z, z);
    };
  };
  auto sameStudy = [&](const StudyWorkspace& s, const Notices&) {
    EXPECT_EQ(s.study.OrImSize_H, 64);
    EXPECT_EQ(s.study.datamax, reference.datamax);
    EXPECT_TRUE(s.study.DATA == reference.DATA);
  };
  auto heartRateAsked = [](const std::string& text) {
    return [=](const StudyWorkspace& s, const Notices& n) {
      EXPECT_EQ(s.study.HEART_RATE, 0);
      EXPECT_EQ(s.study.CARD_FREQ_INT, 72);
      ASSERT_EQ(n.size(), 1u);
      EXPECT_TRUE(n[0].warning);
      EXPECT_EQ(n[0].fr, "Fréquence cardiaque invalide dans le fichier (" + text + ") : elle doit être indiquée.");
    };
  };
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::function<void(const StudyWorkspace&, const Notices&)> check;
  };
  const Case cases[] = {
      {"exponent", with([](GatedStudy& g) { g.spacing = "1.2E1", g.thickness = "+1.200000e+01"; }), voxelSizes(1.2f, 1.2f)},
      {"plus", with([](GatedStudy& g) { g.spacing = "+12.0\\+12.0"; }), voxelSizes(1.2f, 0.68f)},
      {"spaces", with([](GatedStudy& g) { g.spacing = " 12 \\ 12 ", g.thickness = " 12 "; }), voxelSizes(1.2f, 1.2f)},
      {"backslash", with([](GatedStudy& g) { g.spacing = "12\\12"; }), voxelSizes(1.2f, 0.68f)},
      {"one_value", with([](GatedStudy& g) { g.spacing = "4.5"; }), voxelSizes(0.45f, 0.68f)},
      // Two values of different lengths are split at the backslash, not at half the length.
      {"uneven", with([](GatedStudy& g) { g.spacing = "6.8\\6.80000"; }), voxelSizes(0.68f, 0.68f)},
      {"unequal", with([](GatedStudy& g) { g.spacing = "3.3\\3.325"; }), voxelSizes((0.33f + 0.3325f) / 2, 0.68f)},
      {"intercept", with([](GatedStudy& g) { g.slope = "1", g.intercept = "-100"; }),
       [](const StudyWorkspace& s, const Notices&) {
         EXPECT_EQ(s.study.rescale_intercept, -100.0f);
         EXPECT_EQ(s.study.at(0, 1, 2, 3), 150.0f + 6 % 7 - 100);
       }},
      {"icon_explicit", withIcon(false), sameStudy},
      {"trailing_garbage", plain.file() + std::string(333, '\x5A'), sameStudy},
      {"frames_blank", with([](GatedStudy& g) { g.frames = " "; }), sameStudy},
      // Odd value lengths put every later element at an odd offset.
      {"odd_length", withFront(plain, element(0x0010, 0x0010, "PN", 3) + std::string("ODD")),
       [&](const StudyWorkspace& s, const Notices& n) {
         sameStudy(s, n);
         EXPECT_EQ(s.study.PAT_NAME, "ODD");
       }},
      // The meta group's length is not relied on.
      {"meta_group_length", [&] {
         auto b = plain.file();
         b[kDicomFirstElement + 8] = 2;
         return b;
       }(), sameStudy},
      {"icon_implicit", withIcon(true), sameStudy},
      {"rate_exponent", with([](GatedStudy& g) { g.heartRate = "1e9"; }), heartRateAsked("1e9")},
      {"rate_negative", with([](GatedStudy& g) { g.heartRate = "-72"; }), heartRateAsked("-72")},
      {"rate_decimal", with([](GatedStudy& g) { g.heartRate = "72.0"; }), heartRateAsked("72.0")},
      {"rate_plus", with([](GatedStudy& g) { g.heartRate = "+80"; }),
       [](const StudyWorkspace& s, const Notices& n) {
         EXPECT_EQ(s.study.HEART_RATE, 1);
         EXPECT_EQ(s.study.CARD_FREQ_INT, 80);
         EXPECT_TRUE(n.empty());
       }},
      // Signed counts summing to about zero: the crop centres on the counts that are there.
      {"signed_sum", with([](GatedStudy& g) {
         g.rows = g.columns = 128;
         g.value = [](int t, int, int x, int y) {
           if (std::abs(x - 90) <= 2 && std::abs(y - 20) <= 2) return static_cast<int16_t>(100 - t);
           if (std::abs(x - 20) <= 2 && std::abs(y - 100) <= 2) return static_cast<int16_t>(t - 99);
           return int16_t{0};
         };
       }),
       [](const StudyWorkspace& s, const Notices&) {
         EXPECT_EQ(s.study.at(0, 0, 90 - 50, 20), 100.0f);  // origin (90 - 8 - 32, 0) as for counts alone
         EXPECT_EQ(s.study.datamax, 100.0f);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StudyWorkspace fresh;
    ASSERT_TRUE(read(write(c.name + ".dcm", c.bytes), fresh).ok());
    c.check(fresh, notices);
  }
}

// The same bytes held in memory are read as the file is, pixels included.
TEST_F(DicomReaderTest, BytesInMemoryReadAsTheFile) {
  GatedStudy g;
  g.rows = g.columns = 80;
  const std::vector<uint8_t> bytes = g.file();
  ASSERT_TRUE(open(write("disk.dcm", bytes)).ok());
  MemoryFiles files;
  files.add("/memory/disk.dcm", bytes);
  StudyWorkspace fresh;
  ASSERT_TRUE(readAcquisition(files, "/memory/disk.dcm", kFormatDicom, fresh, log, notices).ok());
  EXPECT_EQ(fresh.study.patient_name, w.study.patient_name);
  EXPECT_EQ(fresh.study.OFFSET_LEC, w.study.OFFSET_LEC);
  EXPECT_TRUE(fresh.study.DATA == w.study.DATA);
  EXPECT_FALSE(readAcquisition(files, "/memory/other.dcm", kFormatDicom, fresh, log, notices).ok());
}

TEST_F(DicomReaderTest, CommandLineInfoPrintsTheRecordOrRefuses) {
  GatedStudy g;
  const auto file = write("cli.dcm", g.file());
  const std::string cli = QUORVEL_CLI;
  const std::string out = (dir / "out.txt").string();
  ASSERT_EQ(std::system((cli + " info " + file.string() + " > " + out + " 2>&1").c_str()), 0);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("instants (Ninst) : 8"), std::string::npos) << text;
  EXPECT_NE(text.find("CYCLE : 104.17 ms"), std::string::npos) << text;
  EXPECT_NE(text.find("DOE JOHN"), std::string::npos) << text;

  GatedStudy bad = g;
  bad.instants = 12;
  const auto badFile = write("bad.dcm", bad.file());
  const int status = std::system((cli + " info " + badFile.string() + " > " + out + " 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::ifstream in2(out);
  std::string err((std::istreambuf_iterator<char>(in2)), {});
  EXPECT_NE(err.find("8 ou 16"), std::string::npos) << err;
}
