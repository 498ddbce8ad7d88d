#include "export/spreadsheet.h"

#include <algorithm>
#include <cctype>

#include "base/byte_reader.h"
#include "export/export_texts.h"
#include "study/study_texts.h"

namespace quorvel {

namespace {

constexpr char kTab = '\t', kCr = '\r';
constexpr size_t kValueChars = 19;     // what the formatting control gives back
constexpr size_t kExtensionScope = 256;

// Phases in percent of the cycle, in milliseconds.
float toMs(const StudyRecord& s, float phase) { return phase * s.CYCLE * static_cast<float>(s.Ninst) / 100.0f; }

// A row of the results table: label, left value, right value.
void row(std::string& out, std::string_view label, const std::string& left, const std::string& right) {
  out += excelCell(label);
  out += "\t\t";
  out += excelCell(left);
  out += "\t\t";
  out += excelCell(right);
  out += kCr;
}

// A typed field as one cell of the data row: no separator inside it, at most 19 characters.
std::string fieldText(std::string_view utf8) {
  std::string t = toLatin1(utf8);
  std::replace_if(t.begin(), t.end(), [](char c) { return c == kTab || c == kCr || c == '\n'; }, ' ');
  if (t.size() > kValueChars) t.resize(kValueChars);
  return t;
}

std::string number(float v) {
  std::string t = format("%2.2f", static_cast<double>(v));
  if (t.size() > kValueChars) t.resize(kValueChars);
  return t;
}

}  // namespace

const std::array<PatientField, kPatientFieldCount> kPatientFields{{
    {151, {"Nom", "Name"}, "NOM", "name"},
    {152, {"Prénom", "Given name"}, "PRENOM", "given-name"},
    {153, {"Sexe", "Sex"}, "SEXE", "sex"},
    {154, {"Age", "Age"}, "AGE", "age"},
    {155, {"N° séjour", "N°"}, "N° SEJOUR", "stay"},
    {156, {"DDN", "DDN"}, "DDN", "birth-date"},
    {157, {"Service", "Service"}, "SERVICE", "service"},
    {158, {"Cardio.", "Cardio."}, "CARDIO", "cardiologist"},
    {159, {"Date VI", "Date"}, "DATE VI", "date"},
    {161, {"2D - FEVG", "2D - lvef"}, "FEVG", "lvef-2d"},
    {160, {"2D - FC", "2D - cf"}, "FC", "hr-2d"},
    {162, {"2D - accepté", "2D - accepted"}, "ACCEPTE", "accepted-2d"},
    {163, {"2D - KCPS", "2D - KKPS"}, "kCPS", "kcps-2d"},
}};

PatientFields patientFieldsOf(const StudyRecord& s) {
  PatientFields f;
  auto set = [&f](std::string_view key, std::string value) {
    while (!value.empty() && value.back() == ' ') value.pop_back();
    f[static_cast<size_t>(patientFieldIndex(key))] = std::move(value);
  };
  // A DICOM person name is FAMILY^GIVEN^MIDDLE^PREFIX^SUFFIX; other formats give one text.
  const std::string& name = s.dicomPatientName.empty() ? s.PAT_NAME : s.dicomPatientName;
  const size_t caret = name.find('^');
  set("name", name.substr(0, caret));
  if (caret != std::string::npos) set("given-name", name.substr(caret + 1, name.find('^', caret + 1) - caret - 1));
  set("sex", s.PAT_SEX);
  set("birth-date", s.PAT_DATE);
  set("date", s.ACQ_DATE);
  return f;
}

std::string fileStemOf(const StudyRecord& s) {
  const PatientFields f = patientFieldsOf(s);
  if (f[static_cast<size_t>(patientFieldIndex("name"))].empty()) return {};
  std::string stem;
  for (const char* key : {"name", "given-name", "date"}) {
    // Letters (accented ones too), digits and '-' stay; any other run becomes one '-'.
    std::string part;
    for (const char c : f[static_cast<size_t>(patientFieldIndex(key))]) {
      const auto u = static_cast<unsigned char>(c);
      if (std::isalnum(u) || u >= 0x80 || c == '-')
        part += c;
      else if (!part.empty() && part.back() != '-')
        part += '-';
    }
    while (!part.empty() && part.back() == '-') part.pop_back();
    if (!part.empty()) stem += (stem.empty() ? "" : "_") + part;
  }
  return stem;
}

int patientFieldIndex(std::string_view key) {
  for (size_t i = 0; i < kPatientFields.size(); ++i)
    if (key == kPatientFields[i].key) return static_cast<int>(i);
  return -1;
}

std::string toLatin1(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      out += code <= 0xFF ? static_cast<char>(code) : '?';
      i += 2;
    } else {
      out += '?';
      ++i;
      while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

std::string excelCell(std::string_view utf8) {
  std::string t = toLatin1(utf8);
  t.resize(kTableCellWidth, ' ');
  return t;
}

Etikets INIT_EXCEL_ETIKETS() {
  Etikets e;
  size_t k = 0;
  auto add = [&](std::string_view label) { e[k++] = label; };
  for (const PatientField& f : kPatientFields) add(f.label);
  auto ventricle = [&](std::initializer_list<const char*> labels) {
    for (const char* l : labels) add(l);
    for (int block = 0; block < 2; ++block)
      for (int s = 1; s <= kTableSectors; ++s) add(std::to_string(s));
  };
  ventricle({"FEV G", "FC", "EDV G", "ESV G", "DEBIT G", "FEG MOY", "FEG SIG", "TES G MOY", "TES G SIG"});
  ventricle({"FEV D", "FC", "EDV D", "ESV D", "DEBIT D", "FED MOY", "FED SIG", "TES D MOY", "TES D SIG"});
  return e;
}

namespace {

// The 95 % intervals of the global results, under the results they qualify; the ejection rate is
// shown negative, as above.
void appendIntervals(std::string& out, const ResultUncertainties& u) {
  out += "\r" + excelCell("IC 95 %") + "\r\r";
  const struct {
    const char* label;
    int result;
    const char* fmt;
    double sign;
  } rows[] = {{"FE (pc)", kEf, "%2.0f - %2.0f", 1},           {"VtD (cc)", kEdv, "%2.0f - %2.0f", 1},
              {"VtS (cc)", kEsv, "%2.0f - %2.0f", 1},         {"TFS (ms)", kEndSystole, "%2.0f - %2.0f", 1},
              {"DEM (vtd/s)", kPeakEmptying, "%2.1f - %2.1f", -1}, {"DRM (vtd/s)", kPeakFilling, "%2.1f - %2.1f", 1}};
  for (const auto& r : rows) {
    std::string cells[2];
    for (int v = 0; v < 2; ++v) {
      const ResultUncertainty& x = u[v * kResultsPerVentricle + r.result];
      const double a = r.sign * x.low95, b = r.sign * x.high95;
      cells[v] = format(r.fmt, std::min(a, b), std::max(a, b));
    }
    row(out, r.label, cells[0], cells[1]);
  }
}

}  // namespace

std::string resultsTable(const TableInputs& in) {
  const VentricleResults &G = in.vc.G, &D = in.vc.D;
  const RegionalMaps& m = in.maps;
  auto f = [](const char* fmt, double v) { return format(fmt, v); };
  auto pm = [](const char* fmt, double mean, double sd) { return format(fmt, mean, sd); };
  std::string out = "\t\t" + excelCell("             Vent. G") + "\t\t" + excelCell("             Vent. D") + "\r\r";
  out += excelCell("GLOBAL") + "\r\r";
  row(out, "FE (pc)", f("%2.0f", G.FES), f("%2.0f", D.FES));
  row(out, "VtD (cc)", f("%2.0f", G.volmax), f("%2.0f", D.volmax));
  row(out, "VtS (cc)", f("%2.0f", G.volmin), f("%2.0f", D.volmin));
  row(out, "V ej (cc)", f("%2.0f", G.volmax - G.volmin), f("%2.0f", D.volmax - D.volmin));
  row(out, "DEM (vtd/s)", f("%2.1f", -G.PER), f("%2.1f", -D.PER));
  row(out, "DRM (vtd/s)", f("%2.1f", G.PFR), f("%2.1f", D.PFR));
  row(out, "Débit (L/min)", f("%2.1f", G.debit), f("%2.1f", D.debit));
  row(out, "TFS (ms)", format("%d", G.TFS), format("%d", D.TFS));
  out += "\r" + excelCell("LOCAL") + "\r\r";
  std::string cells[4][2];
  for (int v = 0; v < 2; ++v) {
    cells[0][v] = pm("%2.0f  +/-  %2.0f", m.mesh_fej_mean[v], m.mesh_fej_std[v]);
    cells[1][v] = pm("%2.0f  +/-  %2.0f", toMs(in.study, m.mesh_tej_mean[v]), toMs(in.study, m.mesh_tej_std[v]));
    cells[2][v] = pm("%2.1f  +/-  %2.1f", -m.mesh_per_mean[v] / m.PER_corr, m.mesh_per_std[v] / m.PER_corr);
    cells[3][v] = pm("%2.1f  +/-  %2.1f", m.mesh_pfr_mean[v] / m.PFR_corr, m.mesh_pfr_std[v] / m.PFR_corr);
  }
  const char* labels[4] = {"FE (pc)", "TFS (ms)", "DEM (vtd/s)", "DRM (vtd/s)"};
  for (int r = 0; r < 4; ++r) row(out, labels[r], cells[r][0], cells[r][1]);
  if (in.uncertainty) appendIntervals(out, *in.uncertainty);
  return out;
}

std::vector<std::string> segmentColumnLabels() {
  std::vector<std::string> labels;
  const struct {
    int count;
    const char* side;
  } ventricles[] = {{kLeftSegments, "G"}, {kRightSegments, "D"}};
  for (const auto& [count, side] : ventricles) {
    for (const char* what : {"FE", "TMIN"})
      for (int k = 1; k <= count; ++k) labels.push_back(std::string(what) + " S" + side + std::to_string(k));
    for (const char* what : {"SDI", "PHASE MOY", "PHASE SD", "LB95", "ENTROPIE", "SYNCHRONIE"})
      labels.push_back(std::string(what) + " " + side);
  }
  labels.push_back("DELAI G-D (ms)");
  return labels;
}

namespace {

// The segment columns' values in the order of segmentColumnLabels; empty without an analysis.
std::vector<std::string> segmentColumnValues(const SegmentalAnalysis* a) {
  std::vector<std::string> cells;
  if (!a || !a->valid) return std::vector<std::string>(kSegmentTableColumns);
  for (const VentricleSegments& v : a->ventricles) {
    for (int k = 1; k <= v.count; ++k) cells.push_back(number(v.segments[k].ef));
    for (int k = 1; k <= v.count; ++k) cells.push_back(number(v.segments[k].timeToMinMs));
    const PhaseIndices& p = v.phase;
    for (float x : {v.dyssynchronyPct, p.meanDeg, p.sdDeg, p.bandwidthDeg, p.entropyPct, p.synchrony})
      cells.push_back(number(x));
  }
  cells.push_back(number(a->phaseDelayMs));
  return cells;
}

}  // namespace

std::string sectorTable(const TableInputs& in, const PatientFields& fields, const Etikets& labels) {
  std::string out;
  // Group titles over columns 10, 14, 23, 40, 57, 66 and 83, then over each ventricle's segments.
  const std::pair<int, const char*> groups[] = {
      {9, "2D"},  {4, "3D"}, {9, "FE"},  {17, "TFS"}, {17, "3D"}, {9, "FE"}, {17, "TFS"},
      {kSectorTableColumns + 1 - 83, "SEGMENTS G"}, {2 * kLeftSegments + kSegmentIndexColumns, "SEGMENTS D"}};
  for (const auto& [tabs, title] : groups) out += std::string(static_cast<size_t>(tabs), kTab) + excelCell(title);
  out += kCr;
  for (const std::string& l : labels) out += excelCell(l) + kTab;
  for (const std::string& l : segmentColumnLabels()) out += excelCell(l) + kTab;
  out += kCr;

  for (const std::string& f : fields) out += fieldText(f) + kTab;
  const StudyRecord& s = in.study;
  const RegionalMaps& m = in.maps;
  for (int v = 0; v < 2; ++v) {
    const VentricleResults& r = v == 0 ? in.vc.G : in.vc.D;
    for (float x : {r.FES, s.CARD_FREQ, r.volmax, r.volmin, r.debit, m.mesh_fej_mean[v], m.mesh_fej_std[v],
                    toMs(s, m.mesh_tej_mean[v]), toMs(s, m.mesh_tej_std[v])})
      out += number(x) + kTab;
    const auto& order = v == 0 ? kLeftSectorColumns : kRightSectorColumns;
    for (int sector : order) out += number(in.eye.mesh_smoy_fej[v][sector]) + kTab;
    for (int sector : order) out += number(toMs(s, in.eye.mesh_smoy_tej[v][sector])) + kTab;
  }
  for (const std::string& c : segmentColumnValues(in.segments)) out += c + kTab;
  return out;
}

int VERF_EXTENSION(std::string_view path, std::string_view extension) {
  path = path.substr(0, std::min({path.size(), kExtensionScope, path.find('\0')}));
  return path.find(extension.substr(0, 4)) != std::string_view::npos ? 1 : 0;
}

std::string tablePath(const std::string& typed) { return VERF_EXTENSION(typed, ".xls") ? typed : typed + ".xls"; }

Status writeTable(const std::filesystem::path& path, const std::string& bytes) {
  if (!writeFileAtomically(path, std::string_view(bytes)))
    return Refusal::formatted(RefusalCode::CannotWrite, export_texts::kCannotWrite, path.string().c_str());
  return {};
}

namespace {

Status askAndWrite(Platform& platform, int LANGUE, const Text& title, const std::string& bytes) {
  const auto choice = platform.chooseSaveFile(title.pick(LANGUE), {{export_texts::kExcelFilter.pick(LANGUE), "*.xls"}}, 1);
  if (!choice) return Refusal::of(RefusalCode::Cancelled, study_texts::kOpenCancelled);
  return writeTable(tablePath(choice->path), bytes);
}

}  // namespace

Status EXPORT_EXCEL_FILE(Platform& platform, int LANGUE, const TableInputs& in) {
  return askAndWrite(platform, LANGUE, export_texts::kResultsTableTitle, resultsTable(in));
}

Status UPDATE_DATABASE(Platform& platform, int LANGUE, const TableInputs& in, const PatientFields& fields) {
  return askAndWrite(platform, LANGUE, export_texts::kSectorTableTitle, sectorTable(in, fields, INIT_EXCEL_ETIKETS()));
}

}  // namespace quorvel
